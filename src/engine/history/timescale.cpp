#include "timescale.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <array>

namespace {

constexpr qint64 day = 86'400;
constexpr std::array<qint64, 21> steps{1,     2,     5,     10,  15,      30,      60,
                                       120,   300,   600,   900, 1800,    3600,    7200,
                                       10800, 21600, 43200, day, 2 * day, 7 * day, 28 * day};

} // namespace

TimeScale::TimeScale(qint64 startMs, qint64 endMs, int maxTicks)
{
    if (endMs <= startMs)
        startMs = endMs - 60'000;
    m_start = startMs;
    m_end = endMs;
    const qint64 span = (endMs - startMs) / 1000;
    const auto step = std::find_if(steps.begin(), steps.end(), [&](qint64 each) {
        return each * std::max(1, maxTicks) >= span;
    });
    m_step = step == steps.end() ? steps.back() : *step;

    const QDateTime first = QDateTime::fromMSecsSinceEpoch(startMs);
    const QDateTime last = QDateTime::fromMSecsSinceEpoch(endMs);
    m_manyDays = first.date() != last.date();
    const QString format = m_step >= day ? u"d MMM"_qs : m_step < 60 ? u"hh:mm:ss"_qs : u"hh:mm"_qs;
    // Counted from local midnight, so that the ticks fall on the clock's round times.
    for (QDate date = first.date(); date <= last.date(); date = date.addDays(1)) {
        const QDateTime midnight = date.startOfDay();
        if (m_step >= day) {
            if (date.toJulianDay() % (m_step / day) != 0)
                continue;
            const qint64 at = midnight.toMSecsSinceEpoch();
            if (at >= startMs && at <= endMs)
                m_ticks.push_back({at, QLocale().toString(midnight, format)});
            continue;
        }
        const qint64 base = midnight.toMSecsSinceEpoch();
        const qint64 from = std::max<qint64>(0, (startMs - base) / 1000 / m_step * m_step);
        for (qint64 seconds = from; seconds < day; seconds += m_step) {
            const qint64 at = base + seconds * 1000;
            if (at > endMs)
                break;
            if (at >= startMs)
                m_ticks.push_back({at, QDateTime::fromMSecsSinceEpoch(at).toString(format)});
        }
    }
}

double TimeScale::toPixel(qint64 msecs, double left, double right) const
{
    return left + double(msecs - m_start) / double(m_end - m_start) * (right - left);
}

qint64 TimeScale::fromPixel(double x, double left, double right) const
{
    if (right <= left)
        return m_start;
    return m_start + qint64((x - left) / (right - left) * double(m_end - m_start));
}

QString TimeScale::format(qint64 msecs) const
{
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(msecs);
    return m_manyDays ? QLocale().toString(at, u"d MMM hh:mm:ss"_qs) : at.toString(u"hh:mm:ss"_qs);
}
