#include "historystore.h"

#include "limits/valuenumber.h"
#include "reception/readingstable.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>

namespace {

using Point = HistoryStore::Point;
using Tenths = HistoryStore::Tenths;

// What the allocator adds to each block, counted so that the cap holds for the process too.
constexpr qint64 blockOverhead = 16;
constexpr qint64 wordOverhead = qint64(sizeof(HistoryStore::WordChange)) + 2 * blockOverhead;

qint64 wordBytes(const QString &text)
{
    return wordOverhead + text.size() * qint64(sizeof(char16_t));
}

// The points [begin, end) in steps of width tenths, a step ending early at a gap: how many
// each step keeps (its lowest and highest, or its single point) add up to.
quint32 mergedCount(const Point *begin, const Point *end, quint64 width)
{
    quint32 count = 0;
    quint32 inStep = 0;
    quint64 step = ~quint64(0);
    for (const Point *p = begin; p != end; ++p) {
        const quint64 at = p->time() / width;
        if (at != step || p->gapBefore()) {
            step = at;
            inStep = 0;
        }
        if (++inStep <= 2)
            ++count;
    }
    return count;
}

// Merges [begin, end) in steps of width tenths, in place; returns the new end. Each step
// keeps its lowest and its highest point, in the order heard; a step whose points are all
// equal keeps one. A gap stays on the first point kept after it.
Point *merge(Point *begin, Point *end, quint64 width)
{
    Point *out = begin;
    for (Point *first = begin; first != end;) {
        const quint64 at = first->time() / width;
        Point *last = first + 1;
        while (last != end && !last->gapBefore() && last->time() / width == at)
            ++last;
        const bool gap = first->gapBefore();
        if (last - first <= 2) {
            for (Point *p = first; p != last; ++p)
                *out++ = *p;
        } else {
            const auto [low, high] = std::minmax_element(
                first, last, [](const Point &a, const Point &b) { return a.value() < b.value(); });
            const Point lowPoint(low->time(), low->value(), false);
            const Point highPoint(high->time(), high->value(), false);
            if (low->value() == high->value()) {
                *out++ = Point(first->time(), first->value(), gap);
            } else if (low < high) {
                *out++ = Point(lowPoint.time(), lowPoint.value(), gap);
                *out++ = highPoint;
            } else {
                *out++ = Point(highPoint.time(), highPoint.value(), gap);
                *out++ = lowPoint;
            }
        }
        first = last;
    }
    return out;
}

// Merges [begin, end) in the finest step, in tenths a power of two, that leaves at most
// maxPoints; gaps may leave more. Returns the new end.
Point *mergeToFit(Point *begin, Point *end, quint32 maxPoints)
{
    if (end - begin <= qsizetype(maxPoints))
        return end;
    const quint64 span = quint64(end[-1].time() - begin->time()) + 1;
    // Evenly spread points would fit at about this step; start a little finer.
    const quint64 guess = std::max<quint64>(1, 2 * span / std::max<quint32>(maxPoints, 1) / 2);
    quint64 width = std::bit_floor(guess);
    while (mergedCount(begin, end, width) > maxPoints && width <= span)
        width *= 2;
    return merge(begin, end, width);
}

} // namespace

HistoryStore::HistoryStore(ReadingsTable &table, qint64 capBytes, QObject *parent)
    : QObject(parent)
    , m_table(table)
    , m_capBytes(capBytes)
{
    updateShare();
    m_table.addListener(this);
    connect(&m_table, &ReadingsTable::timingChanged, this, &HistoryStore::keepWithinCap);
}

HistoryStore::~HistoryStore()
{
    m_table.removeListener(this);
}

qint64 HistoryStore::bytesUsed() const
{
    return m_seriesCount * qint64(sizeof(Series)) + qint64(m_rows.capacity() * sizeof(Row))
           + m_pointBytes + m_wordBytes;
}

