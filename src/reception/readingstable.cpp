#include "readingstable.h"

#include "displaytext.h"
#include "durationtext.h"
#include "reading.h"
#include "textfield.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

#include <algorithm>

ReadingsTable::ReadingsTable(QObject *parent, int hostLimit, const ReceiveClock *clock)
    : QAbstractTableModel(parent)
    , m_hostLimit(hostLimit)
    , m_clock(clock ? clock : &m_ownClock)
    , m_startMs(m_clock->elapsedMs())
    , m_wallAtCheck(m_clock->wallTime())
{
}

ReadingsTable::Tenths ReadingsTable::clockTenths() const
{
    const qint64 tenths = (m_clock->elapsedMs() - m_startMs) / 100;
    return Tenths(std::clamp<qint64>(tenths, 0, notQueued - 1));
}

void ReadingsTable::beginBatch()
{
    m_receivedAt = clockTenths();
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
    hear(rowIndex, pair, firstTime);

    const int nameColumn = firstNameColumn + 2 * pairIndex;
    if (renamed)
        m_longest.offer(nameColumn, reading.name);
    m_longest.offer(nameColumn + 1, reading.value);
    m_longest.offer(1, row.date);
    m_longest.offer(2, row.time);
    markDirty(rowIndex, 1, nameColumn + 1);
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
    m_longest.offer(0, reading.host);
    const int row = m_hosts.insert(reading.host);
    // The host index numbers its texts as the rows are numbered.
    Q_ASSERT(row == hostCount() - 1);
    return row;
}

void ReadingsTable::hear(int rowIndex, Pair &pair, bool firstTime)
{
    Row &row = m_rows[size_t(rowIndex)];
    const Tenths now = m_receivedAt;
    const Tenths heardBefore = pair.heard;
    const Tenths intervalBefore = pair.interval;
    if (!firstTime) {
        const quint64 gap = now > pair.heard ? now - pair.heard : 0;
        // A gap past overdue was an outage, not the usual rhythm: it counts as no more than
        // that, so that one outage does not hide the next for long, while a sender that
        // slowed down for good is followed within a few reports.
        // Never capped below the 30-second floor: a duplicate datagram on first contact
        // leaves a tiny interval, which must not take a dozen reports to grow out of.
        const quint64 cap = std::max<quint64>(shortestLimit, intervalsLimit * pair.interval);
        const quint64 sample = std::max<quint64>(1, pair.interval == 0 ? gap : std::min(gap, cap));
        pair.interval =
            Tenths(pair.interval == 0 ? sample : (3 * quint64(pair.interval) + sample + 2) / 4);
    }
    pair.heard = now;
    row.heard = now;
    const Tenths after = deadlineOf(pair);
    if (after >= row.deadline)
        row.deadline = after;
    else if (!firstTime && deadline(heardBefore, intervalBefore) == row.deadline)
        row.deadline = latestDeadline(row); // rare: the pair that was last due now comes sooner
    if (row.silent) {
        row.silent = false;
        --m_silentHosts;
        // Its host, in the view's header, is not among the cells that changed.
        m_wokenTop = m_wokenTop < 0 ? rowIndex : std::min(m_wokenTop, rowIndex);
        m_wokenBottom = std::max(m_wokenBottom, rowIndex);
    }
    if (row.deadline < row.queuedAt)
        queue(rowIndex);
}

ReadingsTable::Tenths ReadingsTable::latestDeadline(const Row &row)
{
    Tenths latest = 0;
    for (const Pair &pair : row.pairs) {
        if (pair.name != NameId::none())
            latest = std::max(latest, deadlineOf(pair));
    }
    return latest;
}

void ReadingsTable::queue(int rowIndex)
{
    Row &row = m_rows[size_t(rowIndex)];
    row.queuedAt = row.deadline;
    m_deadlines.emplace(row.deadline, rowIndex);
    // Entries left behind by deadlines that came sooner are dropped now and then, so that
    // a sender cannot make the queue grow without end.
    if (m_deadlines.size() > 2 * m_rows.size() + 1024)
        rebuildDeadlines();
}

