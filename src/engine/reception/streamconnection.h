#pragma once

#include "senderaddress.h"
#include "syslogframer.h"

#include <QObject>
#include <QString>
#include <QTimer>

class AllowedClients;
class DatagramReceiver;
class QTcpSocket;

// One sender's TCP or TLS connection: once it may send, cuts what it sends into messages and
// hands each to the receiver, its sender the connection's peer. Closed when it is silent
// for the idle time, when a frame is not whole within the frame time of its first byte, when
// a frame is too large or its count is not a number, and, over TLS, when the handshake is
// not done within the handshake time or the client is not let in.
class StreamConnection final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StreamConnection)

public:
    enum class Outcome {
        Closed,           // the sender closed it, or the listener stopped
        Refused,          // TLS: no certificate, an untrusted one, or a client not allowed
        TooLarge,         // a frame over SyslogFramer::maxFrameSize
        BadFrame,         // an octet count that is not a number
        IdleTimedOut,     // silent for the idle time
        FrameTimedOut,    // a frame not whole within the frame time
        HandshakeTimedOut // TLS: no handshake within the handshake time
    };

    struct Timeouts
    {
        int idleMs = 5 * 60 * 1000;
        int frameMs = 60 * 1000;
        int handshakeMs = 10 * 1000;
    };

    // Takes socket. For a QSslSocket whose server encryption has been started, allowed
    // decides who may send; it and receiver must outlive the connection.
    StreamConnection(QTcpSocket *socket, DatagramReceiver &receiver, const Timeouts &timeouts,
                     const AllowedClients *allowed, QObject *parent = nullptr);

    const SenderAddress &sender() const { return m_sender; }
    // Closes at once.
    void abort();

Q_SIGNALS:
    // Once, when the connection is over; it may be deleted then. why is set for Refused.
    void finished(StreamConnection::Outcome outcome, const QString &why);

private:
    void admit();
    void read();
    void end(Outcome outcome, const QString &why = {});

    QTcpSocket *const m_socket;
    DatagramReceiver &m_receiver;
    const AllowedClients *const m_allowed;
    SenderAddress m_sender;
    SyslogFramer m_framer;
    bool m_admitted = false;
    bool m_ended = false;
    QString m_tlsError;
    QTimer m_idle;
    QTimer m_frame;
    QTimer m_handshake;
};
