#include "webhookaction.h"

#include "senvoversion.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

WebhookAction::WebhookAction(QNetworkAccessManager &network, const QUrl &url,
                             const Headers &headers, const QByteArray &body, int timeoutMs,
                             QObject *parent)
    : ActionAttempt(parent)
    , m_network(network)
    , m_url(url)
    , m_headers(headers)
    , m_body(body)
    , m_timeoutMs(timeoutMs)
{
}

WebhookAction::~WebhookAction()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        delete m_reply;
    }
}

void WebhookAction::start()
{
    QNetworkRequest request(m_url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QByteArray("Senvo-Net/")
                          + QByteArray(SenvoVersion::text.data(), SenvoVersion::text.size()));
    for (const auto &[name, value] : m_headers)
        request.setRawHeader(name.toLatin1(), value.toUtf8());
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(m_timeoutMs);
    m_reply = m_network.post(request, m_body);
    connect(m_reply, &QNetworkReply::finished, this, &WebhookAction::answered);
}

void WebhookAction::answered()
{
    QNetworkReply *const reply = m_reply;
    m_reply = nullptr;
    reply->deleteLater();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        const int code = status.toInt();
        const QString reason =
            reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().trimmed();
        const QString detail =
            reason.isEmpty() ? tr("HTTP %1").arg(code) : tr("HTTP %1 %2").arg(code).arg(reason);
        Q_EMIT finished({code >= 200 && code < 300, code >= 500 && code < 600, detail});
        return;
    }
    QString why;
    switch (reply->error()) {
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::TimeoutError:
        why = tr("no answer within %1").arg(durationText(m_timeoutMs));
        break;
    default:
        why = reply->errorString();
        // Read within a sentence: "failed 14:02:11: connection refused".
        if (why.size() > 1 && why[1].isLower())
            why[0] = why[0].toLower();
        break;
    }
    Q_EMIT finished({false, true, why});
}
