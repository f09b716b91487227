#include "overvieworder.h"

#include "limits/valuenumber.h"
#include "mainwindow/hostfilter.h"
#include "overview/overviewmodel.h"
#include "reception/readingstable.h"
#include "reception/textfield.h"

#include <algorithm>
#include <numeric>

namespace {

int compareTexts(const QString &first, const QString &second)
{
    const int folded = first.compare(second, Qt::CaseInsensitive);
    return folded != 0 ? folded : first.compare(second);
}

} // namespace

OverviewOrder::OverviewOrder(OverviewModel *model, QObject *parent)
    : QAbstractProxyModel(parent)
    , m_model(model)
{
    QAbstractProxyModel::setSourceModel(model);
    // Any change of any row is one range: the rows shown are in an order of their own anyway.
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight,
                   const QList<int> &roles) {
                m_changed = true;
                if (!m_shown.empty()) {
                    Q_EMIT dataChanged(index(0, topLeft.column()),
                                       index(rowCount() - 1, bottomRight.column()), roles);
                }
            });
    connect(model, &QAbstractItemModel::headerDataChanged, this,
            &QAbstractItemModel::headerDataChanged);
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { sourceRowsInserted(first, last); });
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) {
                sourceRowsAboutToBeRemoved(first, last);
            });
    connect(model, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex &, int first, int last) { sourceRowsRemoved(first, last); });
    connect(
        model, &QAbstractItemModel::columnsAboutToBeInserted, this,
        [this](const QModelIndex &, int first, int last) { beginInsertColumns({}, first, last); });
    connect(model, &QAbstractItemModel::columnsInserted, this, [this] { endInsertColumns(); });
    connect(
        model, &QAbstractItemModel::columnsAboutToBeRemoved, this,
        [this](const QModelIndex &, int first, int last) { beginRemoveColumns({}, first, last); });
    connect(model, &QAbstractItemModel::columnsRemoved, this, [this] { endRemoveColumns(); });
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        m_hostRanks.clear();
        m_shown.clear();
        for (int row = 0; row < m_model->rowCount(); ++row) {
            if (accepts(row))
                m_shown.push_back(row);
        }
        rebuildPositions();
        endResetModel();
        resort();
    });
    connect(model, &OverviewModel::problemsChanged, this, [this] { m_changed = true; });
    connect(model, &OverviewModel::sortingChanged, this, &OverviewOrder::resort);
    m_resort.setInterval(resortIntervalMs);
    connect(&m_resort, &QTimer::timeout, this, [this] {
        if (m_changed)
            resort();
    });
    appendAccepted(0, model->rowCount() - 1);
    resort();
}

bool OverviewOrder::accepts(int row) const
{
    return HostFilter::matches(m_model->table().host(row), m_find);
}

void OverviewOrder::rebuildPositions()
{
    m_position.assign(size_t(m_model->rowCount()), -1);
    for (size_t shown = 0; shown < m_shown.size(); ++shown) {
        if (size_t(m_shown[shown]) < m_position.size())
            m_position[size_t(m_shown[shown])] = int(shown);
    }
}

void OverviewOrder::setFindText(const QString &text)
{
    if (text == m_find)
        return;
    m_find = text;
    std::vector<int> gone;
    for (size_t shown = 0; shown < m_shown.size(); ++shown) {
        if (!accepts(m_shown[shown]))
            gone.push_back(int(shown));
    }
    removeShown(std::move(gone));
    rebuildPositions();
    // Rows found again come in at the bottom, and take their places at once.
    appendAccepted(0, m_model->rowCount() - 1);
    resort();
}

