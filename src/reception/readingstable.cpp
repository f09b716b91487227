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
    const bool firstTime = pair.nameId == emptyPair;
    if (pair.nameId < 0 && nameId >= 0)
        ++row.namedPairs;
    pair.nameId = nameId;
    pair.leading = leading;
    pair.trailing = trailing;
    pair.value.assign(reading.value);
    assignText(row.date, reading.date);
    assignText(row.time, reading.time);
    hear(rowIndex, pair, firstTime);

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
        const quint64 sample = std::max<quint64>(
            1, pair.interval == 0 ? gap : std::min(gap, intervalsLimit * pair.interval));
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
        if (pair.nameId != emptyPair)
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
    if (row < 0 || row >= hostCount())
        return {};
    return wallTimeOf(m_rows[size_t(row)].heard);
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

// The written pair a name or value cell shows, or nothing.
const ReadingsTable::Pair *ReadingsTable::pairAt(int row, int column) const
{
    if (row < 0 || row >= hostCount() || column < firstNameColumn || column >= columnCountTotal)
        return nullptr;
    const Row &cells = m_rows[size_t(row)];
    const auto pairIndex = size_t((column - firstNameColumn) / 2);
    if (pairIndex >= cells.pairs.size() || cells.pairs[pairIndex].nameId == emptyPair)
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
        const Row &cells = m_rows[size_t(row)];
        QString text = tr("%1: last heard %2, %3 ago")
                           .arg(displayable(m_hosts.text(row)),
                                wallTimeOf(cells.heard).toString(u"yyyy-MM-dd hh:mm:ss"_qs),
                                durationText(now - cells.heard));
        if (cells.silent)
            text += tr("; silent, every reading overdue");
        return text;
    }
    const Pair *pair = pairAt(row, column);
    if (!pair)
        return {};
    const QString name = pair->nameId >= 0 ? displayable(m_names.text(pair->nameId))
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
            if (column < firstNameColumn ? m_rows[size_t(row)].silent : pair && isOverdue(*pair))
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
            return displayable(m_hosts.text(section));
        case Qt::ForegroundRole:
            return m_rows[size_t(section)].silent ? greyed() : QVariant();
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
