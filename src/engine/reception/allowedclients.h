#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QSet>
#include <QString>
#include <QStringList>

class QSslCertificate;

// Which TLS clients may send, by their certificate: a name (the subject's common name or a
// DNS subject alternative name, in any case) or a SHA-256 fingerprint written "SHA256:" and
// hex, with or without colons, in any case. No entries lets every client through whose
// certificate the handshake accepted.
class AllowedClients final
{
    Q_DECLARE_TR_FUNCTIONS(AllowedClients)

public:
    AllowedClients() = default;
    explicit AllowedClients(const QStringList &entries);

    bool allowsEveryClient() const { return m_names.isEmpty() && m_fingerprints.isEmpty(); }
    // Why the client with this certificate may not send; empty when it may.
    QString refusal(const QSslCertificate &certificate) const;

    // Why entry is neither a name nor a fingerprint; empty when it is one.
    static QString check(const QString &entry);

private:
    QSet<QString> m_names;           // lower case
    QSet<QByteArray> m_fingerprints; // raw digests
};
