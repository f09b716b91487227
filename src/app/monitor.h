#pragma once

#include "history/historystore.h"
#include "reception/datagramreceiver.h"
#include "reception/readingstable.h"
#include "settings/portsetting.h"

#include <QObject>

class DatagramSocket;
class ReceiveClock;
class SettingsFile;

// The engine: the readings table, the receiver that fills it, the port it listens on and
// the readings' history, wired together. It outlives any window, so that every window, and
// whatever else watches the readings, shares the one table; main() makes it and hands it to
// the main window.
class Monitor final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Monitor)

public:
    // Takes ownership of socket; without one the platform's own is used. The table reads
    // the time from clock, which must outlive the monitor, or from its own.
    explicit Monitor(const SettingsFile &settings, QObject *parent = nullptr,
                     DatagramSocket *socket = nullptr, const ReceiveClock *clock = nullptr);

    ReadingsTable &table() { return m_table; }
    const ReadingsTable &table() const { return m_table; }
    DatagramReceiver &receiver() { return m_receiver; }
    const DatagramReceiver &receiver() const { return m_receiver; }
    PortSetting &portSetting() { return m_portSetting; }
    HistoryStore &history() { return m_history; }
    const HistoryStore &history() const { return m_history; }

private:
    ReadingsTable m_table;
    DatagramReceiver m_receiver;
    PortSetting m_portSetting;
    HistoryStore m_history;
};
