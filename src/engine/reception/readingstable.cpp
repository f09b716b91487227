#include "readingstable.h"

#include "arrival.h"
#include "displaytext.h"
#include "reading.h"
#include "readingsdescription.h"
#include "tablelistener.h"
#include "textfield.h"

#include "engine/archive/archivebatch.h"

#include <algorithm>

ReadingsTable::ReadingsTable(QObject *parent, int hostLimit, const ReceiveClock *clock)
    : QAbstractTableModel(parent)
    , m_hostLimit(hostLimit)
    , m_silence([this](int row) -> SilenceWatch::Host & { return m_rows[size_t(row)].silence; },
                clock)
{
    // The host is the row's header, which changes look when the host is heard again.
    connect(&m_silence, &SilenceWatch::hostsHeardAgain, this, &ReadingsTable::headersHeardAgain);
}

void ReadingsTable::fillgrid(const Reading &reading)
{
    int rowIndex = m_hosts.find(reading.host);
    if (rowIndex == TextIndex::notFound) {
        // A new host's row is an empty row that then takes the reading like any other.
        rowIndex = addNewRow(reading);
        if (rowIndex == noRow)
            return;
    }
    Row &row = m_rows[size_t(rowIndex)];
    const QStringView name = reading.name;
    const QStringView trimmed = trimSpaces(name);
    NameId nameId = trimmed.isEmpty() ? NameId::blank() : NameId::found(m_names.find(trimmed));
    const int pairIndex = pairFor(row, nameId);
    if (pairIndex == noPair)
        return;
    // Kept only once written to a pair: a stream of names that find no room costs no memory.
    if (nameId.isUnkept())
        nameId = NameId::kept(m_names.insert(trimmed));

    if (size_t(pairIndex) >= row.pairs.size())
        row.pairs.resize(size_t(pairIndex) + 1);
    Pair &pair = row.pairs[size_t(pairIndex)];
    const auto leading = quint16(trimmed.data() - name.data());
    const auto trailing = quint16(name.size() - leading - trimmed.size());
    const bool renamed =
        pair.name != nameId || pair.leading != leading || pair.trailing != trailing;
    // A blank pair taken by a real name starts a reading of its own, with no history.
    const bool firstTime = pair.name != nameId;
    if (!pair.name.isKept() && nameId.isKept())
        ++row.namedPairs;
    pair.name = nameId;
    pair.leading = leading;
    pair.trailing = trailing;
    pair.value.assign(reading.value);
    assignText(row.date, reading.date);
    assignText(row.time, reading.time);
    const SilenceWatch::Timing before = firstTime ? SilenceWatch::Timing() : pair.timing;
    m_silence.hear(rowIndex, row.silence, pair.timing, firstTime, [&row] {
        SilenceWatch::Tenths latest = 0;
        for (const Pair &each : row.pairs) {
            // A restored reading is overdue already, and has no deadline of its own.
            if (each.name != NameId::none() && !SilenceWatch::isRestored(each.timing))
                latest = std::max(latest, SilenceWatch::deadlineOf(each.timing));
        }
        return latest;
    });

    const int nameColumn = firstNameColumn + 2 * pairIndex;
    if (renamed)
        m_longest.offer(nameColumn, reading.name);
    m_longest.offer(nameColumn + 1, reading.value);
    m_longest.offer(1, row.date);
    m_longest.offer(2, row.time);
    markDirty(rowIndex, 1, nameColumn + 1);
    if (m_listeners.empty())
        return;
    m_postedValue = reading.value;
    m_postedNumber.read = false;
    m_postedNameId = nameId.isKept() ? nameId.id() : -1;
    m_postedTimingBefore = before;
    m_postedTiming = pair.timing;
    for (TableListener *const listener : m_listeners)
        listener->readingPosted(rowIndex, pairIndex, firstTime);
    m_postedValue = {};
    m_postedNameId = -1;
}

