#pragma once

#include "engine/archive/historyarchive.h"

#include <QtGlobal>

// The spans of time a reading's history is shown over. The ten minutes and the hour are
// drawn point by point, from memory and, for what came before start-up, from the archive;
// the longer ones as the archive's roll-ups: per minute up to a week, per hour beyond.
class HistoryRange final
{
public:
    enum Choice { TenMinutes, Hour, Day, Week, Month, All };

    HistoryRange() = delete;

    // How far back the choice reaches from now; 0 for All, which goes back to the oldest
    // moment kept.
    static qint64 lengthMs(Choice choice);
    static bool isRolledUp(Choice choice) { return choice >= Day; }
    static HistoryArchive::Resolution resolution(Choice choice);
    static qint64 stepMs(HistoryArchive::Resolution resolution);
    // The shortest choice from the hour on that shows a moment ageMs ago; an hour gives some
    // time around a moment of a minute ago.
    static Choice covering(qint64 ageMs);
};