void ReadingsTable::rebuildDeadlines()
{
    std::vector<Deadline> entries;
    entries.reserve(m_rows.size());
    m_silentHosts = 0;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        Row &row = m_rows[i];
        if (row.silent) {
            row.queuedAt = notQueued;
            ++m_silentHosts;
            continue;
        }
        row.queuedAt = row.deadline;
        entries.emplace_back(row.deadline, int(i));
    }
    m_deadlines = Deadlines(std::greater<>(), std::move(entries));
}

void ReadingsTable::tick()
{
    m_checkedAt = clockTenths();
    m_wallAtCheck = m_clock->wallTime();
    while (!m_deadlines.empty() && m_deadlines.top().first < m_checkedAt) {
        const auto [due, rowIndex] = m_deadlines.top();
        m_deadlines.pop();
        Row &row = m_rows[size_t(rowIndex)];
        if (row.silent || row.queuedAt != due)
            continue; // an entry left behind
        if (row.deadline < m_checkedAt) {
            row.silent = true;
            row.queuedAt = notQueued;
            ++m_silentHosts;
        } else {
            queue(rowIndex);
        }
    }
    if (m_publishedRows > 0)
        Q_EMIT timingChanged();
    if (m_silentHosts != m_toldSilentHosts) {
        m_toldSilentHosts = m_silentHosts;
        Q_EMIT silentHostsChanged(m_silentHosts);
    }
}

QDateTime ReadingsTable::wallTimeOf(Tenths time) const
{
    return m_wallAtCheck.addMSecs((qint64(time) - qint64(m_checkedAt)) * 100);
}

