#include "historystore.h"

#include "thinning.h"
#include "wordlog.h"

#include "engine/reception/readingstable.h"
#include "engine/reception/valuenumber.h"

#include <QTimer>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <iterator>
#include <new>
#include <utility>

namespace {

using Point = HistoryStore::Point;
using Tenths = HistoryStore::Tenths;

// What the allocator adds to each block, counted so that the cap holds for the process too.
constexpr qint64 blockOverhead = 16;
// About 5 ms of thinning on this machine: the most one step of the event loop pays for.
constexpr qint64 thinPerStep = 1 << 17;
// A full row whose thinning waits grows by this much at a time, up to an eighth of its share.
constexpr quint32 waitingRoom = 64;

// Where the processor has it, a hint to fetch the line holding at for writing.
void prefetchForWrite(const void *at)
{
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(at, 1);
#else
    Q_UNUSED(at);
#endif
}

} // namespace

struct HistoryStore::Block
{
    BlockPointer older;
    quint32 count = 0; // once not the newest; the newest's is its row's
    quint32 capacity = 0;
    quint32 held = 0; // the capacity of this block and the older ones together

    Entry *entries() { return reinterpret_cast<Entry *>(this + 1); }
    const Entry *entries() const { return reinterpret_cast<const Entry *>(this + 1); }
    static qint64 bytes(quint32 capacity)
    {
        return qint64(sizeof(Block)) + qint64(capacity) * qint64(sizeof(Entry)) + blockOverhead;
    }
};

void HistoryStore::BlockDeleter::operator()(Block *block) const
{
    block->~Block();
    ::operator delete(block);
}

HistoryStore::HistoryStore(ReadingsTable &table, qint64 capBytes, QObject *parent)
    : QObject(parent)
    , m_table(table)
    , m_capBytes(capBytes)
    , m_words(std::make_unique<WordLog>())
{
    // Every pair the table holds has its place here from the start: a reading then needs its
    // host's row only when its journal is spread.
    m_rows.resize(size_t(m_table.hostCount()));
    for (size_t row = 0; row < m_rows.size(); ++row)
        resizePairs(m_rows[row], quint32(m_table.pairsInUse(int(row))));
    m_thinTimer = new QTimer(this);
    m_thinTimer->setSingleShot(true);
    m_thinTimer->setInterval(0);
    connect(m_thinTimer, &QTimer::timeout, this, &HistoryStore::keepWithinCap);
    updateShare();
    m_thinBudget = thinPerStep;
    m_table.addListener(this);
    connect(&m_table, &ReadingsTable::timingChanged, this, &HistoryStore::keepWithinCap);
}

HistoryStore::~HistoryStore()
{
    m_table.removeListener(this);
}

qint64 HistoryStore::bytesUsed() const
{
    return qint64(m_rows.capacity()) * qint64(sizeof(Row)) + blockOverhead + m_pointBytes
           + m_words->bytes();
}

// What thinning a row of so many points borrows while it works: the row in one piece, and
// one reading's points apart.
qint64 HistoryStore::scratchBytes(quint32 entries) const
{
    return qint64(entries) * qint64(sizeof(Entry) + sizeof(Point)) + 2 * blockOverhead;
}

// Each reading's share of what the cap leaves once the bookkeeping is paid, and the room
// that thinning the largest row borrows, and that rows waiting to be thinned grow into.
void HistoryStore::updateShare()
{
    const qint64 readings = std::max<qint64>(1, m_seriesCount);
    const qint64 fixed = qint64(m_rows.capacity()) * qint64(sizeof(Row)) + blockOverhead;
    const qint64 left = std::max<qint64>(0, m_capBytes - fixed - m_capBytes / 64);
    // A row of m_mostPairs readings, an eighth over its share, in scratch as large per point.
    const qint64 perPoint = qint64(sizeof(Entry));
    const qint64 scratchPerReading =
        (qint64(m_mostPairs) * 9 / 8 + 1) * qint64(sizeof(Entry) + sizeof(Point));
    const qint64 points = left / (readings * perPoint + scratchPerReading);
    m_sharePoints = quint32(std::clamp<qint64>(points, minPoints, 1 << 24));
    m_scratchReserve =
        scratchBytes(m_sharePoints * m_mostPairs + m_sharePoints * m_mostPairs / 8 + stageLength);
    m_words->setShareBytes(std::max<qint64>(points * perPoint, WordLog::overheadBytes() + 64));
}

