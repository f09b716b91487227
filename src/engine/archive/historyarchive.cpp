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
    connect(&m_table, &ReadingsTable::timingChanged, this, [this] { handOver(false); });
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
    // A reading connection cannot fold the journal back into the file: it goes first, so that
    // the writer's close leaves the file whole on its own.
    m_reader.reset();
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
    if (size_t(row) >= m_rows.size()) {
        m_rows.resize(size_t(row) + 1);
        m_flags.resize(m_rows.size(), 0);
        m_wordSince.resize(m_rows.size(), 0);
    }
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
        series = ++m_lastSeries;
        m_pending.newSeries.push_back(
            {series, row.host, m_table.nameText(m_table.nameId(rowIndex, pair))});
    }
    return series;
}

// Called for every reading the table takes: no call on its common path.
void HistoryArchive::readingPosted(int rowIndex, int pair, bool newName)
{
    const auto row = size_t(rowIndex);
    if (row >= m_flags.size() || m_flags[row] != (Known | Touched | HostDue) || newName
        || m_table.isRestoring()) [[unlikely]] {
        postedRarely(rowIndex, pair, newName);
        return;
    }
    take(rowIndex, pair, false);
}

inline void HistoryArchive::take(int rowIndex, int pair, bool newName)
{
    const auto row = size_t(rowIndex);
    const SilenceWatch::Timing &before = m_table.postedTimingBefore();
    const quint32 now = m_table.postedTiming().heard;
    const bool first = newName || m_table.postedWasRestored();
    // As the history in memory: the first value of a tenth stands for the tenth.
    if (!first && before.heard == now)
        return;
    const auto bit = quint64(1) << pair;
    const ReadingsTable::PostedNumber &posted = m_table.postedNumber();
    if (!posted.ok) {
        m_wordSince[row] |= bit;
        return;
    }
    const bool gap =
        first || now > SilenceWatch::deadlineOf(before) || (m_wordSince[row] & bit) != 0;
    m_wordSince[row] &= ~bit;
    m_taken.push_back({quint32(rowIndex), now,
                       float(std::clamp(posted.value, -double(FLT_MAX), double(FLT_MAX))),
                       quint8(pair), gap});
}

void HistoryArchive::postedRarely(int rowIndex, int pair, bool newName)
{
    Row &row = rowAt(rowIndex);
    quint8 &flags = m_flags[size_t(rowIndex)];
    if (!(flags & Known)) {
        flags |= Known;
        row.host = m_table.host(rowIndex);
        // Put back from this file: known, not heard.
        if (m_table.isRestoring()) {
            flags |= Restored;
            m_restored.push_back(rowIndex);
        } else
            m_pending.events.push_back({nowMs(), row.host, {}, {}, heardWord, {}});
    }
    if (m_table.isRestoring())
        return;
    if (!(flags & Touched)) {
        flags |= Touched;
        m_touched.push_back(rowIndex);
    }
    if (!(flags & HostDue)) {
        flags |= HostDue;
        m_hostsDue.push_back({rowIndex, m_batches});
    }
    if (newName && size_t(pair) < row.series.size()) {
        // Another reading had the pair: its series and state are not this one's.
        if (row.series[size_t(pair)] != 0)
            m_pending.retiredSeries.push_back(row.series[size_t(pair)]);
        row.series[size_t(pair)] = 0;
        row.levels[size_t(pair)] = 0;
        m_wordSince[size_t(rowIndex)] &= ~(quint64(1) << pair);
    }
    take(rowIndex, pair, newName);
}

void HistoryArchive::renumbered(const std::vector<int> &newRows, const std::vector<int> &)
{
    handOver(true);
    const qint64 now = nowMs();
    std::vector<Row> rows(m_rows.size());
    std::vector<quint8> flags(m_rows.size(), 0);
    std::vector<quint64> wordSince(m_rows.size(), 0);
    for (size_t old = 0; old < m_rows.size() && old < newRows.size(); ++old) {
        Row &row = m_rows[old];
        if (newRows[old] >= 0) {
            const auto to = size_t(newRows[old]);
            rows[to] = std::move(row);
            flags[to] = m_flags[old] & Known;
            wordSince[to] = m_wordSince[old];
        } else if (!row.host.isEmpty()) {
            m_pending.events.push_back(
                {now, row.host, {}, heardWord, QStringLiteral("removed"), {}});
            m_pending.removedHosts.append(row.host);
            retire(row);
        }
    }
    // A row keeps its pairs where they were: their series stay.
    while (!rows.empty() && rows.back().host.isEmpty())
        rows.pop_back();
    flags.resize(rows.size());
    wordSince.resize(rows.size());
    m_rows = std::move(rows);
    m_flags = std::move(flags);
    m_wordSince = std::move(wordSince);
    m_touched.clear();
    m_hostsDue.clear();
}

void HistoryArchive::retire(Row &row)
{
    for (const quint32 series : row.series) {
        if (series != 0)
            m_pending.retiredSeries.push_back(series);
    }
}

