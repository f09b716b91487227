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
    // Evenly spread points would fit at about twice this step; start there, finer.
    quint64 width = std::bit_floor(std::max<quint64>(1, span / std::max<quint32>(maxPoints, 1)));
    while (mergedCount(begin, end, width) > maxPoints && width <= span)
        width *= 2;
    return merge(begin, end, width);
}

// Thins one reading's points, oldest first, to at most target; returns how many are left.
size_t thinPoints(Point *begin, size_t count, quint32 target)
{
    if (count <= target)
        return count;
    Point *end = begin + count;
    const Tenths newest = end[-1].time();
    const Tenths hourStart =
        newest > HistoryStore::hourTenths ? newest - HistoryStore::hourTenths : 0;
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
    if (end - begin > qsizetype(target))
        end = std::copy(end - target, end, begin);
    return size_t(end - begin);
}

template<typename T> void prefetch(const T *address)
{
#if defined(__GNUC__)
    __builtin_prefetch(address, 1);
#else
    Q_UNUSED(address);
#endif
}

quint32 wordKey(int row, int pair)
{
    return (quint32(row) << 6) | quint32(pair);
}
static_assert(ReadingsTable::pairCount <= 64);

} // namespace

HistoryStore::HistoryStore(ReadingsTable &table, qint64 capBytes, QObject *parent)
    : QObject(parent)
    , m_table(table)
    , m_capBytes(capBytes)
{
    updateShare();
    m_posted.reserve(maxPosted);
    m_table.addListener(this);
    connect(&m_table, &ReadingsTable::timingChanged, this, &HistoryStore::keepWithinCap);
}

HistoryStore::~HistoryStore()
{
    m_table.removeListener(this);
}

qint64 HistoryStore::bytesUsed() const
{
    return m_seriesCount * qint64(sizeof(PairState))
           + qint64(m_rows.capacity()) * qint64(sizeof(Row) + blockOverhead) + m_pointBytes
           + m_wordBytes;
}

// Each reading's share of what the cap leaves once the bookkeeping is paid.
void HistoryStore::updateShare()
{
    const qint64 readings = std::max<qint64>(1, m_seriesCount);
    const qint64 fixed = m_seriesCount * qint64(sizeof(PairState))
                         + qint64(m_rows.capacity()) * qint64(sizeof(Row) + blockOverhead);
    const qint64 share = std::max<qint64>(0, m_capBytes - fixed) / readings;
    m_sharePoints = quint32(std::clamp<qint64>(share / qint64(sizeof(Entry)), minPoints, 1 << 24));
    m_shareWordBytes = std::max<qint64>(share, wordOverhead + 64);
}

quint32 HistoryStore::rowShare(const Row &row) const
{
    return m_sharePoints * quint32(std::max<size_t>(1, row.pairs.size()));
}

void HistoryStore::readingPosted(int row, int pair, bool newName)
{
    if (newName)
        renamed(row, pair);
    m_posted.push_back({quint32(row), quint32(pair)});
    if (m_posted.size() >= maxPosted)
        takePosted();
}

void HistoryStore::published()
{
    takePosted();
}

// Rare: a reading of another name had the pair, or none did.
void HistoryStore::renamed(int row, int pair)
{
    takePosted();
    if (size_t(row) >= m_rows.size())
        return;
    const Row &cells = m_rows[size_t(row)];
    if (size_t(pair) < cells.pairs.size() && cells.pairs[size_t(pair)].wasTaken())
        dropPair(row, pair);
}

void HistoryStore::takePosted()
{
    const size_t count = m_posted.size();
    // Hosts far apart in the table are far apart in memory: what the readings a few places
    // ahead need is asked for early, so that waiting for memory overlaps.
    constexpr size_t ahead = 8;
    const auto prefetchRow = [this](const Posted &posted) {
        if (posted.row < m_rows.size())
            prefetch(&m_rows[posted.row]);
    };
    const auto prefetchPoints = [this](const Posted &posted) {
        if (posted.row >= m_rows.size())
            return;
        const Row &row = m_rows[posted.row];
        if (posted.pair < row.pairs.size())
            prefetch(&row.pairs[posted.pair]);
        if (row.count < row.capacity)
            prefetch(&row.entries[row.count]);
    };
    for (size_t i = 0; i < std::min(count, ahead); ++i)
        prefetchRow(m_posted[i]);
    for (size_t i = 0; i < count; ++i) {
        if (i + 2 * ahead < count)
            prefetchRow(m_posted[i + 2 * ahead]);
        if (i + ahead < count)
            prefetchPoints(m_posted[i + ahead]);
        take(int(m_posted[i].row), int(m_posted[i].pair));
    }
    m_posted.clear();
}

