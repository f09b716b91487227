#include "overviewmodel.h"

#include "engine/limits/limitwatch.h"
#include "engine/limits/trouble.h"
#include "engine/reception/displaytext.h"
#include "engine/reception/lastheardtext.h"
#include "engine/reception/readingsdescription.h"
#include "engine/reception/readingstable.h"
#include "engine/reception/textfield.h"

#include <algorithm>
#include <numeric>

OverviewModel::OverviewModel(ReadingsTable &table, QObject *parent)
    : QAbstractTableModel(parent)
    , m_table(table)
    , m_order{hostColumn, lastHeardColumn}
    , m_hidden(firstReadingColumn, false)
{
    // The table numbers its names in the order they were first kept.
    for (int id = 0; id < table.nameIdCount(); ++id)
        readingOfName(id);
    for (int row = 0; row < table.hostCount(); ++row)
        learnRow(row);
    announceColumns();
    table.addListener(this);

    connect(&table, &QAbstractItemModel::rowsAboutToBeInserted, this,
            [this](const QModelIndex &, int first, int last) {
                // A new row may hold names heard for the first time.
                announceColumns();
                beginInsertRows({}, first, last);
            });
    connect(&table, &QAbstractItemModel::rowsInserted, this, [this] { endInsertRows(); });
    connect(&table, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) { beginRemoveRows({}, first, last); });
    // The maps follow the rows as views count them, so that they agree with the table
    // while views are told of the runs removed one after another.
    connect(&table, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex &, int first, int last) {
                const auto end = std::min(size_t(last) + 1, m_pairColumns.size());
                if (size_t(first) < end)
                    m_pairColumns.erase(m_pairColumns.begin() + first, m_pairColumns.begin() + end);
                endRemoveRows();
            });
    connect(&table, &QAbstractItemModel::dataChanged, this, &OverviewModel::tableDataChanged);
    // A host heard again after silence: its own cells turn from grey.
    connect(&table, &QAbstractItemModel::headerDataChanged, this,
            [this](Qt::Orientation orientation, int first, int last) {
                if (orientation != Qt::Vertical || last >= rowCount())
                    return;
                Q_EMIT dataChanged(index(first, hostColumn), index(last, lastHeardColumn));
                Q_EMIT problemsChanged();
            });
    connect(&table.silence(), &SilenceWatch::silentHostsChanged, this,
            &OverviewModel::problemsChanged);
    if (const LimitWatch *const limits = LimitWatch::of(table)) {
        // A host's worst state shows in its host cell; values judged anew change colour.
        connect(limits, &LimitWatch::hostsChanged, this, [this](const std::vector<int> &rows) {
            if (rows.empty())
                return;
            const int last = std::min(rows.back(), rowCount() - 1);
            if (rows.front() <= last)
                Q_EMIT dataChanged(index(rows.front(), hostColumn), index(last, hostColumn));
            Q_EMIT problemsChanged();
        });
        connect(limits, &LimitWatch::rowsJudged, this, [this](int first, int last) {
            last = std::min(last, rowCount() - 1);
            if (first <= last && columnCount() > firstReadingColumn)
                Q_EMIT dataChanged(index(first, firstReadingColumn),
                                   index(last, columnCount() - 1));
        });
    }
}

OverviewModel::~OverviewModel()
{
    m_table.removeListener(this);
}

Trouble OverviewModel::problem(int row) const
{
    return hostTrouble(m_table, row);
}

// Called for every reading the table takes: a name the pair already held costs nothing.
void OverviewModel::readingPosted(int row, int pair, bool newName)
{
    if (!newName)
        return;
    if (size_t(row) >= m_pairColumns.size())
        m_pairColumns.resize(size_t(row) + 1);
    std::vector<PairColumn> &columns = m_pairColumns[size_t(row)];
    if (size_t(pair) >= columns.size())
        columns.resize(size_t(pair) + 1);
    columns[size_t(pair)] = PairColumn(readingOfName(m_table.nameId(row, pair)) + 1);
}

int OverviewModel::readingOfName(int nameId)
{
    if (nameId < 0)
        return -1; // a blank name is no reading of its own
    if (size_t(nameId) >= m_readingOfName.size())
        m_readingOfName.resize(size_t(std::max(nameId + 1, m_table.nameIdCount())), unknownName);
    int &reading = m_readingOfName[size_t(nameId)];
    if (reading == unknownName) {
        if (m_readingNames.size() < size_t(maxReadingColumns)) {
            reading = int(m_readingNames.size());
            m_readingNames.push_back(nameId);
        } else {
            reading = leftOutName;
            m_leftOut.push_back(nameId);
        }
    }
    return std::max(reading, -1);
}

