#pragma once

#include <QString>

// What the readings table's own texts need to know of its readings' states, given by
// whoever judges them (the limit watch), so that the table can describe a reading without
// knowing how it is judged.
class ReadingStates
{
public:
    ReadingStates() = default;
    virtual ~ReadingStates() = default;
    ReadingStates(const ReadingStates &) = delete;
    ReadingStates &operator=(const ReadingStates &) = delete;

    // "critical, above 95"; empty where the reading is normal or not judged.
    virtual QString description(int row, int pair) const = 0;
    // The first of the host's readings in its worst state; -1 while the host is normal.
    virtual int worstPair(int row) const = 0;
};
