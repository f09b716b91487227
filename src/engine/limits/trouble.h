#pragma once

#include "limitstate.h"

class ReadingsTable;

// How a host or a reading stands, one classification for every view, count and notice.
// A host whose readings are all overdue is Silent whatever its last values said, as they are
// stale; any other host stands as its worst reading. Declared from the least urgent to the
// most, so that a worse one compares greater: problems go critical, warning, silent.
enum class Trouble : quint8 { Normal, Silent, Warning, Critical };

constexpr bool isTrouble(Trouble trouble)
{
    return trouble != Trouble::Normal;
}

// A reading's limit state as trouble; a reading overdue is still judged by its value.
constexpr Trouble troubleOf(LimitState::Level level)
{
    switch (level) {
    case LimitState::Level::Critical:
        return Trouble::Critical;
    case LimitState::Level::Warning:
        return Trouble::Warning;
    default:
        return Trouble::Normal;
    }
}

constexpr bool isTrouble(LimitState::Level level)
{
    return isTrouble(troubleOf(level));
}
// The host of table's row, as the table's limit watch and silence see it.
Trouble hostTrouble(const ReadingsTable &table, int row);
