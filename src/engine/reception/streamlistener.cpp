#include "streamlistener.h"

#include <QDir>
#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>

namespace {

// The file's contents, or nothing with why in problem.
std::optional<QByteArray> readFile(const QString &name, const QString &folder, QString *problem)
{
    QFile file(QDir(folder).absoluteFilePath(name));
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = StreamListener::tr("%1 cannot be read: %2")
                       .arg(QDir::toNativeSeparators(file.fileName()), file.errorString());
        return std::nullopt;
    }
    return file.readAll();
}

// The large numbers (RSA) and bit strings (EC points) of a DER text, nested ones included.
void collectBlobs(QByteArrayView der, QList<QByteArrayView> &blobs, int depth = 0)
{
    qsizetype at = 0;
    while (depth < 8 && at + 2 <= der.size()) {
        const quint8 tag = quint8(der[at]);
        qsizetype length = quint8(der[at + 1]);
        at += 2;
        if (length & 0x80) {
            const int bytes = length & 0x7f;
            if (bytes < 1 || bytes > 3 || at + bytes > der.size())
                return;
            length = 0;
            for (int i = 0; i < bytes; ++i)
                length = length << 8 | quint8(der[at++]);
        }
        if (length > der.size() - at)
            return;
        const QByteArrayView content = der.sliced(at, length);
        if ((tag == 0x02 || tag == 0x03) && length >= 32)
            blobs.append(content);
        else if (tag == 0x30 || tag == 0x04 || (tag >= 0xa0 && tag <= 0xa3))
            collectBlobs(content, blobs, depth + 1);
        at += length;
    }
}

// Whether the private key is the other half of the public one: the public half of either
// kind of key is written inside the private key's text.
bool belongTogether(const QSslKey &privateKey, const QSslKey &publicKey)
{
    const QByteArray privateDer = privateKey.toDer();
    const QByteArray publicDer = publicKey.toDer();
    QList<QByteArrayView> blobs;
    collectBlobs(privateDer, blobs);
    if (blobs.isEmpty() || publicDer.isEmpty())
        return true; // a form not known here: the handshake will tell
    return std::any_of(blobs.cbegin(), blobs.cend(),
                       [&publicDer](QByteArrayView blob) { return publicDer.contains(blob); });
}

// Qt words its TLS errors as sentences; where they go they follow "as".
QString asClause(QString why)
{
    if (why.size() > 1 && why.at(0).isUpper() && why.at(1).isLower())
        why[0] = why.at(0).toLower();
    return why;
}

} // namespace

StreamListener::StreamListener(DatagramReceiver &receiver, QObject *parent)
    : QTcpServer(parent)
    , m_receiver(receiver)
{
}

