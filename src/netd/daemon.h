#pragma once

#include "daemonlog.h"
#include "stopsignals.h"

#include <QElapsedTimer>
#include <QObject>

#include <array>

class Monitor;

// The receiver as a service: tells the log what an operator needs to know of the monitor (it
// started, where it listens, what cannot be applied, hosts in trouble, how each action
// went, relays turned away), reads the settings again when asked, and ends the event loop
// when the system asks it to stop.
class Daemon final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Daemon)

public:
    Daemon(Monitor &monitor, const DaemonLog &log, QObject *parent = nullptr);

    // Listens as the settings say and tells the log how it went.
    void start(const QString &configFolder);

private:
    void reload();
    void tellListening();
    void tellRefused(std::size_t listener);

    Monitor &m_monitor;
    const DaemonLog &m_log;
    StopSignals m_signals;
    QString m_archiveProblem; // as last logged
    // For the TCP and the TLS listener.
    struct RefusalsTold
    {
        qint64 count = 0;
        QElapsedTimer last;
        bool waiting = false;
    };
    std::array<RefusalsTold, 2> m_refusals;
};