// Less the points that a block's header takes, so that a row within its share is within it
// in bytes too.
quint32 HistoryStore::rowShare(const Row &row) const
{
    constexpr auto header = quint32((sizeof(Block) + blockOverhead) / sizeof(Entry) + 1);
    const quint32 share = m_sharePoints * quint32(std::max<quint32>(1, row.pairs));
    return std::max(share - std::min(share, header), minPoints);
}

// Taken at once, while what the table just wrote is still in the processor's caches: a
// large table's hosts lie far apart in memory, and reading them again later costs more than
// reading the number now.
void HistoryStore::readingPosted(int rowIndex, int pair, bool newName)
{
    // A restored value is no hearing: it has its point from before start-up, if any.
    if (m_table.isRestoring())
        return;
    const SilenceWatch::Timing &before = m_table.postedTimingBefore();
    const Tenths now = m_table.postedTiming().heard;
    // Heard again in the tenth it was last heard: the tenth has its point or word already.
    // A table of few hosts at full speed hears each reading thousands of times a tenth, and
    // this keeps them from being read as numbers that many times. (The pair held this name
    // before, so it was heard, if only at tenth 0.)
    if (!newName && before.heard == now)
        return;
    const ReadingsTable::PostedNumber &posted = m_table.postedNumber();
    // The first hearing of a restored reading has no place here yet.
    if (newName || !posted.ok || SilenceWatch::isRestored(before)) {
        postedRarely(rowIndex, pair, newName);
        return;
    }
    const double number = posted.value;
    // Silent past its overdue time since the report before.
    const bool silent = now > SilenceWatch::deadlineOf(before);
    const auto value = float(std::clamp(number, -double(FLT_MAX), double(FLT_MAX)));
    m_journal[size_t(m_journalCount)] = {Point(now, value, silent), quint32(rowIndex),
                                         quint32(pair)};
    if (++m_journalCount == journalLength)
        spreadJournal();
}

void HistoryStore::postedRarely(int rowIndex, int pair, bool newName)
{
    spreadJournal();
    if (size_t(rowIndex) >= m_rows.size())
        m_rows.resize(size_t(rowIndex) + 1);
    Row &row = m_rows[size_t(rowIndex)];
    const auto bit = quint64(1) << pair;
    if (quint32(pair) >= row.pairs) {
        resizePairs(row, quint32(pair) + 1);
    } else if (newName) {
        // Another name had the pair, or none did: its history is not this reading's.
        dropPair(rowIndex, pair);
    }
    const Tenths now = m_table.postedTiming().heard;
    const QStringView text = m_table.postedValue();
    ++row.version;
    if (const ReadingsTable::PostedNumber &posted = m_table.postedNumber(); posted.ok) {
        const double number = posted.value;
        // A word since the report before; a new name has no report before.
        const bool gap = (row.wordSincePoint & bit) != 0;
        const auto value = float(std::clamp(number, -double(FLT_MAX), double(FLT_MAX)));
        append(row, {Point(now, value, gap), quint32(pair)});
        row.wordSincePoint &= ~bit;
    } else {
        row.wordSincePoint |= bit;
        m_words->add(rowIndex, pair, now, text.trimmed().toString());
    }
}

void HistoryStore::spreadJournal()
{
    const auto taken = size_t(std::exchange(m_journalCount, 0));
    // The hosts' rows first, then the ends of the blocks that their stages fill, each asked
    // for before any is needed, so that the misses overlap instead of following one another.
    for (size_t i = 0; i < taken; ++i) {
        const auto *const row = reinterpret_cast<const char *>(&m_rows[m_journal[i].row]);
        prefetchForWrite(row);
        prefetchForWrite(row + 64);
    }
    for (size_t i = 0; i < taken; ++i) {
        const Row &row = m_rows[m_journal[i].row];
        if (row.staged == stageLength - 1 && row.count + stageLength <= row.capacity) {
            const auto *const end =
                reinterpret_cast<const char *>(row.newest->entries() + row.count);
            prefetchForWrite(end);
            prefetchForWrite(end + 64);
            prefetchForWrite(end + sizeof(Row::stage) - 1);
        }
    }
    for (size_t i = 0; i < taken; ++i) {
        const Taken &next = m_journal[i];
        Row &row = m_rows[next.row];
        const auto bit = quint64(1) << next.pair;
        Point point = next.point;
        if ((row.wordSincePoint & bit) != 0) {
            point = Point(point.time(), point.value(), true);
            row.wordSincePoint &= ~bit;
        }
        ++row.version;
        append(row, {point, next.pair});
    }
}

void HistoryStore::append(Row &row, Entry entry)
{
    row.stage[row.staged++] = entry;
    if (row.staged == stageLength)
        flushStage(row);
}

