#pragma once

#include "historystore.h"

#include <cstddef>

// Thins one reading's points, oldest first, in place: the points older than the last hour
// are merged into a quarter of the target, then, if that is not enough, the last hour is
// merged to a coarser step. Merging keeps, of the points in each step, the lowest and the
// highest at the times they were heard, and never crosses a gap; every point kept is one
// that was heard.
class Thinning final
{
public:
    using Point = HistoryStore::Point;

    Thinning() = delete;

    // Returns how many are left, at most target unless gaps keep more.
    static size_t thinPoints(Point *begin, size_t count, quint32 target);

private:
    static quint32 mergedCount(const Point *begin, const Point *end, quint64 width);
    static Point *merge(Point *begin, Point *end, quint64 width);
    static Point *mergeToFit(Point *begin, Point *end, quint32 maxPoints);
};