QDateTime ReadingsTable::lastHeard(int row) const
{
    const int stored = row < 0 ? noRow : storedRow(row);
    if (stored < 0 || stored >= hostCount())
        return {};
    return wallTimeOf(m_rows[size_t(stored)].heard);
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
        if (m_showPlaceholders) {
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
    if (!m_longest.isEmpty()) {
        Q_EMIT textsPublished(m_longest);
        m_longest.clear();
    }
    if (m_wokenTop >= 0) {
        const int top = m_wokenTop;
        const int bottom = std::min(m_wokenBottom, m_publishedRows - 1);
        m_wokenTop = m_wokenBottom = -1;
        if (top <= bottom)
            Q_EMIT headerDataChanged(Qt::Vertical, top, bottom);
    }
    // Hosts heard again leave the count at once.
    if (m_silentHosts != m_toldSilentHosts) {
        m_toldSilentHosts = m_silentHosts;
        Q_EMIT silentHostsChanged(m_silentHosts);
    }
}

void ReadingsTable::removeHosts(const std::vector<int> &rows)
{
    std::vector<bool> dropped(m_rows.size());
    bool any = false;
    for (const int row : rows) {
        if (row >= 0 && row < shownHostCount()) {
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
    std::vector<int> renamed(size_t(m_names.size()), TextIndex::notFound);
    for (size_t row = 0; row < m_rows.size(); ++row) {
        if (dropped[row])
            continue;
        hosts.insert(m_hosts.text(int(row)));
        Row &moved = rows.emplace_back(std::move(m_rows[row]));
        for (Pair &pair : moved.pairs) {
            if (!pair.name.isKept())
                continue;
            int &id = renamed[size_t(pair.name.id())];
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
    m_wokenTop = m_wokenBottom = -1;
    rebuildDeadlines();
}

// Where a row that views see is stored. Only while views are told of a removal do the two
// differ; they look at few rows then, so the runs are walked.
int ReadingsTable::storedRow(int row) const
{
    int gone = 0;
    for (auto run = m_goneRuns.rbegin(); run != m_goneRuns.rend(); ++run) {
        if (row + gone < run->first)
            break;
        gone += run->count;
    }
    return row + gone;
}

int ReadingsTable::pairsInUse(int row) const
{
    const int stored = row < 0 ? noRow : storedRow(row);
    if (stored < 0 || stored >= hostCount())
        return 0;
    return int(m_rows[size_t(stored)].pairs.size());
}

bool ReadingsTable::isNameColumn(int column)
{
    return column >= firstNameColumn && column < columnCountTotal
           && (column - firstNameColumn) % 2 == 0;
}

QString ReadingsTable::text(int row, int column) const
{
    if (row < 0 || column < 0 || column >= columnCountTotal)
        return {};
    row = storedRow(row);
    if (row >= hostCount())
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
    if (pair.name == NameId::none())
        return {};
    const QString name = pair.name.isKept() ? m_names.text(pair.name.id()) : QString();
    return QString(pair.leading, u' ') + name + QString(pair.trailing, u' ');
}

// The written pair a name or value cell shows, or nothing.
const ReadingsTable::Pair *ReadingsTable::pairAt(int row, int column) const
{
    if (row < 0 || column < firstNameColumn || column >= columnCountTotal)
        return nullptr;
    row = storedRow(row);
    if (row >= hostCount())
        return nullptr;
    const Row &cells = m_rows[size_t(row)];
    const auto pairIndex = size_t((column - firstNameColumn) / 2);
    if (pairIndex >= cells.pairs.size() || cells.pairs[pairIndex].name == NameId::none())
        return nullptr;
    return &cells.pairs[pairIndex];
}

// When a cell was heard, on this machine's clock; empty where there is nothing to tell.
QString ReadingsTable::description(int row, int column) const
{
    if (m_showPlaceholders || row < 0 || row >= m_publishedRows)
        return {};
    const qint64 now = std::max(m_checkedAt, m_receivedAt);
    if (column < firstNameColumn) {
        const int stored = storedRow(row);
        const Row &cells = m_rows[size_t(stored)];
        QString text = tr("%1: last heard %2, %3 ago")
                           .arg(displayable(m_hosts.text(stored)),
                                wallTimeOf(cells.heard).toString(u"yyyy-MM-dd hh:mm:ss"_qs),
                                durationText(now - cells.heard));
        if (cells.silent)
            text += tr("; silent, every reading overdue");
        return text;
    }
    const Pair *pair = pairAt(row, column);
    if (!pair)
        return {};
    const QString name = pair->name.isKept() ? displayable(m_names.text(pair->name.id()))
                                             : tr("A reading without a name");
    const QString ago = durationText(now - pair->heard);
    QString text =
        pair->interval == 0
            ? tr("%1: heard %2 ago, only once so far").arg(name, ago)
            : tr("%1: heard %2 ago, usually every %3").arg(name, ago, durationText(pair->interval));
    if (isOverdue(*pair))
        text += tr("; overdue");
    return text;
}

QVariant ReadingsTable::greyed()
{
    return QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
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
    case Qt::ForegroundRole: {
        const int row = index.row();
        const int column = index.column();
        if (!m_showPlaceholders) {
            const Pair *pair = pairAt(row, column);
            if (column < firstNameColumn ? m_rows[size_t(storedRow(row))].silent
                                         : pair && isOverdue(*pair))
                return greyed();
        }
        if (isNameColumn(column))
            return QColor(Qt::blue);
        break;
    }
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole:
        return descriptionFor(description(index.row(), index.column()), role);
    default:
        break;
    }
    return {};
}

// A tooltip would take a name that looks like markup for markup: it is always given as
// markup, the text escaped.
QVariant ReadingsTable::descriptionFor(const QString &text, int role)
{
    if (text.isEmpty())
        return {};
    if (role == Qt::ToolTipRole)
        return QString(u"<p style=\"white-space:pre\">"_qs + text.toHtmlEscaped() + u"</p>"_qs);
    return text;
}

QVariant ReadingsTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical) {
        // The host is the row's header, so it stays in view while the user scrolls sideways.
        if (m_showPlaceholders || section < 0 || section >= m_publishedRows)
            return {};
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return displayable(m_hosts.text(storedRow(section)));
        case Qt::ForegroundRole:
            return m_rows[size_t(storedRow(section))].silent ? greyed() : QVariant();
        case Qt::ToolTipRole:
        case Qt::AccessibleDescriptionRole:
            return descriptionFor(description(section, 0), role);
        default:
            return {};
        }
    }
    if (section < 0 || section >= columnCountTotal)
        return {};
    if (role == Qt::ForegroundRole && isNameColumn(section))
        return QColor(Qt::blue);
    if (role != Qt::DisplayRole)
        return {};
    return headerText(section);
}
