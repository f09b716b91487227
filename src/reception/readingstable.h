#pragma once

#include "compacttext.h"
#include "longesttexts.h"
#include "receiveclock.h"
#include "textindex.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QString>

#include <algorithm>
#include <functional>
#include <queue>
#include <utility>
#include <vector>

struct Reading;

// The table of hosts and their latest readings: one row per host, counted from 0 in order
// of arrival; column 0 holds the host, 1 and 2 the date and time, then 64 name/value pairs.
// The column titles are the view's header (GridAddress shows the whole as one grid).
//
// Updates are posted at once but announced to views only by publish(), so that a burst
// of datagrams costs one repaint instead of one per datagram.
//
// Each pair knows when this machine last heard it and how often it usually reports. A
// pair silent for more than three of its usual intervals, and at least 30 seconds, is
// overdue; one heard only once is overdue after 5 minutes. A host is silent when all its
// pairs are. Overdue cells are drawn in the disabled-text grey, and every cell describes
// when it was heard. Time moves on for views only at tick(), once a second.
class ReadingsTable final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReadingsTable)

public:
    static constexpr int columnCountTotal = 131;
    static constexpr int firstNameColumn = 3;
    static constexpr int pairCount = 64;
    static constexpr int defaultHostLimit = 32766;
    static constexpr int placeholderRows = 3;

    // Reads the time from clock, which must outlive the table; without one, from its own.
    explicit ReadingsTable(QObject *parent = nullptr, int hostLimit = defaultHostLimit,
                           const ReceiveClock *clock = nullptr);

    // Reads the clock: readings posted until the next call were received now. Once per
    // batch of datagrams, not per datagram.
    void beginBatch();

    // Posts one parsed reading: writes the name, value, date and time into the host's row,
    // adding the row first for a new host.
    void fillgrid(const Reading &reading);

    // Announces to views every change since the last call.
    void publish();
    // Reads the clock and counts the hosts that fell silent since the last tick; views
    // repaint what they show. The work grows with the hosts that fall due, not the table.
    void tick();

    // Removes the rows of these hosts (rows as views count them, in any order); a removed
    // host that reports again gets a new row at the end. Views are told at once, and of
    // anything posted before.
    void removeHosts(const std::vector<int> &rows);
    // Removes every row. The table keeps no empty rows for show afterwards.
    void clear();

    int hostCount() const { return int(m_rows.size()); }
    // The host rows that views have been told of.
    int shownHostCount() const { return m_showPlaceholders ? 0 : m_publishedRows; }
    // How many pairs a host's row holds, the last one written included.
    int pairsInUse(int row) const;
    int hostLimit() const { return m_hostLimit; }
    // Hosts that found the table full and were left out.
    qint64 droppedHosts() const { return m_droppedHosts; }
    // The text of a cell in a host's row, as posted (published or not); empty outside the
    // rows and columns there are.
    QString text(int row, int column) const;
    static QString headerText(int column);
    // Counted at each tick; a host heard again leaves the count at once.
    int silentHosts() const { return m_silentHosts; }
    // When this machine last heard the host of that row, on its own clock; invalid
    // outside the rows there are.
    QDateTime lastHeard(int row) const;
    static bool isNameColumn(int column);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    // Emitted by publish() with the longest text posted to each column since the last
    // publish (column 0: the hosts of new rows), for views that fit their columns.
    void textsPublished(const LongestTexts &longest);
    // Emitted by tick(): cells may have turned grey, and every "heard ... ago" has moved on.
    void timingChanged();
    // Emitted by publish() and tick() when silentHosts() is not what it was last time.
    void silentHostsChanged(int silentHosts);

