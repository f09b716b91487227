#include "receiveclock.h"

ReceiveClock::ReceiveClock()
{
    m_started.start();
}

qint64 ReceiveClock::elapsedMs() const
{
    return m_started.elapsed();
}

QDateTime ReceiveClock::wallTime() const
{
    return QDateTime::currentDateTime();
}