// The pair a reading goes to: the one whose name matches once trimmed, else the first
// empty one; noPair when all are taken. Non-blank names fill pairs from the left, and at
// most one pair holds a given name, so the scan stops at the named ones. A blank name
// matches every empty pair and so goes to the last one.
int ReadingsTable::pairFor(const Row &row, NameId name) const
{
    const bool hasEmptyPair = row.namedPairs < pairCount;
    if (name == NameId::blank())
        return hasEmptyPair ? pairCount - 1 : noPair;
    if (name.isKept()) {
        for (int i = 0; i < row.namedPairs; ++i) {
            if (row.pairs[size_t(i)].name == name)
                return i;
        }
    }
    return hasEmptyPair ? row.namedPairs : noPair;
}

// The new row's index, or noRow when the table is full.
int ReadingsTable::addNewRow(const Reading &reading)
{
    if (hostCount() >= m_hostLimit) {
        ++m_droppedHosts;
        return noRow;
    }
    m_rows.emplace_back();
    m_silence.addHost();
    m_longest.offer(0, reading.host);
    const int row = m_hosts.insert(reading.host);
    // The host index numbers its texts as the rows are numbered.
    Q_ASSERT(row == hostCount() - 1);
    return row;
}

void ReadingsTable::restoreHosts(const std::vector<KeptHost> &hosts)
{
    m_restoring = true;
    m_silence.beginBatch();
    Reading reading;
    std::vector<int> rows;
    for (const KeptHost &kept : hosts) {
        if (hostCount() >= m_hostLimit)
            break;
        if (restoreHost(kept, reading))
            rows.push_back(hostCount() - 1);
    }
    m_silence.restoreSilent(rows);
    publish();
    m_restoring = false;
}

// Whether the host took a new row, the last.
bool ReadingsTable::restoreHost(const KeptHost &kept, Reading &reading)
{
    if (kept.host.isEmpty() || kept.readings.isEmpty()
        || m_hosts.find(kept.host) != TextIndex::notFound)
        return false;
    const QDateTime heard = QDateTime::fromMSecsSinceEpoch(kept.lastHeardMs);
    // Written as a datagram's receive time is where it has no timestamp of its own.
    Arrival arrival([&heard] { return heard; });
    reading.host = kept.host;
    reading.date = arrival.receivedDate().toString();
    reading.time = arrival.receivedTime().toString();
    for (const auto &[name, value] : kept.readings) {
        reading.name = name;
        reading.value = value;
        fillgrid(reading);
    }
    Row &row = m_rows.back();
    row.heardBeforeStartMs = kept.lastHeardMs;
    for (Pair &pair : row.pairs) {
        if (pair.name != NameId::none())
            pair.timing = SilenceWatch::restoredTiming();
    }
    return true;
}

void ReadingsTable::tick()
{
    m_silence.tick();
    if (m_publishedRows > 0)
        Q_EMIT timingChanged();
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
    if (!m_longest.isEmpty()) {
        Q_EMIT textsPublished(m_longest);
        m_longest.clear();
    }
    m_silence.publish();
    for (TableListener *const listener : m_listeners)
        listener->published();
}

// Hosts heard again after silence: their row headers are not among the cells that changed.
void ReadingsTable::headersHeardAgain(const std::vector<int> &rows)
{
    const int top = rows.front();
    const int bottom = std::min(rows.back(), m_publishedRows - 1);
    if (top <= bottom)
        Q_EMIT headerDataChanged(Qt::Vertical, top, bottom);
}

void ReadingsTable::removeHosts(const std::vector<int> &rows)
{
    std::vector<bool> dropped(m_rows.size());
    bool any = false;
    for (const int row : rows) {
        if (row >= 0 && row < m_publishedRows) {
            dropped[size_t(row)] = true;
            any = true;
        }
    }
    if (any)
        dropRows(dropped);
}

