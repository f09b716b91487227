#include "readingstable.h"

#include "displaytext.h"
#include "reading.h"
#include "textfield.h"

#include <QColor>

#include <algorithm>

ReadingsTable::ReadingsTable(QObject *parent, int hostLimit)
    : QAbstractTableModel(parent)
    , m_hostLimit(hostLimit)
{
}

void ReadingsTable::fillgrid(const Reading &reading)
{
    int rowIndex = m_hosts.find(reading.host);
    if (rowIndex < 0) {
        // A new host's row is an empty row that then takes the reading like any other.
        rowIndex = addNewRow(reading);
        if (rowIndex < 0)
            return;
    }
    Row &row = m_rows[size_t(rowIndex)];
    const QStringView name = reading.name;
    const QStringView trimmed = trimSpaces(name);
    int nameId = trimmed.isEmpty() ? blankName : m_names.find(trimmed);
    const int pairIndex = pairFor(row, nameId);
    if (pairIndex < 0)
        return;
    // Kept only once written to a pair: a stream of names that find no room costs no memory.
    if (nameId == -1)
        nameId = m_names.insert(trimmed);

    if (size_t(pairIndex) >= row.pairs.size())
        row.pairs.resize(size_t(pairIndex) + 1);
    Pair &pair = row.pairs[size_t(pairIndex)];
    const auto leading = quint16(trimmed.data() - name.data());
    const auto trailing = quint16(name.size() - leading - trimmed.size());
    const bool renamed =
        pair.nameId != nameId || pair.leading != leading || pair.trailing != trailing;
    if (pair.nameId < 0 && nameId >= 0)
        ++row.namedPairs;
    pair.nameId = nameId;
    pair.leading = leading;
    pair.trailing = trailing;
    pair.value.assign(reading.value);
    assignText(row.date, reading.date);
    assignText(row.time, reading.time);

    const int nameColumn = firstNameColumn + 2 * pairIndex;
    if (renamed)
        m_posted.offer(nameColumn, reading.name);
    m_posted.offer(nameColumn + 1, reading.value);
    m_posted.offer(1, row.date);
    m_posted.offer(2, row.time);
    markDirty(rowIndex, 1, nameColumn + 1);
}

// The pair a reading goes to: the one whose name matches once trimmed, else the first
// empty one; -1 when all are taken. Non-blank names fill pairs from the left, and at most
// one pair holds a given name, so the scan stops at the named ones. A blank name matches
// every empty pair and so goes to the last one.
int ReadingsTable::pairFor(const Row &row, int nameId) const
{
    const bool hasEmptyPair = row.namedPairs < pairCount;
    if (nameId == blankName)
        return hasEmptyPair ? pairCount - 1 : -1;
    if (nameId >= 0) {
        for (int i = 0; i < row.namedPairs; ++i) {
            if (row.pairs[size_t(i)].nameId == nameId)
                return i;
        }
    }
    return hasEmptyPair ? row.namedPairs : -1;
}

// The new row's index, or -1 when the table is full.
int ReadingsTable::addNewRow(const Reading &reading)
{
    if (hostCount() >= m_hostLimit) {
        ++m_droppedHosts;
        return -1;
    }
    m_rows.emplace_back();
    m_posted.offer(0, reading.host);
    return m_hosts.insert(reading.host);
}

void ReadingsTable::markDirty(int row, int firstColumn, int lastColumn)
{
    if (row >= m_publishedRows)
        return; // announced by the row insertion
    if (m_dirtyTop < 0) {
        m_dirtyTop = m_dirtyBottom = row;
        m_dirtyLeft = firstColumn;
        m_dirtyRight = lastColumn;
        return;
    }
    m_dirtyTop = std::min(m_dirtyTop, row);
    m_dirtyBottom = std::max(m_dirtyBottom, row);
    m_dirtyLeft = std::min(m_dirtyLeft, firstColumn);
    m_dirtyRight = std::max(m_dirtyRight, lastColumn);
}

void ReadingsTable::publish()
{
    const int rows = hostCount();
    if (rows > m_publishedRows) {
        if (m_publishedRows == 0) {
            // The empty rows shown before the first host go before any host row comes.
            beginRemoveRows({}, 0, placeholderRows - 1);
            m_showPlaceholders = false;
            endRemoveRows();
        }
        beginInsertRows({}, m_publishedRows, rows - 1);
        m_publishedRows = rows;
        endInsertRows();
    }
    if (m_dirtyTop >= 0) {
        const QModelIndex topLeft = index(m_dirtyTop, m_dirtyLeft);
        const QModelIndex bottomRight = index(m_dirtyBottom, m_dirtyRight);
        m_dirtyTop = m_dirtyBottom = -1;
        Q_EMIT dataChanged(topLeft, bottomRight, {Qt::DisplayRole});
    }
    if (!m_posted.isEmpty()) {
        Q_EMIT textsPublished(m_posted);
        m_posted.clear();
    }
}

bool ReadingsTable::isNameColumn(int column)
{
    return column >= firstNameColumn && column < columnCountTotal
           && (column - firstNameColumn) % 2 == 0;
}

QString ReadingsTable::text(int row, int column) const
{
    if (row < 0 || row >= hostCount() || column < 0 || column >= columnCountTotal)
        return {};
    const Row &cells = m_rows[size_t(row)];
    switch (column) {
    case 0:
        return m_hosts.text(row);
    case 1:
        return cells.date;
    case 2:
        return cells.time;
    default:
        break;
    }
    const int pairIndex = (column - firstNameColumn) / 2;
    if (size_t(pairIndex) >= cells.pairs.size())
        return {};
    const Pair &pair = cells.pairs[size_t(pairIndex)];
    if (!isNameColumn(column))
        return pair.value.toString();
    if (pair.nameId == emptyPair)
        return {};
    const QString name = pair.nameId >= 0 ? m_names.text(pair.nameId) : QString();
    return QString(pair.leading, u' ') + name + QString(pair.trailing, u' ');
}

QString ReadingsTable::headerText(int column)
{
    switch (column) {
    case 1:
        return QStringLiteral("Date");
    case 2:
        return QStringLiteral("Time");
    default:
        break;
    }
    if (column < firstNameColumn || column >= columnCountTotal)
        return {};
    return isNameColumn(column) ? QStringLiteral("Name") : QStringLiteral("Value");
}

int ReadingsTable::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return m_showPlaceholders ? placeholderRows : m_publishedRows;
}

int ReadingsTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : columnCountTotal;
}

QVariant ReadingsTable::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return m_showPlaceholders ? QString() : displayable(text(index.row(), index.column()));
    case Qt::ForegroundRole:
        if (isNameColumn(index.column()))
            return QColor(Qt::blue);
        break;
    default:
        break;
    }
    return {};
}

QVariant ReadingsTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical) {
        // The host is the row's header, so it stays in view while the user scrolls sideways.
        if ((role != Qt::DisplayRole && role != Qt::AccessibleTextRole) || m_showPlaceholders
            || section < 0 || section >= m_publishedRows)
            return {};
        return displayable(m_hosts.text(section));
    }
    if (section < 0 || section >= columnCountTotal)
        return {};
    if (role == Qt::ForegroundRole && isNameColumn(section))
        return QColor(Qt::blue);
    if (role != Qt::DisplayRole)
        return {};
    return headerText(section);
}
