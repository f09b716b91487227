#pragma once

#include <QString>
#include <QtGlobal>

// The most a receiver on this machine can take: a bare recvmmsg() loop on a socket of
// its own, 64 datagrams per call, doing nothing with what it reads. Every figure of
// the application is also given against this one, measured on the same traffic.
class CeilingReceiver final
{
    Q_DISABLE_COPY_MOVE(CeilingReceiver)

public:
    static constexpr int batchSize = 64;

    struct Result
    {
        quint64 datagrams = 0;
        quint64 bytes = 0;
        double cpuSeconds = 0;
        double seconds = 0; // first datagram to last
    };

    CeilingReceiver() = default;
    ~CeilingReceiver();

    // Opens a fresh socket on a free port, with the receive buffer the application asks for.
    bool open();
    quint16 port() const { return m_port; }
    QString errorString() const { return m_errorString; }

    // Takes datagrams until expected have come or none came for idleMs, blocking.
    Result receive(quint64 expected, int idleMs);

private:
    int m_fd = -1;
    quint16 m_port = 0;
    QString m_errorString;
};
