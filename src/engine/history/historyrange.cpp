#include "historyrange.h"

namespace {

constexpr qint64 minuteMs = 60'000;
constexpr qint64 hourMs = 60 * minuteMs;
constexpr qint64 dayMs = 24 * hourMs;

} // namespace

qint64 HistoryRange::lengthMs(Choice choice)
{
    switch (choice) {
    case TenMinutes:
        return 10 * minuteMs;
    case Hour:
        return hourMs;
    case Day:
        return dayMs;
    case Week:
        return 7 * dayMs;
    case Month:
        return 30 * dayMs;
    case All:
        break;
    }
    return 0;
}

HistoryArchive::Resolution HistoryRange::resolution(Choice choice)
{
    // A week of minutes is 10,080 spans, some ten to a pixel: still quick to read and fold.
    return choice <= Week ? HistoryArchive::Resolution::Minutes : HistoryArchive::Resolution::Hours;
}

qint64 HistoryRange::stepMs(HistoryArchive::Resolution resolution)
{
    return resolution == HistoryArchive::Resolution::Minutes ? minuteMs : hourMs;
}

HistoryRange::Choice HistoryRange::covering(qint64 ageMs)
{
    // A tenth of the span to spare, so that the moment is not at the very edge.
    for (const Choice choice : {Hour, Day, Week, Month}) {
        if (ageMs < lengthMs(choice) - lengthMs(choice) / 10)
            return choice;
    }
    return All;
}