void ReadingsTable::clear()
{
    if (hostCount() > 0)
        dropRows(std::vector<bool>(size_t(hostCount()), true));
}

void ReadingsTable::addListener(TableListener *listener)
{
    m_listeners.push_back(listener);
}

void ReadingsTable::removeListener(TableListener *listener)
{
    std::erase(m_listeners, listener);
}

// The one way rows leave the table.
void ReadingsTable::dropRows(const std::vector<bool> &dropped)
{
    // Views then know every row, so that what they are told matches what is stored.
    publish();
    // One run at a time, from the bottom up, so that the runs still to come keep their
    // numbers; views may look at the rows left between two runs.
    for (int last = hostCount() - 1; last >= 0; --last) {
        if (!dropped[size_t(last)])
            continue;
        int first = last;
        while (first > 0 && dropped[size_t(first - 1)])
            --first;
        beginRemoveRows({}, first, last);
        m_goneRuns.push_back({first, last - first + 1});
        m_publishedRows -= last - first + 1;
        endRemoveRows();
        last = first;
    }
    compact(dropped);
}

// Keeps the rows that are not dropped, in their order, and builds both indexes again from
// them alone, so that hosts and names that no row uses any more give their memory back.
void ReadingsTable::compact(const std::vector<bool> &dropped)
{
    const auto kept = size_t(std::count(dropped.begin(), dropped.end(), false));
    std::vector<Row> rows;
    rows.reserve(kept);
    TextIndex hosts;
    TextIndex names;
    std::vector<int> newRows(m_rows.size(), noRow);
    std::vector<int> newNames(size_t(m_names.size()), TextIndex::notFound);
    for (size_t row = 0; row < m_rows.size(); ++row) {
        if (dropped[row])
            continue;
        newRows[row] = hosts.insert(m_hosts.text(int(row)));
        Row &moved = rows.emplace_back(std::move(m_rows[row]));
        for (Pair &pair : moved.pairs) {
            if (!pair.name.isKept())
                continue;
            int &id = newNames[size_t(pair.name.id())];
            if (id == TextIndex::notFound)
                id = names.insert(m_names.text(pair.name.id()));
            pair.name = NameId::kept(id);
        }
    }
    m_rows = std::move(rows);
    m_hosts = std::move(hosts);
    m_names = std::move(names);
    m_goneRuns.clear();
    m_publishedRows = hostCount();
    m_silence.compact(hostCount());
    for (TableListener *const listener : m_listeners)
        listener->renumbered(newRows, newNames);
}

int ReadingsTable::storedRow(int row) const
{
    if (row < 0)
        return noRow;
    // Only while views are told of a removal do the two differ; they look at few rows
    // then, so the runs are walked.
    int gone = 0;
    for (auto run = m_goneRuns.rbegin(); run != m_goneRuns.rend(); ++run) {
        if (row + gone < run->first)
            break;
        gone += run->count;
    }
    return row + gone < hostCount() ? row + gone : noRow;
}

int ReadingsTable::pairsInUse(int row) const
{
    const int stored = storedRow(row);
    return stored == noRow ? 0 : int(m_rows[size_t(stored)].pairs.size());
}

bool ReadingsTable::isNameColumn(int column)
{
    return column >= firstNameColumn && column < columnCountTotal
           && (column - firstNameColumn) % 2 == 0;
}

QString ReadingsTable::text(int row, int column) const
{
    const int stored = storedRow(row);
    if (stored == noRow || column < 0 || column >= columnCountTotal)
        return {};
    const Row &cells = m_rows[size_t(stored)];
    switch (column) {
    case 0:
        return m_hosts.text(stored);
    case 1:
        return cells.date;
    case 2:
        return cells.time;
    default:
        break;
    }
    const Pair *const pair = pairAt(row, (column - firstNameColumn) / 2);
    if (!pair)
        return {};
    if (!isNameColumn(column))
        return pair->value.toString();
    const QString name = pair->name.isKept() ? m_names.text(pair->name.id()) : QString();
    return QString(pair->leading, u' ') + name + QString(pair->trailing, u' ');
}

