#include "silencing.h"

Silencing::Silencing(int hosts, int readings, int silentHosts, int silentReadings)
    : m_hosts(hosts)
    , m_readings(readings)
    , m_silentHosts(silentHosts)
    , m_silentReadings(silentReadings)
{
}

bool Silencing::holdsBack(quint64 sequence) const
{
    const quint64 slot = sequence % (quint64(m_hosts) * quint64(m_readings));
    const auto host = int(slot % quint64(m_hosts));
    const auto reading = int(slot / quint64(m_hosts));
    return host >= m_hosts - m_silentHosts
           || (host < m_silentReadings && reading == m_readings - 1);
}
