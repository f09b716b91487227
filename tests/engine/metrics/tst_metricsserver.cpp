#include "engine/metrics/metricsexposition.h"
#include "engine/metrics/metricsserver.h"
#include "engine/metrics/metricssettings.h"
#include "engine/reception/datagramreceiver.h"
#include "fakedatagramsocket.h"
#include "judgedtable.h"
#include "metricscheck.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <vector>

namespace {

// A client on loopback that keeps whatever the server sends.
class Client final
{
public:
    explicit Client(quint16 port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, &socket,
                         [this] { received += socket.readAll(); });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }

    bool isClosed() const { return socket.state() == QAbstractSocket::UnconnectedState; }
    // Sends request and waits until the server has closed.
    bool exchange(const QByteArray &request)
    {
        socket.write(request);
        return QTest::qWaitFor([this] { return isClosed(); }, 10'000);
    }

    QTcpSocket socket;
    QByteArray received;
};

// An answer: the status code, the headers by lower-case name, and the body with any chunking
// undone (none for HEAD); a status of -1 where it does not read as a whole answer.
struct Answer
{
    int status = -1;
    QMap<QByteArray, QByteArray> headers;
    QByteArray body;

    explicit Answer(const QByteArray &bytes, bool toHead = false)
    {
        const qsizetype end = bytes.indexOf("\r\n\r\n");
        if (end < 0 || !bytes.startsWith("HTTP/1.1 "))
            return;
        for (const QByteArray &line : bytes.first(end).split('\n').sliced(1)) {
            const qsizetype colon = line.indexOf(':');
            headers[line.first(colon).toLower()] = line.sliced(colon + 1).trimmed();
        }
        QByteArray rest = bytes.sliced(end + 4);
        const bool chunked = headers.value("transfer-encoding") == "chunked" && !toHead;
        if (!chunked)
            body = rest;
        for (qsizetype size = -1; chunked && size != 0;) {
            const qsizetype line = rest.indexOf("\r\n");
            bool ok = false;
            size = rest.first(std::max<qsizetype>(line, 0)).toLongLong(&ok, 16);
            if (!ok || rest.size() < line + size + 4)
                return;
            body += rest.sliced(line + 2, size);
            rest = rest.sliced(line + size + 4);
        }
        status = bytes.mid(9, 3).toInt();
    }
};

} // namespace

// The readings served over a real socket on loopback, and the clients that are not.
class TestMetricsServer final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void answers_data();
    void answers();
    void largeAnswerInPieces();
    void idleClientClosed_data();
    void idleClientClosed();
    void connectionsBeyondTheLimitClosed();
    void onlyAllowedPeersServed_data();
    void onlyAllowedPeersServed();
    void listening_data();
    void listening();

private:
    quint16 listenOnLoopback(const QStringList &allowed = {});

    std::unique_ptr<Judged> m_judged;
    std::unique_ptr<DatagramReceiver> m_receiver;
    std::unique_ptr<MetricsServer> m_server;
};

void TestMetricsServer::init()
{
    m_judged = std::make_unique<Judged>();
    m_judged->post(u"web1|CPU|97 %; web1|Service|up; db1|Free|12 GB"_qs);
    m_receiver =
        std::make_unique<DatagramReceiver>(&m_judged->table, nullptr, new FakeDatagramSocket);
    m_server = std::make_unique<MetricsServer>(m_judged->table, *m_receiver);
}

void TestMetricsServer::cleanup()
{
    m_server.reset();
    m_receiver.reset();
    m_judged.reset();
}

quint16 TestMetricsServer::listenOnLoopback(const QStringList &allowed)
{
    const QString error = m_server->listen(MetricsSettings(u"127.0.0.1:0"_qs, allowed));
    if (!error.isEmpty())
        qFatal("%s", qPrintable(error));
    return m_server->serverPort();
}

