#pragma once

#include "engine/limits/trouble.h"

#include <QString>

// How many hosts are in which trouble, as the status line and the tray icon tell it.
struct TroubleSummary
{

    int critical = 0;
    int warning = 0;
    int silent = 0;
    int hosts = 0;

    // " · 2 critical · 5 warning · 3 of 120 hosts silent", each part only when it counts
    // any; empty when all is well.
    QString text() const;
    // The most urgent trouble among the hosts.
    Trouble worst() const;
};