private:
    // What a pair's name is: the id of a name kept in m_names, or one of the other meanings.
    class NameId
    {
    public:
        // The pair has not been written yet.
        static constexpr NameId none() { return NameId(noneValue); }
        // A name of spaces only, which matches every empty pair and is kept nowhere.
        static constexpr NameId blank() { return NameId(blankValue); }
        static constexpr NameId kept(int id) { return NameId(id); }
        // What m_names.find() said: kept, or a name the table does not keep yet.
        static constexpr NameId found(int id)
        {
            return NameId(id == TextIndex::notFound ? unkeptValue : id);
        }

        constexpr bool isKept() const { return m_value >= 0; }
        constexpr bool isUnkept() const { return m_value == unkeptValue; }
        constexpr int id() const { return m_value; }
        constexpr bool operator==(const NameId &) const = default;

    private:
        static constexpr int unkeptValue = -1;
        static constexpr int noneValue = -2;
        static constexpr int blankValue = -3;

        constexpr explicit NameId(int value)
            : m_value(value)
        {
        }

        int m_value;
    };
    // Tenths of a second since the table was made: 32 bits last 13 years.
    using Tenths = quint32;
    static constexpr Tenths notQueued = 0xffffffff;
    static constexpr quint64 heardOnceLimit = 3000; // 5 minutes
    static constexpr quint64 shortestLimit = 300;   // 30 seconds
    static constexpr quint64 intervalsLimit = 3;

    struct Pair
    {
        NameId name = NameId::none();
        // The spaces around the name as the reading held it, which is what the cell shows;
        // a parsed name is far shorter than 65,535 characters.
        quint16 leading = 0;
        quint16 trailing = 0;
        CompactText value;
        Tenths heard = 0;    // when this machine last heard it
        Tenths interval = 0; // its usual interval, smoothed; 0 while heard only once
    };
    struct Row
    {
        QString date;
        QString time;
        std::vector<Pair> pairs;     // only as long as the last pair written
        int namedPairs = 0;          // pairs [0, namedPairs) hold non-blank names
        Tenths heard = 0;            // the latest of its pairs'
        Tenths deadline = 0;         // the latest of its pairs'
        Tenths queuedAt = notQueued; // the time its live entry in m_deadlines waits for
        bool silent = false;
    };
    struct Run
    {
        int first;
        int count;
    };
    static constexpr int noRow = -1;
    static constexpr int noPair = -1;
    // Rows waiting for a deadline, earliest first. A row is queued under the deadline it
    // had then; when that comes, it is silent or queued again under its new one.
    using Deadline = std::pair<Tenths, int>;
    using Deadlines = std::priority_queue<Deadline, std::vector<Deadline>, std::greater<>>;

    int addNewRow(const Reading &reading);
    int pairFor(const Row &row, NameId name) const;
    void markDirty(int row, int firstColumn, int lastColumn);
    void dropRows(const std::vector<bool> &dropped);
    void compact(const std::vector<bool> &dropped);
    int storedRow(int row) const;
    Tenths clockTenths() const;
    void hear(int rowIndex, Pair &pair, bool firstTime);
    static Tenths deadline(Tenths heard, Tenths interval)
    {
        const quint64 limit =
            interval == 0 ? heardOnceLimit : std::max(shortestLimit, intervalsLimit * interval);
        return Tenths(std::min<quint64>(heard + limit, notQueued - 1));
    }
    static Tenths deadlineOf(const Pair &pair) { return deadline(pair.heard, pair.interval); }
    static Tenths latestDeadline(const Row &row);
    void queue(int rowIndex);
    // Queues every row that is not silent afresh, dropping entries no longer needed, and
    // counts the silent ones again: what rows that move or go must be followed by.
    void rebuildDeadlines();
    bool isOverdue(const Pair &pair) const { return m_checkedAt > deadlineOf(pair); }
    const Pair *pairAt(int row, int column) const;
    QString description(int row, int column) const;
    static QVariant greyed();
    static QVariant descriptionFor(const QString &text, int role);
    QDateTime wallTimeOf(Tenths time) const;

    const int m_hostLimit;
    std::vector<Row> m_rows;
    TextIndex m_hosts; // the host of each row, by row
    // Names once trimmed, which is how pairs match them; each kept once however many
    // hosts report it.
    TextIndex m_names;
    qint64 m_droppedHosts = 0;
    LongestTexts m_longest{columnCountTotal};

    // While views are told of a removal: the runs of rows they have been told are gone, from
    // the bottom up. The rows stay stored until the removal is done.
    std::vector<Run> m_goneRuns;
    ReceiveClock m_ownClock;
    const ReceiveClock *const m_clock;
    const qint64 m_startMs;
    Tenths m_receivedAt = 0; // of the batch being posted
    Tenths m_checkedAt = 0;  // at the last tick
    QDateTime m_wallAtCheck;
    Deadlines m_deadlines;
    int m_silentHosts = 0;
    int m_toldSilentHosts = 0;
    int m_wokenTop = -1; // rows heard again after silence since the last publish
    int m_wokenBottom = -1;

    // What views have been told so far.
    bool m_showPlaceholders = true;
    int m_publishedRows = 0;
    int m_dirtyTop = -1;
    int m_dirtyBottom = -1;
    int m_dirtyLeft = 0;
    int m_dirtyRight = 0;
};
