#include "readingstable.h"

#include "displaytext.h"
#include "reading.h"
#include "textfield.h"

#include <QColor>

#include <algorithm>

namespace {

constexpr int blankMatch = -1;
constexpr int unknownMatch = -2;

} // namespace

ReadingsTable::ReadingsTable(QObject *parent, int hostLimit)
    : QAbstractTableModel(parent)
    , m_hostLimit(hostLimit)
{
}

void ReadingsTable::fillgrid(const Reading &reading)
{
    const int rowIndex = m_hostIndex.find(reading.host);
    if (rowIndex < 0) {
        // The reading that brings a new host only creates its row.
        addNewRow(reading);
        return;
    }
    Row &row = m_rows[rowIndex];
    int nameId = -1;
    int matchId = unknownMatch;
    const int pairIndex = pairFor(row, reading.name, &nameId, &matchId);
    if (pairIndex < 0)
        return;
    if (nameId < 0)
        nameId = internName(reading.name, matchId);

    if (pairIndex >= row.pairs.size())
        row.pairs.resize(pairIndex + 1);
    Pair &pair = row.pairs[pairIndex];
    const bool wasNamed = pair.nameId >= 0 && pair.matchId != blankMatch;
    const bool renamed = pair.nameId != nameId;
    matchId = m_names[nameId].matchId;
    if (!wasNamed && matchId != blankMatch)
        ++row.namedPairs;
    pair.nameId = nameId;
    pair.matchId = matchId;
    pair.value.assign(reading.value);
    assignText(row.date, reading.date);
    assignText(row.time, reading.time);

    const int nameColumn = firstNameColumn + 2 * pairIndex;
    if (renamed)
        m_posted.offer(nameColumn, m_names[nameId].text);
    m_posted.offer(nameColumn + 1, reading.value);
    m_posted.offer(1, row.date);
    m_posted.offer(2, row.time);
    markDirty(rowIndex, 1, nameColumn + 1);
}

// The pair a reading goes to: the one whose name matches once trimmed, else the first
// empty one; -1 when all are taken. Non-blank names fill pairs from the left, and at most
// one pair holds a given name, so the scan stops at the named ones. A blank name matches
// every empty pair and so goes to the last one.
int ReadingsTable::pairFor(const Row &row, const QString &name, int *nameId, int *matchId) const
{
    *nameId = m_nameIndex.find(name);
    if (*nameId >= 0) {
        *matchId = m_names[*nameId].matchId;
    } else {
        const QStringView trimmed = trimSpaces(name);
        if (trimmed.isEmpty()) {
            *matchId = blankMatch;
        } else {
            const int match = m_matchIndex.find(trimmed);
            *matchId = match >= 0 ? match : unknownMatch;
        }
    }

    const bool hasEmptyPair = row.namedPairs < pairCount;
    if (*matchId == blankMatch)
        return hasEmptyPair ? pairCount - 1 : -1;
    if (*matchId != unknownMatch) {
        for (int i = 0; i < row.namedPairs; ++i) {
            if (row.pairs[i].matchId == *matchId)
                return i;
        }
    }
    return hasEmptyPair ? row.namedPairs : -1;
}

// Names are kept once, however many hosts report them, and only once written to a pair:
// a stream of names that find no room costs no memory.
int ReadingsTable::internName(const QString &name, int matchId)
{
    if (matchId == unknownMatch)
        matchId = m_matchIndex.insert(trimSpaces(name));
    const int id = m_nameIndex.insert(name);
    m_names.append({name, matchId});
    return id;
}

void ReadingsTable::addNewRow(const Reading &reading)
{
    if (hostCount() >= m_hostLimit) {
        ++m_droppedHosts;
        return;
    }
    Row row;
    row.host = reading.host;
    row.date = reading.date;
    row.time = reading.time;
    m_hostIndex.insert(row.host);
    m_posted.offer(0, row.host);
    m_posted.offer(1, row.date);
    m_posted.offer(2, row.time);
    m_rows.append(std::move(row));
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
    const Row &cells = m_rows[row];
    switch (column) {
    case 0:
        return cells.host;
    case 1:
        return cells.date;
    case 2:
        return cells.time;
    default:
        break;
    }
    const int pairIndex = (column - firstNameColumn) / 2;
    if (pairIndex >= cells.pairs.size())
        return {};
    const Pair &pair = cells.pairs[pairIndex];
    if (!isNameColumn(column))
        return pair.value.toString();
    return pair.nameId >= 0 ? m_names[pair.nameId].text : QString();
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
        return displayable(m_rows[section].host);
    }
    if (section < 0 || section >= columnCountTotal)
        return {};
    if (role == Qt::ForegroundRole && isNameColumn(section))
        return QColor(Qt::blue);
    if (role != Qt::DisplayRole)
        return {};
    return headerText(section);
}
