#pragma once

#include "engine/archive/rollup.h"

#include <QtGlobal>

#include <vector>

// Where a line through roll-ups breaks: a roll-up missing means nothing was heard in its span,
// but a reading sent every few minutes leaves most minutes empty all the same. So a break is
// where more than two spans are missing and the time to the next roll-up is also more than
// twice the usual time between them.
class RollupGaps final
{
public:
    RollupGaps() = delete;

    // For each roll-up (oldest first, stepMs apart at the closest), whether the line breaks
    // before it.
    static std::vector<bool> of(const std::vector<Rollup> &rollups, qint64 stepMs);
};
