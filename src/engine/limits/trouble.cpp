#include "trouble.h"

#include "limitwatch.h"

#include "engine/reception/readingstable.h"

Trouble hostTrouble(const ReadingsTable &table, int row)
{
    if (table.isSilent(row))
        return Trouble::Silent;
    const LimitWatch *const limits = LimitWatch::of(table);
    return limits ? troubleOf(limits->hostLevel(row)) : Trouble::Normal;
}
