#include "historyarchive.h"

#include "archivedatabase.h"
#include "archivewriter.h"

#include "engine/limits/limitwatch.h"
#include "engine/reception/readingstable.h"

#include <QMetaObject>

#include <algorithm>
#include <cfloat>

namespace {

QString levelWord(LimitState::Level level)
{
    switch (level) {
    case LimitState::Level::Warning:
        return QStringLiteral("warning");
    case LimitState::Level::Critical:
        return QStringLiteral("critical");
    case LimitState::Level::Normal:
    case LimitState::Level::NoState:
        break;
    }
    return QStringLiteral("normal");
}

const QString heardWord = QStringLiteral("heard");
const QString silentWord = QStringLiteral("silent");

} // namespace

HistoryArchive::HistoryArchive(ReadingsTable &table, const LimitWatch *limits,
                               const ArchiveSettings &settings, QObject *parent, WallClock clock)
    : QObject(parent)
    , m_table(table)
    , m_limits(limits)
    , m_settings(settings)
    , m_clock(clock ? std::move(clock) : WallClock([] { return QDateTime::currentDateTime(); }))
    , m_startedAt(m_clock())
{
    m_thread.setObjectName(QStringLiteral("history writer"));
    m_writer = new ArchiveWriter(settings, m_clock);
    connect(m_writer, &ArchiveWriter::statusChanged, this, &HistoryArchive::takeStatus);
    connect(m_writer, &ArchiveWriter::eventsWritten, this, &HistoryArchive::eventsWritten);
    // Opened here, so that what the file holds can be read before the first reading comes.
    m_writer->openFile();
    m_writer->moveToThread(&m_thread);
    connect(&m_thread, &QThread::started, m_writer, &ArchiveWriter::start);
    connect(&m_thread, &QThread::finished, m_writer, &QObject::deleteLater);
    m_thread.start(QThread::LowPriority);

    m_table.addListener(this);
    connect(&m_table, &ReadingsTable::timingChanged, this, &HistoryArchive::handOver);
    connect(&m_table.silence(), &SilenceWatch::hostsFellSilent, this,
            [this](const std::vector<int> &rows) { hostsSilent(rows, true); });
    connect(&m_table.silence(), &SilenceWatch::hostsHeardAgain, this,
            [this](const std::vector<int> &rows) { hostsSilent(rows, false); });
    if (m_limits)
        connect(m_limits, &LimitWatch::rowsJudged, this, &HistoryArchive::rowsJudged);
}