// The written pair, or nothing.
const ReadingsTable::Pair *ReadingsTable::pairAt(int row, int pair) const
{
    const int stored = storedRow(row);
    if (stored == noRow || pair < 0)
        return nullptr;
    const Row &cells = m_rows[size_t(stored)];
    if (size_t(pair) >= cells.pairs.size() || cells.pairs[size_t(pair)].name == NameId::none())
        return nullptr;
    return &cells.pairs[size_t(pair)];
}

QString ReadingsTable::host(int row) const
{
    const int stored = storedRow(row);
    return stored == noRow ? QString() : m_hosts.text(stored);
}

int ReadingsTable::nameId(int row, int pair) const
{
    const Pair *const written = pairAt(row, pair);
    return written && written->name.isKept() ? written->name.id() : -1;
}

QString ReadingsTable::value(int row, int pair) const
{
    const Pair *const written = pairAt(row, pair);
    return written ? written->value.toString() : QString();
}

QString ReadingsTable::nameText(int id) const
{
    return id >= 0 && id < m_names.size() ? m_names.text(id) : QString();
}

const SilenceWatch::Timing *ReadingsTable::timing(int row, int pair) const
{
    const Pair *const written = pairAt(row, pair);
    return written ? &written->timing : nullptr;
}

bool ReadingsTable::isSilent(int row) const
{
    const int stored = storedRow(row);
    return stored != noRow && m_rows[size_t(stored)].silence.silent;
}

QDateTime ReadingsTable::lastHeard(int row) const
{
    if (isRestored(row))
        return heardBeforeStart(row);
    const int stored = storedRow(row);
    return stored == noRow ? QDateTime() : m_silence.wallTime(m_rows[size_t(stored)].silence.heard);
}

qint64 ReadingsTable::tenthsSinceHeard(int row) const
{
    const int stored = storedRow(row);
    if (stored == noRow)
        return 0;
    const Row &cells = m_rows[size_t(stored)];
    if (cells.silence.heard != SilenceWatch::heardBeforeStart)
        return m_silence.tenthsSince(cells.silence.heard);
    // Counted from the watch's start, so that it agrees with lastHeard().
    const qint64 startMs = m_silence.wallTime(0).toMSecsSinceEpoch();
    return m_silence.tenthsSince(0) + (startMs - cells.heardBeforeStartMs) / 100;
}

bool ReadingsTable::isRestored(int row) const
{
    const int stored = storedRow(row);
    return stored != noRow
           && m_rows[size_t(stored)].silence.heard == SilenceWatch::heardBeforeStart;
}

QDateTime ReadingsTable::heardBeforeStart(int row) const
{
    const int stored = storedRow(row);
    if (stored == noRow || m_rows[size_t(stored)].heardBeforeStartMs == notRestored)
        return {};
    return QDateTime::fromMSecsSinceEpoch(m_rows[size_t(stored)].heardBeforeStartMs);
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
    return parent.isValid() ? 0 : m_publishedRows;
}

int ReadingsTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : columnCountTotal;
}

QVariant ReadingsTable::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const int row = index.row();
    const int column = index.column();
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return displayable(text(row, column));
    const ReadingsDescription description(*this);
    if (column < firstNameColumn)
        return description.hostData(row, role);
    return description.readingData(row, (column - firstNameColumn) / 2, role);
}

QVariant ReadingsTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical) {
        // The host is the row's header, so it stays in view while the user scrolls sideways.
        if (section < 0 || section >= m_publishedRows)
            return {};
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
            return displayable(host(section));
        return ReadingsDescription(*this).hostData(section, role);
    }
    if (section < 0 || section >= columnCountTotal)
        return {};
    return role == Qt::DisplayRole ? QVariant(headerText(section)) : QVariant();
}
