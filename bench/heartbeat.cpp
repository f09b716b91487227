#include "heartbeat.h"

Heartbeat::Heartbeat(int intervalMs, QObject *context, Counts counts)
    : m_counts(std::move(counts))
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(intervalMs);
    QObject::connect(&m_timer, &QTimer::timeout, context, [this] { beat(); });
}

void Heartbeat::restartClock()
{
    m_clock.start();
    m_last = 0;
}

void Heartbeat::beat()
{
    if (!m_clock.isValid())
        return;
    const qint64 now = m_clock.nsecsElapsed();
    const bool counts = !m_counts || m_counts(now);
    if (counts && m_last >= 0 && double(now - m_last) / 1e6 > m_longestMs) {
        m_longestMs = double(now - m_last) / 1e6;
        m_longestEnd = now;
    }
    m_last = now;
}
