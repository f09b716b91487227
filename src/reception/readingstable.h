#pragma once

#include "compacttext.h"
#include "postedtexts.h"
#include "textindex.h"

#include <QAbstractTableModel>
#include <QString>

#include <vector>

struct Reading;

// The table of hosts and their latest readings: one row per host, counted from 0 in order
// of arrival; column 0 holds the host, 1 and 2 the date and time, then 64 name/value pairs.
// The column titles are the view's header (GridAddress shows the whole as one grid).
//
// Updates are posted at once but announced to views only by publish(), so that a burst
// of datagrams costs one repaint instead of one per datagram.
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

    explicit ReadingsTable(QObject *parent = nullptr, int hostLimit = defaultHostLimit);

    // Posts one parsed reading: writes the name, value, date and time into the host's row,
    // adding the row first for a new host.
    void fillgrid(const Reading &reading);

    // Announces to views every change since the last call.
    void publish();

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
    static bool isNameColumn(int column);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    // Emitted by publish() with the longest text posted to each column since the last
    // publish (column 0: the hosts of new rows), for views that fit their columns.
    void textsPublished(const PostedTexts &longest);

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
    };
    struct Row
    {
        QString date;
        QString time;
        std::vector<Pair> pairs; // only as long as the last pair written
        int namedPairs = 0;      // pairs [0, namedPairs) hold non-blank names
    };
    struct Run
    {
        int first;
        int count;
    };
    static constexpr int noRow = -1;
    static constexpr int noPair = -1;

    int addNewRow(const Reading &reading);
    int pairFor(const Row &row, NameId name) const;
    void markDirty(int row, int firstColumn, int lastColumn);
    void dropRows(const std::vector<bool> &dropped);
    void compact(const std::vector<bool> &dropped);
    int storedRow(int row) const;

    const int m_hostLimit;
    std::vector<Row> m_rows;
    TextIndex m_hosts; // the host of each row, by row
    // Names once trimmed, which is how pairs match them; each kept once however many
    // hosts report it.
    TextIndex m_names;
    qint64 m_droppedHosts = 0;
    PostedTexts m_posted{columnCountTotal};

    // While views are told of a removal: the runs of rows they have been told are gone, from
    // the bottom up. The rows stay stored until the removal is done.
    std::vector<Run> m_goneRuns;

    // What views have been told so far.
    bool m_showPlaceholders = true;
    int m_publishedRows = 0;
    int m_dirtyTop = -1;
    int m_dirtyBottom = -1;
    int m_dirtyLeft = 0;
    int m_dirtyRight = 0;
};
