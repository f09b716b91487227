#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <vector>

class DatagramReceiver;
class ReadingsTable;
class TableSaver;
class QWidget;

// Saving the table as the user does it: the file dialog, the save in the background, and
// the message that tells how it went. One save at a time.
class TableSaveFlow final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TableSaveFlow)

public:
    // The table's rows to save, in order; asked for as each save starts.
    using Rows = std::function<std::vector<int>()>;

    // Dialogs and messages open over window, which owns the flow.
    TableSaveFlow(ReadingsTable &table, DatagramReceiver &receiver, Rows rows, QWidget *window);
    ~TableSaveFlow() override;

    // Asks how to name the file, then saves.
    void saveAs();
    // Saves the rows to a CSV file, in the background; false, having told the user why,
    // when it cannot start. finished() follows a start.
    bool save(const QString &path);
    bool isSaving() const;
    // How far the save under way is, from 0 to 100.
    int percentWritten() const;

Q_SIGNALS:
    // A save started, went on or ended.
    void savingChanged();
    void finished(bool saved);
    // The file dialog was closed, whether or not a file was chosen.
    void dialogClosed();

private:
    void saved(bool saved);

    ReadingsTable &m_table;
    DatagramReceiver &m_receiver;
    const Rows m_rows;
    QWidget *const m_window;
    QPointer<TableSaver> m_saver;
    QString m_folder;
};
