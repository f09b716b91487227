#pragma once

#include <QDateTime>
#include <QElapsedTimer>

// When readings arrive, on a clock that only moves forward whatever is done to the
// machine's date and time, and this machine's date and time to tell the user when that
// was. Tests derive from it to set the time.
class ReceiveClock
{
public:
    ReceiveClock();
    virtual ~ReceiveClock() = default;
    Q_DISABLE_COPY_MOVE(ReceiveClock)

    // Milliseconds since the clock was made.
    virtual qint64 elapsedMs() const;
    virtual QDateTime wallTime() const;

private:
    QElapsedTimer m_started;
};
