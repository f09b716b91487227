#pragma once

#include "engine/reception/senderfilter.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>
#include <QLatin1StringView>
#include <QString>
#include <QStringList>

#include <optional>

// Where the readings are served to Prometheus, as Senvo-Net.json keeps it: the "metrics"
// object, {"listen": "127.0.0.1:9464", "allowed": ["10.0.0.0/8"]}. Nothing listens unless
// "listen" names an address and port: 0.0.0.0 is every IPv4 address, [::] every address,
// localhost the IPv4 loopback. "allowed" lists the addresses and prefixes that may ask, as
// the senders' list does (missing or empty: anyone who reaches the address).
class MetricsSettings final
{
    Q_DECLARE_TR_FUNCTIONS(MetricsSettings)

public:
    static constexpr QLatin1StringView key{"metrics"};
    static constexpr QLatin1StringView listenKey{"listen"};
    static constexpr QLatin1StringView allowedKey{"allowed"};

    // Off.
    MetricsSettings() = default;
    // listen empty for off; blank entries of allowed are skipped, and those that are not an
    // address or prefix named in errors().
    MetricsSettings(const QString &listen, const QStringList &allowed);

    // root is the whole of Senvo-Net.json; what cannot be used is named in errors().
    static MetricsSettings fromObject(const QJsonObject &root);
    // Replaces root's "metrics", or removes it when there is nothing to keep.
    void writeTo(QJsonObject &root) const;

    bool isOn() const { return !m_listen.isEmpty(); }
    // As written, trimmed: a text that is not an address and port stays, so that listening
    // fails and says why rather than quietly serving nothing or more than was asked.
    const QString &listen() const { return m_listen; }
    // The sound entries, trimmed.
    const QStringList &allowed() const { return m_allowed; }
    // One line for each mistake, naming the entry and saying why.
    const QStringList &errors() const { return m_errors; }

    // Nothing while off or while listen() is not an address and port.
    std::optional<QHostAddress> address() const;
    // 0 while off or unsound, and where 0 was written: the system then chooses one.
    quint16 port() const;
    // Who may ask; nothing when entries were given and none of them is sound, as letting
    // everyone in because the only entry was mistyped would undo what the list is for.
    std::optional<SenderFilter> filter() const;

    // Why text is not an address and port, in plain words; empty when it is one, and when it
    // is blank, which turns the endpoint off.
    static QString checkListen(const QString &text);

private:
    struct Endpoint
    {
        QHostAddress address;
        quint16 port = 0;
    };
    // The endpoint text names, or why it names none.
    static std::optional<Endpoint> parseListen(QStringView text, QString *why = nullptr);

    void takeAllowed(const QJsonArray &entries);

    QString m_listen;
    QStringList m_allowed;
    QStringList m_errors;
    bool m_allowedUnsound = false; // entries were given, and none was sound
};
