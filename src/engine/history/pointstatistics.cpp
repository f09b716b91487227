#include "pointstatistics.h"

#include <algorithm>

PointStatistics PointStatistics::of(const std::vector<HistoryStore::Point> &points,
                                    HistoryStore::Tenths from)
{
    PointStatistics statistics;
    const auto first =
        std::partition_point(points.begin(), points.end(),
                             [from](const HistoryStore::Point &p) { return p.time() < from; });
    if (first == points.end())
        return statistics;
    statistics.m_lowest = first->value();
    statistics.m_highest = first->value();
    // In doubles: a float sum of an hour of points loses the last digits.
    double sum = 0;
    for (auto p = first; p != points.end(); ++p) {
        statistics.m_lowest = std::min(statistics.m_lowest, double(p->value()));
        statistics.m_highest = std::max(statistics.m_highest, double(p->value()));
        sum += p->value();
    }
    statistics.m_count = points.end() - first;
    statistics.m_average = sum / double(statistics.m_count);
    statistics.m_latest = points.back().value();
    return statistics;
}
