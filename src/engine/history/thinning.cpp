#include "thinning.h"

#include <algorithm>
#include <bit>

using Tenths = HistoryStore::Tenths;

// The points [begin, end) in steps of width tenths, a step ending early at a gap: how many
// each step keeps (its lowest and highest, or its single point) add up to.
quint32 Thinning::mergedCount(const Point *begin, const Point *end, quint64 width)
{
    quint32 count = 0;
    quint32 inStep = 0;
    quint64 step = ~quint64(0);
    for (const Point *p = begin; p != end; ++p) {
        const quint64 at = p->time() / width;
        if (at != step || p->gapBefore()) {
            step = at;
            inStep = 0;
        }
        if (++inStep <= 2)
            ++count;
    }
    return count;
}

// Merges [begin, end) in steps of width tenths, in place; returns the new end. Each step
// keeps its lowest and its highest point, in the order heard; a step whose points are all
// equal keeps one. A gap stays on the first point kept after it.
Thinning::Point *Thinning::merge(Point *begin, Point *end, quint64 width)
{
    Point *out = begin;
    for (Point *first = begin; first != end;) {
        const quint64 at = first->time() / width;
        Point *last = first + 1;
        while (last != end && !last->gapBefore() && last->time() / width == at)
            ++last;
        const bool gap = first->gapBefore();
        if (last - first <= 2) {
            for (Point *p = first; p != last; ++p)
                *out++ = *p;
        } else {
            const auto [low, high] = std::minmax_element(
                first, last, [](const Point &a, const Point &b) { return a.value() < b.value(); });
            const Point lowPoint(low->time(), low->value(), false);
            const Point highPoint(high->time(), high->value(), false);
            if (low->value() == high->value()) {
                *out++ = Point(first->time(), first->value(), gap);
            } else if (low < high) {
                *out++ = Point(lowPoint.time(), lowPoint.value(), gap);
                *out++ = highPoint;
            } else {
                *out++ = Point(highPoint.time(), highPoint.value(), gap);
                *out++ = lowPoint;
            }
        }
        first = last;
    }
    return out;
}

// Merges [begin, end) in the finest step, in tenths a power of two, that leaves at most
// maxPoints; gaps may leave more. Returns the new end.
Thinning::Point *Thinning::mergeToFit(Point *begin, Point *end, quint32 maxPoints)
{
    if (end - begin <= qsizetype(maxPoints))
        return end;
    const quint64 span = quint64(end[-1].time() - begin->time()) + 1;
    // Evenly spread points would fit at about twice this step; start there, finer.
    quint64 width = std::bit_floor(std::max<quint64>(1, span / std::max<quint32>(maxPoints, 1)));
    while (mergedCount(begin, end, width) > maxPoints && width <= span)
        width *= 2;
    return merge(begin, end, width);
}

// Thins one reading's points, oldest first, to at most target; returns how many are left.
size_t Thinning::thinPoints(Point *begin, size_t count, quint32 target)
{
    if (count <= target)
        return count;
    Point *end = begin + count;
    const Tenths newest = end[-1].time();
    const Tenths hourStart =
        newest > HistoryStore::hourTenths ? newest - HistoryStore::hourTenths : 0;
    Point *hour = std::partition_point(
        begin, end, [hourStart](const Point &p) { return p.time() < hourStart; });
    // What is older than the hour goes first.
    if (hour != begin) {
        Point *const kept = mergeToFit(begin, hour, std::max<quint32>(target / 4, 2));
        end = std::copy(hour, end, kept);
        hour = kept;
    }
    if (end - begin > qsizetype(target)) {
        const auto room = quint32(std::max<qsizetype>(target - (hour - begin), 2));
        end = mergeToFit(hour, end, room);
    }
    // Gaps everywhere can leave more than the target: the oldest then go.
    if (end - begin > qsizetype(target))
        end = std::copy(end - target, end, begin);
    return size_t(end - begin);
}
