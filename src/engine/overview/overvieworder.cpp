#include "overvieworder.h"

#include "engine/reception/valuenumber.h"
#include "engine/reception/readingstable.h"
#include "engine/reception/textfield.h"
#include "engine/tableview/hostfilter.h"
#include "overviewmodel.h"

#include <QElapsedTimer>

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
    // Any change of any row is one range, as the rows shown are in an order of their own,
    // told a few times a second: an overview repainted with every publish of a busy table
    // costs the receiving path more than it shows.
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(refreshIntervalMs);
    connect(&m_refresh, &QTimer::timeout, this, [this] {
        if (!m_shown.empty())
            Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    });
    connect(model, &QAbstractItemModel::dataChanged, this, [this] {
        m_changed = true;
        if (!m_refresh.isActive())
            m_refresh.start();
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
        ++m_generation;
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
    connect(model, &OverviewModel::problemsChanged, this, [this] {
        m_changed = true;
        m_problemsChanged = true;
    });
    connect(model, &OverviewModel::sortingChanged, this, &OverviewOrder::resort);
    m_resort.setInterval(resortIntervalMs);
    connect(&m_resort, &QTimer::timeout, this, [this] {
        const OverviewModel::Sorting sorting = m_model->sorting();
        const bool sorted = sorting.problemsFirst || sorting.column >= 0;
        if (m_problemsOnly && m_problemsChanged) {
            // Hosts that got a problem come in at the bottom, and take their places below.
            m_problemsChanged = false;
            ++m_generation;
            appendAccepted(0, m_model->rowCount() - 1);
            if (!sorted)
                resort();
        }
        if (!m_changed || !sorted || m_slices.isActive())
            return;
        m_changed = false;
        m_preparedFor = m_generation;
        m_keys.clear();
        m_folded.clear();
        m_slices.start();
    });
    m_slices.setInterval(0);
    connect(&m_slices, &QTimer::timeout, this, &OverviewOrder::prepareSlice);
    appendAccepted(0, model->rowCount() - 1);
    resort();
    m_resort.start();
}

bool OverviewOrder::accepts(int row) const
{
    return HostFilter::matches(m_model->table().host(row), m_find)
           && (!m_problemsOnly || isTrouble(m_model->problem(row)));
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
    refilter();
}

void OverviewOrder::setProblemsOnly(bool problemsOnly)
{
    if (problemsOnly == m_problemsOnly)
        return;
    m_problemsOnly = problemsOnly;
    refilter();
}

void OverviewOrder::refilter()
{
    ++m_generation;
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
    ++m_generation;
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
    ++m_generation;
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
    return HostFilter::countText(rowCount(), m_model->rowCount(),
                                 !m_find.isEmpty() || m_problemsOnly);
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
    m_slices.stop();
    const OverviewModel::Sorting sorting = m_model->sorting();
    if (!sorting.problemsFirst && sorting.column < 0) {
        std::vector<int> order = m_shown;
        std::sort(order.begin(), order.end());
        if (order != m_shown)
            placeRows(std::move(order));
        return;
    }
    if (m_hostRanks.size() != size_t(m_model->rowCount())) {
        m_folded.clear();
        foldHosts(m_model->rowCount());
        rankHosts();
    }
    m_keys.clear();
    readKeys(m_shown.size(), sorting);
    finishSort(sorting);
}

// A step of the sort that follows the readings: a slice of the hosts' names or keys, read
// between other events so that readings keep arriving; the sort itself when all are read.
void OverviewOrder::prepareSlice()
{
    if (m_preparedFor != m_generation) {
        // Rows came, went or moved meanwhile: what was read no longer fits them.
        m_slices.stop();
        m_changed = true;
        return;
    }
    const OverviewModel::Sorting sorting = m_model->sorting();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < sliceMs) {
        if (m_hostRanks.size() != size_t(m_model->rowCount())) {
            if (m_folded.size() < size_t(m_model->rowCount())) {
                foldHosts(std::min(int(m_folded.size()) + rowsPerCheck, m_model->rowCount()));
                continue;
            }
            rankHosts();
            return; // the sort of the names takes a slice of its own
        }
        if (m_keys.size() < m_shown.size()) {
            readKeys(std::min(m_keys.size() + rowsPerCheck, m_shown.size()), sorting);
            continue;
        }
        m_slices.stop();
        finishSort(sorting);
        return;
    }
}

void OverviewOrder::foldHosts(int end)
{
    const ReadingsTable &table = m_model->table();
    for (int row = int(m_folded.size()); row < end; ++row)
        m_folded.push_back(table.host(row).toCaseFolded());
}

// Folded once, so that each of the many comparisons is a plain one.
void OverviewOrder::rankHosts()
{
    std::vector<int> byName(m_folded.size());
    std::iota(byName.begin(), byName.end(), 0);
    std::sort(byName.begin(), byName.end(), [this](int first, int second) {
        const int order = m_folded[size_t(first)].compare(m_folded[size_t(second)]);
        return order != 0 ? order < 0 : first < second;
    });
    m_hostRanks.assign(m_folded.size(), 0);
    for (size_t rank = 0; rank < byName.size(); ++rank)
        m_hostRanks[size_t(byName[rank])] = int(rank);
    m_folded.clear();
    m_folded.shrink_to_fit();
}

void OverviewOrder::readKeys(size_t end, const OverviewModel::Sorting &sorting)
{
    m_keys.reserve(m_shown.size());
    for (size_t place = m_keys.size(); place < end; ++place)
        m_keys.push_back(keyOf(m_shown[place], sorting));
}

void OverviewOrder::finishSort(const OverviewModel::Sorting &sorting)
{
    // Problems first, the group is the problem's rank and no row is empty.
    const bool empties = !sorting.problemsFirst;
    const bool reverse = !sorting.problemsFirst && sorting.order == Qt::DescendingOrder;
    const auto before = [this, empties, reverse](int firstPlace, int secondPlace) {
        const Key &first = m_keys[size_t(firstPlace)];
        const Key &second = m_keys[size_t(secondPlace)];
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
    std::vector<int> places(m_keys.size());
    std::iota(places.begin(), places.end(), 0);
    std::sort(places.begin(), places.end(), before);
    std::vector<int> order(places.size());
    for (size_t place = 0; place < places.size(); ++place)
        order[place] = m_shown[size_t(places[place])];
    m_keys.clear();
    // Most seconds, most rows stay where they are: nothing to tell then.
    if (order != m_shown)
        placeRows(std::move(order));
}

void OverviewOrder::placeRows(std::vector<int> order)
{
    ++m_generation;
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
        // The most urgent first.
        key.group = quint8(Trouble::Critical) - quint8(m_model->problem(row));
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