std::optional<QSslConfiguration>
StreamListener::tlsConfiguration(const TlsFiles &files, const QString &folder, QString *problem)
{
    const auto fail = [problem](const QString &why) -> std::optional<QSslConfiguration> {
        *problem = why;
        return std::nullopt;
    };
    if (!QSslSocket::supportsSsl())
        return fail(tr("this system has no TLS library"));
    const auto shown = [&folder](const QString &name) {
        return QDir::toNativeSeparators(QDir(folder).absoluteFilePath(name));
    };
    if (files.certificate.isEmpty() || files.privateKey.isEmpty())
        return fail(tr("a TLS listener needs both a certificate and a privateKey file"));
    // Without a CA nothing vouches for the name on a certificate, so none is asked for, and a
    // list of clients would refuse every one of them.
    if (files.clientCA.isEmpty() && !AllowedClients(files.allowedClients).allowsEveryClient())
        return fail(tr("allowedClients is checked only against certificates signed by the "
                       "clientCA, and no clientCA is set; name the CA that signs the relays' "
                       "certificates, or leave allowedClients out"));
    const std::optional<QByteArray> certificateText = readFile(files.certificate, folder, problem);
    if (!certificateText)
        return std::nullopt;
    // The server's certificate first, then any intermediate ones the clients need.
    const QList<QSslCertificate> chain = QSslCertificate::fromData(*certificateText, QSsl::Pem);
    if (chain.isEmpty() || chain.first().isNull())
        return fail(tr("%1 holds no PEM certificate").arg(shown(files.certificate)));
    const std::optional<QByteArray> keyText = readFile(files.privateKey, folder, problem);
    if (!keyText)
        return std::nullopt;
    QSslKey key(*keyText, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(*keyText, QSsl::Ec, QSsl::Pem);
    if (key.isNull())
        return fail(tr("%1 holds no PEM private key (RSA or EC, unencrypted)")
                        .arg(shown(files.privateKey)));
    if (!belongTogether(key, chain.first().publicKey()))
        return fail(tr("the private key in %1 is not the one of the certificate in %2")
                        .arg(shown(files.privateKey), shown(files.certificate)));
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    if (!files.clientCA.isEmpty()) {
        const std::optional<QByteArray> caText = readFile(files.clientCA, folder, problem);
        if (!caText)
            return std::nullopt;
        const QList<QSslCertificate> authorities = QSslCertificate::fromData(*caText, QSsl::Pem);
        if (authorities.isEmpty())
            return fail(tr("%1 holds no PEM certificate").arg(shown(files.clientCA)));
        configuration.setCaCertificates(authorities);
        configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    } else {
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    }
    return configuration;
}

void StreamListener::setPlain()
{
    m_tls.reset();
    m_allowed = {};
}

void StreamListener::setTls(const QSslConfiguration &configuration, const AllowedClients &allowed)
{
    m_tls = configuration;
    m_allowed = allowed;
}

void StreamListener::stop()
{
    close();
    const QList<StreamConnection *> open =
        findChildren<StreamConnection *>(Qt::FindDirectChildrenOnly);
    for (StreamConnection *const connection : open)
        connection->abort();
}

void StreamListener::incomingConnection(qintptr descriptor)
{
    QTcpSocket *socket = m_tls ? new QSslSocket(this) : new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (m_connections >= maxConnections) {
        refuse(SenderAddress::fromHostAddress(socket->peerAddress()),
               tr("%1 connections were open already").arg(maxConnections));
        socket->abort();
        socket->deleteLater();
        Q_EMIT countsChanged();
        return;
    }
    ++m_connections;
    ++m_counts.accepted;
    if (auto *const tls = qobject_cast<QSslSocket *>(socket)) {
        tls->setSslConfiguration(*m_tls);
        tls->startServerEncryption();
    }
    // Without a client CA or a list of clients, any client may send, certificate or not.
    const bool vetted =
        m_tls
        && (m_tls->peerVerifyMode() == QSslSocket::VerifyPeer || !m_allowed.allowsEveryClient());
    auto *const connection =
        new StreamConnection(socket, m_receiver, m_timeouts, vetted ? &m_allowed : nullptr, this);
    connect(connection, &StreamConnection::finished, this,
            [this, connection](StreamConnection::Outcome outcome, const QString &why) {
                finished(connection, outcome, why);
            });
}

void StreamListener::refuse(const SenderAddress &client, const QString &why)
{
    ++m_counts.refused;
    m_lastRefused = client;
    m_lastRefusedWhy = asClause(why);
    m_lastRefusedAt = QDateTime::currentDateTime();
}

void StreamListener::finished(StreamConnection *connection, StreamConnection::Outcome outcome,
                              const QString &why)
{
    --m_connections;
    switch (outcome) {
    case StreamConnection::Outcome::Closed:
        break;
    case StreamConnection::Outcome::Refused:
        refuse(connection->sender(), why);
        break;
    case StreamConnection::Outcome::TooLarge:
        ++m_counts.tooLarge;
        break;
    case StreamConnection::Outcome::BadFrame:
        ++m_counts.badFrames;
        break;
    case StreamConnection::Outcome::IdleTimedOut:
        ++m_counts.idleTimedOut;
        break;
    case StreamConnection::Outcome::FrameTimedOut:
        ++m_counts.frameTimedOut;
        break;
    case StreamConnection::Outcome::HandshakeTimedOut:
        ++m_counts.handshakeTimedOut;
        break;
    }
    connection->deleteLater();
    Q_EMIT countsChanged();
}
