#include "tablesaver.h"

#include "engine/reception/readingstable.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QThread>

#include <algorithm>

TableSaver::TableSaver(ReadingsTable *table, std::unique_ptr<CsvLines> lines, const QString &path,
                       QObject *parent)
    : QObject(parent)
    , m_csv(std::move(lines))
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
    if (m_file.write(m_csv->header()) < 0) {
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
    while (m_written < m_csv->rowCount() && clock.elapsed() < sliceMs) {
        const QByteArray lines = m_csv->lines(m_written, rowsPerCheck);
        // A write cut short says why only when it is tried again.
        for (qint64 done = 0; done < lines.size();) {
            const qint64 written = m_file.write(lines.constData() + done, lines.size() - done);
            if (written <= 0) {
                fail(writeFailure(m_file.errorString()));
                return;
            }
            done += written;
        }
        m_written = std::min(m_written + rowsPerCheck, m_csv->rowCount());
    }
    Q_EMIT progressed(m_written);
    if (m_written < m_csv->rowCount())
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
    // Buffered bytes meet a full disk here at the latest; the file has forgotten the reason
    // by the time commit() returns.
    if (!m_committed) {
        m_error = writeFailure(tr("The file could not be written to the end. Is the disk full?"));
    }
    Q_EMIT finished(m_committed);
}

// A write that a full disk cuts short leaves no reason behind in the file.
QString TableSaver::writeFailure(const QString &otherwise) const
{
    constexpr qint64 nearlyFull = 1024 * 1024;
    const QStorageInfo storage(QFileInfo(m_file.fileName()).absolutePath());
    if (storage.isValid() && storage.bytesAvailable() < nearlyFull)
        return tr("The disk is full: there is no room left on %1.")
            .arg(QDir::toNativeSeparators(storage.rootPath()));
    return otherwise;
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
