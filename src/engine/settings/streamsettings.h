#pragma once

#include <QCoreApplication>
#include <QJsonObject>
#include <QLatin1StringView>
#include <QString>
#include <QStringList>

// Syslog over TCP and over TLS, as Senvo-Net.json keeps them: {"tcp": {"port": 5514}} and
// {"tls": {"port": 6514, "certificate": "server.pem", "privateKey": "server.key",
// "clientCA": "ca.pem", "allowedClients": ["relay1.example.net", "SHA256:AB:CD:..."]}}. Each
// is off without its object or its port; both listen on the senders' listen address.
class StreamSettings final
{
    Q_DECLARE_TR_FUNCTIONS(StreamSettings)

public:
    static constexpr QLatin1StringView tcpKey{"tcp"};
    static constexpr QLatin1StringView tlsKey{"tls"};

    // Both off.
    StreamSettings() = default;

    // root is the whole of Senvo-Net.json; what cannot be used is named in errors().
    static StreamSettings fromObject(const QJsonObject &root);
    // Replaces root's "tcp" and "tls", or removes them when off.
    void writeTo(QJsonObject &root) const;

    // 0 for off.
    quint16 tcpPort() const { return m_tcpPort; }
    quint16 tlsPort() const { return m_tlsPort; }
    void setTcpPort(quint16 port) { m_tcpPort = port; }
    void setTlsPort(quint16 port) { m_tlsPort = port; }
    const QString &certificate() const { return m_certificate; }
    const QString &privateKey() const { return m_privateKey; }
    const QString &clientCA() const { return m_clientCA; }
    const QStringList &allowedClients() const { return m_allowedClients; }
    void setTlsFiles(const QString &certificate, const QString &privateKey,
                     const QString &clientCA);
    void setAllowedClients(const QStringList &clients);
    // One line for each mistake, naming the key and saying why.
    const QStringList &errors() const { return m_errors; }

    friend bool operator==(const StreamSettings &a, const StreamSettings &b)
    {
        return a.m_tcpPort == b.m_tcpPort && a.m_tlsPort == b.m_tlsPort
               && a.m_certificate == b.m_certificate && a.m_privateKey == b.m_privateKey
               && a.m_clientCA == b.m_clientCA && a.m_allowedClients == b.m_allowedClients;
    }

private:
    quint16 m_tcpPort = 0;
    quint16 m_tlsPort = 0;
    QString m_certificate;
    QString m_privateKey;
    QString m_clientCA;
    QStringList m_allowedClients;
    QStringList m_errors;
};