void HistoryArchive::hostsSilent(const std::vector<int> &rows, bool silent)
{
    const qint64 now = nowMs();
    for (const int row : rows) {
        if (size_t(row) >= m_rows.size() || m_rows[size_t(row)].host.isEmpty())
            continue;
        quint8 &flags = m_flags[size_t(row)];
        const bool restored = flags & Restored;
        flags &= ~Restored;
        // Put back silent: it was not heard to fall silent.
        if (silent && restored)
            continue;
        m_pending.events.push_back({now,
                                    m_rows[size_t(row)].host,
                                    {},
                                    silent ? heardWord : silentWord,
                                    silent ? silentWord : heardWord,
                                    {}});
    }
}

void HistoryArchive::rowsJudged(int first, int last)
{
    const qint64 now = nowMs();
    for (int row = first; row <= last && size_t(row) < m_rows.size(); ++row)
        noteLevels(row, now, false);
}

void HistoryArchive::noteLevels(int rowIndex, qint64 timeMs, bool quietly)
{
    if (!m_limits)
        return;
    Row &row = m_rows[size_t(rowIndex)];
    if (quietly && rowIndex < m_table.hostCount()) {
        const auto pairs = size_t(m_table.pairsInUse(rowIndex));
        row.levels.resize(std::max(row.levels.size(), pairs), 0);
        row.series.resize(row.levels.size(), 0);
    }
    for (size_t pair = 0; pair < row.levels.size(); ++pair) {
        const LimitState *state = m_limits->state(rowIndex, int(pair));
        auto level = state ? state->level() : LimitState::Level::Normal;
        if (level == LimitState::Level::NoState)
            level = LimitState::Level::Normal;
        if (quint8(level) == row.levels[pair])
            continue;
        const auto before = LimitState::Level(row.levels[pair]);
        row.levels[pair] = quint8(level);
        if (!quietly)
            m_pending.events.push_back({timeMs, row.host,
                                        m_table.nameText(m_table.nameId(rowIndex, int(pair))),
                                        levelWord(before), levelWord(level),
                                        m_table.value(rowIndex, int(pair)).trimmed()});
    }
}

void HistoryArchive::handOver(bool everything)
{
    const qint64 now = nowMs();
    m_pending.originMs = m_table.silence().wallTime(0).toMSecsSinceEpoch();
    m_pending.taken = std::move(m_taken);
    m_taken = {};
    // The states restored hosts were put back in were written before: not news.
    for (const int row : m_restored) {
        if (row < m_table.hostCount())
            noteLevels(row, now, true);
    }
    m_restored.clear();
    // Each row's series here, and the points made of them on the writer's thread: a row at a
    // time rather than a point at a time.
    if (!m_touched.empty()) {
        const size_t rows = size_t(*std::max_element(m_touched.begin(), m_touched.end())) + 1;
        m_pending.rowStart.resize(rows);
        m_pending.rowPairs.resize(rows, 0);
    }
    for (const int row : m_touched) {
        m_flags[size_t(row)] &= ~Touched;
        m_pending.rowStart[size_t(row)] = quint32(m_pending.takenSeries.size());
        const int pairs = int(m_rows[size_t(row)].series.size());
        const int inUse = row < m_table.hostCount() ? m_table.pairsInUse(row) : 0;
        const int count = std::min(std::max(pairs, inUse), 255);
        m_pending.rowPairs[size_t(row)] = quint8(count);
        for (int pair = 0; pair < count; ++pair)
            m_pending.takenSeries.push_back(
                pair < inUse && m_table.nameId(row, pair) >= 0 ? seriesOf(row, pair) : 0);
        if (row < m_table.hostCount())
            noteLevels(row, now, false);
    }
    m_touched.clear();
    ++m_batches;
    takeHosts(everything);
    if (m_pending.isEmpty())
        return;
    QMetaObject::invokeMethod(m_writer,
                              [writer = m_writer, batch = std::move(m_pending)]() mutable {
                                  writer->write(std::move(batch));
                              });
    m_pending = {};
}

void HistoryArchive::takeHosts(bool everything)
{
    // The table's clock in tenths, rather than a date per host.
    const qint64 nowTenths = m_table.silence().tenthsSince(0);
    while (!m_hostsDue.empty()
           && (everything || m_hostsDue.front().batch <= m_batches - hostsEvery)) {
        const int rowIndex = m_hostsDue.front().row;
        m_hostsDue.pop_front();
        m_flags[size_t(rowIndex)] &= ~HostDue;
        if (rowIndex >= m_table.hostCount())
            continue;
        const qint64 lastHeardMs =
            m_table.isRestored(rowIndex)
                ? m_table.lastHeard(rowIndex).toMSecsSinceEpoch()
                : m_pending.originMs + (nowTenths - m_table.tenthsSinceHeard(rowIndex)) * 100;
        KeptHost host{m_rows[size_t(rowIndex)].host, lastHeardMs, {}, rowIndex};
        const int pairs = m_table.pairsInUse(rowIndex);
        host.readings.reserve(pairs);
        for (int pair = 0; pair < pairs; ++pair) {
            const int name = m_table.nameId(rowIndex, pair);
            if (name >= 0)
                host.readings.append({m_table.nameText(name), m_table.value(rowIndex, pair)});
        }
        m_pending.hosts.push_back(std::move(host));
    }
}

void HistoryArchive::flush()
{
    handOver(true);
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
