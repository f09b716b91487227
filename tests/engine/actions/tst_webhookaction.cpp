#include "engine/actions/actionrunner.h"
#include "engine/actions/actionsettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

// An HTTP server of the test's own on loopback: keeps each request and answers with the
// next status of its list (the last one again beyond it), or never, for 0.
class Server final : public QObject
{
public:
    struct Request
    {
        QByteArray head;
        QByteArray body;
    };

    explicit Server(const QList<int> &answers)
        : m_answers(answers)
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            }
        });
    }

    QString url() const { return u"http://127.0.0.1:%1/hook"_qs.arg(m_server.serverPort()); }
    QList<Request> requests;

private:
    void read(QTcpSocket *socket)
    {
        QByteArray &data = m_data[socket];
        data += socket->readAll();
        const qsizetype end = data.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray head = data.first(end);
        const qsizetype at = head.toLower().indexOf("content-length:");
        const qsizetype length =
            at < 0 ? 0 : head.mid(at + 15).split('\r').first().trimmed().toInt();
        if (data.size() < end + 4 + length)
            return;
        requests.append({head, data.mid(end + 4, length)});
        data.clear();
        const int answer = m_answers.value(requests.size() - 1, m_answers.last());
        if (answer == 0)
            return;
        socket->write("HTTP/1.1 " + QByteArray::number(answer)
                      + " Said\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QList<int> m_answers;
    QHash<QTcpSocket *, QByteArray> m_data;
};

} // namespace

// Webhooks posted for real, over loopback, through the runner that tries them again.
class TestWebhookAction final : public QObject
{
    Q_OBJECT

private slots:
    void posted_data();
    void posted();
};

void TestWebhookAction::posted_data()
{
    QTest::addColumn<QList<int>>("answers"); // 0: none; -1: nobody listens
    QTest::addColumn<int>("requests");
    QTest::addColumn<QString>("result");

    QTest::newRow("answered at once") << QList{204} << 1 << u"sent 14:02:11, HTTP 204 Said"_qs;
    QTest::newRow("a 503 tried again until it works")
        << QList{503, 503, 200} << 3 << u"sent 14:02:11, HTTP 200 Said"_qs;
    QTest::newRow("a 400 not tried again")
        << QList{400} << 1 << u"failed 14:02:11: HTTP 400 Said"_qs;
    QTest::newRow("no answer, tried three times more")
        << QList{0} << 4 << u"failed 14:02:11: no answer within 300 ms"_qs;
    QTest::newRow("nobody listening, tried three times more")
        << QList{-1} << 0 << u"failed 14:02:11: connection refused"_qs;
}

void TestWebhookAction::posted()
{
    QFETCH(QList<int>, answers);
    QFETCH(int, requests);
    QFETCH(QString, result);

    Server server(answers);
    QString url = server.url();
    if (answers.first() < 0) {
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost);
        url = u"http://127.0.0.1:%1/hook"_qs.arg(closed.serverPort());
    }
    const QDateTime now(QDate(2024, 5, 2), QTime(14, 2, 11), Qt::OffsetFromUTC, 0);
    ActionRunner runner(
        {10'000, 300, {5, 10, 15}}, [now] { return now; }, u"recv"_qs);
    const QJsonObject action{{u"name"_qs, u"chat"_qs},
                             {u"webhook"_qs, url},
                             {u"headers"_qs, QJsonObject{{u"Authorization"_qs, u"Bearer t"_qs}}}};
    runner.setRules(
        ActionSettings::fromObject({{ActionSettings::key, QJsonArray{action}}}).sound());
    QStringList results;
    connect(&runner, &ActionRunner::attempted, this,
            [&results](const QString &, const ActionResult &r) { results.append(r.text()); });
    runner.take({{u"db01"_qs, Trouble::Critical, Trouble::Normal, {}}});

    QTRY_VERIFY_WITH_TIMEOUT(!results.isEmpty() && !results.last().contains(u"tries again"_qs),
                             20'000);
    QCOMPARE(results.last(), result);
    QCOMPARE(results.size(), answers.first() < 0 ? 4 : requests);
    QCOMPARE(server.requests.size(), requests);
    if (requests == 0)
        return;
    const Server::Request &first = server.requests.first();
    QVERIFY(first.head.startsWith("POST /hook HTTP/1.1\r\n"));
    QVERIFY(first.head.toLower().contains("\r\ncontent-type: application/json\r\n"));
    QVERIFY(first.head.contains("\r\nAuthorization: Bearer t\r\n"));
    const QJsonObject json = QJsonDocument::fromJson(first.body).object();
    QCOMPARE(json.value(u"events"_qs)[0][u"host"_qs], u"db01"_qs);
    QCOMPARE(runner.failedCount(), result.startsWith(u"failed"_qs) ? 1 : 0);
}

QTEST_GUILESS_MAIN(TestWebhookAction)
#include "tst_webhookaction.moc"
