#pragma once

#include "actionattempt.h"

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <utility>

class QNetworkAccessManager;
class QNetworkReply;

// Posts a batch's JSON to an action's address, with the headers it names; https is verified
// as Qt verifies it by default. A server that does not answer within the timeout, a network
// failure or a 5xx answer may pass and is worth another try; any other answer but 2xx is not.
// Redirects are not followed: the address is the one written.
class WebhookAction final : public ActionAttempt
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebhookAction)

public:
    using Headers = QList<std::pair<QString, QString>>;

    // network must outlive the attempt.
    WebhookAction(QNetworkAccessManager &network, const QUrl &url, const Headers &headers,
                  const QByteArray &body, int timeoutMs, QObject *parent = nullptr);
    ~WebhookAction() override;

    void start() override;

private:
    void answered();

    QNetworkAccessManager &m_network;
    const QUrl m_url;
    const Headers m_headers;
    const QByteArray m_body;
    const int m_timeoutMs;
    QPointer<QNetworkReply> m_reply;
};
