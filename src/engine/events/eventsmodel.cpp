#include "eventsmodel.h"

#include "engine/reception/lastheardtext.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>

EventsModel::EventsModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

std::vector<size_t> EventsModel::accepted() const
{
    std::vector<size_t> shown;
    for (size_t i = 0; i < m_events.size(); ++i) {
        if (m_filter.accepts(m_events[i]))
            shown.push_back(i);
    }
    return shown;
}

void EventsModel::setEvents(std::vector<ArchiveEvent> events)
{
    // The events there were, each still there after the newer ones in front: only the newer
    // ones are new rows.
    const size_t added = events.size() >= m_events.size() ? events.size() - m_events.size() : 0;
    const bool onlyNewer =
        events.size() >= m_events.size()
        && std::equal(m_events.begin(), m_events.end(), events.begin() + qsizetype(added));
    if (!onlyNewer) {
        beginResetModel();
        m_events = std::move(events);
        m_shown = accepted();
        endResetModel();
        return;
    }
    if (added == 0)
        return;
    std::vector<size_t> newer;
    for (size_t i = 0; i < added; ++i) {
        if (m_filter.accepts(events[i]))
            newer.push_back(i);
    }
    m_events = std::move(events);
    for (size_t &index : m_shown)
        index += added;
    if (newer.empty())
        return;
    beginInsertRows({}, 0, int(newer.size()) - 1);
    m_shown.insert(m_shown.begin(), newer.begin(), newer.end());
    endInsertRows();
}

void EventsModel::setFilter(const EventFilter &filter)
{
    if (filter == m_filter)
        return;
    beginResetModel();
    m_filter = filter;
    m_shown = accepted();
    endResetModel();
}

QString EventsModel::countText() const
{
    const QLocale locale;
    const QString events = m_events.size() == 1 ? tr("%1 event") : tr("%1 events");
    const QString all = events.arg(locale.toString(eventCount()));
    if (m_filter.isEmpty())
        return all;
    return tr("%1 of %2").arg(locale.toString(rowCount()), all);
}

std::vector<ArchiveEvent> EventsModel::shownEvents() const
{
    std::vector<ArchiveEvent> shown;
    shown.reserve(m_shown.size());
    for (const size_t index : m_shown)
        shown.push_back(m_events[index]);
    return shown;
}

int EventsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_shown.size());
}

int EventsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : columns;
}

QVariant EventsModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)
        || role != Qt::DisplayRole)
        return {};
    const ArchiveEvent &shown = event(index.row());
    switch (Column(index.column())) {
    case TimeColumn:
        return lastHeardText(QDateTime::fromMSecsSinceEpoch(shown.timeMs));
    case HostColumn:
        return shown.host;
    case ReadingColumn:
        return shown.reading;
    case FromColumn:
        return shown.from;
    case ToColumn:
        return shown.to;
    case ValueColumn:
        return shown.value;
    }
    return {};
}

QVariant EventsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0
        || section >= columns)
        return {};
    const char *const titles[columns] = {QT_TR_NOOP("Time"),    QT_TR_NOOP("Host"),
                                         QT_TR_NOOP("Reading"), QT_TR_NOOP("From"),
                                         QT_TR_NOOP("To"),      QT_TR_NOOP("Value")};
    return tr(titles[section]);
}
