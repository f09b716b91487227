#pragma once

#include "engine/reception/silencewatch.h"
#include "engine/reception/tablelistener.h"

#include <QObject>
#include <QString>
#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

class QTimer;
class ReadingsTable;
class WordLog;

// The recent past of every reading of the readings table, in memory for as long as the
// table: for a reading whose values are numbers, each value with the time this machine heard
// it (the table's batch clock, in tenths of a second); for one whose values are words, its
// last changes. A reading whose values are words keeps no points. A reading heard several
// times in one tenth keeps the first of them.
//
// All of it stays within a cap, 256 MB unless told otherwise, however many readings the table
// holds: each reading's share is the cap divided among the readings there are. A host whose
// readings fill their shares is thinned, each reading oldest first: the points older than its
// last hour are merged into a quarter of its share, then, if that is not enough, its last
// hour is merged to a coarser step. Merging keeps, of the points in each step, the lowest and
// the highest at the times they were heard, so that a thinned hour still shows its peaks. At
// 1,000 hosts x 10 readings, each every 10 s, every point of the hour is kept.
//
// Thinning is paid for inside the cap: the shares leave room for the copy a row is thinned
// in, and a little more. Many rows fill their shares together, so a step of the event loop
// thins only so many points; a row full meanwhile takes a little of that room and is thinned
// at a later step.
//
// A point heard after the reading was silent past its overdue time (as the silence watch
// decides it), or after it reported a word, starts a new line: gapBefore(). Merging never
// crosses such a point.
//
// The points of a host's readings are kept together, in the order heard: a reading then
// touches the few bytes that its host's last readings touched, not a place of its own, so
// that a large table stays in the processor's caches.
//
// A number is read as the reading is posted, while its value is still in the processor's
// caches, and noted in a short journal; the journal is spread to the hosts' points when it is
// full, and whenever the table publishes, so that the history reads as of the table's last
// publish. Spreading many readings at once lets their hosts' far apart places be fetched
// together rather than one after another.
//
// Rows are numbered as the table's; removing hosts frees their history.
class HistoryStore final : public QObject, private TableListener
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HistoryStore)

public:
    using Tenths = SilenceWatch::Tenths;
    static constexpr qint64 defaultCapBytes = qint64(256) << 20;
    static constexpr Tenths hourTenths = 36000;
    static constexpr int maxWordChanges = 100;
    // No reading is squeezed below this many points, whatever the cap: the smallest share
    // of a full table is above it.
    static constexpr quint32 minPoints = 8;

    // One value as heard; where points were thinned, the lowest or the highest of those it
    // stands for. 8 bytes: a full hour of a full table is millions of them.
    class Point
    {
    public:
        Point() = default;
        Point(Tenths time, float value, bool gapBefore)
            : m_time((time & timeMask) | (gapBefore ? gapBit : 0))
            , m_value(value)
        {
        }
        Tenths time() const { return m_time & timeMask; }
        // Not to be joined to the point before: the reading was silent, or reported a word.
        bool gapBefore() const { return (m_time & gapBit) != 0; }
        float value() const { return m_value; }

    private:
        static constexpr quint32 gapBit = 0x80000000u;
        static constexpr quint32 timeMask = ~gapBit; // 31 bits of tenths: over six years

        quint32 m_time = 0;
        float m_value = 0;
    };
    static_assert(sizeof(Point) == 8);

    struct WordChange
    {
        Tenths time = 0;
        QString text; // as received, without its surrounding blanks
    };

    // Follows table, which must outlive the store, from its next reading on.
    explicit HistoryStore(ReadingsTable &table, qint64 capBytes = defaultCapBytes,
                          QObject *parent = nullptr);
    ~HistoryStore() override;

    // Oldest first; empty for a reading with no numbers.
    std::vector<Point> points(int row, int pair) const;
    // Hands visit each of the reading's points, oldest first, without copying them: for
    // what draws many readings small and keeps little of each.
    template<typename Visit> void forEachPoint(int row, int pair, Visit &&visit) const
    {
        if (const Row *const cells = rowAt(row)) {
            for (const Span &span : spans(*cells)) {
                for (const Entry *entry = span.begin; entry != span.end; ++entry) {
                    if (entry->pair == quint32(pair))
                        visit(entry->point);
                }
            }
        }
    }
    // Hands visit(pair, point) each point of all the row's readings heard at from or later,
    // oldest first: one pass for what draws every reading of a host.
    template<typename Visit> void forEachPointOfRow(int row, Tenths from, Visit &&visit) const
    {
        if (const Row *const cells = rowAt(row)) {
            for (const Span &span : spans(*cells)) {
                // Points lie in the order heard, so what is older than from is passed over
                // without a look at each: a reading may keep hours before the one drawn.
                const Entry *entry = span.begin;
                if (entry == span.end || span.end[-1].point.time() < from)
                    continue;
                if (entry->point.time() < from) {
                    entry = std::partition_point(
                        entry, span.end, [from](const Entry &e) { return e.point.time() < from; });
                }
                for (; entry != span.end; ++entry)
                    visit(int(entry->pair), entry->point);
            }
        }
    }
    // Oldest first, at most maxWordChanges of them (fewer where the cap is tight).
    std::vector<WordChange> wordChanges(int row, int pair) const;
    // Changes whenever the history of the row's host does; to tell whether it needs drawing
    // again.
    quint32 version(int row) const;

    qint64 capBytes() const { return m_capBytes; }
    // What the history takes, its bookkeeping included.
    qint64 bytesUsed() const;
    int readingCount() const { return int(m_seriesCount); }

    // Thins the readings that hold more than their share now that there are more of them,
    // or that filled it while thinning waited; the table's tick calls it once a second.
    // Costs nothing while within the cap and the shares. What one step leaves is done at
    // the next steps of the event loop.
    void keepWithinCap();

