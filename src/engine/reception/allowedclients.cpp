#include "allowedclients.h"

#include <QCryptographicHash>
#include <QSslCertificate>

namespace {

constexpr QLatin1StringView fingerprintPrefix{"SHA256:"};

// The raw digest an entry names, or nothing when it names none.
std::optional<QByteArray> fingerprintOf(const QString &entry)
{
    if (!entry.startsWith(fingerprintPrefix, Qt::CaseInsensitive))
        return std::nullopt;
    QString hex = entry.sliced(fingerprintPrefix.size());
    hex.remove(u':');
    const QByteArray digest = QByteArray::fromHex(hex.toLatin1());
    const bool allHex = std::all_of(hex.cbegin(), hex.cend(), [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c.toLower() >= u'a' && c.toLower() <= u'f');
    });
    if (!allHex || hex.size() != 64 || digest.size() != 32)
        return std::nullopt;
    return digest;
}

} // namespace

AllowedClients::AllowedClients(const QStringList &entries)
{
    for (const QString &given : entries) {
        const QString entry = given.trimmed();
        if (entry.isEmpty() || !check(entry).isEmpty())
            continue;
        if (const std::optional<QByteArray> digest = fingerprintOf(entry))
            m_fingerprints.insert(*digest);
        else
            m_names.insert(entry.toLower());
    }
}

QString AllowedClients::check(const QString &entry)
{
    const QString trimmed = entry.trimmed();
    if (trimmed.startsWith(fingerprintPrefix, Qt::CaseInsensitive))
        return fingerprintOf(trimmed)
                   ? QString()
                   : tr("\"%1\" is not a SHA-256 fingerprint: 64 hex digits, with or without "
                        "colons, after \"SHA256:\"")
                         .arg(trimmed.left(40));
    if (trimmed.isEmpty() || trimmed.contains(u' '))
        return tr("\"%1\" is not a host name").arg(trimmed.left(40));
    return {};
}

QString AllowedClients::refusal(const QSslCertificate &certificate) const
{
    if (certificate.isNull())
        return tr("it presented no certificate");
    if (allowsEveryClient())
        return {};
    if (m_fingerprints.contains(certificate.digest(QCryptographicHash::Sha256)))
        return {};
    QStringList names = certificate.subjectInfo(QSslCertificate::CommonName);
    names += certificate.subjectAlternativeNames().values(QSsl::DnsEntry);
    for (const QString &name : std::as_const(names)) {
        if (m_names.contains(name.toLower()))
            return {};
    }
    return tr("its certificate (%1) is not among the allowed clients")
        .arg(names.isEmpty() ? tr("no name") : names.join(u", "_qs));
}
