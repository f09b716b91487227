#pragma once

#include "archivebatch.h"
#include "rollup.h"

#include <QCoreApplication>
#include <QHash>
#include <QString>

#include <memory>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// One connection to the archive's SQLite file, and every statement the archive runs on it.
// Not shared between threads: the writer's thread has one, each reader another.
//
// The file's tables (user_version 1), all times in milliseconds since the epoch:
//   series(id, host, reading)                  a reading of a host, numbered for the blobs
//   points(host, time_ms, data)                a host's points of about a second, packed
//   minutes(series, hour_ms, data)             a reading's per-minute roll-ups of an hour
//   hours(series, day_ms, data)                a reading's per-hour roll-ups of a day (UTC)
//   events(time_ms, host, reading, from_state, to_state, value)
//   hosts(host, last_heard_ms, position, readings)  the table's rows, readings as JSON pairs
class ArchiveDatabase final
{
    Q_DECLARE_TR_FUNCTIONS(ArchiveDatabase)
    Q_DISABLE_COPY_MOVE(ArchiveDatabase)

public:
    static constexpr int schemaVersion = 1;
    static constexpr qint64 minuteMs = 60'000;
    static constexpr qint64 hourMs = 3'600'000;
    static constexpr qint64 dayMs = 24 * hourMs;

    enum class Open {
        Opened,
        Damaged, // not a database, or not this program's: to be moved aside
        Newer,   // made by a newer Senvo-Net: to be left as it is
        Failed,  // cannot be opened or written now: to be tried again
    };
    enum class Access { ReadWrite, ReadOnly };

    explicit ArchiveDatabase(const QString &path);
    ~ArchiveDatabase();

    // Opens the file, making it (readable by its owner alone) and its tables where it has
    // none; why it did not open in error().
    Open open(Access access);
    bool isOpen() const { return m_db != nullptr; }
    void close();
    const QString &error() const { return m_error; }
    // Whether the last failure was one of a damaged file rather than of the disk.
    bool lastFailureWasDamage() const { return m_damaged; }

    // The host and reading of each series id a batch may use: ids are the writer's own, and
    // the file numbers its readings its own way.
    using SeriesNames = QHash<quint32, std::pair<QString, QString>>;

    // All of batch, in one transaction, or none of it.
    bool write(const ArchiveBatch &batch, const SeriesNames &names);
    // Rolls up each hour of points that ended before beforeMs into minutes and hours, and
    // lets its points go.
    bool rollUp(qint64 beforeMs);
    // The writer will not use series again.
    void forget(quint32 series) { m_fileIds.remove(series); }
    // Lets go of what is older than its days allow, then of the oldest (minutes before hours)
    // until the file's contents fit maxBytes.
    bool prune(qint64 nowMs, int minuteDays, int hourDays, int eventDays, qint64 maxBytes);
    // The file's pages in use, in bytes.
    qint64 usedBytes();

    std::vector<KeptHost> keptHosts(qint64 sinceMs);
    std::vector<ArchivePoint> points(const QString &host, const QString &reading, qint64 fromMs,
                                     qint64 toMs);
    std::vector<Rollup> minutes(const QString &host, const QString &reading, qint64 fromMs,
                                qint64 toMs);
    std::vector<Rollup> hours(const QString &host, const QString &reading, qint64 fromMs,
                              qint64 toMs);
    std::vector<ArchiveEvent> events(qint64 fromMs, qint64 toMs);
    qint64 oldestMs();

private:
    class Statement;
    struct Numbering;

    bool exec(const char *sql);
    // Keeps the connection's error in plain words; false, for returning.
    bool fail();
    // Ends the transaction with nothing of it written, keeping what made it fail.
    bool rollBack();
    Open createOrCheck();
    bool rollUpHour(qint64 hourMs);
    bool deleteOldest(const char *table, const char *column);
    qint64 seriesId(const QString &host, const QString &reading);
    // The file's id for the writer's series, numbered now where it has none;
    // -1 for one names does not hold, -2 when the file fails.
    qint64 fileId(quint32 series, const SeriesNames &names, Numbering &numbering);
    // A reading's roll-ups of blocks of blockMs that sql selects, and those of its points.
    std::vector<Rollup> rollups(const QString &host, const QString &reading, qint64 fromMs,
                                qint64 toMs, const char *sql, qint64 blockMs, qint64 stepMs);
    std::vector<ArchivePoint> hostPoints(const QString &host, qint64 fromMs, qint64 toMs);

    const QString m_path;
    sqlite3 *m_db = nullptr;
    QString m_error;
    bool m_damaged = false;
    QHash<quint32, qint64> m_fileIds; // by the writer's series id
};