Q_SIGNALS:
    // The table dropped rows and numbered the rest afresh: newRows[old row] is the new row,
    // or -1 for a host removed, whose history is gone.
    void rowsRenumbered(const std::vector<int> &newRows);

private:
    // A point of one of a host's readings.
    struct Entry
    {
        Point point;
        quint32 pair = 0;
    };
    // Points in the order heard, after a small header: each block as large as the ones
    // before it together, so that a growing history is added to and never copied.
    struct Block;
    struct BlockDeleter
    {
        void operator()(Block *block) const;
    };
    using BlockPointer = std::unique_ptr<Block, BlockDeleter>;
    struct Span
    {
        const Entry *begin = nullptr;
        const Entry *end = nullptr;
    };
    using Spans = QVarLengthArray<Span, 32>;
    // Points wait in their host's row until a few of them go to its blocks together: a
    // large table's hosts have their blocks far apart in memory, each reached again only
    // after the processor's caches have let it go.
    static constexpr int stageLength = 8;
    // A host's readings: their points in the order heard, and what each reading needs at
    // once when heard. Two lines, so that a reading touches its row and, once in
    // stageLength, the end of its host's blocks.
    struct alignas(128) Row
    {
        BlockPointer newest;        // holds the older blocks
        quint32 count = 0;          // in the newest block
        quint32 capacity = 0;       // of the newest block
        quint64 wordSincePoint = 0; // by pair: a word came since its last point
        quint32 version = 0;
        quint8 pairs = 0;  // up to the last pair heard
        quint8 staged = 0; // newer than the blocks' points
        std::array<Entry, stageLength> stage;
    };
    static_assert(sizeof(Row) == 128);
    // A number taken but not yet spread to its host's points.
    struct Taken
    {
        Point point; // its gap: silent before it; a word before it is seen when spread
        quint32 row = 0;
        quint32 pair = 0;
    };
    // About a batch of datagrams: small enough to stay in the first-level cache.
    static constexpr int journalLength = 64;

    void readingPosted(int row, int pair, bool newName) override;
    void renumbered(const std::vector<int> &newRows, const std::vector<int> &newNames) override;
    void published() override;

    // A reading that names a pair afresh, or reports a word: after the journal.
    void postedRarely(int rowIndex, int pair, bool newName);
    void spreadJournal();

    const Row *rowAt(int row) const;
    // The row's points, oldest first.
    Spans spans(const Row &row) const;
    quint32 rowShare(const Row &row) const;
    void append(Row &row, Entry entry);
    void appendToBlocks(Row &row, Entry entry);
    void flushStage(Row &row);
    // Thins the row's readings to at most target points in all, into one block of at least
    // capacity.
    void thin(Row &row, quint32 target, quint32 capacity);
    // Thins the rows over their share, or over the cap, from where the last step stopped,
    // as far as this step's budget goes.
    void thinStep();
    bool waitToThin(Row &row, quint32 share);
    qint64 scratchBytes(quint32 entries) const;
    void addBlock(Row &row, quint32 capacity);
    void replacePoints(Row &row, const std::vector<Entry> &entries, quint32 capacity);
    void forgetPoints(Row &row);
    void dropPair(int row, int pair);
    void forgetRow(Row &row);
    void resizePairs(Row &row, quint32 pairs);
    void updateShare();

    ReadingsTable &m_table;
    const qint64 m_capBytes;
    std::vector<Row> m_rows;
    std::unique_ptr<WordLog> m_words;
    qint64 m_seriesCount = 0; // pairs with room for a history, heard or not
    qint64 m_pointBytes = 0;
    quint32 m_sharePoints = 0; // the most points a reading may keep now
    quint32 m_mostPairs = 1;   // of a row, for the room its thinning needs
    qint64 m_scratchReserve = 0;
    qint64 m_thinBudget = 0; // points this step may still thin
    size_t m_thinCursor = 0;
    bool m_rowsOverShare = false;
    QTimer *m_thinTimer = nullptr;
    std::array<Taken, journalLength> m_journal;
    int m_journalCount = 0;
};
