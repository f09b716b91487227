#pragma once

#include <QtGlobal>

// A restart over a history file that holds a full week: how long until the window shows the
// table with the hosts put back, and how long the history window takes to draw the week.
class WeekCost final
{
public:
    struct Result
    {
        int hosts = 0;
        int readings = 0;
        qint64 fileBytes = 0;
        int hostsBack = 0;
        double startMs = 0; // from the engine's making to the window painted
        double weekMs = 0;  // "Last 7 days" of one host's readings, read and painted
        qint64 rollups = 0;
    };

    WeekCost() = delete;

    static Result measure(int hosts, int readings);
};
