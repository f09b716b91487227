#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class CsvLines;
class DatagramReceiver;
class ReadingsTable;
class TableSaver;
class QWidget;

// Saving the table, or a view of it, as the user does it: the file dialog, the save in the
// background, and telling how it went: a save that worked in a line for the window's status
// line, one that failed in a message. One save at a time.
class TableSaveFlow final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TableSaveFlow)

public:
    // The table's rows to save, in order; asked for as each save starts.
    using Rows = std::function<std::vector<int>()>;
    // What to write, made as each save starts.
    using Lines = std::function<std::unique_ptr<CsvLines>()>;
    // What is saved, which names the dialog and the messages.
    enum class Subject { Table, Overview };

    // Dialogs and messages open over window, which owns the flow. Saves the table's rows.
    TableSaveFlow(ReadingsTable &table, DatagramReceiver &receiver, Rows rows, QWidget *window);
    TableSaveFlow(ReadingsTable &table, DatagramReceiver &receiver, Subject subject, Lines lines,
                  QWidget *window);
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
    // A save worked: "Saved 5,000 hosts to …", for the window to show for a few seconds.
    void told(const QString &text);
    // The file dialog was closed, whether or not a file was chosen.
    void dialogClosed();

private:
    void saved(bool saved);
    QString notSavedText(const QString &path) const;
    QString notSavedName() const;

    ReadingsTable &m_table;
    DatagramReceiver &m_receiver;
    const Subject m_subject;
    const Lines m_lines;
    QWidget *const m_window;
    QPointer<TableSaver> m_saver;
    QString m_folder;
};