HistoryArchive::~HistoryArchive()
{
    m_table.removeListener(this);
    flush();
    QMetaObject::invokeMethod(m_writer, &ArchiveWriter::finish, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

qint64 HistoryArchive::nowMs() const
{
    return m_clock().toMSecsSinceEpoch();
}

HistoryArchive::Row &HistoryArchive::rowAt(int row)
{
    if (size_t(row) >= m_rows.size())
        m_rows.resize(size_t(row) + 1);
    return m_rows[size_t(row)];
}

quint32 HistoryArchive::seriesOf(int rowIndex, int pair)
{
    Row &row = rowAt(rowIndex);
    if (size_t(pair) >= row.series.size()) {
        row.series.resize(size_t(pair) + 1, 0);
        row.levels.resize(size_t(pair) + 1, 0);
    }
    quint32 &series = row.series[size_t(pair)];
    if (series == 0) {
        std::pair<QString, QString> key{row.host, m_table.nameText(m_table.nameId(rowIndex, pair))};
        series = m_seriesIds.value(key);
        if (series == 0) {
            series = quint32(m_seriesIds.size() + 1);
            m_pending.newSeries.push_back({series, key.first, key.second});
            m_seriesIds.insert(std::move(key), series);
        }
    }
    return series;
}

void HistoryArchive::readingPosted(int rowIndex, int pair, bool newName)
{
    Row &row = rowAt(rowIndex);
    if (m_table.isRestoring()) {
        // Put back from this file: known, not heard.
        if (row.host.isEmpty())
            row.host = m_table.host(rowIndex);
        return;
    }
    // The first hearing of a reading put back: nothing to join it to.
    newName = newName || m_table.postedWasRestored();
    if (!row.touched) {
        row.touched = true;
        m_touched.push_back(rowIndex);
        if (row.host.isEmpty()) {
            row.host = m_table.host(rowIndex);
            m_pending.events.push_back({nowMs(), row.host, {}, {}, heardWord, {}});
        }
    }
    const auto bit = quint64(1) << pair;
    if (newName && size_t(pair) < row.series.size()) {
        row.series[size_t(pair)] = 0;
        row.levels[size_t(pair)] = 0;
        row.wordSince &= ~bit;
    }
    const SilenceWatch::Timing &before = m_table.postedTimingBefore();
    const quint32 now = m_table.postedTiming().heard;
    // As the history in memory: the first value of a tenth stands for the tenth.
    if (!newName && before.heard == now)
        return;
    const ReadingsTable::PostedNumber &posted = m_table.postedNumber();
    if (!posted.ok) {
        row.wordSince |= bit;
        return;
    }
    const bool gap = now > SilenceWatch::deadlineOf(before) || (row.wordSince & bit) != 0;
    row.wordSince &= ~bit;
    m_taken.push_back({seriesOf(rowIndex, pair), now,
                       float(std::clamp(posted.value, -double(FLT_MAX), double(FLT_MAX))), gap});
}

void HistoryArchive::renumbered(const std::vector<int> &newRows, const std::vector<int> &)
{
    handOver();
    const qint64 now = nowMs();
    std::vector<Row> rows(m_rows.size());
    for (size_t old = 0; old < m_rows.size() && old < newRows.size(); ++old) {
        Row &row = m_rows[old];
        if (newRows[old] >= 0) {
            rows[size_t(newRows[old])] = std::move(row);
        } else if (!row.host.isEmpty()) {
            m_pending.events.push_back(
                {now, row.host, {}, heardWord, QStringLiteral("removed"), {}});
            m_pending.removedHosts.append(row.host);
        }
    }
    // Names of pairs may have moved too: their series are looked up afresh.
    for (Row &row : rows) {
        std::fill(row.series.begin(), row.series.end(), 0);
        row.touched = false;
    }
    while (!rows.empty() && rows.back().host.isEmpty())
        rows.pop_back();
    m_rows = std::move(rows);
}

void HistoryArchive::hostsSilent(const std::vector<int> &rows, bool silent)
{
    const qint64 now = nowMs();
    for (const int row : rows) {
        if (size_t(row) < m_rows.size() && !m_rows[size_t(row)].host.isEmpty()) {
            m_pending.events.push_back({now,
                                        m_rows[size_t(row)].host,
                                        {},
                                        silent ? heardWord : silentWord,
                                        silent ? silentWord : heardWord,
                                        {}});
        }
    }
}

void HistoryArchive::rowsJudged(int first, int last)
{
    const qint64 now = nowMs();
    for (int row = first; row <= last && size_t(row) < m_rows.size(); ++row)
        noteLevels(row, now);
}

void HistoryArchive::noteLevels(int rowIndex, qint64 timeMs)
{
    if (!m_limits)
        return;
    Row &row = m_rows[size_t(rowIndex)];
    for (size_t pair = 0; pair < row.levels.size(); ++pair) {
        const LimitState *state = m_limits->state(rowIndex, int(pair));
        auto level = state ? state->level() : LimitState::Level::Normal;
        if (level == LimitState::Level::NoState)
            level = LimitState::Level::Normal;
        if (quint8(level) == row.levels[pair])
            continue;
        const auto before = LimitState::Level(row.levels[pair]);
        row.levels[pair] = quint8(level);
        m_pending.events.push_back(
            {timeMs, row.host, m_table.nameText(m_table.nameId(rowIndex, int(pair))),
             levelWord(before), levelWord(level), m_table.value(rowIndex, int(pair)).trimmed()});
    }
}

void HistoryArchive::handOver()
{
    const qint64 now = nowMs();
    const qint64 originMs = m_table.silence().wallTime(0).toMSecsSinceEpoch();
    m_pending.points.reserve(m_taken.size());
    for (const Taken &taken : m_taken) {
        m_pending.points.push_back(
            {originMs + qint64(taken.tenths) * 100, taken.series, taken.value, taken.gapBefore});
    }
    m_taken.clear();
    for (const int rowIndex : m_touched) {
        Row &row = m_rows[size_t(rowIndex)];
        row.touched = false;
        if (rowIndex >= m_table.hostCount())
            continue;
        noteLevels(rowIndex, now);
        KeptHost host{row.host, m_table.lastHeard(rowIndex).toMSecsSinceEpoch(), {}};
        const int pairs = m_table.pairsInUse(rowIndex);
        for (int pair = 0; pair < pairs; ++pair) {
            const int name = m_table.nameId(rowIndex, pair);
            if (name >= 0)
                host.readings.append({m_table.nameText(name), m_table.value(rowIndex, pair)});
        }
        m_pending.hosts.push_back(std::move(host));
    }
    m_touched.clear();
    if (m_pending.isEmpty())
        return;
    QMetaObject::invokeMethod(m_writer,
                              [writer = m_writer, batch = std::move(m_pending)]() mutable {
                                  writer->write(std::move(batch));
                              });
    m_pending = {};
}

void HistoryArchive::flush()
{
    handOver();
    // Waits for the writer to have taken everything queued before now.
    QMetaObject::invokeMethod(
        m_writer, [] {}, Qt::BlockingQueuedConnection);
}

void HistoryArchive::takeStatus(const QString &problem, const QString &notice, qint64 bytes)
{
    m_problem = problem;
    if (!notice.isEmpty())
        m_notice = notice;
    m_fileBytes = bytes;
    Q_EMIT statusChanged();
}

ArchiveDatabase *HistoryArchive::reader() const
{
    if (!m_reader)
        m_reader = std::make_unique<ArchiveDatabase>(m_settings.filePath());
    if (!m_reader->isOpen()
        && m_reader->open(ArchiveDatabase::Access::ReadOnly) != ArchiveDatabase::Open::Opened)
        return nullptr;
    return m_reader.get();
}

std::vector<KeptHost> HistoryArchive::keptHosts(const QDateTime &since) const
{
    ArchiveDatabase *const database = reader();
    return database ? database->keptHosts(since.toMSecsSinceEpoch()) : std::vector<KeptHost>{};
}

std::vector<HistoryArchive::Point> HistoryArchive::points(const QString &host,
                                                          const QString &reading, qint64 fromMs,
                                                          qint64 toMs) const
{
    std::vector<Point> points;
    if (ArchiveDatabase *const database = reader()) {
        for (const ArchivePoint &point : database->points(host, reading, fromMs, toMs))
            points.push_back({point.timeMs, point.value, point.gapBefore});
    }
    return points;
}

std::vector<Rollup> HistoryArchive::rollups(const QString &host, const QString &reading,
                                            qint64 fromMs, qint64 toMs, Resolution resolution) const
{
    ArchiveDatabase *const database = reader();
    if (!database)
        return {};
    return resolution == Resolution::Minutes ? database->minutes(host, reading, fromMs, toMs)
                                             : database->hours(host, reading, fromMs, toMs);
}

std::vector<ArchiveEvent> HistoryArchive::events(qint64 fromMs, qint64 toMs) const
{
    ArchiveDatabase *const database = reader();
    return database ? database->events(fromMs, toMs) : std::vector<ArchiveEvent>{};
}

qint64 HistoryArchive::oldestMs() const
{
    ArchiveDatabase *const database = reader();
    return database ? database->oldestMs() : 0;
}