// Appends the rows of [first, last] that are found and not shown yet.
void OverviewOrder::appendAccepted(int first, int last)
{
    std::vector<int> added;
    for (int row = std::max(first, 0); row <= last; ++row) {
        if ((size_t(row) >= m_position.size() || m_position[size_t(row)] < 0) && accepts(row))
            added.push_back(row);
    }
    if (added.empty()) {
        rebuildPositions();
        return;
    }
    const int at = rowCount();
    beginInsertRows({}, at, at + int(added.size()) - 1);
    m_shown.insert(m_shown.end(), added.begin(), added.end());
    rebuildPositions();
    endInsertRows();
}

void OverviewOrder::removeShown(std::vector<int> rows)
{
    std::sort(rows.begin(), rows.end());
    for (auto last = rows.rbegin(); last != rows.rend();) {
        auto first = last;
        while (std::next(first) != rows.rend() && *std::next(first) == *first - 1)
            ++first;
        beginRemoveRows({}, *first, *last);
        m_shown.erase(m_shown.begin() + *first, m_shown.begin() + *last + 1);
        endRemoveRows();
        last = std::next(first);
    }
}

void OverviewOrder::sourceRowsInserted(int first, int last)
{
    m_changed = true;
    m_hostRanks.clear();
    const int count = last - first + 1;
    for (int &row : m_shown) {
        if (row >= first)
            row += count;
    }
    rebuildPositions();
    appendAccepted(first, last);
}

void OverviewOrder::sourceRowsAboutToBeRemoved(int first, int last)
{
    std::vector<int> gone;
    for (int row = first; row <= last && size_t(row) < m_position.size(); ++row) {
        if (m_position[size_t(row)] >= 0)
            gone.push_back(m_position[size_t(row)]);
    }
    removeShown(std::move(gone));
}

void OverviewOrder::sourceRowsRemoved(int first, int last)
{
    m_hostRanks.clear();
    const int count = last - first + 1;
    for (int &row : m_shown) {
        if (row > last)
            row -= count;
    }
    rebuildPositions();
}

QString OverviewOrder::countText() const
{
    return HostFilter::countText(rowCount(), m_model->rowCount(), !m_find.isEmpty());
}

void OverviewOrder::sort(int column, Qt::SortOrder order)
{
    // Problems first shows no column as sorted; a view saying so changes nothing.
    if (column < 0 && m_model->sorting().problemsFirst)
        return;
    m_model->setSorting({column, order, false});
}

void OverviewOrder::resort()
{
    m_changed = false;
    const OverviewModel::Sorting sorting = m_model->sorting();
    std::vector<int> order = m_shown;
    if (!sorting.problemsFirst && sorting.column < 0) {
        m_resort.stop();
        std::sort(order.begin(), order.end());
    } else {
        m_resort.start();
        if (m_hostRanks.size() != size_t(m_model->rowCount()))
            rankHosts();
        std::vector<Key> keys;
        keys.reserve(m_shown.size());
        for (const int row : m_shown)
            keys.push_back(keyOf(row, sorting));
        // Problems first, the group is the problem's rank and no row is empty.
        const bool empties = !sorting.problemsFirst;
        const bool reverse = !sorting.problemsFirst && sorting.order == Qt::DescendingOrder;
        const auto before = [&keys, empties, reverse](int firstPlace, int secondPlace) {
            const Key &first = keys[size_t(firstPlace)];
            const Key &second = keys[size_t(secondPlace)];
            const bool firstEmpty = empties && first.group == Key::Empty;
            if (firstEmpty != (empties && second.group == Key::Empty))
                return !firstEmpty;
            int order = int(first.group) - int(second.group);
            if (order == 0 && first.number != second.number)
                order = first.number < second.number ? -1 : 1;
            if (order == 0 && !first.text.isEmpty())
                order = compareTexts(first.text, second.text);
            if (order != 0)
                return reverse ? order > 0 : order < 0;
            return first.hostRank < second.hostRank;
        };
        std::vector<int> places(m_shown.size());
        std::iota(places.begin(), places.end(), 0);
        std::sort(places.begin(), places.end(), before);
        for (size_t place = 0; place < places.size(); ++place)
            order[place] = m_shown[size_t(places[place])];
    }
    // Most seconds, most rows stay where they are: nothing to tell then.
    if (order != m_shown)
        placeRows(std::move(order));
}