void HistoryStore::flushStage(Row &row)
{
    // Emptied first: making room may thin the row, which reads what is staged. The stage's
    // entries stay as they are meanwhile, as nothing is staged while they go.
    const auto staged = std::exchange(row.staged, 0);
    for (size_t i = 0; i < staged; ++i)
        appendToBlocks(row, row.stage[i]);
}

void HistoryStore::appendToBlocks(Row &row, Entry entry)
{
    if (row.count == row.capacity) {
        const quint32 share = rowShare(row);
        const quint32 held = row.newest ? row.newest->held : 0;
        if (held < share) {
            addBlock(row, std::min(std::max(held, 2 * minPoints), share - held));
        } else if (!waitToThin(row, share)) {
            // A quarter is left free, so that the next thinning is that many points away.
            thin(row, share - share / 4, share);
        }
    }
    row.newest->entries()[row.count++] = entry;
}

// When this step has thinned its fill, a full row takes a little of the room set aside and
// is thinned at a later step; when that room is gone, it is thinned now.
bool HistoryStore::waitToThin(Row &row, quint32 share)
{
    if (m_thinBudget > 0 || row.newest->held + waitingRoom > share + share / 8
        || bytesUsed() + Block::bytes(waitingRoom) + m_scratchReserve > m_capBytes)
        return false;
    addBlock(row, waitingRoom);
    m_rowsOverShare = true;
    if (!m_thinTimer->isActive())
        m_thinTimer->start();
    return true;
}

void HistoryStore::thin(Row &row, quint32 target, quint32 capacity)
{
    // The row in one piece, each reading thinned apart and its kept points marked in it: the
    // points kept are points heard, so they keep the order heard.
    std::vector<Entry> entries;
    {
        size_t count = 0;
        const Spans all = spans(row);
        for (const Span &span : all)
            count += size_t(span.end - span.begin);
        entries.reserve(count);
        for (const Span &span : all)
            entries.insert(entries.end(), span.begin, span.end);
    }
    m_thinBudget -= qint64(entries.size());
    std::vector<size_t> perPair(row.pairs);
    for (const Entry &entry : entries)
        ++perPair[entry.pair];
    // Each reading keeps its share of the target, and a reading that needs less leaves the
    // rest to the others.
    std::vector<size_t> counts;
    for (const size_t count : perPair) {
        if (count > 0)
            counts.push_back(count);
    }
    std::sort(counts.begin(), counts.end());
    size_t left = target;
    size_t level = counts.empty() ? 0 : counts.back();
    for (size_t i = 0; entries.size() > target && i < counts.size(); ++i) {
        const size_t fair = left / (counts.size() - i);
        if (counts[i] > fair) {
            level = std::max<size_t>(fair, 2);
            break;
        }
        left -= counts[i];
    }
    constexpr quint32 dropped = ~quint32(0);
    std::vector<Point> points;
    points.reserve(counts.empty() ? 0 : counts.back());
    for (size_t pair = 0; pair < perPair.size(); ++pair) {
        if (perPair[pair] <= level)
            continue;
        points.clear();
        for (const Entry &entry : entries) {
            if (entry.pair == pair)
                points.push_back(entry.point);
        }
        const size_t kept = Thinning::thinPoints(points.data(), points.size(), quint32(level));
        size_t next = 0;
        for (Entry &entry : entries) {
            if (entry.pair != pair)
                continue;
            if (next < kept && points[next].time() == entry.point.time())
                entry.point = points[next++];
            else
                entry.pair = dropped;
        }
    }
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [](const Entry &e) { return e.pair == dropped; }),
                  entries.end());
    replacePoints(row, entries, capacity);
}

void HistoryStore::addBlock(Row &row, quint32 capacity)
{
    void *const memory = ::operator new(sizeof(Block) + size_t(capacity) * sizeof(Entry));
    BlockPointer block(::new (memory) Block);
    block->capacity = capacity;
    block->held = capacity + (row.newest ? row.newest->held : 0);
    if (row.newest)
        row.newest->count = row.count;
    block->older = std::move(row.newest);
    row.newest = std::move(block);
    row.count = 0;
    row.capacity = capacity;
    m_pointBytes += Block::bytes(capacity);
}