void HistoryStore::take(int row, int pair)
{
    const SilenceWatch::Timing *const timing = m_table.timing(row, pair);
    if (!timing)
        return;
    if (size_t(row) >= m_rows.size())
        m_rows.resize(size_t(row) + 1);
    Row &cells = m_rows[size_t(row)];
    if (size_t(pair) >= cells.pairs.size())
        resizePairs(cells, size_t(pair) + 1);
    PairState &state = cells.pairs[size_t(pair)];
    const Tenths now = timing->heard;
    // Posted again before it was taken: the table holds only the latest, taken already.
    if (state.takenAt(now))
        return;
    // Silent past its overdue time since the report before.
    const bool silent = state.wasTaken() && now > state.deadline();
    const Tenths deadline = SilenceWatch::deadlineOf(*timing);
    const QAnyStringView text = m_table.valueView(row, pair);
    if (const std::optional<double> number = ValueNumber::numberOf(text)) {
        const auto value = float(std::clamp(*number, -double(FLT_MAX), double(FLT_MAX)));
        append(cells, {Point(now, value, silent || state.gapPending()), quint32(pair)});
        state.set(now, deadline, false);
    } else {
        state.set(now, deadline, true);
        addWord(row, pair, now, text.toString().trimmed());
    }
    ++cells.version;
}

void HistoryStore::append(Row &row, Entry entry)
{
    if (row.count == row.capacity) {
        const quint32 share = rowShare(row);
        if (row.capacity < share) {
            reallocate(row, std::min(std::max(2 * row.capacity, 2 * minPoints), share));
        } else {
            // A quarter is left free, so that the next thinning is that many points away.
            thin(row, share - share / 4);
            if (row.capacity > share)
                reallocate(row, share);
        }
    }
    row.entries[row.count++] = entry;
}

void HistoryStore::thin(Row &row, quint32 target)
{
    if (row.count <= target)
        return;
    std::vector<std::vector<Point>> split(row.pairs.size());
    for (quint32 i = 0; i < row.count; ++i)
        split[row.entries[i].pair].push_back(row.entries[i].point);
    // Each reading keeps its share of the target, and a reading that needs less leaves the
    // rest to the others.
    std::vector<size_t> counts;
    for (const std::vector<Point> &points : split) {
        if (!points.empty())
            counts.push_back(points.size());
    }
    std::sort(counts.begin(), counts.end());
    size_t left = target;
    size_t level = counts.empty() ? 0 : counts.back();
    for (size_t i = 0; i < counts.size(); ++i) {
        const size_t fair = left / (counts.size() - i);
        if (counts[i] > fair) {
            level = std::max<size_t>(fair, 2);
            break;
        }
        left -= counts[i];
    }
    std::vector<Entry> merged;
    merged.reserve(row.count);
    for (size_t pair = 0; pair < split.size(); ++pair) {
        std::vector<Point> &points = split[pair];
        points.resize(thinPoints(points.data(), points.size(), quint32(level)));
        for (const Point &point : points)
            merged.push_back({point, quint32(pair)});
    }
    std::stable_sort(merged.begin(), merged.end(), [](const Entry &a, const Entry &b) {
        return a.point.time() < b.point.time();
    });
    std::copy(merged.begin(), merged.end(), row.entries.get());
    row.count = quint32(merged.size());
}

void HistoryStore::reallocate(Row &row, quint32 capacity)
{
    capacity = std::max(capacity, row.count);
    auto entries = std::make_unique_for_overwrite<Entry[]>(capacity);
    std::copy_n(row.entries.get(), row.count, entries.get());
    const qint64 before =
        row.capacity == 0 ? 0 : qint64(row.capacity) * qint64(sizeof(Entry)) + blockOverhead;
    m_pointBytes += qint64(capacity) * qint64(sizeof(Entry)) + blockOverhead - before;
    row.entries = std::move(entries);
    row.capacity = capacity;
}

void HistoryStore::dropPair(int rowIndex, int pair)
{
    Row &row = m_rows[size_t(rowIndex)];
    Entry *const begin = row.entries.get();
    Entry *const end = std::remove_if(begin, begin + row.count,
                                      [pair](const Entry &e) { return e.pair == quint32(pair); });
    row.count = quint32(end - begin);
    row.pairs[size_t(pair)] = PairState();
    if (const auto log = m_words.find(wordKey(rowIndex, pair)); log != m_words.end()) {
        m_wordBytes -= log->second.bytes;
        m_words.erase(log);
    }
}

