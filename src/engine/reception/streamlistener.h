#pragma once

#include "allowedclients.h"
#include "senderaddress.h"
#include "streamconnection.h"

#include <QDateTime>
#include <QHostAddress>
#include <QSslConfiguration>
#include <QString>
#include <QTcpServer>

#include <optional>

class DatagramReceiver;

// Takes syslog over TCP, or over TLS once given a server certificate, on one address and
// port, and hands every message to the receiver, which counts and posts it as a datagram.
// At most maxConnections at once: the next is closed as it connects and counted as refused.
class StreamListener final : public QTcpServer
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StreamListener)

public:
    static constexpr int maxConnections = 256;

    // What became of connections since the listener was made.
    struct Counts
    {
        qint64 accepted = 0;
        qint64 refused = 0; // too many at once, or over TLS not let in
        qint64 tooLarge = 0;
        qint64 badFrames = 0;
        qint64 idleTimedOut = 0;
        qint64 frameTimedOut = 0;
        qint64 handshakeTimedOut = 0;
    };

    // The certificate, key and CA files of a TLS listener, relative ones beside folder.
    struct TlsFiles
    {
        QString certificate;
        QString privateKey;
        QString clientCA; // empty: any client, certificate or not
        QStringList allowedClients;
    };

    // receiver must outlive the listener.
    explicit StreamListener(DatagramReceiver &receiver, QObject *parent = nullptr);

    // The TLS configuration the files make: TLS 1.2 and 1.3 only, with clientCA a
    // certificate signed by it required. Nothing when a file cannot be read, the key does
    // not match the certificate or clients are listed without a clientCA; problem then
    // says why, naming the file.
    static std::optional<QSslConfiguration>
    tlsConfiguration(const TlsFiles &files, const QString &folder, QString *problem);

    // Plain TCP from now on, or TLS with configuration; for the next listen().
    void setPlain();
    void setTls(const QSslConfiguration &configuration, const AllowedClients &allowed);
    bool isTls() const { return m_tls.has_value(); }

    // Stops listening, closes every connection.
    void stop();

    // For connections that come from now on.
    void setTimeouts(const StreamConnection::Timeouts &timeouts) { m_timeouts = timeouts; }

    int connectionCount() const { return m_connections; }
    const Counts &counts() const { return m_counts; }
    // The last client refused, why, and when by this machine's clock.
    SenderAddress lastRefused() const { return m_lastRefused; }
    QString lastRefusedWhy() const { return m_lastRefusedWhy; }
    QDateTime lastRefusedAt() const { return m_lastRefusedAt; }

Q_SIGNALS:
    void countsChanged();

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void refuse(const SenderAddress &client, const QString &why);
    void finished(StreamConnection *connection, StreamConnection::Outcome outcome,
                  const QString &why);

    DatagramReceiver &m_receiver;
    std::optional<QSslConfiguration> m_tls;
    AllowedClients m_allowed;
    StreamConnection::Timeouts m_timeouts;
    int m_connections = 0;
    Counts m_counts;
    SenderAddress m_lastRefused;
    QString m_lastRefusedWhy;
    QDateTime m_lastRefusedAt;
};