void TestMetricsServer::answers_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body"); // "readings" for the table as the exposition writes it

    const QByteArray text = "text/plain; version=0.0.4; charset=utf-8";
    const QByteArray plain = "text/plain; charset=utf-8";
    QTest::newRow("GET, HTTP/1.1: chunked")
        << QByteArray("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n") << 200 << text
        << QByteArray("readings");
    QTest::newRow("GET, HTTP/1.0: to the end of the connection")
        << QByteArray("GET /metrics HTTP/1.0\r\n\r\n") << 200 << text << QByteArray("readings");
    QTest::newRow("OpenMetrics asked for")
        << QByteArray("GET /metrics?x=1 HTTP/1.1\r\nAccept: application/openmetrics-text;"
                      "version=1.0.0,text/plain;q=0.5\r\n\r\n")
        << 200 << QByteArray("application/openmetrics-text; version=1.0.0; charset=utf-8")
        << QByteArray("readings");
    QTest::newRow("HEAD: no body")
        << QByteArray("HEAD /metrics HTTP/1.1\r\n\r\n") << 200 << text << QByteArray();
    QTest::newRow("another path") << QByteArray("GET /metrics/ HTTP/1.1\r\n\r\n") << 404 << plain
                                  << QByteArray("Not Found\n");
    QTest::newRow("another path, HEAD")
        << QByteArray("HEAD / HTTP/1.1\r\n\r\n") << 404 << plain << QByteArray();
    QTest::newRow("another method")
        << QByteArray("POST /metrics HTTP/1.1\r\nContent-Length: 2\r\n\r\nab") << 405 << plain
        << QByteArray("Method Not Allowed\n");
    QTest::newRow("not a request")
        << QByteArray("GET /metrics\r\n\r\n") << 400 << plain << QByteArray("Bad Request\n");
    QTest::newRow("headers too large")
        << QByteArray("GET /metrics HTTP/1.1\r\nX-Pad: " + QByteArray(9000, 'p') + "\r\n\r\n")
        << 431 << plain << QByteArray("Request Header Fields Too Large\n");
}

void TestMetricsServer::answers()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);

    Client client(listenOnLoopback());
    QVERIFY(client.exchange(request));
    const Answer answer(client.received, request.startsWith("HEAD"));
    QCOMPARE(answer.status, status);
    QCOMPARE(answer.headers.value("content-type"), contentType);
    QCOMPARE(answer.headers.value("connection"), QByteArray("close"));
    if (status == 405)
        QCOMPARE(answer.headers.value("allow"), QByteArray("GET, HEAD"));
    if (body == "readings") {
        const auto format = MetricsExposition::negotiate(
            request.contains("openmetrics") ? "application/openmetrics-text" : "");
        MetricsExposition exposition(m_judged->table, {}, format);
        body.clear();
        exposition.writeNext(body, 1 << 20);
    }
    QCOMPARE(answer.body, body);
    QCOMPARE(m_server->counts().served, status == 200 ? 1 : 0);
    QCOMPARE(m_server->counts().answeredError, status == 200 ? 0 : 1);
    QCOMPARE(m_server->connectionCount(), 0);
}

// Far more than one piece, through a socket the client reads as it comes.
void TestMetricsServer::largeAnswerInPieces()
{
    for (int host = 0; host < 2000; ++host) {
        m_judged->post(u"host%1|CPU|%2; host%1|Service|up; host%1|Temp|%3 C"_qs.arg(host)
                           .arg(host % 100)
                           .arg(host % 60));
    }
    Client client(listenOnLoopback());
    QVERIFY(client.exchange("GET /metrics HTTP/1.1\r\n\r\n"));
    const Answer answer(client.received);
    QCOMPARE(answer.status, 200);
    QVERIFY(answer.body.size() > 4 * MetricsConnection::pieceSize);
    const MetricsCheck check(answer.body, false);
    QVERIFY2(check.faults.isEmpty(), qPrintable(check.faults.join(u'\n')));
    QCOMPARE(check.keys["senvo_reading_state"].size(), 3 * 2000 + 3);
}

void TestMetricsServer::idleClientClosed_data()
{
    QTest::addColumn<QByteArray>("sent");

    QTest::newRow("nothing sent") << QByteArray();
    QTest::newRow("half a request") << QByteArray("GET /metrics HTTP/1.1\r\nAcc");
}

