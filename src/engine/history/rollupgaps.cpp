#include "rollupgaps.h"

#include <algorithm>

std::vector<bool> RollupGaps::of(const std::vector<Rollup> &rollups, qint64 stepMs)
{
    std::vector<bool> gaps(rollups.size(), false);
    if (rollups.size() < 2)
        return gaps;
    std::vector<qint64> distances;
    distances.reserve(rollups.size() - 1);
    for (size_t i = 1; i < rollups.size(); ++i)
        distances.push_back(rollups[i].timeMs - rollups[i - 1].timeMs);
    std::vector<qint64> sorted = distances;
    const auto middle = sorted.begin() + qsizetype(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    const qint64 longest = std::max(3 * stepMs, 2 * *middle);
    for (size_t i = 1; i < rollups.size(); ++i)
        gaps[i] = distances[i - 1] > longest;
    return gaps;
}
