#pragma once

#include "compacttext.h"
#include "longesttexts.h"
#include "receiveclock.h"
#include "silencewatch.h"
#include "textindex.h"
#include "valuenumber.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QString>

#include <limits>
#include <vector>

class ReadingStates;
class TableListener;
struct KeptHost;
struct Reading;

// The table of hosts and their latest readings: one row per host, counted from 0 in order
// of arrival; column 0 holds the host, 1 and 2 the date and time, then 64 name/value pairs.
// The column titles are the view's header.
//
// Updates are posted at once but announced to views only by publish(), so that a burst
// of datagrams costs one repaint instead of one per datagram. Listeners hear of each
// reading as it is posted, and of the new numbers when rows are removed.
//
// Which hosts are silent is the silence watch's to say; which readings are beyond their
// limits, the limit watch's; how cells look, ReadingsLook's.
//
// Hosts heard before start-up may be restored once, before the first datagram: their rows
// are posted as if heard, but are silent, and are not hearings. Listeners tell restored
// posts by isRestoring(), and the first hearing of a restored reading by
// postedWasRestored().
class ReadingsTable final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReadingsTable)

public:
    static constexpr int columnCountTotal = 131;
    static constexpr int firstNameColumn = 3;
    static constexpr int pairCount = 64;
    static constexpr int defaultHostLimit = 32766;

    // Reads the time from clock, which must outlive the table; without one, from its own.
    explicit ReadingsTable(QObject *parent = nullptr, int hostLimit = defaultHostLimit,
                           const ReceiveClock *clock = nullptr);

    // Reads the clock: readings posted until the next call were received now. Once per
    // batch of datagrams, not per datagram.
    void beginBatch() { m_silence.beginBatch(); }

    // Posts one parsed reading: writes the name, value, date and time into the host's row,
    // adding the row first for a new host.
    void fillgrid(const Reading &reading);

    // Puts back hosts heard before start-up, each as a row holding its readings' names and
    // values, posted (and announced to views) as datagrams would be, so that whoever judges
    // them does; each host is then silent, its readings overdue, until it is heard again.
    // The Date and Time columns show when it was last heard. The host limit and the pair
    // limit hold as for datagrams: a host that finds the table full is left out (and not
    // counted in droppedHosts()), as are readings beyond a row's pairs, hosts already in the
    // table, and hosts with no name or no readings. Meant for once, before the first datagram.
    void restoreHosts(const std::vector<KeptHost> &hosts);
    // While restoreHosts() posts, and tells listeners and views: a post then is a value kept
    // from before start-up, no hearing, which a store of hearings (a history, an archive) skips.
    bool isRestoring() const { return m_restoring; }

    // Announces to views every change since the last call.
    void publish();
    // Reads the clock and lets the silence watch count the hosts that fell silent since the
    // last tick; views repaint what they show.
    void tick();

    // Removes the rows of these hosts (rows as views count them, in any order); a removed
    // host that reports again gets a new row at the end. Views are told at once, and of
    // anything posted before; listeners after the rows are gone.
    void removeHosts(const std::vector<int> &rows);
    // Removes every row.
    void clear();

    // Listeners must outlive the table or be removed first.
    void addListener(TableListener *listener);
    void removeListener(TableListener *listener);

    SilenceWatch &silence() { return m_silence; }
    const SilenceWatch &silence() const { return m_silence; }
    // The states that views show for the readings; null for none. The watch must outlive
    // the table or be unset first.
    void setStates(const ReadingStates *states) { m_states = states; }
    const ReadingStates *states() const { return m_states; }

    int hostCount() const { return int(m_rows.size()); }
    // The host rows that views have been told of.
    int publishedHostCount() const { return m_publishedRows; }
    // How many pairs a host's row holds, the last one written included.
    int pairsInUse(int row) const;
    int hostLimit() const { return m_hostLimit; }
    // Hosts that found the table full and were left out.
    qint64 droppedHosts() const { return m_droppedHosts; }
    // The text of a cell in a host's row, as posted (published or not); empty outside the
    // rows and columns there are.
    QString text(int row, int column) const;
    static QString headerText(int column);
    static bool isNameColumn(int column);

    // Rows below are numbered as views count them, published or not; outside the rows and
    // pairs there are, the answers are empty, -1, false or null.
    QString host(int row) const;
    // The id of the name a pair holds, the spaces around it trimmed; -1 for none or blank.
    int nameId(int row, int pair) const;
    QString value(int row, int pair) const;
    // While listeners hear of a reading: its value, as value() would give it once posted,
    // without the copy. Empty at any other time.
    QStringView postedValue() const { return m_postedValue; }
    // While listeners hear of a reading: the number its value starts with, as ValueNumber
    // reads it (ok false where it starts with none). Read on the first call for each reading,
    // so that listeners share one reading and none is made where no listener asks.
    struct PostedNumber
    {
        double value = 0;
        bool ok = false;
        bool read = false;
    };
    Q_ALWAYS_INLINE const PostedNumber &postedNumber() const
    {
        if (!m_postedNumber.read) {
            QStringView rest;
            m_postedNumber.ok = ValueNumber::readValue(m_postedValue, m_postedNumber.value, rest);
            m_postedNumber.read = true;
        }
        return m_postedNumber;
    }
    // While listeners hear of a reading: nameId() of its pair. -1 at any other time.
    int postedNameId() const { return m_postedNameId; }
    // While listeners hear of a reading: what timing() gave for its pair before it, zero for
    // a pair that held no reading of that name; so that a listener needs no copy of its own.
    const SilenceWatch::Timing &postedTimingBefore() const { return m_postedTimingBefore; }
    // While listeners hear of a reading: whether its pair held a restored value not heard since.
    // newName is false then, as the pair keeps its name, but this is the reading's first hearing
    // since start-up: a listener that skipped the restored post takes it as the first.
    bool postedWasRestored() const { return SilenceWatch::isRestored(m_postedTimingBefore); }
    // While listeners hear of a reading: what timing() gives for its pair now, without the
    // lookup.
    const SilenceWatch::Timing &postedTiming() const { return m_postedTiming; }
    // Name ids count from 0 to nameIdCount() - 1; a text for each.
    int nameIdCount() const { return m_names.size(); }
    QString nameText(int id) const;
    // When a pair was heard and how often it reports; null for a pair never written.
    const SilenceWatch::Timing *timing(int row, int pair) const;
    bool isSilent(int row) const;
    // When this machine last heard the host of that row, on its own clock; for a restored
    // host not heard since, when it was last heard before start-up.
    QDateTime lastHeard(int row) const;
    qint64 tenthsSinceHeard(int row) const;
    // Whether the host of that row was restored and has not been heard since.
    bool isRestored(int row) const;
    // When a restored host was last heard before start-up, which its readings not heard since
    // (SilenceWatch::isRestored() of their timing) still show; invalid for a host not restored.
    QDateTime heardBeforeStart(int row) const;
    // Where a row that views count is stored, which is the number listeners know it by: the
    // two differ only while views are told of a removal. -1 outside the rows there are.
    int storedRow(int row) const;

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
    struct Pair
    {
        NameId name = NameId::none();
        // The spaces around the name as the reading held it, which is what the cell shows;
        // a parsed name is far shorter than 65,535 characters.
        quint16 leading = 0;
        quint16 trailing = 0;
        CompactText value;
        SilenceWatch::Timing timing;
    };
    // Two million of them fill a full table: they stay this small.
    static_assert(sizeof(Pair) <= 24);
    struct Row
    {
        QString date;
        QString time;
        std::vector<Pair> pairs; // only as long as the last pair written
        int namedPairs = 0;      // pairs [0, namedPairs) hold non-blank names
        SilenceWatch::Host silence;
        qint64 heardBeforeStartMs = notRestored; // since the epoch
    };
    struct Run
    {
        int first;
        int count;
    };
    static constexpr int noRow = -1;
    static constexpr int noPair = -1;
    static constexpr qint64 notRestored = std::numeric_limits<qint64>::min();

    int addNewRow(const Reading &reading);
    bool restoreHost(const KeptHost &kept, Reading &reading);
    int pairFor(const Row &row, NameId name) const;
    void markDirty(int row, int firstColumn, int lastColumn);
    void dropRows(const std::vector<bool> &dropped);
    void compact(const std::vector<bool> &dropped);
    const Pair *pairAt(int row, int pair) const;
    void headersHeardAgain(const std::vector<int> &rows);

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
    SilenceWatch m_silence;
    std::vector<TableListener *> m_listeners;
    const ReadingStates *m_states = nullptr;
    QStringView m_postedValue;
    mutable PostedNumber m_postedNumber;
    int m_postedNameId = -1;
    SilenceWatch::Timing m_postedTimingBefore;
    SilenceWatch::Timing m_postedTiming;
    bool m_restoring = false;

    // What views have been told so far.
    int m_publishedRows = 0;
    int m_dirtyTop = -1;
    int m_dirtyBottom = -1;
    int m_dirtyLeft = 0;
    int m_dirtyRight = 0;
};