void TestMetricsServer::idleClientClosed()
{
    QFETCH(QByteArray, sent);

    m_server->setIdleTimeoutMs(200);
    Client client(listenOnLoopback());
    client.socket.write(sent);
    QTRY_VERIFY_WITH_TIMEOUT(client.isClosed(), 10'000);
    QCOMPARE(client.received, QByteArray());
    QCOMPARE(m_server->counts().timedOut, 1);
    QCOMPARE(m_server->connectionCount(), 0);
}

void TestMetricsServer::connectionsBeyondTheLimitClosed()
{
    const quint16 port = listenOnLoopback();
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < MetricsServer::maxConnections; ++i)
        clients.push_back(std::make_unique<Client>(port));
    QTRY_COMPARE(m_server->connectionCount(), MetricsServer::maxConnections);

    Client beyond(port);
    QTRY_VERIFY(beyond.isClosed());
    QCOMPARE(m_server->counts().refused, 1);
    QVERIFY(std::none_of(clients.begin(), clients.end(),
                         [](const std::unique_ptr<Client> &client) { return client->isClosed(); }));

    // Those let in are served, and the room they leave is taken again.
    QVERIFY(clients.front()->exchange("GET /metrics HTTP/1.1\r\n\r\n"));
    QCOMPARE(Answer(clients.front()->received).status, 200);
    Client next(port);
    QVERIFY(next.exchange("GET /metrics HTTP/1.1\r\n\r\n"));
    QCOMPARE(Answer(next.received).status, 200);
    QCOMPARE(m_server->counts().refused, 1);
}

void TestMetricsServer::onlyAllowedPeersServed_data()
{
    QTest::addColumn<QStringList>("allowed");
    QTest::addColumn<bool>("served");

    QTest::newRow("loopback not in the list") << QStringList{u"10.0.0.0/8"_qs} << false;
    QTest::newRow("loopback in the list") << QStringList{u"10.0.0.0/8"_qs, u"127.0.0.1"_qs} << true;
}

void TestMetricsServer::onlyAllowedPeersServed()
{
    QFETCH(QStringList, allowed);
    QFETCH(bool, served);

    Client client(listenOnLoopback(allowed));
    QVERIFY(client.exchange("GET /metrics HTTP/1.1\r\n\r\n"));
    QCOMPARE(Answer(client.received).status, served ? 200 : -1);
    QCOMPARE(client.received.isEmpty(), !served);
    QCOMPARE(m_server->counts().refused, served ? 0 : 1);
}

void TestMetricsServer::listening_data()
{
    QTest::addColumn<QString>("listen"); // {busy} is a port already taken on 127.0.0.1
    QTest::addColumn<QStringList>("allowed");
    QTest::addColumn<QString>("error");

    QTest::newRow("off") << QString() << QStringList() << QString();
    QTest::newRow("loopback, a port the system chooses")
        << u"127.0.0.1:0"_qs << QStringList() << QString();
    QTest::newRow("IPv6 loopback") << u"[::1]:0"_qs << QStringList() << QString();
    QTest::newRow("in use") << u"127.0.0.1:{busy}"_qs << QStringList()
                            << u"Cannot serve metrics on 127.0.0.1:{busy}: the address is already "
                               "in use."_qs;
    QTest::newRow("nobody allowed")
        << u"127.0.0.1:0"_qs << QStringList{u"10.0.0.0/33"_qs}
        << u"Cannot serve metrics on 127.0.0.1:0: no allowed entry is an address or a prefix, "
           "so no one could ask."_qs;
}

// Listening again stops the listener before, whatever the new settings give.
void TestMetricsServer::listening()
{
    QFETCH(QString, listen);
    QFETCH(QStringList, allowed);
    QFETCH(QString, error);

    QTcpServer busy;
    QVERIFY(busy.listen(QHostAddress::LocalHost, 0));
    listen.replace(u"{busy}"_qs, QString::number(busy.serverPort()));
    error.replace(u"{busy}"_qs, QString::number(busy.serverPort()));

    const quint16 before = listenOnLoopback();
    const QString told = m_server->listen(MetricsSettings(listen, allowed));
    QCOMPARE(told, error);
    const bool listening = !listen.isEmpty() && error.isEmpty();
    QCOMPARE(m_server->isListening(), listening);
    if (listening) {
        QCOMPARE(m_server->serverAddress(), *MetricsSettings(listen, {}).address());
        QVERIFY(m_server->serverPort() != 0);
    }
    Client earlier(before);
    QTRY_VERIFY(earlier.isClosed());
    QVERIFY(earlier.received.isEmpty());
}

QTEST_GUILESS_MAIN(TestMetricsServer)
#include "tst_metricsserver.moc"
