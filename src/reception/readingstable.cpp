#include "readingstable.h"

#include "displaytext.h"
#include "reading.h"
#include "textfield.h"

#include <QColor>
#include <QRandomGenerator>

#include <algorithm>
#include <cstring>

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
    assignText(pair.value, reading.value);
    assignText(row.date, reading.date);
    assignText(row.time, reading.time);

    const int nameColumn = firstNameColumn + 2 * pairIndex;
    if (renamed)
        m_posted.offer(nameColumn, m_names[nameId].text);
    m_posted.offer(nameColumn + 1, pair.value);
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

ReadingsTable::TextIndex::TextIndex()
{
    QRandomGenerator::global()->generate(m_keys.begin(), m_keys.end());
}

// NH, a universal hash: while the keys stay secret, no choice of texts collides more often
// than about once in 2^32 pairs. It takes four characters per multiply, and the keys cover
// 256 characters, more than a datagram's host or name can hold.
quint64 ReadingsTable::TextIndex::hash(QStringView text) const
{
    const char16_t *chars = text.utf16();
    qsizetype left = text.size();
    quint64 sum = quint64(quint32(left) + m_keys[0]) * quint64(m_keys[1]);
    size_t key = 2;
    const auto add = [&](const char16_t *four) {
        quint32 low;
        quint32 high;
        std::memcpy(&low, four, sizeof low);
        std::memcpy(&high, four + 2, sizeof high);
        sum += quint64(low + m_keys[key]) * quint64(high + m_keys[key + 1]);
        key = key + 2 < m_keys.size() ? key + 2 : 2;
    };
    for (; left >= 4; left -= 4, chars += 4)
        add(chars);
    if (left > 0) {
        char16_t tail[4] = {};
        for (qsizetype i = 0; i < left; ++i)
            tail[i] = chars[i];
        add(tail);
    }
    // NH's best bits are its upper ones; mix them into the lower ones that pick the slot.
    sum ^= sum >> 32;
    sum *= 0x9E3779B97F4A7C15ull;
    return sum ^ (sum >> 29);
}

int ReadingsTable::TextIndex::find(QStringView text) const
{
    if (m_slots.empty())
        return -1;
    const quint64 h = hash(text);
    const auto check = quint32(h >> 32);
    const size_t mask = m_slots.size() - 1;
    for (size_t i = size_t(h) & mask;; i = (i + 1) & mask) {
        const Slot &slot = m_slots[i];
        if (slot.id < 0)
            return -1;
        if (slot.check == check && slot.length == size_t(text.size())
            && std::equal(text.begin(), text.end(), m_text.begin() + slot.offset,
                          [](QChar a, char16_t b) { return a.unicode() == b; }))
            return slot.id;
    }
}

int ReadingsTable::TextIndex::insert(QStringView text)
{
    if (size_t(m_count + 1) * 2 > m_slots.size()) {
        std::vector<Slot> old(std::max<size_t>(16, m_slots.size() * 2));
        old.swap(m_slots);
        for (const Slot &slot : old) {
            if (slot.id >= 0)
                place(hash(QStringView(m_text.data() + slot.offset, slot.length)), slot);
        }
    }
    Slot slot;
    slot.id = m_count++;
    slot.offset = quint32(m_text.size());
    slot.length = quint32(text.size());
    m_text.insert(m_text.end(), text.utf16(), text.utf16() + text.size());
    place(hash(text), slot);
    return slot.id;
}

void ReadingsTable::TextIndex::place(quint64 hash, const Slot &slot)
{
    const size_t mask = m_slots.size() - 1;
    size_t i = size_t(hash) & mask;
    while (m_slots[i].id >= 0)
        i = (i + 1) & mask;
    m_slots[i] = slot;
    m_slots[i].check = quint32(hash >> 32);
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

int ReadingsTable::gridRowCount() const
{
    return m_rows.isEmpty() ? 1 + placeholderRows : hostCount() + 1;
}

bool ReadingsTable::isNameColumn(int column) const
{
    return column >= firstNameColumn && column < columnCountTotal
           && (column - firstNameColumn) % 2 == 0;
}

QString ReadingsTable::cellText(int gridRow, int column) const
{
    if (column < 0 || column >= columnCountTotal)
        return {};
    if (gridRow == 0)
        return headerData(column, Qt::Horizontal).toString();
    if (gridRow < 1 || gridRow > hostCount())
        return {};
    const Row &row = m_rows[gridRow - 1];
    switch (column) {
    case 0:
        return row.host;
    case 1:
        return row.date;
    case 2:
        return row.time;
    default:
        break;
    }
    const int pairIndex = (column - firstNameColumn) / 2;
    if (pairIndex >= row.pairs.size())
        return {};
    const Pair &pair = row.pairs[pairIndex];
    if (!isNameColumn(column))
        return pair.value;
    return pair.nameId >= 0 ? m_names[pair.nameId].text : QString();
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
        return m_showPlaceholders ? QString()
                                  : displayable(cellText(index.row() + 1, index.column()));
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
    switch (section) {
    case 0:
        return QString();
    case 1:
        return QStringLiteral("Date");
    case 2:
        return QStringLiteral("Time");
    default:
        return isNameColumn(section) ? QStringLiteral("Name") : QStringLiteral("Value");
    }
}