// In one block, with room for one more at least. The oldest block, when large enough, is
// written over rather than a new one taken: a row thinned again and again keeps its block.
void HistoryStore::replacePoints(Row &row, const std::vector<Entry> &entries, quint32 capacity)
{
    const quint32 needed = std::max(capacity, quint32(entries.size()) + 1);
    Block *parent = nullptr;
    for (Block *block = row.newest.get(); block && block->older; block = block->older.get())
        parent = block;
    BlockPointer &oldest = parent ? parent->older : row.newest;
    BlockPointer kept;
    if (oldest && oldest->capacity >= needed) {
        kept = std::move(oldest);
        m_pointBytes -= Block::bytes(kept->capacity);
    }
    forgetPoints(row);
    if (kept) {
        kept->held = kept->capacity;
        row.capacity = kept->capacity;
        m_pointBytes += Block::bytes(kept->capacity);
        row.newest = std::move(kept);
    } else {
        addBlock(row, needed);
    }
    std::copy(entries.begin(), entries.end(), row.newest->entries());
    row.count = quint32(entries.size());
}

void HistoryStore::forgetPoints(Row &row)
{
    for (const Block *block = row.newest.get(); block; block = block->older.get())
        m_pointBytes -= Block::bytes(block->capacity);
    row.newest.reset();
    row.count = 0;
    row.capacity = 0;
    row.staged = 0;
}

HistoryStore::Spans HistoryStore::spans(const Row &row) const
{
    Spans spans;
    quint32 count = row.count;
    for (const Block *block = row.newest.get(); block; block = block->older.get()) {
        spans.append({block->entries(), block->entries() + count});
        if (block->older)
            count = block->older->count;
    }
    std::reverse(spans.begin(), spans.end());
    if (row.staged > 0)
        spans.append({row.stage.data(), row.stage.data() + row.staged});
    return spans;
}

void HistoryStore::dropPair(int rowIndex, int pair)
{
    Row &row = m_rows[size_t(rowIndex)];
    if (row.newest || row.staged > 0) {
        std::vector<Entry> kept;
        for (const Span &span : spans(row)) {
            std::copy_if(span.begin, span.end, std::back_inserter(kept),
                         [pair](const Entry &e) { return e.pair != quint32(pair); });
        }
        replacePoints(row, kept, row.newest ? row.newest->held : 0);
    }
    row.wordSincePoint &= ~(quint64(1) << pair);
    m_words->drop(rowIndex, pair);
}

void HistoryStore::resizePairs(Row &row, quint32 pairs)
{
    m_seriesCount += qint64(pairs) - qint64(row.pairs);
    row.pairs = quint8(pairs);
    m_mostPairs = std::max(m_mostPairs, pairs);
    updateShare();
}

void HistoryStore::published()
{
    spreadJournal();
    m_thinBudget = thinPerStep;
}

void HistoryStore::keepWithinCap()
{
    spreadJournal();
    m_thinBudget = thinPerStep;
    thinStep();
}

void HistoryStore::thinStep()
{
    const bool overCap = bytesUsed() > m_capBytes;
    if (!overCap && !std::exchange(m_rowsOverShare, false))
        return;
    for (size_t visited = 0; visited < m_rows.size(); ++visited) {
        if (m_thinBudget <= 0) {
            m_rowsOverShare = true;
            m_thinTimer->start();
            return;
        }
        if (m_thinCursor >= m_rows.size())
            m_thinCursor = 0;
        Row &row = m_rows[m_thinCursor++];
        if (!row.newest)
            continue;
        const quint32 share = rowShare(row);
        if (row.newest->held > share) {
            thin(row, share - share / 4, share);
            ++row.version;
        } else if (overCap && row.newest->older) {
            // Within its share, but in blocks whose headers add up.
            thin(row, row.newest->held + row.staged, row.newest->held);
        }
    }
    m_words->trimToShare([this](int row) { ++m_rows[size_t(row)].version; });
}

void HistoryStore::forgetRow(Row &row)
{
    forgetPoints(row);
    m_seriesCount -= qint64(row.pairs);
    row = Row();
}

void HistoryStore::renumbered(const std::vector<int> &newRows, const std::vector<int> &)
{
    // The journal holds the rows' old numbers.
    spreadJournal();
    const auto newRow = [&newRows](size_t old) { return old < newRows.size() ? newRows[old] : -1; };
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
    m_words->renumber([&newRow](int old) { return newRow(size_t(old)); });
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
    forEachPoint(row, pair, [&points](const Point &point) { points.push_back(point); });
    return points;
}

std::vector<HistoryStore::WordChange> HistoryStore::wordChanges(int row, int pair) const
{
    return m_words->changes(row, pair);
}

quint32 HistoryStore::version(int row) const
{
    const Row *const cells = rowAt(row);
    return cells ? cells->version : 0;
}
