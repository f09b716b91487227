#include "senderssettings.h"

#include "engine/reception/datagramreceiver.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QString shown(const QJsonValue &value)
{
    if (value.isString())
        return value.toString().left(40);
    const QJsonDocument document =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(QJsonArray{value});
    QString text = QString::fromUtf8(document.toJson(QJsonDocument::Compact));
    if (!value.isArray())
        text = text.mid(1, text.size() - 2);
    return text.left(40);
}

} // namespace

SendersSettings::SendersSettings(const QStringList &allowedSenders, const QString &listenAddress)
    : m_listenAddress(listenAddress.trimmed())
{
    for (const QString &entry : allowedSenders) {
        if (!entry.trimmed().isEmpty())
            m_allowed.append(entry.trimmed());
    }
}

SendersSettings SendersSettings::fromObject(const QJsonObject &object)
{
    SendersSettings settings;
    const QJsonValue allowed = object.value(allowedSendersKey);
    if (allowed.isArray()) {
        const QJsonArray entries = allowed.toArray();
        for (qsizetype i = 0; i < entries.size(); ++i) {
            const QJsonValue entry = entries.at(i);
            const QString why =
                entry.isString() ? SenderFilter::check(entry.toString()) : tr("it is not text");
            if (entry.isString() && entry.toString().trimmed().isEmpty())
                continue;
            if (why.isEmpty())
                settings.m_allowed.append(entry.toString().trimmed());
            else
                settings.m_errors.append(
                    tr("allowedSenders, entry %1 is left out: %2").arg(i + 1).arg(why));
        }
    } else if (!allowed.isUndefined() && !allowed.isNull()) {
        settings.m_errors.append(tr("allowedSenders is not a list of addresses, so every sender "
                                    "is let through"));
    }

    const QJsonValue address = object.value(listenAddressKey);
    if (address.isUndefined() || address.isNull())
        return settings;
    settings.m_listenAddress = address.isString() ? address.toString().trimmed() : shown(address);
    if (!address.isString() || !DatagramReceiver::addressFromText(settings.m_listenAddress))
        settings.m_errors.append(tr("listenAddress \"%1\" is not an IP address, so no readings "
                                    "are received")
                                     .arg(shown(address)));
    return settings;
}

SenderFilter SendersSettings::filter() const
{
    return SenderFilter::fromEntries(m_allowed).value_or(SenderFilter());
}

void SendersSettings::writeTo(QJsonObject &object) const
{
    object.insert(allowedSendersKey, QJsonArray::fromStringList(m_allowed));
    if (m_listenAddress.isEmpty())
        object.insert(listenAddressKey, QJsonValue());
    else
        object.insert(listenAddressKey, m_listenAddress);
}