HistoryStore::WordLog *HistoryStore::wordLog(int row, int pair, bool create)
{
    const quint32 key = wordKey(row, pair);
    if (create)
        return &m_words[key];
    const auto log = m_words.find(key);
    return log == m_words.end() ? nullptr : &log->second;
}

void HistoryStore::addWord(int row, int pair, Tenths time, const QString &text)
{
    WordLog *const existing = wordLog(row, pair, false);
    if (existing && !existing->changes.empty() && existing->changes.back().text == text)
        return;
    WordLog &log = existing ? *existing : *wordLog(row, pair, true);
    if (!existing) {
        log.bytes = wordOverhead;
        m_wordBytes += wordOverhead;
    }
    const WordChange &change = log.changes.emplace_back(WordChange{time, text});
    const qint64 bytes = wordBytes(change.text);
    log.bytes += bytes;
    m_wordBytes += bytes;
    trimWords(log);
}

// At most maxWordChanges, and within the reading's share; the latest always stays.
void HistoryStore::trimWords(WordLog &log)
{
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

void HistoryStore::resizePairs(Row &row, size_t pairs)
{
    const auto before = qint64(row.pairs.capacity());
    row.pairs.resize(pairs);
    m_seriesCount += qint64(row.pairs.capacity()) - before;
    updateShare();
}

void HistoryStore::keepWithinCap()
{
    takePosted();
    if (bytesUsed() <= m_capBytes)
        return;
    for (Row &row : m_rows) {
        const quint32 share = rowShare(row);
        if (row.capacity > share) {
            thin(row, share - share / 4);
            reallocate(row, share);
            ++row.version;
        }
    }
    for (auto &[key, log] : m_words) {
        if (log.bytes > m_shareWordBytes) {
            trimWords(log);
            ++m_rows[key >> 6].version;
        }
    }
}

void HistoryStore::forgetRow(Row &row)
{
    if (row.capacity > 0)
        m_pointBytes -= qint64(row.capacity) * qint64(sizeof(Entry)) + blockOverhead;
    m_seriesCount -= qint64(row.pairs.capacity());
    row = Row();
}

void HistoryStore::renumbered(const std::vector<int> &newRows, const std::vector<int> &)
{
    const auto newRow = [&newRows](size_t old) { return old < newRows.size() ? newRows[old] : -1; };
    // The table publishes before it removes rows, so none should wait; any that do follow.
    std::erase_if(m_posted, [&](Posted &posted) {
        const int now = newRow(posted.row);
        posted.row = quint32(now);
        return now < 0;
    });
    std::vector<Row> rows;
    for (size_t old = 0; old < m_rows.size(); ++old) {
        const int now = newRow(old);
        if (now < 0) {
            forgetRow(m_rows[old]);
            continue;
        }
        if (size_t(now) >= rows.size())
            rows.resize(size_t(now) + 1);
        rows[size_t(now)] = std::move(m_rows[old]);
    }
    m_rows = std::move(rows);
    m_rows.shrink_to_fit();
    std::unordered_map<quint32, WordLog> words;
    for (auto &[key, log] : m_words) {
        if (const int now = newRow(key >> 6); now >= 0)
            words.emplace(wordKey(now, int(key & 63)), std::move(log));
        else
            m_wordBytes -= log.bytes;
    }
    m_words = std::move(words);
    updateShare();
    Q_EMIT rowsRenumbered(newRows);
}

const HistoryStore::Row *HistoryStore::rowAt(int row) const
{
    return row >= 0 && size_t(row) < m_rows.size() ? &m_rows[size_t(row)] : nullptr;
}

std::vector<HistoryStore::Point> HistoryStore::points(int row, int pair) const
{
    std::vector<Point> points;
    if (const Row *const cells = rowAt(row)) {
        for (quint32 i = 0; i < cells->count; ++i) {
            if (cells->entries[i].pair == quint32(pair))
                points.push_back(cells->entries[i].point);
        }
    }
    return points;
}

std::vector<HistoryStore::WordChange> HistoryStore::wordChanges(int row, int pair) const
{
    const auto log = m_words.find(wordKey(row, pair));
    return log == m_words.end() ? std::vector<WordChange>() : log->second.changes;
}

quint32 HistoryStore::version(int row) const
{
    const Row *const cells = rowAt(row);
    return cells ? cells->version : 0;
}
