#pragma once

#include <QtGlobal>

// The time one tick of the table takes when every host of a full table falls due in the
// same second: once with every host heard since and queued again, once with every host
// falling silent.
class TickCost final
{
public:
    struct Result
    {
        int hosts = 0;
        int pairs = 0;
        double requeuedMs = 0;
        double silencedMs = 0;
        int silentHosts = 0; // after the second tick: every host
    };

    TickCost() = delete;

    static Result measure(int hosts);
};
