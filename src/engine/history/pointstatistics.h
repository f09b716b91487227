#pragma once

#include "engine/archive/historyarchive.h"
#include "engine/archive/rollup.h"

#include <vector>

// The lowest, highest, average and latest value of a reading from a time on, as the history
// window shows them under its plot: of its points, or of its roll-ups, whose average is
// weighted by the points each stands for.
class PointStatistics final
{
public:
    // points and rollups oldest first; fromMs in milliseconds since the epoch.
    static PointStatistics of(const std::vector<HistoryArchive::Point> &points, qint64 fromMs);
    static PointStatistics of(const std::vector<Rollup> &rollups, qint64 fromMs);

    // None heard from then on: the other figures mean nothing.
    bool isEmpty() const { return m_count == 0; }
    // Of points, those of the roll-ups included.
    qsizetype count() const { return m_count; }
    double lowest() const { return m_lowest; }
    double highest() const { return m_highest; }
    double average() const { return m_average; }
    double latest() const { return m_latest; }

private:
    qsizetype m_count = 0;
    double m_lowest = 0;
    double m_highest = 0;
    double m_average = 0;
    double m_latest = 0;
};
