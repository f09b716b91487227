#pragma once

#include <QString>

// What the desktop is asked to show: one notification for one gathered batch.
struct Notification
{
    QString title;
    QString body;
    // Takes the place of the previous notification while that one is still shown, so
    // that batches do not stack up.
    bool replace = false;
    bool sound = false;
    // A host became critical: the desktop may draw it as urgent.
    bool critical = false;

    friend bool operator==(const Notification &, const Notification &) = default;
};
