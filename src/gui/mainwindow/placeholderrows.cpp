#include "placeholderrows.h"

#include "engine/reception/readingstable.h"
#include "gui/common/readingslook.h"

PlaceholderRows::PlaceholderRows(const ReadingsTable *table, QObject *parent)
    : QIdentityProxyModel(parent)
    , m_table(table)
{
}

void PlaceholderRows::setSourceModel(QAbstractItemModel *model)
{
    setShown(false);
    disconnect(m_arrivals);
    // Rows that come take the place of the empty ones, never join them: connected before
    // the proxy's own handling, which then inserts them.
    if (model) {
        m_arrivals = connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this,
                             [this](const QModelIndex &parent) {
                                 if (!parent.isValid())
                                     setShown(false);
                             });
    }
    QIdentityProxyModel::setSourceModel(model);
}

void PlaceholderRows::setShown(bool shown)
{
    if (shown == m_shown || (shown && (!sourceModel() || sourceModel()->rowCount() > 0)))
        return;
    if (shown) {
        beginInsertRows({}, 0, count - 1);
        m_shown = true;
        endInsertRows();
    } else {
        beginRemoveRows({}, 0, count - 1);
        m_shown = false;
        endRemoveRows();
    }
}

int PlaceholderRows::rowCount(const QModelIndex &parent) const
{
    if (m_shown)
        return parent.isValid() ? 0 : count;
    return QIdentityProxyModel::rowCount(parent);
}

QModelIndex PlaceholderRows::index(int row, int column, const QModelIndex &parent) const
{
    if (!m_shown)
        return QIdentityProxyModel::index(row, column, parent);
    if (parent.isValid() || row < 0 || row >= count || column < 0 || column >= columnCount())
        return {};
    return createIndex(row, column);
}

QModelIndex PlaceholderRows::parent(const QModelIndex &child) const
{
    return m_shown ? QModelIndex() : QIdentityProxyModel::parent(child);
}

QModelIndex PlaceholderRows::sibling(int row, int column, const QModelIndex &index) const
{
    return m_shown ? this->index(row, column) : QIdentityProxyModel::sibling(row, column, index);
}

bool PlaceholderRows::hasChildren(const QModelIndex &parent) const
{
    if (m_shown)
        return !parent.isValid();
    return QIdentityProxyModel::hasChildren(parent);
}

QModelIndex PlaceholderRows::mapToSource(const QModelIndex &proxyIndex) const
{
    return m_shown ? QModelIndex() : QIdentityProxyModel::mapToSource(proxyIndex);
}

QModelIndex PlaceholderRows::buddy(const QModelIndex &index) const
{
    return isPlaceholder(index) ? index : QIdentityProxyModel::buddy(index);
}

Qt::ItemFlags PlaceholderRows::flags(const QModelIndex &index) const
{
    // Empty cells that can still be clicked, like any cell of the grid.
    if (isPlaceholder(index))
        return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    return QIdentityProxyModel::flags(index);
}

QVariant PlaceholderRows::data(const QModelIndex &index, int role) const
{
    if (isPlaceholder(index))
        return {};
    if (ReadingsLook::isLookRole(role))
        return look(index, role);
    return QIdentityProxyModel::data(index, role);
}

QModelIndex PlaceholderRows::tableIndex(const QModelIndex &index) const
{
    QModelIndex source = mapToSource(index);
    while (const auto *proxy = qobject_cast<const QAbstractProxyModel *>(source.model()))
        source = proxy->mapToSource(source);
    return source.model() == m_table ? source : QModelIndex();
}

QVariant PlaceholderRows::look(const QModelIndex &index, int role) const
{
    const QModelIndex cell = tableIndex(index);
    if (!cell.isValid())
        return {};
    const ReadingsLook look(*m_table);
    const int column = cell.column();
    if (column < ReadingsTable::firstNameColumn)
        return look.hostData(cell.row(), role, column == 0);
    return look.readingData(cell.row(), (column - ReadingsTable::firstNameColumn) / 2,
                            ReadingsTable::isNameColumn(column), role);
}

QVariant PlaceholderRows::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (m_shown && orientation == Qt::Vertical)
        return {};
    if (ReadingsLook::isLookRole(role)) {
        if (orientation == Qt::Horizontal)
            return ReadingsLook::titleData(section, role);
        const QModelIndex host = tableIndex(index(section, 0));
        return host.isValid() ? ReadingsLook(*m_table).hostData(host.row(), role, true)
                              : QVariant();
    }
    return QIdentityProxyModel::headerData(section, orientation, role);
}
