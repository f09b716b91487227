#include "silencewatch.h"

SilenceWatch::SilenceWatch(HostAt hostAt, const ReceiveClock *clock, QObject *parent)
    : QObject(parent)
    , m_hostAt(std::move(hostAt))
    , m_clock(clock ? clock : &m_ownClock)
    , m_startMs(m_clock->elapsedMs())
    , m_wallAtCheck(m_clock->wallTime())
{
}

SilenceWatch::Tenths SilenceWatch::clockTenths() const
{
    const qint64 tenths = (m_clock->elapsedMs() - m_startMs) / 100;
    return Tenths(std::clamp<qint64>(tenths, 0, notQueued - 1));
}

void SilenceWatch::beginBatch()
{
    m_receivedAt = clockTenths();
}

SilenceWatch::Tenths SilenceWatch::learn(Timing &timing, bool firstTime) const
{
    const Tenths before = deadlineOf(timing);
    const Tenths now = m_receivedAt;
    if (!firstTime) {
        const quint64 gap = now > timing.heard ? now - timing.heard : 0;
        // A gap past overdue was an outage, not the usual rhythm: it counts as no more than
        // that, so that one outage does not hide the next for long, while a sender that
        // slowed down for good is followed within a few reports.
        // Never capped below the 30-second floor: a duplicate datagram on first contact
        // leaves a tiny interval, which must not take a dozen reports to grow out of.
        const quint64 cap = std::max<quint64>(shortestLimit, intervalsLimit * timing.interval);
        const quint64 sample =
            std::max<quint64>(1, timing.interval == 0 ? gap : std::min(gap, cap));
        timing.interval =
            Tenths(timing.interval == 0 ? sample : (3 * quint64(timing.interval) + sample + 2) / 4);
    }
    timing.heard = now;
    return before;
}

void SilenceWatch::wake(int row, Host &host)
{
    host.silent = false;
    --m_silentHosts;
    m_woken.push_back(row);
}

void SilenceWatch::queue(int row, Host &host)
{
    host.queuedAt = host.deadline;
    m_deadlines.emplace(host.deadline, row);
    // Entries left behind by deadlines that came sooner are dropped now and then, so that
    // a sender cannot make the queue grow without end.
    if (m_deadlines.size() > 2 * size_t(m_hostCount) + 1024)
        rebuildDeadlines();
}

void SilenceWatch::rebuildDeadlines()
{
    std::vector<Deadline> entries;
    entries.reserve(size_t(m_hostCount));
    m_silentHosts = 0;
    for (int i = 0; i < m_hostCount; ++i) {
        Host &host = m_hostAt(i);
        if (host.silent) {
            host.queuedAt = notQueued;
            ++m_silentHosts;
            continue;
        }
        host.queuedAt = host.deadline;
        entries.emplace_back(host.deadline, i);
    }
    m_deadlines = Deadlines(std::greater<>(), std::move(entries));
}

void SilenceWatch::tick()
{
    m_checkedAt = clockTenths();
    m_wallAtCheck = m_clock->wallTime();
    while (!m_deadlines.empty() && m_deadlines.top().first < m_checkedAt) {
        const auto [due, row] = m_deadlines.top();
        m_deadlines.pop();
        Host &host = m_hostAt(row);
        if (host.silent || host.queuedAt != due)
            continue; // an entry left behind
        if (host.deadline < m_checkedAt) {
            host.silent = true;
            host.queuedAt = notQueued;
            ++m_silentHosts;
            m_fallen.push_back(row);
        } else {
            queue(row, host);
        }
    }
    if (!m_fallen.empty()) {
        std::sort(m_fallen.begin(), m_fallen.end());
        Q_EMIT hostsFellSilent(m_fallen);
        m_fallen.clear();
    }
    tellSilentCount();
}

void SilenceWatch::restoreSilent(const std::vector<int> &rows)
{
    if (rows.empty())
        return;
    for (const int row : rows) {
        Host &host = m_hostAt(row);
        if (!host.silent)
            ++m_silentHosts;
        // Left in the deadline heap, its entry no longer matches queuedAt and is skipped.
        host = {heardBeforeStart, 0, notQueued, true};
    }
    Q_EMIT hostsFellSilent(rows);
    tellSilentCount();
}

void SilenceWatch::publish()
{
    if (!m_woken.empty()) {
        // A host may wake, fall silent and wake again between two publishes.
        std::sort(m_woken.begin(), m_woken.end());
        m_woken.erase(std::unique(m_woken.begin(), m_woken.end()), m_woken.end());
        Q_EMIT hostsHeardAgain(m_woken);
        m_woken.clear();
    }
    // Hosts heard again leave the count at once.
    tellSilentCount();
}

void SilenceWatch::tellSilentCount()
{
    if (m_silentHosts == m_toldSilentHosts)
        return;
    m_toldSilentHosts = m_silentHosts;
    Q_EMIT silentHostsChanged(m_silentHosts);
}

void SilenceWatch::compact(int hostCount)
{
    m_hostCount = hostCount;
    m_woken.clear();
    rebuildDeadlines();
}

QDateTime SilenceWatch::wallTime(Tenths time) const
{
    return m_wallAtCheck.addMSecs((qint64(time) - qint64(m_checkedAt)) * 100);
}