void OverviewOrder::rankHosts()
{
    const ReadingsTable &table = m_model->table();
    const int rows = m_model->rowCount();
    std::vector<QString> hosts;
    hosts.reserve(size_t(rows));
    for (int row = 0; row < rows; ++row)
        hosts.push_back(table.host(row));
    std::vector<int> byName(hosts.size());
    std::iota(byName.begin(), byName.end(), 0);
    std::sort(byName.begin(), byName.end(), [&hosts](int first, int second) {
        return compareTexts(hosts[size_t(first)], hosts[size_t(second)]) < 0;
    });
    m_hostRanks.assign(size_t(rows), 0);
    for (int rank = 0; rank < rows; ++rank)
        m_hostRanks[size_t(byName[size_t(rank)])] = rank;
}

void OverviewOrder::placeRows(std::vector<int> order)
{
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList from = persistentIndexList();
    std::vector<int> rows;
    rows.reserve(size_t(from.size()));
    for (const QModelIndex &index : from)
        rows.push_back(index.isValid() ? m_shown[size_t(index.row())] : -1);
    m_shown = std::move(order);
    rebuildPositions();
    QModelIndexList to;
    to.reserve(from.size());
    for (qsizetype i = 0; i < from.size(); ++i) {
        to << (rows[size_t(i)] < 0 ? QModelIndex()
                                   : index(m_position[size_t(rows[size_t(i)])], from[i].column()));
    }
    changePersistentIndexList(from, to);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

OverviewOrder::Key OverviewOrder::keyOf(int row, const OverviewModel::Sorting &sorting) const
{
    Key key;
    key.hostRank = m_hostRanks[size_t(row)];
    if (sorting.problemsFirst) {
        key.group = quint8(m_model->problem(row));
        return key;
    }
    key.group = Key::Number;
    switch (sorting.column) {
    case OverviewModel::hostColumn:
        key.number = key.hostRank;
        return key;
    case OverviewModel::lastHeardColumn:
        // The latest last: the host that stopped first comes first.
        key.number = -double(m_model->table().tenthsSinceHeard(row));
        return key;
    default:
        break;
    }
    const int pair = m_model->pairOf(row, sorting.column);
    const QString value = pair < 0 ? QString() : m_model->table().value(row, pair);
    const QStringView trimmed = trimSpaces(value);
    if (trimmed.isEmpty()) {
        key.group = Key::Empty;
        return key;
    }
    const ValueNumber number = ValueNumber::read(trimmed);
    key.number = number.value;
    if (!number.ok) {
        key.group = Key::Text;
        key.text = trimmed.toString();
    }
    return key;
}

QModelIndex OverviewOrder::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return {};
    return createIndex(row, column);
}

QModelIndex OverviewOrder::parent(const QModelIndex &) const
{
    return {};
}

int OverviewOrder::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_shown.size());
}

int OverviewOrder::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_model->columnCount();
}

QModelIndex OverviewOrder::mapToSource(const QModelIndex &proxyIndex) const
{
    if (!proxyIndex.isValid() || size_t(proxyIndex.row()) >= m_shown.size())
        return {};
    return m_model->index(m_shown[size_t(proxyIndex.row())], proxyIndex.column());
}

QModelIndex OverviewOrder::mapFromSource(const QModelIndex &sourceIndex) const
{
    if (!sourceIndex.isValid() || size_t(sourceIndex.row()) >= m_position.size())
        return {};
    const int shown = m_position[size_t(sourceIndex.row())];
    return shown < 0 ? QModelIndex() : index(shown, sourceIndex.column());
}

QVariant OverviewOrder::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal)
        return m_model->headerData(section, orientation, role);
    return section >= 0 && section < rowCount() ? QVariant(section + 1) : QVariant();
}
