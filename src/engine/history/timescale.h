#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

// The time axis of a plot, in this machine's local time: ticks on round steps of the clock
// (every 10 s, 1 min, 15 min, 1 h, 1 day, ...) counted from local midnight, labelled
// "14:05", or "14:05:30" where the step is under a minute, or "8 Dec" for steps of days.
class TimeScale final
{
public:
    struct Tick
    {
        qint64 msecs = 0; // since the epoch
        QString label;
    };

    TimeScale() = default;
    // From start to end, in milliseconds since the epoch; an empty span is widened to a
    // minute before end.
    TimeScale(qint64 startMs, qint64 endMs, int maxTicks = 6);

    qint64 start() const { return m_start; }
    qint64 end() const { return m_end; }
    qint64 stepSeconds() const { return m_step; }
    const std::vector<Tick> &ticks() const { return m_ticks; }

    double toPixel(qint64 msecs, double left, double right) const;
    qint64 fromPixel(double x, double left, double right) const;
    // A moment as the hover text gives it: "14:05:30", with the day in front when the
    // axis spans more than one.
    QString format(qint64 msecs) const;

private:
    qint64 m_start = 0;
    qint64 m_end = 60'000;
    qint64 m_step = 10;
    bool m_manyDays = false;
    std::vector<Tick> m_ticks;
};