void OverviewModel::learnRow(int row)
{
    if (size_t(row) >= m_pairColumns.size())
        m_pairColumns.resize(size_t(row) + 1);
    std::vector<PairColumn> &columns = m_pairColumns[size_t(row)];
    columns.assign(size_t(m_table.pairsInUse(row)), 0);
    for (size_t pair = 0; pair < columns.size(); ++pair)
        columns[pair] = PairColumn(readingOfName(m_table.nameId(row, int(pair))) + 1);
}

// Columns are announced with the rows and changes the table publishes, not per reading.
void OverviewModel::announceColumns()
{
    const int total = int(m_readingNames.size());
    if (total > m_announced) {
        beginInsertColumns({}, firstReadingColumn + m_announced, firstReadingColumn + total - 1);
        for (int reading = m_announced; reading < total; ++reading) {
            m_order.push_back(firstReadingColumn + reading);
            m_hidden.push_back(false);
        }
        m_announced = total;
        endInsertColumns();
    }
    if (leftOutNames() != m_toldLeftOut) {
        m_toldLeftOut = leftOutNames();
        Q_EMIT leftOutNamesChanged(m_toldLeftOut);
    }
}

void OverviewModel::tableDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight)
{
    announceColumns();
    const int last = std::min(bottomRight.row(), rowCount() - 1);
    if (topLeft.row() <= last)
        Q_EMIT dataChanged(index(topLeft.row(), 0), index(last, columnCount() - 1));
}

