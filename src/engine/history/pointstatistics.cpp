#include "pointstatistics.h"

#include <algorithm>

PointStatistics PointStatistics::of(const std::vector<HistoryArchive::Point> &points, qint64 fromMs)
{
    PointStatistics statistics;
    const auto first = std::partition_point(
        points.begin(), points.end(),
        [fromMs](const HistoryArchive::Point &p) { return p.timeMs < fromMs; });
    if (first == points.end())
        return statistics;
    statistics.m_lowest = first->value;
    statistics.m_highest = first->value;
    // In doubles: a float sum of an hour of points loses the last digits.
    double sum = 0;
    for (auto p = first; p != points.end(); ++p) {
        statistics.m_lowest = std::min(statistics.m_lowest, double(p->value));
        statistics.m_highest = std::max(statistics.m_highest, double(p->value));
        sum += p->value;
    }
    statistics.m_count = points.end() - first;
    statistics.m_average = sum / double(statistics.m_count);
    statistics.m_latest = points.back().value;
    return statistics;
}

PointStatistics PointStatistics::of(const std::vector<Rollup> &rollups, qint64 fromMs)
{
    PointStatistics statistics;
    const auto first = std::partition_point(
        rollups.begin(), rollups.end(), [fromMs](const Rollup &r) { return r.timeMs < fromMs; });
    if (first == rollups.end())
        return statistics;
    statistics.m_lowest = first->lowest;
    statistics.m_highest = first->highest;
    double sum = 0;
    for (auto r = first; r != rollups.end(); ++r) {
        statistics.m_lowest = std::min(statistics.m_lowest, double(r->lowest));
        statistics.m_highest = std::max(statistics.m_highest, double(r->highest));
        // A roll-up stands for one point at least, whatever its count says.
        const quint32 weight = std::max<quint32>(r->count, 1);
        sum += double(r->average) * weight;
        statistics.m_count += weight;
    }
    statistics.m_average = sum / double(statistics.m_count);
    statistics.m_latest = rollups.back().last;
    return statistics;
}
