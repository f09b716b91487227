#pragma once

#include "csvlines.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSaveFile>
#include <QString>
#include <QTimer>

#include <memory>

class QThread;
class ReadingsTable;

// Writes lines about the readings table's rows to a CSV file, a slice of rows at a time between
// other events, so that readings keep arriving and the window keeps answering while a large table
// is saved. The file is written whole or not at all: until the last row is in, any earlier
// file of that name stays as it was. Rows must not be removed from the table meanwhile;
// should they be, the save stops and says so.
class TableSaver final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TableSaver)

public:
    // How long one slice may take, in milliseconds, and how many rows go between two looks
    // at the clock.
    static constexpr int sliceMs = 40;
    static constexpr int rowsPerCheck = 64;

    // The lines are made of table's rows, which are watched for removal.
    TableSaver(ReadingsTable *table, std::unique_ptr<CsvLines> lines, const QString &path,
               QObject *parent = nullptr);
    ~TableSaver() override;

    // Opens the file and starts writing; false, with the reason in errorString(), when the
    // file cannot be opened. finished() follows a successful start.
    bool start();
    QString path() const { return m_file.fileName(); }
    int rowCount() const { return m_csv->rowCount(); }
    int rowsWritten() const { return m_written; }
    QString errorString() const { return m_error; }

Q_SIGNALS:
    void progressed(int rowsWritten);
    // saved: the file now holds the rows; otherwise errorString() says why not.
    void finished(bool saved);

private:
    void writeSlice();
    void committed();
    QString writeFailure(const QString &otherwise) const;
    void fail(const QString &reason);

    const std::unique_ptr<CsvLines> m_csv;
    QSaveFile m_file;
    QTimer m_slices;
    std::unique_ptr<QThread> m_commit;
    bool m_committed = false;
    int m_written = 0;
    QString m_error;
    bool m_done = false;
};
