#pragma once

#include "engine/reception/receiveclock.h"

// Time moves only when the test says so.
class FakeReceiveClock final : public ReceiveClock
{
public:
    qint64 elapsedMs() const override { return qint64(seconds * 1000); }
    QDateTime wallTime() const override { return wallAtZero.addMSecs(elapsedMs()); }

    double seconds = 0;
    QDateTime wallAtZero{QDate(2026, 3, 1), QTime(12, 0)};
};
