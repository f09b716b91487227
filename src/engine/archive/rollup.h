#pragma once

#include <QtGlobal>

// The points of a reading in one minute or one hour, as kept once the points themselves are
// let go: enough to draw the span as a band from lowest to highest with the average as its
// line, so that peaks survive.
struct Rollup
{
    qint64 timeMs = 0; // the start of the span, milliseconds since the epoch
    float lowest = 0;
    float highest = 0;
    float average = 0;
    float last = 0;
    quint32 count = 0;

    friend bool operator==(const Rollup &, const Rollup &) = default;
};
