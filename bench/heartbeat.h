#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <functional>

// The longest the event loop under measure was held up: the longest gap between the beats
// of a precise timer, and when it ended. A beat asks counts() whether its gap counts
// (readings are arriving, say), so that whoever measures may do its own sampling there.
class Heartbeat final
{
    Q_DISABLE_COPY_MOVE(Heartbeat)

public:
    using Counts = std::function<bool(qint64 nowNs)>;

    // Beats on context's thread every intervalMs once started.
    Heartbeat(int intervalMs, QObject *context, Counts counts = {});

    void start() { m_timer.start(); }
    // Gaps are measured from now on, the first one ending at the next beat.
    void restartClock();
    qint64 elapsedNs() const { return m_clock.nsecsElapsed(); }

    double longestGapMs() const { return m_longestMs; }
    // Since the clock was last restarted.
    double longestGapEndSeconds() const { return double(m_longestEnd) / 1e9; }

private:
    void beat();

    QTimer m_timer;
    QElapsedTimer m_clock;
    Counts m_counts;
    qint64 m_last = -1;
    double m_longestMs = 0;
    qint64 m_longestEnd = 0;
};