// Each reading's share of what the cap leaves once the bookkeeping is paid.
void HistoryStore::updateShare()
{
    const qint64 readings = std::max<qint64>(1, m_seriesCount);
    const qint64 fixed =
        m_seriesCount * qint64(sizeof(Series)) + qint64(m_rows.capacity() * sizeof(Row));
    const qint64 share = std::max<qint64>(0, m_capBytes - fixed) / readings;
    const qint64 points = (share - blockOverhead) / qint64(sizeof(Point));
    m_sharePoints = quint32(std::clamp<qint64>(points, minPoints, 1 << 30));
    m_shareWordBytes = std::max<qint64>(share, wordOverhead + 64);
}

void HistoryStore::readingPosted(int row, int pair, bool newName)
{
    if (size_t(row) >= m_rows.size())
        m_rows.resize(size_t(row) + 1);
    Row &cells = m_rows[size_t(row)];
    if (size_t(pair) >= cells.series.size())
        resizeRow(cells, size_t(pair) + 1);
    Series &series = cells.series[size_t(pair)];
    if (newName)
        forget(series);
    const SilenceWatch::Timing *const timing = m_table.timing(row, pair);
    if (!timing)
        return;
    const Tenths now = timing->heard;
    // Silent past its overdue time since the report before.
    const bool silent = series.heard && now > series.deadline;
    series.heard = true;
    series.deadline = SilenceWatch::deadlineOf(*timing);
    const QStringView text = m_table.valueView(row, pair, m_scratch);
    const ValueNumber number = ValueNumber::read(text);
    if (number.ok) {
        const auto value = float(std::clamp(number.value, -double(FLT_MAX), double(FLT_MAX)));
        append(series, Point(now, value, series.count > 0 && (silent || series.gapPending)));
        series.gapPending = false;
    } else {
        series.gapPending = true;
        addWord(series, now, text);
    }
    ++series.version;
}

void HistoryStore::append(Series &series, Point point)
{
    if (series.count == series.capacity) {
        if (series.capacity < m_sharePoints) {
            const quint32 grown = series.capacity == 0 ? minPoints : 2 * series.capacity;
            reallocate(series, std::min(grown, m_sharePoints));
        } else {
            // A quarter is left free, so that the next thinning is that many points away.
            thin(series, std::max(m_sharePoints - m_sharePoints / 4, minPoints / 2));
            if (series.capacity > m_sharePoints)
                reallocate(series, m_sharePoints);
        }
    }
    series.points[series.count++] = point;
}

void HistoryStore::thin(Series &series, quint32 target)
{
    if (series.count <= target)
        return;
    Point *const begin = series.points.get();
    Point *end = begin + series.count;
    const Tenths newest = end[-1].time();
    const Tenths hourStart = newest > hourTenths ? newest - hourTenths : 0;
    Point *hour = std::partition_point(
        begin, end, [hourStart](const Point &p) { return p.time() < hourStart; });
    // What is older than the hour goes first.
    if (hour != begin) {
        Point *const kept = mergeToFit(begin, hour, std::max<quint32>(target / 4, 2));
        end = std::copy(hour, end, kept);
        hour = kept;
    }
    if (end - begin > qsizetype(target)) {
        const auto room = quint32(std::max<qsizetype>(target - (hour - begin), 2));
        end = mergeToFit(hour, end, room);
    }
    // Gaps everywhere can leave more than the target: the oldest then go.
    if (end - begin > qsizetype(target)) {
        Point *const from = end - target;
        end = std::copy(from, end, begin);
    }
    series.count = quint32(end - begin);
}

void HistoryStore::reallocate(Series &series, quint32 capacity)
{
    auto points = std::make_unique_for_overwrite<Point[]>(capacity);
    std::copy_n(series.points.get(), std::min(series.count, capacity), points.get());
    const qint64 before =
        series.capacity == 0 ? 0 : qint64(series.capacity) * qint64(sizeof(Point)) + blockOverhead;
    m_pointBytes += qint64(capacity) * qint64(sizeof(Point)) + blockOverhead - before;
    series.points = std::move(points);
    series.capacity = capacity;
}

