#pragma once

#include <QtGlobal>

// Which datagrams a run holds back once part of the fleet has fallen silent: the last
// hosts stop altogether, and the first hosts stop sending their last reading. Datagrams
// are numbered as DatagramFormatter numbers them.
class Silencing final
{
public:
    Silencing(int hosts, int readings, int silentHosts, int silentReadings);

    bool isEmpty() const { return m_silentHosts == 0 && m_silentReadings == 0; }
    bool holdsBack(quint64 sequence) const;

private:
    int m_hosts;
    int m_readings;
    int m_silentHosts;
    int m_silentReadings;
};
