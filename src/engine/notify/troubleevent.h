#pragma once

#include "troublereading.h"

#include "engine/limits/trouble.h"

#include <QList>
#include <QString>

// One host's change in a gathered batch, for whatever acts on trouble beside the desktop.
struct TroubleEvent
{
    QString host;
    Trouble state = Trouble::Normal;
    Trouble previous = Trouble::Normal; // as of the batch before
    TroubleReading worst;

    friend bool operator==(const TroubleEvent &, const TroubleEvent &) = default;
};

using TroubleEvents = QList<TroubleEvent>;