void OverviewModel::renumbered(const std::vector<int> &, const std::vector<int> &newNames)
{
    // The rows went one run at a time, as views were told; the names go now.
    const auto renamed = [&newNames](int id) {
        return size_t(id) < newNames.size() ? newNames[size_t(id)] : -1;
    };
    std::vector<int> newReading(m_readingNames.size(), -1);
    int kept = 0;
    for (size_t reading = 0; reading < m_readingNames.size(); ++reading) {
        if (renamed(m_readingNames[reading]) >= 0)
            newReading[reading] = kept++;
    }
    const bool columnsGone = kept < int(m_readingNames.size());
    if (columnsGone)
        removeReadings(newReading);
    for (int &id : m_readingNames)
        id = renamed(id);
    for (int &id : m_leftOut)
        id = renamed(id);
    std::erase(m_leftOut, -1);
    const int promoted = std::min(maxReadingColumns - kept, leftOutNames());
    m_readingNames.insert(m_readingNames.end(), m_leftOut.begin(), m_leftOut.begin() + promoted);
    m_leftOut.erase(m_leftOut.begin(), m_leftOut.begin() + promoted);

    m_readingOfName.assign(size_t(m_table.nameIdCount()), unknownName);
    for (size_t reading = 0; reading < m_readingNames.size(); ++reading)
        m_readingOfName[size_t(m_readingNames[reading])] = int(reading);
    for (const int id : m_leftOut)
        m_readingOfName[size_t(id)] = leftOutName;
    // Read again from the table, which is as quick as renumbering them and cannot go astray.
    m_pairColumns.resize(size_t(m_table.hostCount()));
    for (int row = 0; row < m_table.hostCount(); ++row)
        learnRow(row);
    announceColumns();
    if ((columnsGone || promoted > 0) && rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

// Drops the reading columns whose names no row holds any more; newReading gives each
// reading's index afterwards, or -1.
void OverviewModel::removeReadings(const std::vector<int> &newReading)
{
    // Views are told a run at a time from the right, so that the runs still to come keep
    // their numbers.
    for (int last = m_announced - 1; last >= 0; --last) {
        if (newReading[size_t(last)] >= 0)
            continue;
        int first = last;
        while (first > 0 && newReading[size_t(first - 1)] < 0)
            --first;
        beginRemoveColumns({}, firstReadingColumn + first, firstReadingColumn + last);
        m_announced -= last - first + 1;
        endRemoveColumns();
        last = first;
    }
    const auto newColumn = [&newReading](int column) {
        if (column < firstReadingColumn)
            return column;
        const int reading = newReading[size_t(column - firstReadingColumn)];
        return reading < 0 ? -1 : firstReadingColumn + reading;
    };
    std::vector<int> order;
    for (const int column : m_order) {
        if (const int moved = newColumn(column); moved >= 0)
            order.push_back(moved);
    }
    m_order = std::move(order);
    std::vector<bool> hidden(size_t(firstReadingColumn + m_announced));
    for (size_t column = 0; column < m_hidden.size(); ++column) {
        const int moved = newColumn(int(column));
        if (moved >= 0 && size_t(moved) < hidden.size())
            hidden[size_t(moved)] = m_hidden[column];
    }
    m_hidden = std::move(hidden);
    std::vector<int> names;
    for (size_t reading = 0; reading < m_readingNames.size(); ++reading) {
        if (newReading[reading] >= 0)
            names.push_back(m_readingNames[reading]);
    }
    m_readingNames = std::move(names);
    if (m_sorting.column >= firstReadingColumn) {
        Sorting sorting = m_sorting;
        sorting.column = newColumn(m_sorting.column);
        setSorting(sorting);
    }
    Q_EMIT columnsArranged();
}

int OverviewModel::pairOf(int row, int column) const
{
    const int reading = column - firstReadingColumn;
    if (row < 0 || size_t(row) >= m_pairColumns.size() || reading < 0 || reading >= m_announced)
        return -1;
    const std::vector<PairColumn> &columns = m_pairColumns[size_t(row)];
    const auto found = std::find(columns.begin(), columns.end(), PairColumn(reading + 1));
    return found == columns.end() ? -1 : int(found - columns.begin());
}

QString OverviewModel::cellText(int row, int column) const
{
    switch (column) {
    case hostColumn:
        return m_table.host(row);
    case lastHeardColumn:
        return lastHeardText(m_table.lastHeard(row));
    default:
        break;
    }
    const int pair = pairOf(row, column);
    return pair < 0 ? QString() : trimSpaces(m_table.value(row, pair)).toString();
}

QString OverviewModel::columnTitle(int column) const
{
    switch (column) {
    case hostColumn:
        return tr("Host");
    case lastHeardColumn:
        return tr("Last heard");
    default:
        break;
    }
    const int reading = column - firstReadingColumn;
    if (reading < 0 || reading >= m_announced || size_t(reading) >= m_readingNames.size())
        return {};
    return m_table.nameText(m_readingNames[size_t(reading)]);
}

void OverviewModel::setColumnOrder(const std::vector<int> &order)
{
    if (order == m_order || order.size() != size_t(columnCount()))
        return;
    std::vector<int> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    std::vector<int> every(sorted.size());
    std::iota(every.begin(), every.end(), 0);
    if (sorted != every)
        return;
    m_order = order;
    Q_EMIT columnsArranged();
}

bool OverviewModel::isColumnHidden(int column) const
{
    return column >= 0 && size_t(column) < m_hidden.size() && m_hidden[size_t(column)];
}

void OverviewModel::setColumnHidden(int column, bool hidden)
{
    if (column == hostColumn || column < 0 || size_t(column) >= m_hidden.size()
        || m_hidden[size_t(column)] == hidden)
        return;
    m_hidden[size_t(column)] = hidden;
    Q_EMIT columnsArranged();
}

std::vector<int> OverviewModel::shownColumns() const
{
    std::vector<int> shown;
    for (const int column : m_order) {
        if (!isColumnHidden(column))
            shown.push_back(column);
    }
    return shown;
}

void OverviewModel::setSorting(const Sorting &sorting)
{
    if (sorting == m_sorting)
        return;
    m_sorting = sorting;
    Q_EMIT sortingChanged();
}

int OverviewModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_table.publishedHostCount();
}

int OverviewModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : firstReadingColumn + m_announced;
}

void OverviewModel::setTrendsShown(bool shown)
{
    if (shown == m_trendsShown)
        return;
    m_trendsShown = shown;
    Q_EMIT trendsShownChanged(shown);
}

QVariant OverviewModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const int row = index.row();
    const int column = index.column();
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return displayable(cellText(row, column));
    if (!ReadingsDescription::isDescriptionRole(role))
        return {};
    const ReadingsDescription description(m_table);
    if (column < firstReadingColumn)
        return description.hostData(row, role);
    const int pair = pairOf(row, column);
    return pair < 0 ? QVariant() : description.readingData(row, pair, role);
}

QVariant OverviewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
    case Qt::ToolTipRole:
        return displayable(columnTitle(section));
    case Qt::InitialSortOrderRole:
        // Readings: the highest first, as the busiest or fullest are what is looked for.
        return int(section >= firstReadingColumn ? Qt::DescendingOrder : Qt::AscendingOrder);
    default:
        return {};
    }
}
