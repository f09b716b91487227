#pragma once

#include "historystore.h"

#include <vector>

// The lowest, highest, average and latest value of a reading's points heard from a time on,
// as the history window shows them under its plot.
class PointStatistics final
{
public:
    // points oldest first, as the store gives them.
    static PointStatistics of(const std::vector<HistoryStore::Point> &points,
                              HistoryStore::Tenths from);

    // None heard from then on: the other figures mean nothing.
    bool isEmpty() const { return m_count == 0; }
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
