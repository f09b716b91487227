#pragma once

#include "engine/reception/senderfilter.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QLatin1StringView>
#include <QString>
#include <QStringList>

// Who may send and where to listen, as Senvo-Net.json keeps them: "allowedSenders", a list of
// addresses and prefixes (missing or empty: every sender), and "listenAddress" (missing: every
// address). A list with a mistake in it keeps its sound entries and names the others: letting
// every sender through because one entry was mistyped would undo what the list is for.
class SendersSettings final
{
    Q_DECLARE_TR_FUNCTIONS(SendersSettings)

public:
    static constexpr QLatin1StringView allowedSendersKey{"allowedSenders"};
    static constexpr QLatin1StringView listenAddressKey{"listenAddress"};

    // Every sender, on every address.
    SendersSettings() = default;
    // listenAddress empty for every address.
    SendersSettings(const QStringList &allowedSenders, const QString &listenAddress);

    // The keys of object; what cannot be used is named in errors().
    static SendersSettings fromObject(const QJsonObject &object);

    // The sound entries, trimmed; none for every sender.
    const QStringList &allowedSenders() const { return m_allowed; }
    // Empty for every address. A value that is not an address is kept as written, so that
    // binding to it fails and says why rather than listening wider than was asked.
    const QString &listenAddress() const { return m_listenAddress; }
    // One line for each mistake, naming the entry and saying why.
    const QStringList &errors() const { return m_errors; }

    SenderFilter filter() const;
    void writeTo(QJsonObject &object) const;

private:
    QStringList m_allowed;
    QString m_listenAddress;
    QStringList m_errors;
};
