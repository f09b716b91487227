#include "streamconnection.h"

#include "allowedclients.h"
#include "datagramreceiver.h"

#include <QSslSocket>

namespace {

// Room for more than one whole frame, so that a frame never waits on the buffer.
constexpr qint64 readBufferSize = 2 * SyslogFramer::maxFrameSize;

} // namespace

StreamConnection::StreamConnection(QTcpSocket *socket, DatagramReceiver &receiver,
                                   const Timeouts &timeouts, const AllowedClients *allowed,
                                   QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_receiver(receiver)
    , m_allowed(allowed)
    , m_sender(SenderAddress::fromHostAddress(socket->peerAddress()))
{
    socket->setParent(this);
    socket->setReadBufferSize(readBufferSize);
    for (QTimer *const timer : {&m_idle, &m_frame, &m_handshake})
        timer->setSingleShot(true);
    m_idle.setInterval(timeouts.idleMs);
    m_frame.setInterval(timeouts.frameMs);
    m_handshake.setInterval(timeouts.handshakeMs);
    connect(&m_idle, &QTimer::timeout, this, [this] { end(Outcome::IdleTimedOut); });
    connect(&m_frame, &QTimer::timeout, this, [this] { end(Outcome::FrameTimedOut); });
    connect(&m_handshake, &QTimer::timeout, this, [this] { end(Outcome::HandshakeTimedOut); });
    connect(socket, &QTcpSocket::readyRead, this, &StreamConnection::read);
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        // A TLS client that goes during the handshake was, as a rule, turned away by it.
        if (!m_admitted && !m_tlsError.isEmpty())
            end(Outcome::Refused, m_tlsError);
        else
            end(Outcome::Closed);
    });
    auto *const tls = qobject_cast<QSslSocket *>(socket);
    if (!tls) {
        admit();
        return;
    }
    connect(tls, &QSslSocket::sslErrors, this, [this](const QList<QSslError> &errors) {
        if (!errors.isEmpty())
            m_tlsError = errors.first().errorString();
    });
    connect(tls, &QSslSocket::peerVerifyError, this, [this](const QSslError &error) {
        if (m_tlsError.isEmpty())
            m_tlsError = error.errorString();
    });
    connect(tls, &QSslSocket::errorOccurred, this, [this, tls](QAbstractSocket::SocketError error) {
        if (m_admitted || error == QAbstractSocket::RemoteHostClosedError)
            return;
        if (m_tlsError.isEmpty())
            m_tlsError = tls->errorString();
        end(Outcome::Refused, m_tlsError);
    });
    connect(tls, &QSslSocket::encrypted, this, [this, tls] {
        m_handshake.stop();
        if (const QString why = m_allowed ? m_allowed->refusal(tls->peerCertificate()) : QString();
            !why.isEmpty()) {
            end(Outcome::Refused, why);
            return;
        }
        admit();
    });
    m_handshake.start();
}

void StreamConnection::abort()
{
    end(Outcome::Closed);
}

void StreamConnection::admit()
{
    m_admitted = true;
    m_idle.start();
    read();
}

void StreamConnection::read()
{
    if (!m_admitted || m_ended)
        return;
    char buffer[16 * 1024];
    bool any = false;
    SyslogFramer::Status status = m_framer.status();
    while (status == SyslogFramer::Status::Ok) {
        const qint64 count = m_socket->read(buffer, sizeof buffer);
        if (count <= 0)
            break;
        any = true;
        const quint64 begun = m_framer.framesBegun();
        status = m_framer.feed(QByteArrayView(buffer, count), [this](QByteArrayView message) {
            m_receiver.takeMessage(message, m_sender);
        });
        // The frame time runs from a frame's first byte.
        if (!m_framer.inFrame())
            m_frame.stop();
        else if (m_framer.framesBegun() != begun || !m_frame.isActive())
            m_frame.start();
    }
    if (status == SyslogFramer::Status::TooLarge)
        end(Outcome::TooLarge);
    else if (status == SyslogFramer::Status::BadCount)
        end(Outcome::BadFrame);
    else if (any)
        m_idle.start();
}

void StreamConnection::end(Outcome outcome, const QString &why)
{
    if (m_ended)
        return;
    m_ended = true;
    for (QTimer *const timer : {&m_idle, &m_frame, &m_handshake})
        timer->stop();
    // Nothing more is read, so nothing a refused client sent is ever posted.
    disconnect(m_socket, nullptr, this, nullptr);
    m_socket->abort();
    Q_EMIT finished(outcome, why);
}