void HistoryStore::addWord(Series &series, Tenths time, QStringView value)
{
    const QStringView text = value.trimmed();
    if (!series.words)
        series.words = std::make_unique<WordLog>();
    std::vector<WordChange> &changes = series.words->changes;
    if (!changes.empty() && changes.back().text == text)
        return;
    WordChange &change = changes.emplace_back(WordChange{time, text.toString()});
    const qint64 bytes = wordBytes(change.text);
    series.words->bytes += bytes;
    m_wordBytes += bytes;
    trimWords(series);
}

// At most maxWordChanges, and within the reading's share; the latest always stays.
void HistoryStore::trimWords(Series &series)
{
    WordLog &log = *series.words;
    size_t drop = 0;
    qint64 bytes = log.bytes;
    while (log.changes.size() - drop > 1
           && (log.changes.size() - drop > size_t(maxWordChanges) || bytes > m_shareWordBytes)) {
        bytes -= wordBytes(log.changes[drop].text);
        ++drop;
    }
    if (drop == 0)
        return;
    log.changes.erase(log.changes.begin(), log.changes.begin() + qsizetype(drop));
    m_wordBytes -= log.bytes - bytes;
    log.bytes = bytes;
}

void HistoryStore::forget(Series &series)
{
    if (series.capacity > 0)
        m_pointBytes -= qint64(series.capacity) * qint64(sizeof(Point)) + blockOverhead;
    if (series.words)
        m_wordBytes -= series.words->bytes;
    series = Series();
}

void HistoryStore::resizeRow(Row &row, size_t pairs)
{
    const auto before = qint64(row.series.capacity());
    row.series.resize(pairs);
    m_seriesCount += qint64(row.series.capacity()) - before;
    updateShare();
}

void HistoryStore::keepWithinCap()
{
    if (bytesUsed() <= m_capBytes)
        return;
    const quint32 target = std::max(m_sharePoints - m_sharePoints / 4, minPoints / 2);
    for (Row &row : m_rows) {
        for (Series &series : row.series) {
            if (series.capacity > m_sharePoints) {
                thin(series, target);
                reallocate(series, std::max(m_sharePoints, series.count));
                ++series.version;
            }
            if (series.words && series.words->bytes > m_shareWordBytes) {
                trimWords(series);
                ++series.version;
            }
        }
    }
}

void HistoryStore::renumbered(const std::vector<int> &newRows, const std::vector<int> &)
{
    std::vector<Row> rows;
    for (size_t old = 0; old < m_rows.size(); ++old) {
        const int now = old < newRows.size() ? newRows[old] : -1;
        if (now < 0) {
            for (Series &series : m_rows[old].series)
                forget(series);
            m_seriesCount -= qint64(m_rows[old].series.capacity());
            continue;
        }
        if (size_t(now) >= rows.size())
            rows.resize(size_t(now) + 1);
        rows[size_t(now)] = std::move(m_rows[old]);
    }
    m_rows = std::move(rows);
    m_rows.shrink_to_fit();
    updateShare();
    Q_EMIT rowsRenumbered(newRows);
}

const HistoryStore::Series *HistoryStore::seriesAt(int row, int pair) const
{
    if (row < 0 || pair < 0 || size_t(row) >= m_rows.size())
        return nullptr;
    const Row &cells = m_rows[size_t(row)];
    return size_t(pair) < cells.series.size() ? &cells.series[size_t(pair)] : nullptr;
}

std::span<const HistoryStore::Point> HistoryStore::points(int row, int pair) const
{
    const Series *const series = seriesAt(row, pair);
    if (!series || series->count == 0)
        return {};
    return {series->points.get(), series->count};
}

std::vector<HistoryStore::WordChange> HistoryStore::wordChanges(int row, int pair) const
{
    const Series *const series = seriesAt(row, pair);
    if (!series || !series->words)
        return {};
    return series->words->changes;
}

quint32 HistoryStore::version(int row, int pair) const
{
    const Series *const series = seriesAt(row, pair);
    return series ? series->version : 0;
}
