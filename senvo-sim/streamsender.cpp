#include "streamsender.h"

#include <QFile>
#include <QSslConfiguration>
#include <QSslKey>

#include <algorithm>

namespace {

constexpr int waitMs = 10'000;
// Queued bytes past which sending waits for the network, so memory stays small.
constexpr qint64 queuedAtMost = 1 << 20;

} // namespace

StreamSender::StreamSender(const Tls &tls)
    : m_tls(tls)
{
}

StreamSender::~StreamSender()
{
    while (m_socket.state() == QAbstractSocket::ConnectedState && m_socket.bytesToWrite() > 0
           && m_socket.waitForBytesWritten(waitMs)) {
    }
    m_socket.disconnectFromHost();
    if (m_socket.state() != QAbstractSocket::UnconnectedState)
        m_socket.waitForDisconnected(waitMs);
}

bool StreamSender::open(const QHostAddress &address, quint16 port)
{
    if (!m_tls.on) {
        m_socket.connectToHost(address, port);
        if (m_socket.waitForConnected(waitMs))
            return true;
        setErrorString(m_socket.errorString());
        return false;
    }
    QSslConfiguration configuration = m_socket.sslConfiguration();
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    if (!m_tls.certificate.isEmpty()) {
        const QList<QSslCertificate> chain = QSslCertificate::fromPath(m_tls.certificate);
        QFile key(m_tls.privateKey);
        if (chain.isEmpty() || !key.open(QIODevice::ReadOnly)) {
            setErrorString(u"cannot read the client certificate or its key"_qs);
            return false;
        }
        const QByteArray keyText = key.readAll();
        QSslKey privateKey(keyText, QSsl::Rsa);
        if (privateKey.isNull())
            privateKey = QSslKey(keyText, QSsl::Ec);
        configuration.setLocalCertificateChain(chain);
        configuration.setPrivateKey(privateKey);
    }
    if (m_tls.ca.isEmpty()) {
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    } else {
        configuration.setCaCertificates(QSslCertificate::fromPath(m_tls.ca));
        // Addressed by number, so the name in the server's certificate is not compared.
        configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
        QObject::connect(
            &m_socket, &QSslSocket::sslErrors, &m_socket, [this](const QList<QSslError> &errors) {
                if (std::all_of(errors.cbegin(), errors.cend(), [](const QSslError &e) {
                        return e.error() == QSslError::HostNameMismatch;
                    }))
                    m_socket.ignoreSslErrors();
            });
    }
    m_socket.setSslConfiguration(configuration);
    m_socket.connectToHostEncrypted(address.toString(), port);
    if (m_socket.waitForEncrypted(waitMs))
        return true;
    setErrorString(m_socket.errorString());
    return false;
}

int StreamSender::send(std::span<const QByteArrayView> datagrams)
{
    QByteArray frames;
    for (const QByteArrayView datagram : datagrams) {
        frames += QByteArray::number(datagram.size());
        frames += ' ';
        frames += datagram;
    }
    if (m_socket.write(frames) != frames.size()) {
        setErrorString(m_socket.errorString());
        return -1;
    }
    while (m_socket.bytesToWrite() > queuedAtMost) {
        if (!m_socket.waitForBytesWritten(waitMs)) {
            setErrorString(m_socket.errorString());
            return -1;
        }
    }
    return int(datagrams.size());
}
