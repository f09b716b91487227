#include "overvieworder.h"

#include "limits/valuenumber.h"
#include "mainwindow/hostfilter.h"
#include "overview/overviewmodel.h"
#include "reception/readingstable.h"

namespace {

int compareTexts(const QString &first, const QString &second)
{
    const int folded = first.compare(second, Qt::CaseInsensitive);
    return folded != 0 ? folded : first.compare(second);
}

} // namespace

OverviewOrder::OverviewOrder(OverviewModel *model, QObject *parent)
    : QSortFilterProxyModel(parent)
    , m_model(model)
{
    setDynamicSortFilter(false);
    setSourceModel(model);
    const auto changed = [this] { m_changed = true; };
    connect(model, &QAbstractItemModel::dataChanged, this, changed);
    connect(model, &QAbstractItemModel::rowsInserted, this, changed);
    connect(model, &OverviewModel::problemsChanged, this, changed);
    connect(model, &OverviewModel::sortingChanged, this, &OverviewOrder::resort);
    m_resort.setInterval(resortIntervalMs);
    connect(&m_resort, &QTimer::timeout, this, [this] {
        if (m_changed)
            resort();
    });
    resort();
}

void OverviewOrder::setFindText(const QString &text)
{
    if (text == m_find)
        return;
    m_find = text;
    invalidateRowsFilter();
    // Rows shown again come back where they were in the table, not where they sort.
    resort();
}

QString OverviewOrder::countText() const
{
    return HostFilter::countText(rowCount(), m_model->rowCount(), !m_find.isEmpty());
}

std::vector<int> OverviewOrder::tableRows() const
{
    std::vector<int> rows;
    rows.reserve(size_t(rowCount()));
    for (int row = 0; row < rowCount(); ++row)
        rows.push_back(mapToSource(index(row, 0)).row());
    return rows;
}

void OverviewOrder::resort()
{
    m_changed = false;
    const OverviewModel::Sorting sorting = m_model->sorting();
    if (!sorting.problemsFirst && sorting.column < 0) {
        m_resort.stop();
        if (sortColumn() >= 0)
            QSortFilterProxyModel::sort(-1);
        return;
    }
    m_resort.start();
    const int rows = m_model->rowCount();
    m_keys.resize(size_t(rows));
    for (int row = 0; row < rows; ++row)
        m_keys[size_t(row)] = keyOf(row);
    if (sorting.problemsFirst)
        QSortFilterProxyModel::sort(OverviewModel::hostColumn, Qt::AscendingOrder);
    else
        QSortFilterProxyModel::sort(sorting.column, sorting.order);
    m_keys.clear();
    m_keys.shrink_to_fit();
}

void OverviewOrder::sort(int column, Qt::SortOrder order)
{
    // Problems first shows no column as sorted; a view saying so changes nothing.
    if (column < 0 && m_model->sorting().problemsFirst)
        return;
    m_model->setSorting({column, order, false});
}

OverviewOrder::Key OverviewOrder::keyOf(int row) const
{
    Key key;
    const OverviewModel::Sorting sorting = m_model->sorting();
    key.host = m_model->cellText(row, OverviewModel::hostColumn);
    if (sorting.problemsFirst) {
        key.group = quint8(m_model->problem(row));
        return key;
    }
    switch (sorting.column) {
    case OverviewModel::hostColumn:
        key.group = Key::Text;
        key.text = key.host;
        return key;
    case OverviewModel::lastHeardColumn:
        // The latest last: the host that stopped first comes first.
        key.group = Key::Number;
        key.number = -double(m_model->table().tenthsSinceHeard(row));
        return key;
    default:
        break;
    }
    key.text = m_model->cellText(row, sorting.column);
    if (key.text.isEmpty())
        return key;
    const ValueNumber number = ValueNumber::read(key.text);
    key.group = number.ok ? Key::Number : Key::Text;
    key.number = number.value;
    if (number.ok)
        key.text.clear();
    return key;
}

// Whether first is shown above second in the current order.
bool OverviewOrder::before(const Key &first, const Key &second) const
{
    // Problems first, the group is the problem's rank and no row is empty.
    const bool problemsFirst = m_model->sorting().problemsFirst;
    const bool firstEmpty = !problemsFirst && first.group == Key::Empty;
    const bool secondEmpty = !problemsFirst && second.group == Key::Empty;
    if (firstEmpty != secondEmpty)
        return secondEmpty;
    int order = int(first.group) - int(second.group);
    if (order == 0 && first.group == Key::Number && first.number != second.number)
        order = first.number < second.number ? -1 : 1;
    if (order == 0 && !first.text.isEmpty())
        order = compareTexts(first.text, second.text);
    if (order != 0)
        return sortOrder() == Qt::DescendingOrder ? order > 0 : order < 0;
    return compareTexts(first.host, second.host) < 0;
}

bool OverviewOrder::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const auto leftRow = size_t(left.row());
    const auto rightRow = size_t(right.row());
    // Sorting in reverse asks whether right is less than left.
    const bool reverse = sortOrder() == Qt::DescendingOrder;
    if (leftRow < m_keys.size() && rightRow < m_keys.size()) {
        return reverse ? before(m_keys[rightRow], m_keys[leftRow])
                       : before(m_keys[leftRow], m_keys[rightRow]);
    }
    const Key leftKey = keyOf(left.row());
    const Key rightKey = keyOf(right.row());
    return reverse ? before(rightKey, leftKey) : before(leftKey, rightKey);
}

bool OverviewOrder::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    return !sourceParent.isValid() && HostFilter::matches(m_model->table().host(sourceRow), m_find);
}
