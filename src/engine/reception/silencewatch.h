#pragma once

#include "receiveclock.h"

#include <QDateTime>
#include <QObject>

#include <algorithm>
#include <functional>
#include <queue>
#include <utility>
#include <vector>

// Decides which hosts are silent. Each reading knows when this machine last heard it and how
// often it usually reports. A reading silent for more than three of its usual intervals, and
// at least 30 seconds, is overdue; one heard only once is overdue after 5 minutes. A host is
// silent when all its readings are. Time moves on only at tick(), once a second.
//
// Hosts are numbered by the readings table's rows. Each waits in a heap under its deadline,
// so that most readings cost one comparison and a tick's work grows with the hosts that fall
// due, not with the table.
class SilenceWatch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SilenceWatch)

public:
    // Tenths of a second since the watch was made: 32 bits last 13 years.
    using Tenths = quint32;
    // What the watch knows of one reading, kept by the table beside the reading itself.
    struct Timing
    {
        Tenths heard = 0;    // when this machine last heard it
        Tenths interval = 0; // its usual interval, smoothed; 0 while heard only once
    };
    static constexpr Tenths notQueued = 0xffffffff;
    // The heard time of a host or reading restored from before start-up and not heard since:
    // never a time this watch hears at, as its clock stops short of it.
    static constexpr Tenths heardBeforeStart = 0xffffffff;
    // What a restored reading's timing holds until it is heard: overdue at once, and its next
    // hearing is its first, starting its rhythm afresh.
    static Timing restoredTiming() { return {heardBeforeStart, 0}; }
    static bool isRestored(const Timing &timing) { return timing.heard == heardBeforeStart; }
    // What the watch knows of one host, kept by the table in the host's row: a reading then
    // touches one place in memory, not two.
    struct Host
    {
        Tenths heard = 0;            // the latest of its readings'
        Tenths deadline = 0;         // the latest of its readings'
        Tenths queuedAt = notQueued; // the time its live entry in the deadline heap waits for
        bool silent = false;
    };
    // Where the watch finds the host of a row.
    using HostAt = std::function<Host &(int row)>;

    // Reads the time from clock, which must outlive the watch; without one, from its own.
    SilenceWatch(HostAt hostAt, const ReceiveClock *clock = nullptr, QObject *parent = nullptr);

    // Reads the clock: readings heard until the next call were received now.
    void beginBatch();
    // A new host, numbered after the last.
    void addHost() { ++m_hostCount; }
    // Notes that a reading of host, the row's, was heard now; firstTime when it has no history,
    // as a restored one has not either. latestOfRow() gives the latest deadlineOf() among the
    // row's readings that are not restored: asked only in the rare case where the reading due
    // last now falls due sooner.
    template<typename LatestOfRow>
    void hear(int row, Host &host, Timing &timing, bool firstTime, LatestOfRow &&latestOfRow);
    // Reads the clock and declares silent the hosts whose deadline passed.
    void tick();
    // Declares silent at once these hosts, restored from before start-up and not heard since,
    // whose readings' timings the table set to restoredTiming(); their next hearing wakes them
    // as it wakes any silent host. Emits hostsFellSilent(rows), which must be in order.
    void restoreSilent(const std::vector<int> &rows);
    // Tells of the hosts heard again since the last call, and of the count if it changed.
    void publish();
    // The table kept hostCount hosts, numbered afresh, and dropped the rest.
    void compact(int hostCount);

    int silentHosts() const { return m_silentHosts; }
    bool isOverdue(const Timing &timing) const
    {
        return isRestored(timing) || m_checkedAt > deadlineOf(timing);
    }
    // How long ago time was: from the latest of the last tick and the batch being heard.
    qint64 tenthsSince(Tenths time) const
    {
        return qint64(std::max(m_checkedAt, m_receivedAt)) - qint64(time);
    }
    // On this machine's date and time, as the last tick read it.
    QDateTime wallTime(Tenths time) const;
    // Inline: whatever follows the readings asks it of each.
    static Tenths deadlineOf(const Timing &timing)
    {
        const quint64 limit = timing.interval == 0
                                  ? heardOnceLimit
                                  : std::max(shortestLimit, intervalsLimit * timing.interval);
        return Tenths(std::min<quint64>(timing.heard + limit, notQueued - 1));
    }

Q_SIGNALS:
    // Emitted by tick(): the rows of the hosts that fell silent then, in order; and by
    // restoreSilent(), while the table restores.
    void hostsFellSilent(const std::vector<int> &rows);
    // Emitted by publish(): the rows of the silent hosts heard again since, in order.
    void hostsHeardAgain(const std::vector<int> &rows);
    // Emitted by publish() and tick() when silentHosts() is not what it was last time.
    void silentHostsChanged(int silentHosts);

private:
    static constexpr quint64 heardOnceLimit = 3000; // 5 minutes
    static constexpr quint64 shortestLimit = 300;   // 30 seconds
    static constexpr quint64 intervalsLimit = 3;

    // Hosts waiting for a deadline, earliest first. A host is queued under the deadline it
    // had then; when that comes, it is silent or queued again under its new one.
    using Deadline = std::pair<Tenths, int>;
    using Deadlines = std::priority_queue<Deadline, std::vector<Deadline>, std::greater<>>;

    Tenths clockTenths() const;
    // Learns the reading's interval from this report; returns its deadline before.
    Tenths learn(Timing &timing, bool firstTime) const;
    void wake(int row, Host &host);
    void queue(int row, Host &host);
    // Queues every host that is not silent afresh, dropping entries no longer needed, and
    // counts the silent ones again: what hosts that move or go must be followed by.
    void rebuildDeadlines();
    void tellSilentCount();

    const HostAt m_hostAt;
    ReceiveClock m_ownClock;
    const ReceiveClock *const m_clock;
    const qint64 m_startMs;
    int m_hostCount = 0;
    Deadlines m_deadlines;
    Tenths m_receivedAt = 0; // of the batch being heard
    Tenths m_checkedAt = 0;  // at the last tick
    QDateTime m_wallAtCheck;
    int m_silentHosts = 0;
    int m_toldSilentHosts = 0;
    std::vector<int> m_woken;  // since the last publish; kept for their storage
    std::vector<int> m_fallen; // during a tick
};

template<typename LatestOfRow>
void SilenceWatch::hear(int row, Host &host, Timing &timing, bool firstTime,
                        LatestOfRow &&latestOfRow)
{
    const bool fresh = firstTime || isRestored(timing);
    const Tenths before = learn(timing, fresh);
    host.heard = m_receivedAt;
    const Tenths after = deadlineOf(timing);
    if (after >= host.deadline)
        host.deadline = after;
    else if (!fresh && before == host.deadline)
        host.deadline = latestOfRow(); // rare: the reading that was last due now comes sooner
    if (host.silent)
        wake(row, host);
    if (host.deadline < host.queuedAt)
        queue(row, host);
}
