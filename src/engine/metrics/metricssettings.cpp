#include "metricssettings.h"

#include "engine/reception/addresstext.h"

#include <QJsonArray>

#include <algorithm>

namespace {

QString shown(QStringView text)
{
    return text.size() > 60 ? text.left(60).toString() + u"..."_qs : text.toString();
}

} // namespace

MetricsSettings::MetricsSettings(const QString &listen, const QStringList &allowed)
    : m_listen(listen.trimmed())
{
    if (isOn()) {
        if (const QString why = checkListen(m_listen); !why.isEmpty())
            m_errors.append(tr("metrics, listen: %1").arg(why));
    }
    takeAllowed(QJsonArray::fromStringList(allowed));
}

void MetricsSettings::takeAllowed(const QJsonArray &entries)
{
    int given = 0;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QJsonValue value = entries.at(i);
        const QString entry = value.toString().trimmed();
        if (value.isString() && entry.isEmpty())
            continue;
        ++given;
        const QString why = value.isString() ? SenderFilter::check(entry) : tr("it is not text");
        if (why.isEmpty())
            m_allowed.append(entry);
        else
            m_errors.append(tr("metrics, allowed entry %1 is left out: %2").arg(i + 1).arg(why));
    }
    m_allowedUnsound = given > 0 && m_allowed.isEmpty();
    if (m_allowedUnsound)
        m_errors.append(tr("metrics, allowed: no entry is an address or a prefix, so no one is "
                           "let in"));
}

MetricsSettings MetricsSettings::fromObject(const QJsonObject &root)
{
    const QJsonValue value = root.value(key);
    if (value.isUndefined() || value.isNull())
        return {};
    if (!value.isObject()) {
        MetricsSettings settings;
        settings.m_errors.append(tr("metrics is not an object, so metrics are not served"));
        return settings;
    }
    const QJsonObject object = value.toObject();

    const QJsonValue listen = object.value(listenKey);
    MetricsSettings settings(listen.isString() ? listen.toString() : QString(), {});
    if (!listen.isString() && !listen.isUndefined() && !listen.isNull())
        settings.m_errors.append(tr("metrics, listen is not text, so metrics are not served"));
    const QJsonValue allowed = object.value(allowedKey);
    if (allowed.isArray()) {
        settings.takeAllowed(allowed.toArray());
    } else if (!allowed.isUndefined() && !allowed.isNull()) {
        // Anyone would be let in where a list was meant: nobody is instead.
        settings.m_allowedUnsound = true;
        settings.m_errors.append(
            tr("metrics, allowed is not a list of addresses, so no one is let in"));
    }
    return settings;
}

void MetricsSettings::writeTo(QJsonObject &root) const
{
    if (!isOn() && m_allowed.isEmpty()) {
        root.remove(key);
        return;
    }
    QJsonObject object;
    if (isOn())
        object.insert(listenKey, m_listen);
    if (!m_allowed.isEmpty())
        object.insert(allowedKey, QJsonArray::fromStringList(m_allowed));
    root.insert(key, object);
}

std::optional<QHostAddress> MetricsSettings::address() const
{
    const std::optional<Endpoint> endpoint = parseListen(m_listen);
    return endpoint ? std::optional(endpoint->address) : std::nullopt;
}

quint16 MetricsSettings::port() const
{
    const std::optional<Endpoint> endpoint = parseListen(m_listen);
    return endpoint ? endpoint->port : 0;
}

std::optional<SenderFilter> MetricsSettings::filter() const
{
    if (m_allowedUnsound)
        return std::nullopt;
    return SenderFilter::fromEntries(m_allowed);
}

QString MetricsSettings::checkListen(const QString &text)
{
    if (text.trimmed().isEmpty())
        return {};
    QString why;
    parseListen(QStringView(text).trimmed(), &why);
    return why;
}

std::optional<MetricsSettings::Endpoint> MetricsSettings::parseListen(QStringView text,
                                                                      QString *why)
{
    const auto fail = [&](const QString &reason) -> std::optional<Endpoint> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    if (text.isEmpty())
        return std::nullopt; // off
    const QString example = tr("such as 127.0.0.1:9464 or [::1]:9464");

    const qsizetype colon = text.lastIndexOf(u':');
    QStringView host = colon < 0 ? text : text.first(colon);
    // An IPv6 address holds colons of its own, so it is written in brackets.
    const bool bracketed = host.startsWith(u'[') && host.endsWith(u']') && host.size() >= 2;
    if (colon < 0 || (!bracketed && host.contains(u':')))
        return fail(tr("\"%1\" has no port: write it after a colon, %2").arg(shown(text), example));
    if (bracketed)
        host = host.sliced(1, host.size() - 2);

    Endpoint endpoint;
    if (host.compare(u"localhost", Qt::CaseInsensitive) == 0 && !bracketed) {
        endpoint.address = QHostAddress(QHostAddress::LocalHost);
    } else {
        const std::optional<QHostAddress> address = addressFromText(host);
        if (!address || host.isEmpty()
            || bracketed != (address->protocol() == QAbstractSocket::IPv6Protocol))
            return fail(tr("\"%1\" is not an address and port, %2").arg(shown(text), example));
        // "[::]" is every address, IPv4 ones included, as a dual-stack socket takes them.
        endpoint.address = *address == QHostAddress(QHostAddress::AnyIPv6)
                               ? QHostAddress(QHostAddress::Any)
                               : *address;
    }

    const QStringView digits = text.sliced(colon + 1);
    const bool whole = !digits.isEmpty() && digits.size() <= 5
                       && std::all_of(digits.begin(), digits.end(),
                                      [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (!whole || digits.toInt() > 65535)
        return fail(tr("the port of \"%1\" is out of range: it is a whole number up to 65535")
                        .arg(shown(text)));
    endpoint.port = quint16(digits.toInt());
    if (why)
        why->clear();
    return endpoint;
}
