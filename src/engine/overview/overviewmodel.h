#pragma once

#include "engine/limits/trouble.h"
#include "engine/reception/tablelistener.h"

#include <QAbstractTableModel>
#include <QString>

#include <functional>
#include <vector>

class ReadingsTable;

// Every host of the readings table against every reading name, aligned: one row per host in
// the table's order; the columns Host, Last heard, then one per reading name in the order the
// names were first heard anywhere in the table. A cell holds the host's value of that reading,
// trimmed, as received; a host without the reading leaves it empty. The values stay in the
// table: each host keeps only which of its pairs stands in which column, learnt as names
// arrive. At most maxReadingColumns names get a column, the first heard; the rest are counted.
//
// It lives as long as the table, so that what the user arranged (columns hidden, moved,
// the order of the rows) outlasts the window that shows it.
class OverviewModel final : public QAbstractTableModel, private TableListener
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OverviewModel)

public:
    static constexpr int hostColumn = 0;
    static constexpr int lastHeardColumn = 1;
    static constexpr int firstReadingColumn = 2;
    // A sender that invents a name per datagram would otherwise make the window unusable.
    static constexpr int maxReadingColumns = 1000;

    // How the rows are ordered: by a column, or problems first; column -1 and no problems
    // first: the table's order.
    struct Sorting
    {
        int column = -1;
        Qt::SortOrder order = Qt::AscendingOrder;
        bool problemsFirst = false;
        bool operator==(const Sorting &) const = default;
    };

    // Follows table from now on, taking what it already holds; table must outlive the model.
    explicit OverviewModel(ReadingsTable &table, QObject *parent = nullptr);
    ~OverviewModel() override;

    const ReadingsTable &table() const { return m_table; }

    // The names heard that have no column, beyond the first maxReadingColumns.
    int leftOutNames() const { return int(m_leftOut.size()); }
    // The pair of the row's host that holds the column's reading, or -1.
    int pairOf(int row, int column) const;
    // A cell as received: the host, when it was last heard (this machine's local time),
    // or the value without its surrounding spaces; empty where there is none.
    QString cellText(int row, int column) const;
    // Host, Last heard, or the reading's name as received.
    QString columnTitle(int column) const;

    // The host's trouble, by which problems first orders the rows.
    Trouble problem(int row) const;

    // The columns in the order they are shown, hidden ones included; each once.
    const std::vector<int> &columnOrder() const { return m_order; }
    // Ignored unless it is an order of every column.
    void setColumnOrder(const std::vector<int> &order);
    bool isColumnHidden(int column) const;
    // The host's column is always shown.
    void setColumnHidden(int column, bool hidden);
    // The columns shown, in their order.
    std::vector<int> shownColumns() const;

    Sorting sorting() const { return m_sorting; }
    void setSorting(const Sorting &sorting);

    // Whether reading cells draw their recent points behind the value; on at first.
    bool trendsShown() const { return m_trendsShown; }
    void setTrendsShown(bool shown);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    void leftOutNamesChanged(int names);
    void sortingChanged();
    // Columns were hidden, shown or moved.
    void columnsArranged();
    // Which rows have problems may have changed, with no cell's text changing.
    void problemsChanged();
    void trendsShownChanged(bool shown);

private:
    // A pair's column in a host's map: 0 for none, else the reading's index plus one.
    using PairColumn = quint16;
    static_assert(maxReadingColumns < 0xffff);
    static constexpr int unknownName = -1;
    static constexpr int leftOutName = -2;

    void readingPosted(int row, int pair, bool newName) override;
    void renumbered(const std::vector<int> &newRows, const std::vector<int> &newNames) override;

    // The reading index of a name id, given it a column or left it out when first heard.
    int readingOfName(int nameId);
    void learnRow(int row);
    void announceColumns();
    void tableDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight);
    void removeReadings(const std::vector<int> &newReading);

    ReadingsTable &m_table;
    // By the table's rows as views count them: each pair's column.
    std::vector<std::vector<PairColumn>> m_pairColumns;
    // The table's name id of each reading column, in the order first heard.
    std::vector<int> m_readingNames;
    // By name id: the reading index, unknownName or leftOutName.
    std::vector<int> m_readingOfName;
    // Names without a column, in the order first heard.
    std::vector<int> m_leftOut;
    int m_announced = 0;
    int m_toldLeftOut = 0;
    std::vector<int> m_order;
    std::vector<bool> m_hidden;
    Sorting m_sorting;
    bool m_trendsShown = true;
};
