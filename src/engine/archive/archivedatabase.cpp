#include "archivedatabase.h"

#include "archiveblocks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <sqlite3.h>

#include <algorithm>
#include <map>

using namespace ArchiveBlocks;

namespace {

constexpr const char *schema[] = {
    "CREATE TABLE series(id INTEGER PRIMARY KEY, host TEXT NOT NULL, reading TEXT NOT NULL,"
    " UNIQUE(host, reading))",
    "CREATE TABLE points(host TEXT NOT NULL, time_ms INTEGER NOT NULL, data BLOB NOT NULL)",
    "CREATE INDEX points_by_host ON points(host, time_ms)",
    "CREATE INDEX points_by_time ON points(time_ms)",
    "CREATE TABLE minutes(series INTEGER NOT NULL, hour_ms INTEGER NOT NULL, data BLOB NOT NULL,"
    " PRIMARY KEY(series, hour_ms)) WITHOUT ROWID",
    "CREATE INDEX minutes_by_hour ON minutes(hour_ms)",
    "CREATE TABLE hours(series INTEGER NOT NULL, day_ms INTEGER NOT NULL, data BLOB NOT NULL,"
    " PRIMARY KEY(series, day_ms)) WITHOUT ROWID",
    "CREATE INDEX hours_by_day ON hours(day_ms)",
    "CREATE TABLE events(time_ms INTEGER NOT NULL, host TEXT NOT NULL, reading TEXT NOT NULL,"
    " from_state TEXT NOT NULL, to_state TEXT NOT NULL, value TEXT NOT NULL)",
    "CREATE INDEX events_by_time ON events(time_ms)",
    "CREATE TABLE hosts(host TEXT PRIMARY KEY, last_heard_ms INTEGER NOT NULL,"
    " position INTEGER NOT NULL, readings TEXT NOT NULL)",
};

constexpr qint64 failed = -2;
constexpr const char *selectSeries = "SELECT id FROM series WHERE host = ? AND reading = ?";

bool isDamage(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

QString readingsJson(const KeptHost &host)
{
    QJsonArray pairs;
    for (const auto &[name, value] : host.readings)
        pairs.append(QJsonArray{name, value});
    return QString::fromUtf8(QJsonDocument(pairs).toJson(QJsonDocument::Compact));
}

} // namespace

// A prepared statement, finalized when it goes.
class ArchiveDatabase::Statement
{
public:
    Statement(sqlite3 *db, const char *sql)
    {
        m_code = sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Q_DISABLE_COPY_MOVE(Statement)

    bool ok() const { return m_code == SQLITE_OK || m_code == SQLITE_ROW || m_code == SQLITE_DONE; }
    int code() const { return m_code; }

    Statement &bind(int index, qint64 value)
    {
        sqlite3_bind_int64(m_statement, index, value);
        return *this;
    }
    Statement &bind(int index, const QString &text)
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(m_statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement &bind(int index, const QByteArray &blob)
    {
        sqlite3_bind_blob(m_statement, index, blob.constData(), int(blob.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // True while there is a row to read.
    bool step()
    {
        if (!m_statement)
            return false;
        m_code = sqlite3_step(m_statement);
        return m_code == SQLITE_ROW;
    }
    // Runs a statement that returns no rows, ready to be bound and run again.
    bool run()
    {
        step();
        sqlite3_reset(m_statement);
        return m_code == SQLITE_DONE;
    }
    // Ready to be bound and stepped through again.
    void reset() { sqlite3_reset(m_statement); }
    sqlite3_stmt *handle() const { return m_statement; }
    qint64 integer(int column) const { return sqlite3_column_int64(m_statement, column); }
    QString text(int column) const
    {
        return QString::fromUtf8(
            reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column)),
            sqlite3_column_bytes(m_statement, column));
    }
    QByteArray blob(int column) const
    {
        return QByteArray(static_cast<const char *>(sqlite3_column_blob(m_statement, column)),
                          sqlite3_column_bytes(m_statement, column));
    }

private:
    sqlite3_stmt *m_statement = nullptr;
    int m_code = SQLITE_OK;
};

struct ArchiveDatabase::Numbering
{
    Statement insert;
    Statement select;
};

ArchiveDatabase::ArchiveDatabase(const QString &path)
    : m_path(path)
{
}

ArchiveDatabase::~ArchiveDatabase()
{
    close();
}

void ArchiveDatabase::close()
{
    m_fileIds.clear();
    if (m_db) {
        // Leaves no -wal file behind where it can: the file is whole on its own.
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

bool ArchiveDatabase::exec(const char *sql)
{
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    return fail();
}

bool ArchiveDatabase::fail()
{
    const int code = m_db ? sqlite3_extended_errcode(m_db) : SQLITE_CANTOPEN;
    m_damaged = isDamage(code);
    m_error = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : tr("cannot be opened");
    return false;
}

ArchiveDatabase::Open ArchiveDatabase::open(Access access)
{
    close();
    m_error.clear();
    m_damaged = false;
    const bool writing = access == Access::ReadWrite;
    if (writing && !QFileInfo::exists(m_path)) {
        const QString folder = QFileInfo(m_path).absolutePath();
        if (!QDir().mkpath(folder)) {
            m_error = tr("the folder %1 cannot be made").arg(QDir::toNativeSeparators(folder));
            return Open::Failed;
        }
        // Made here rather than by SQLite, so that no one else may read it from the start.
        QFile file(m_path);
        if (!file.open(QIODevice::WriteOnly)
            || !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner)) {
            m_error = file.errorString();
            file.remove();
            return Open::Failed;
        }
    }
    const int flags = writing ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY;
    if (sqlite3_open_v2(m_path.toUtf8().constData(), &m_db, flags, nullptr) != SQLITE_OK) {
        fail();
        close();
        return m_damaged ? Open::Damaged : Open::Failed;
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, 5000);
    const Open opened = createOrCheck();
    if (opened != Open::Opened)
        close();
    return opened;
}

ArchiveDatabase::Open ArchiveDatabase::createOrCheck()
{
    // Looked at before anything is written: a newer program's file is left as it is.
    qint64 version = 0;
    qint64 tables = 0;
    {
        Statement statement(m_db, "PRAGMA user_version");
        if (!statement.step()) {
            fail();
            return m_damaged ? Open::Damaged : Open::Failed;
        }
        version = statement.integer(0);
    }
    {
        Statement statement(m_db, "SELECT count(*) FROM sqlite_master");
        if (!statement.step()) {
            fail();
            return m_damaged ? Open::Damaged : Open::Failed;
        }
        tables = statement.integer(0);
    }
    if (version > schemaVersion) {
        m_error = tr("it was made by a newer Senvo-Net");
        return Open::Newer;
    }
    if (version == 0 && tables > 0) {
        m_damaged = true;
        m_error = tr("it holds tables of another program");
        return Open::Damaged;
    }
    const bool readOnly = sqlite3_db_readonly(m_db, "main") == 1;
    if (version == 0 && readOnly) {
        m_error = tr("it holds no history yet");
        return Open::Failed;
    }
    if (version == 0) {
        // Only an empty file gets here: auto_vacuum must be chosen before its first table.
        if (!exec("PRAGMA auto_vacuum = INCREMENTAL") || !exec("PRAGMA journal_mode = WAL")
            || !exec("BEGIN"))
            return m_damaged ? Open::Damaged : Open::Failed;
        for (const char *sql : schema) {
            if (!exec(sql)) {
                sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
                return Open::Failed;
            }
        }
        if (!exec("PRAGMA user_version = 1") || !exec("COMMIT"))
            return m_damaged ? Open::Damaged : Open::Failed;
    } else if (!readOnly && !exec("PRAGMA journal_mode = WAL")) {
        return m_damaged ? Open::Damaged : Open::Failed;
    }
    // A power cut loses at most the last transactions, never the file's soundness.
    if (!readOnly && !exec("PRAGMA synchronous = NORMAL"))
        return m_damaged ? Open::Damaged : Open::Failed;
    return Open::Opened;
}

qint64 ArchiveDatabase::fileId(quint32 series, const SeriesNames &names, Numbering &numbering)
{
    if (const auto known = m_fileIds.constFind(series); known != m_fileIds.cend())
        return *known;
    const auto name = names.constFind(series);
    if (name == names.cend())
        return -1;
    if (!numbering.insert.bind(1, name->first).bind(2, name->second).run())
        return failed;
    Statement &select = numbering.select;
    const qint64 id =
        select.bind(1, name->first).bind(2, name->second).step() ? select.integer(0) : -1;
    select.reset();
    if (id >= 0)
        m_fileIds.insert(series, id);
    return id;
}

bool ArchiveDatabase::rollBack()
{
    fail();
    // Some series may have been numbered in what is rolled back.
    m_fileIds.clear();
    const QString error = m_error;
    const bool damaged = m_damaged;
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_error = error;
    m_damaged = damaged;
    return false;
}

bool ArchiveDatabase::write(const ArchiveBatch &batch, const SeriesNames &names)
{
    if (!m_db)
        return false;
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    if (!batch.points.empty()) {
        // A row for each host's points of each hour, so that an hour rolls up on its own.
        std::map<std::pair<QString, qint64>, std::vector<ArchivePoint>> rows;
        // A full table's first minute numbers millions: the statements are made once.
        Numbering numbering{{m_db, "INSERT OR IGNORE INTO series(host, reading) VALUES(?, ?)"},
                            {m_db, selectSeries}};
        for (ArchivePoint point : batch.points) {
            const qint64 id = fileId(point.series, names, numbering);
            if (id == failed)
                return rollBack();
            if (id < 0)
                continue; // a series the writer was never told of
            const QString &host = names.value(point.series).first;
            point.series = quint32(id);
            rows[{host, stepStart(point.timeMs, hourMs)}].push_back(point);
        }
        Statement insert(m_db, "INSERT INTO points(host, time_ms, data) VALUES(?, ?, ?)");
        for (const auto &[key, points] : rows) {
            const qint64 base = std::min_element(points.begin(), points.end(),
                                                 [](const ArchivePoint &a, const ArchivePoint &b) {
                                                     return a.timeMs < b.timeMs;
                                                 })
                                    ->timeMs;
            if (!insert.bind(1, key.first).bind(2, base).bind(3, packPoints(points, base)).run())
                return rollBack();
        }
    }
    {
        Statement insert(m_db, "INSERT INTO events(time_ms, host, reading, from_state, to_state,"
                               " value) VALUES(?, ?, ?, ?, ?, ?)");
        for (const ArchiveEvent &event : batch.events) {
            if (!insert.bind(1, event.timeMs)
                     .bind(2, event.host)
                     .bind(3, event.reading)
                     .bind(4, event.from)
                     .bind(5, event.to)
                     .bind(6, event.value)
                     .run())
                return rollBack();
        }
    }
    {
        Statement upsert(m_db, "INSERT OR REPLACE INTO hosts(host, last_heard_ms, position,"
                               " readings) VALUES(?, ?, ?, ?)");
        for (const KeptHost &host : batch.hosts) {
            if (!upsert.bind(1, host.host)
                     .bind(2, host.lastHeardMs)
                     .bind(3, qint64(host.position))
                     .bind(4, readingsJson(host))
                     .run())
                return rollBack();
        }
        Statement remove(m_db, "DELETE FROM hosts WHERE host = ?");
        for (const QString &host : batch.removedHosts) {
            if (!remove.bind(1, host).run())
                return rollBack();
        }
    }
    if (!exec("COMMIT"))
        return rollBack();
    return true;
}

bool ArchiveDatabase::rollUp(qint64 beforeMs)
{
    if (!m_db)
        return false;
    for (;;) {
        qint64 oldest = 0;
        {
            Statement statement(m_db, "SELECT min(time_ms) FROM points");
            if (!statement.step())
                return fail();
            if (sqlite3_column_type(statement.handle(), 0) == SQLITE_NULL)
                return true;
            oldest = statement.integer(0);
        }
        const qint64 hour = stepStart(oldest, hourMs);
        if (hour + hourMs > beforeMs)
            return true;
        if (!rollUpHour(hour))
            return false;
    }
}

bool ArchiveDatabase::rollUpHour(qint64 hour)
{
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    std::map<quint32, std::vector<ArchivePoint>> bySeries;
    {
        Statement select(m_db,
                         "SELECT time_ms, data FROM points WHERE time_ms >= ? AND time_ms < ?");
        select.bind(1, hour).bind(2, hour + hourMs);
        while (select.step()) {
            for (const ArchivePoint &point : unpackPoints(select.blob(1), select.integer(0)))
                bySeries[point.series].push_back(point);
        }
        if (!select.ok())
            return rollBack();
    }
    const qint64 day = stepStart(hour, dayMs);
    Statement insertMinutes(m_db, "INSERT OR REPLACE INTO minutes(series, hour_ms, data)"
                                  " VALUES(?, ?, ?)");
    Statement selectHours(m_db, "SELECT data FROM hours WHERE series = ? AND day_ms = ?");
    Statement insertHours(m_db, "INSERT OR REPLACE INTO hours(series, day_ms, data)"
                                " VALUES(?, ?, ?)");
    for (auto &[series, points] : bySeries) {
        std::stable_sort(
            points.begin(), points.end(),
            [](const ArchivePoint &a, const ArchivePoint &b) { return a.timeMs < b.timeMs; });
        const std::vector<Rollup> minutes = ArchiveBlocks::rollUp(points, minuteMs);
        if (!insertMinutes.bind(1, qint64(series))
                 .bind(2, hour)
                 .bind(3, packRollups(minutes, hour, minuteMs))
                 .run())
            return rollBack();
        const std::vector<Rollup> hourly = ArchiveBlocks::rollUp(minutes, hourMs);
        std::vector<Rollup> ofDay;
        selectHours.bind(1, qint64(series)).bind(2, day);
        if (selectHours.step())
            ofDay = unpackRollups(selectHours.blob(0), day, hourMs);
        sqlite3_reset(selectHours.handle());
        std::erase_if(ofDay, [hour](const Rollup &rollup) { return rollup.timeMs == hour; });
        ofDay.insert(ofDay.end(), hourly.begin(), hourly.end());
        std::sort(ofDay.begin(), ofDay.end(),
                  [](const Rollup &a, const Rollup &b) { return a.timeMs < b.timeMs; });
        if (!insertHours.bind(1, qint64(series))
                 .bind(2, day)
                 .bind(3, packRollups(ofDay, day, hourMs))
                 .run())
            return rollBack();
    }
    Statement remove(m_db, "DELETE FROM points WHERE time_ms >= ? AND time_ms < ?");
    if (!remove.bind(1, hour).bind(2, hour + hourMs).run() || !exec("COMMIT"))
        return rollBack();
    return true;
}

qint64 ArchiveDatabase::usedBytes()
{
    if (!m_db)
        return -1;
    const auto pragma = [this](const char *sql) {
        Statement statement(m_db, sql);
        return statement.step() ? statement.integer(0) : 0;
    };
    return (pragma("PRAGMA page_count") - pragma("PRAGMA freelist_count"))
           * pragma("PRAGMA page_size");
}

bool ArchiveDatabase::deleteOldest(const char *table, const char *column)
{
    const QByteArray sql = QByteArray("DELETE FROM ") + table + " WHERE " + column
                           + " = (SELECT min(" + column + ") FROM " + table + ")";
    return exec(sql.constData());
}

bool ArchiveDatabase::prune(qint64 nowMs, int minuteDays, int hourDays, int eventDays,
                            qint64 maxBytes)
{
    if (!m_db)
        return false;
    const auto before = [nowMs](const char *sql, int days) {
        return std::pair{sql, nowMs - qint64(days) * dayMs};
    };
    for (const auto &[sql, limit] :
         {before("DELETE FROM minutes WHERE hour_ms < ?", minuteDays),
          before("DELETE FROM hours WHERE day_ms < ?", hourDays),
          before("DELETE FROM events WHERE time_ms < ?", eventDays),
          before("DELETE FROM hosts WHERE last_heard_ms < ?", hourDays)}) {
        Statement remove(m_db, sql);
        if (!remove.bind(1, limit).run())
            return fail();
    }
    // Past the cap the oldest go first, minutes before hours: a day of minutes is worth less
    // than the year of hours beside it.
    const auto countOf = [this](const char *sql) {
        Statement statement(m_db, sql);
        return statement.step() ? statement.integer(0) : 0;
    };
    while (usedBytes() > maxBytes) {
        if (countOf("SELECT count(DISTINCT hour_ms) FROM minutes") > 0) {
            if (!deleteOldest("minutes", "hour_ms"))
                return false;
        } else if (countOf("SELECT count(DISTINCT day_ms) FROM hours") > 1) {
            if (!deleteOldest("hours", "day_ms"))
                return false;
        } else {
            break;
        }
    }
    return exec("PRAGMA incremental_vacuum");
}

qint64 ArchiveDatabase::seriesId(const QString &host, const QString &reading)
{
    Statement select(m_db, selectSeries);
    select.bind(1, host).bind(2, reading);
    return select.step() ? select.integer(0) : -1;
}

std::vector<KeptHost> ArchiveDatabase::keptHosts(qint64 sinceMs)
{
    std::vector<KeptHost> hosts;
    if (!m_db)
        return hosts;
    Statement select(m_db, "SELECT host, last_heard_ms, readings, position FROM hosts"
                           " WHERE last_heard_ms >= ? ORDER BY position, last_heard_ms DESC");
    select.bind(1, sinceMs);
    while (select.step()) {
        KeptHost host{select.text(0), select.integer(1), {}, int(select.integer(3))};
        const QJsonArray pairs = QJsonDocument::fromJson(select.text(2).toUtf8()).array();
        for (const QJsonValue &pair : pairs) {
            const QJsonArray nameValue = pair.toArray();
            host.readings.append({nameValue.at(0).toString(), nameValue.at(1).toString()});
        }
        hosts.push_back(std::move(host));
    }
    return hosts;
}

std::vector<ArchivePoint> ArchiveDatabase::hostPoints(const QString &host, qint64 fromMs,
                                                      qint64 toMs)
{
    std::vector<ArchivePoint> points;
    // A row's points lie within the hour its first one starts.
    Statement select(m_db, "SELECT time_ms, data FROM points"
                           " WHERE host = ? AND time_ms >= ? AND time_ms < ? ORDER BY time_ms");
    select.bind(1, host).bind(2, stepStart(fromMs, hourMs)).bind(3, toMs);
    while (select.step()) {
        for (const ArchivePoint &point : unpackPoints(select.blob(1), select.integer(0))) {
            if (point.timeMs >= fromMs && point.timeMs < toMs)
                points.push_back(point);
        }
    }
    return points;
}

std::vector<ArchivePoint> ArchiveDatabase::points(const QString &host, const QString &reading,
                                                  qint64 fromMs, qint64 toMs)
{
    if (!m_db)
        return {};
    const qint64 series = seriesId(host, reading);
    std::vector<ArchivePoint> points = hostPoints(host, fromMs, toMs);
    std::erase_if(points, [series](const ArchivePoint &point) { return point.series != series; });
    std::stable_sort(
        points.begin(), points.end(),
        [](const ArchivePoint &a, const ArchivePoint &b) { return a.timeMs < b.timeMs; });
    return points;
}

std::vector<Rollup> ArchiveDatabase::rollups(const QString &host, const QString &reading,
                                             qint64 fromMs, qint64 toMs, const char *sql,
                                             qint64 blockMs, qint64 stepMs)
{
    if (!m_db)
        return {};
    std::vector<Rollup> rollups;
    Statement select(m_db, sql);
    select.bind(1, seriesId(host, reading)).bind(2, stepStart(fromMs, blockMs)).bind(3, toMs);
    while (select.step()) {
        for (const Rollup &rollup : unpackRollups(select.blob(1), select.integer(0), stepMs)) {
            if (rollup.timeMs >= fromMs && rollup.timeMs < toMs)
                rollups.push_back(rollup);
        }
    }
    // The hours not rolled up yet, rolled up as they are asked for.
    const std::vector<ArchivePoint> recent = points(host, reading, fromMs, toMs);
    const std::vector<Rollup> more = ArchiveBlocks::rollUp(recent, stepMs);
    rollups.insert(rollups.end(), more.begin(), more.end());
    std::stable_sort(rollups.begin(), rollups.end(),
                     [](const Rollup &a, const Rollup &b) { return a.timeMs < b.timeMs; });
    return rollups;
}

std::vector<Rollup> ArchiveDatabase::minutes(const QString &host, const QString &reading,
                                             qint64 fromMs, qint64 toMs)
{
    return rollups(host, reading, fromMs, toMs,
                   "SELECT hour_ms, data FROM minutes"
                   " WHERE series = ? AND hour_ms >= ? AND hour_ms < ? ORDER BY hour_ms",
                   hourMs, minuteMs);
}

std::vector<Rollup> ArchiveDatabase::hours(const QString &host, const QString &reading,
                                           qint64 fromMs, qint64 toMs)
{
    return rollups(host, reading, fromMs, toMs,
                   "SELECT day_ms, data FROM hours"
                   " WHERE series = ? AND day_ms >= ? AND day_ms < ? ORDER BY day_ms",
                   dayMs, hourMs);
}

std::vector<ArchiveEvent> ArchiveDatabase::events(qint64 fromMs, qint64 toMs)
{
    std::vector<ArchiveEvent> events;
    if (!m_db)
        return events;
    Statement select(m_db, "SELECT time_ms, host, reading, from_state, to_state, value FROM events"
                           " WHERE time_ms >= ? AND time_ms < ? ORDER BY time_ms DESC, rowid DESC");
    select.bind(1, fromMs).bind(2, toMs);
    while (select.step()) {
        events.push_back({select.integer(0), select.text(1), select.text(2), select.text(3),
                          select.text(4), select.text(5)});
    }
    return events;
}

qint64 ArchiveDatabase::oldestMs()
{
    if (!m_db)
        return 0;
    Statement select(m_db, "SELECT min(t) FROM (SELECT min(time_ms) AS t FROM points"
                           " UNION ALL SELECT min(hour_ms) FROM minutes"
                           " UNION ALL SELECT min(day_ms) FROM hours"
                           " UNION ALL SELECT min(time_ms) FROM events)");
    return select.step() ? select.integer(0) : 0;
}
