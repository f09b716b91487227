#include "streamsettings.h"

#include "engine/reception/allowedclients.h"

#include <QJsonArray>

namespace {

// The port of object, 0 when it has none; a port that is not one is named in errors.
quint16 portOf(const QJsonObject &object, QLatin1StringView key, QStringList &errors)
{
    const QJsonValue port = object.value(QLatin1StringView("port"));
    if (port.isUndefined() || port.isNull())
        return 0;
    const double number = port.toDouble(-1);
    if (!port.isDouble() || number < 1 || number > 65535 || number != double(int(number))) {
        errors.append(StreamSettings::tr("%1, port is not a whole number from 1 to 65535, so "
                                         "%2 is off")
                          .arg(key, key.toString().toUpper()));
        return 0;
    }
    return quint16(number);
}

} // namespace

StreamSettings StreamSettings::fromObject(const QJsonObject &root)
{
    StreamSettings settings;
    for (const QLatin1StringView key : {tcpKey, tlsKey}) {
        const QJsonValue value = root.value(key);
        if (!value.isUndefined() && !value.isNull() && !value.isObject())
            settings.m_errors.append(
                tr("%1 is not an object, so %2 is off").arg(key, key.toString().toUpper()));
    }
    settings.m_tcpPort = portOf(root.value(tcpKey).toObject(), tcpKey, settings.m_errors);

    const QJsonObject tls = root.value(tlsKey).toObject();
    settings.m_tlsPort = portOf(tls, tlsKey, settings.m_errors);
    settings.m_certificate = tls.value(QLatin1StringView("certificate")).toString().trimmed();
    settings.m_privateKey = tls.value(QLatin1StringView("privateKey")).toString().trimmed();
    settings.m_clientCA = tls.value(QLatin1StringView("clientCA")).toString().trimmed();
    const QJsonArray clients = tls.value(QLatin1StringView("allowedClients")).toArray();
    for (qsizetype i = 0; i < clients.size(); ++i) {
        const QString entry = clients.at(i).toString().trimmed();
        if (clients.at(i).isString() && entry.isEmpty())
            continue;
        const QString why =
            clients.at(i).isString() ? AllowedClients::check(entry) : tr("it is not text");
        if (why.isEmpty())
            settings.m_allowedClients.append(entry);
        else
            settings.m_errors.append(
                tr("tls, allowedClients entry %1 is left out: %2").arg(i + 1).arg(why));
    }
    // A list whose every entry was mistyped would let every trusted client in.
    if (!clients.isEmpty() && settings.m_allowedClients.isEmpty() && settings.m_tlsPort != 0) {
        settings.m_errors.append(tr("tls, allowedClients: no entry is a name or a fingerprint, "
                                    "so TLS is off"));
        settings.m_tlsPort = 0;
    }
    return settings;
}

void StreamSettings::setTlsFiles(const QString &certificate, const QString &privateKey,
                                 const QString &clientCA)
{
    m_certificate = certificate.trimmed();
    m_privateKey = privateKey.trimmed();
    m_clientCA = clientCA.trimmed();
}

void StreamSettings::setAllowedClients(const QStringList &clients)
{
    m_allowedClients.clear();
    for (const QString &client : clients) {
        if (!client.trimmed().isEmpty())
            m_allowedClients.append(client.trimmed());
    }
}

void StreamSettings::writeTo(QJsonObject &root) const
{
    if (m_tcpPort == 0)
        root.remove(tcpKey);
    else
        root.insert(tcpKey, QJsonObject{{QLatin1StringView("port"), m_tcpPort}});
    if (m_tlsPort == 0 && m_certificate.isEmpty() && m_privateKey.isEmpty()) {
        root.remove(tlsKey);
        return;
    }
    QJsonObject tls;
    if (m_tlsPort != 0)
        tls.insert(QLatin1StringView("port"), m_tlsPort);
    tls.insert(QLatin1StringView("certificate"), m_certificate);
    tls.insert(QLatin1StringView("privateKey"), m_privateKey);
    if (!m_clientCA.isEmpty())
        tls.insert(QLatin1StringView("clientCA"), m_clientCA);
    if (!m_allowedClients.isEmpty())
        tls.insert(QLatin1StringView("allowedClients"),
                   QJsonArray::fromStringList(m_allowedClients));
    root.insert(tlsKey, tls);
}
