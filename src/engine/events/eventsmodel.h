#pragma once

#include "engine/archive/archivebatch.h"
#include "eventfilter.h"

#include <QAbstractTableModel>

#include <vector>

// The events of a time, newest first, as a table: Time (local), Host, Reading, From, To,
// Value; only those the filter accepts are rows. Events given again with newer ones in front,
// as the archive writes them, are added above the rows there are, so that a view keeps its
// selection and place.
class EventsModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EventsModel)

public:
    enum Column { TimeColumn, HostColumn, ReadingColumn, FromColumn, ToColumn, ValueColumn };
    static constexpr int columns = ValueColumn + 1;

    explicit EventsModel(QObject *parent = nullptr);

    // Newest first.
    void setEvents(std::vector<ArchiveEvent> events);
    void setFilter(const EventFilter &filter);
    const EventFilter &filter() const { return m_filter; }
    // All the events given, shown or not.
    int eventCount() const { return int(m_events.size()); }
    // The event of a row.
    const ArchiveEvent &event(int row) const { return m_events[m_shown[size_t(row)]]; }
    // "12 events", or "3 of 12 events" while the filter leaves some out.
    QString countText() const;
    // The events shown, in their order.
    std::vector<ArchiveEvent> shownEvents() const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::vector<size_t> accepted() const;

    std::vector<ArchiveEvent> m_events;
    std::vector<size_t> m_shown; // into m_events
    EventFilter m_filter;
};
