#include "durationtext.h"

#include <algorithm>

namespace {

QString twoUnits(qint64 large, const char *largeUnit, qint64 small, const char *smallUnit)
{
    const QString first = QString::number(large) + u' ' + QLatin1StringView(largeUnit);
    if (small == 0)
        return first;
    return first + u' ' + QString::number(small) + u' ' + QLatin1StringView(smallUnit);
}

} // namespace

QString durationText(qint64 tenths)
{
    tenths = std::max<qint64>(tenths, 0);
    // Under ten seconds a tenth still tells something: a reading sent twice a second.
    if (tenths < 100 && tenths % 10 != 0)
        return QString::number(double(tenths) / 10, 'f', 1) + u" s"_qs;
    const qint64 seconds = tenths / 10;
    if (seconds < 120)
        return QString::number(seconds) + u" s"_qs;
    if (seconds < 3600)
        return twoUnits(seconds / 60, "min", seconds % 60, "s");
    if (seconds < 48 * 3600)
        return twoUnits(seconds / 3600, "h", seconds / 60 % 60, "min");
    return twoUnits(seconds / 86400, "d", seconds / 3600 % 24, "h");
}
