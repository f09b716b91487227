#include "monitor.h"

Monitor::Monitor(const SettingsFile &settings, QObject *parent, DatagramSocket *socket,
                 const ReceiveClock *clock)
    : QObject(parent)
    , m_table(nullptr, ReadingsTable::defaultHostLimit, clock)
    , m_receiver(&m_table, nullptr, socket)
    , m_portSetting(settings, &m_receiver)
    , m_history(m_table)
{
}
