#include "tablesaver.h"

#include "readingstable.h"

#include <QThread>

#include <algorithm>

TableSaver::TableSaver(ReadingsTable *table, std::vector<int> rows, CsvTable::LastHeard lastHeard,
                       const QString &path, QObject *parent)
    : QObject(parent)
    , m_csv(*table, std::move(rows), std::move(lastHeard))
    , m_file(path)
{
    m_slices.setInterval(0);
    connect(&m_slices, &QTimer::timeout, this, &TableSaver::writeSlice);
    // The rows to write are numbered as they were when the save began.
    connect(table, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this] { fail(tr("Hosts were removed from the table while it was being saved.")); });
}

TableSaver::~TableSaver()
{
    if (m_commit)
        m_commit->wait();
}

bool TableSaver::start()
{
    if (!m_file.open(QIODevice::WriteOnly)) {
        m_error = m_file.errorString();
        return false;
    }
    if (m_file.write(m_csv.header()) < 0) {
        m_error = m_file.errorString();
        m_file.cancelWriting();
        return false;
    }
    m_slices.start();
    return true;
}

void TableSaver::writeSlice()
{
    if (m_done)
        return;
    QElapsedTimer clock;
    clock.start();
    while (m_written < m_csv.rowCount() && clock.elapsed() < sliceMs) {
        const QByteArray lines = m_csv.lines(m_written, rowsPerCheck);
        if (m_file.write(lines) != lines.size()) {
            fail(m_file.errorString());
            return;
        }
        m_written = std::min(m_written + rowsPerCheck, m_csv.rowCount());
    }
    Q_EMIT progressed(m_written);
    if (m_written < m_csv.rowCount())
        return;
    m_slices.stop();
    m_done = true;
    // The commit syncs the file to disk, which takes about as long as the writing did: it
    // runs beside the window's thread, which leaves the file alone meanwhile.
    m_commit.reset(QThread::create([this] { m_committed = m_file.commit(); }));
    connect(m_commit.get(), &QThread::finished, this, &TableSaver::committed);
    m_commit->start();
}

void TableSaver::committed()
{
    m_commit->wait();
    // Buffered bytes meet a full disk here at the latest.
    if (!m_committed)
        m_error = m_file.errorString();
    Q_EMIT finished(m_committed);
}

void TableSaver::fail(const QString &reason)
{
    if (m_done)
        return;
    m_slices.stop();
    m_done = true;
    m_error = reason;
    m_file.cancelWriting();
    Q_EMIT finished(false);
}
