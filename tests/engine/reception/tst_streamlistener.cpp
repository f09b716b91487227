#include "engine/reception/allowedclients.h"
#include "engine/reception/datagramreceiver.h"
#include "engine/reception/readingstable.h"
#include "engine/reception/streamlistener.h"

#include <QProcess>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

using Outcome = StreamConnection::Outcome;
Q_DECLARE_METATYPE(StreamConnection::Timeouts)

namespace {

const QByteArray reading = "<13>Dec  8 01:45:39 relay1 senvo[CPU]: t=45 %";

QByteArray counted(const QByteArray &message)
{
    return QByteArray::number(message.size()) + ' ' + message;
}

bool hasHost(const ReadingsTable &table, const QString &host)
{
    for (int row = 0; row < table.hostCount(); ++row) {
        if (table.host(row) == host)
            return true;
    }
    return false;
}

} // namespace

class TestStreamListener : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void tcpPosts();
    void closedForAbuse_data();
    void closedForAbuse();
    void connectionLimit();
    void tlsClients_data();
    void tlsClients();
    void tlsHandshakeTimesOut();
    void tlsFilesChecked_data();
    void tlsFilesChecked();

private:
    // Makes the certificates into m_dir once; false when openssl is not at hand.
    bool makeCertificates();
    QString file(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    bool m_certificatesMade = false;
    bool m_certificatesTried = false;
};

void TestStreamListener::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

bool TestStreamListener::makeCertificates()
{
    if (m_certificatesTried)
        return m_certificatesMade;
    m_certificatesTried = true;
    const QString openssl = QStandardPaths::findExecutable(u"openssl"_qs);
    if (openssl.isEmpty())
        return false;
    const auto run = [&](const QStringList &arguments) {
        QProcess process;
        process.setWorkingDirectory(m_dir.path());
        process.start(openssl, arguments);
        return process.waitForFinished(60'000) && process.exitCode() == 0;
    };
    const auto authority = [&](const QString &name) {
        return run({u"req"_qs, u"-x509"_qs, u"-newkey"_qs, u"rsa:2048"_qs, u"-nodes"_qs,
                    u"-days"_qs, u"2"_qs, u"-subj"_qs, u"/CN="_qs + name, u"-keyout"_qs,
                    name + u".key"_qs, u"-out"_qs, name + u".pem"_qs});
    };
    const auto signedBy = [&](const QString &name, const QString &ca, const QString &san) {
        return run({u"req"_qs, u"-newkey"_qs, u"rsa:2048"_qs, u"-nodes"_qs, u"-subj"_qs,
                    u"/CN="_qs + name, u"-keyout"_qs, name + u".key"_qs, u"-out"_qs,
                    name + u".csr"_qs})
               && run({u"x509"_qs, u"-req"_qs, u"-in"_qs, name + u".csr"_qs, u"-CA"_qs,
                       ca + u".pem"_qs, u"-CAkey"_qs, ca + u".key"_qs, u"-CAcreateserial"_qs,
                       u"-days"_qs, u"2"_qs, u"-extfile"_qs, san, u"-out"_qs, name + u".pem"_qs});
    };
    QFile names(file(u"san.cnf"_qs));
    if (!names.open(QIODevice::WriteOnly)
        || names.write("subjectAltName=DNS:relay1.example.net\n") < 0)
        return false;
    names.close();
    QFile none(file(u"none.cnf"_qs));
    if (!none.open(QIODevice::WriteOnly) || none.write("basicConstraints=CA:FALSE\n") < 0)
        return false;
    none.close();
    m_certificatesMade = authority(u"ca"_qs) && authority(u"otherca"_qs)
                         && signedBy(u"server"_qs, u"ca"_qs, u"none.cnf"_qs)
                         && signedBy(u"client"_qs, u"ca"_qs, u"san.cnf"_qs)
                         && signedBy(u"stranger"_qs, u"otherca"_qs, u"san.cnf"_qs);
    return m_certificatesMade;
}

void TestStreamListener::tcpPosts()
{
    ReadingsTable table;
    DatagramReceiver receiver(&table);
    StreamListener listener(receiver);
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, listener.serverPort());
    QVERIFY(client.waitForConnected(5000));
    const QByteArray hostless = "<13>Dec  8 01:45:39 senvo[Fan]: n=1200 rpm";
    client.write(counted(reading) + hostless + '\n');
    QTRY_COMPARE(receiver.packets(), 2.0);
    receiver.publish();
    QCOMPARE(receiver.bytes(), double(reading.size() + hostless.size()));
    QVERIFY(hasHost(table, u"relay1"_qs));
    // A message without a host is shown under the connection's peer.
    QVERIFY(hasHost(table, u"127.0.0.1"_qs));

    receiver.setSenderFilter(*SenderFilter::fromEntries({u"10.0.0.0/8"_qs}));
    client.write(counted(reading));
    QTRY_COMPARE(receiver.ignored(), 1.0);
    QCOMPARE(listener.counts().accepted, 1);
}

void TestStreamListener::closedForAbuse_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<StreamConnection::Timeouts>("timeouts");
    QTest::addColumn<int>("tooLarge");
    QTest::addColumn<int>("badFrames");
    QTest::addColumn<int>("idle");
    QTest::addColumn<int>("frame");

    const StreamConnection::Timeouts slow{60'000, 60'000, 60'000};
    QTest::newRow("count too large") << QByteArray("65537 <13>") << slow << 1 << 0 << 0 << 0;
    QTest::newRow("line too long")
        << (reading + '\n' + QByteArray(SyslogFramer::maxFrameSize + 10, '<')) << slow << 1 << 0
        << 0 << 0;
    QTest::newRow("junk count") << QByteArray("12x <13>") << slow << 0 << 1 << 0 << 0;
    QTest::newRow("silent") << QByteArray() << StreamConnection::Timeouts{200, 60'000, 60'000} << 0
                            << 0 << 1 << 0;
    QTest::newRow("frame never ends")
        << counted(reading).first(20) << StreamConnection::Timeouts{60'000, 200, 60'000} << 0 << 0
        << 0 << 1;
}

void TestStreamListener::closedForAbuse()
{
    QFETCH(QByteArray, sent);
    QFETCH(StreamConnection::Timeouts, timeouts);
    ReadingsTable table;
    DatagramReceiver receiver(&table);
    StreamListener listener(receiver);
    listener.setTimeouts(timeouts);
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));

    QTcpSocket abuser;
    abuser.connectToHost(QHostAddress::LocalHost, listener.serverPort());
    QVERIFY(abuser.waitForConnected(5000));
    QTcpSocket neighbour;
    neighbour.connectToHost(QHostAddress::LocalHost, listener.serverPort());
    QVERIFY(neighbour.waitForConnected(5000));
    QTRY_COMPARE(listener.connectionCount(), 2);
    // Another sender goes on as if nothing happened, sending all the while.
    QTimer steady;
    connect(&steady, &QTimer::timeout, &neighbour,
            [&neighbour] { neighbour.write(counted(reading)); });
    steady.start(40);
    abuser.write(sent);
    QTRY_COMPARE(abuser.state(), QAbstractSocket::UnconnectedState);
    QFETCH(int, tooLarge);
    QFETCH(int, badFrames);
    QFETCH(int, idle);
    QFETCH(int, frame);
    QCOMPARE(listener.counts().tooLarge, tooLarge);
    QCOMPARE(listener.counts().badFrames, badFrames);
    QCOMPARE(listener.counts().idleTimedOut, idle);
    QCOMPARE(listener.counts().frameTimedOut, frame);

    const double before = receiver.packets();
    QTRY_VERIFY(receiver.packets() >= before + 2);
    QCOMPARE(neighbour.state(), QAbstractSocket::ConnectedState);
}

void TestStreamListener::connectionLimit()
{
    ReadingsTable table;
    DatagramReceiver receiver(&table);
    StreamListener listener(receiver);
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    // One at a time, the listener taking each before the next, so that the system's queue
    // of connections never fills.
    for (int i = 0; i <= StreamListener::maxConnections; ++i) {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(QHostAddress::LocalHost, listener.serverPort());
        QTRY_COMPARE(listener.counts().accepted + listener.counts().refused, i + 1);
    }
    QTRY_COMPARE(listener.counts().refused, 1);
    QCOMPARE(listener.connectionCount(), StreamListener::maxConnections);
    QCOMPARE(listener.lastRefused().toText(), u"127.0.0.1"_qs);
    QTRY_COMPARE(clients.back()->state(), QAbstractSocket::UnconnectedState);

    // Room again once one goes.
    clients.front()->disconnectFromHost();
    QTRY_COMPARE(listener.connectionCount(), StreamListener::maxConnections - 1);
    QTcpSocket late;
    late.connectToHost(QHostAddress::LocalHost, listener.serverPort());
    QVERIFY(late.waitForConnected(5000));
    late.write(counted(reading));
    QTRY_COMPARE(receiver.packets(), 1.0);
}

void TestStreamListener::tlsClients_data()
{
    QTest::addColumn<QString>("clientCA");    // empty: any client
    QTest::addColumn<QString>("certificate"); // empty: none
    QTest::addColumn<QStringList>("allowed");
    QTest::addColumn<bool>("posts");

    const QString ca = u"ca.pem"_qs;
    QTest::newRow("trusted") << ca << u"client"_qs << QStringList() << true;
    QTest::newRow("trusted, name listed")
        << ca << u"client"_qs << QStringList{u"other.example.net"_qs, u"RELAY1.example.net"_qs}
        << true;
    QTest::newRow("trusted, fingerprint listed")
        << ca << u"client"_qs << QStringList{u"*"_qs} << true;
    QTest::newRow("no certificate") << ca << QString() << QStringList() << false;
    QTest::newRow("another CA's certificate") << ca << u"stranger"_qs << QStringList() << false;
    QTest::newRow("name not listed")
        << ca << u"client"_qs << QStringList{u"relay2.example.net"_qs} << false;
    QTest::newRow("no client CA, no certificate")
        << QString() << QString() << QStringList() << true;
    QTest::newRow("no client CA, another CA's certificate")
        << QString() << u"stranger"_qs << QStringList() << true;
}

void TestStreamListener::tlsClients()
{
    if (!QSslSocket::supportsSsl())
        QSKIP("No TLS library on this system");
    if (!makeCertificates())
        QSKIP("openssl could not make the certificates");
    QFETCH(QString, clientCA);
    QFETCH(QString, certificate);
    QFETCH(QStringList, allowed);
    QFETCH(bool, posts);
    // "*" stands for the client's own fingerprint, which is only known now.
    if (allowed == QStringList{u"*"_qs}) {
        const QSslCertificate own = QSslCertificate::fromPath(file(u"client.pem"_qs)).value(0);
        allowed = {u"sha256:"_qs
                   + QString::fromLatin1(own.digest(QCryptographicHash::Sha256).toHex(':'))};
    }

    QString problem;
    const std::optional<QSslConfiguration> configuration = StreamListener::tlsConfiguration(
        {u"server.pem"_qs, u"server.key"_qs, clientCA, allowed}, m_dir.path(), &problem);
    QVERIFY2(configuration, qPrintable(problem));

    ReadingsTable table;
    DatagramReceiver receiver(&table);
    StreamListener listener(receiver);
    listener.setTls(*configuration, AllowedClients(allowed));
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));

    QSslSocket client;
    QSslConfiguration clientSide = client.sslConfiguration();
    clientSide.setCaCertificates(QSslCertificate::fromPath(file(u"ca.pem"_qs)));
    clientSide.setPeerVerifyMode(QSslSocket::VerifyNone);
    if (!certificate.isEmpty()) {
        clientSide.setLocalCertificate(
            QSslCertificate::fromPath(file(certificate + u".pem"_qs)).value(0));
        QFile key(file(certificate + u".key"_qs));
        QVERIFY(key.open(QIODevice::ReadOnly));
        clientSide.setPrivateKey(QSslKey(key.readAll(), QSsl::Rsa));
    }
    client.setSslConfiguration(clientSide);
    client.connectToHostEncrypted(u"127.0.0.1"_qs, listener.serverPort());
    // Sent as soon as the client's side is done, before the server has decided.
    connect(&client, &QSslSocket::encrypted, this, [&client] { client.write(counted(reading)); });

    if (posts) {
        QTRY_COMPARE(receiver.packets(), 1.0);
        receiver.publish();
        QVERIFY(hasHost(table, u"relay1"_qs));
        QCOMPARE(listener.counts().refused, 0);
    } else {
        QTRY_COMPARE(listener.counts().refused, 1);
        // It reads on after "as" in the status line and the log.
        const QString why = listener.lastRefusedWhy();
        QVERIFY2(!why.isEmpty() && why.at(0).isLower(), qPrintable(why));
        QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
        QTest::qWait(50);
        QCOMPARE(receiver.packets(), 0.0);
    }
}

void TestStreamListener::tlsHandshakeTimesOut()
{
    if (!QSslSocket::supportsSsl())
        QSKIP("No TLS library on this system");
    if (!makeCertificates())
        QSKIP("openssl could not make the certificates");
    QString problem;
    const std::optional<QSslConfiguration> configuration = StreamListener::tlsConfiguration(
        {u"server.pem"_qs, u"server.key"_qs, QString(), {}}, m_dir.path(), &problem);
    QVERIFY2(configuration, qPrintable(problem));
    ReadingsTable table;
    DatagramReceiver receiver(&table);
    StreamListener listener(receiver);
    listener.setTls(*configuration, AllowedClients());
    listener.setTimeouts({60'000, 60'000, 200});
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));

    QTcpSocket silent;
    silent.connectToHost(QHostAddress::LocalHost, listener.serverPort());
    QVERIFY(silent.waitForConnected(5000));
    QTRY_COMPARE(listener.counts().handshakeTimedOut, 1);
    QTRY_COMPARE(silent.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(listener.connectionCount(), 0);
}

void TestStreamListener::tlsFilesChecked_data()
{
    QTest::addColumn<QString>("certificate");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("clientCA");
    QTest::addColumn<QStringList>("allowed");
    QTest::addColumn<QString>("named"); // what the problem names; empty: no problem

    const QString ca = u"ca.pem"_qs;
    const QStringList relay{u"relay1.example.net"_qs};
    QTest::newRow("sound") << u"server.pem"_qs << u"server.key"_qs << ca << relay << QString();
    QTest::newRow("no such certificate")
        << u"missing.pem"_qs << u"server.key"_qs << ca << QStringList() << u"missing.pem"_qs;
    QTest::newRow("key of another")
        << u"server.pem"_qs << u"client.key"_qs << ca << QStringList() << u"client.key"_qs;
    QTest::newRow("key is no key")
        << u"server.pem"_qs << u"ca.pem"_qs << ca << QStringList() << u"ca.pem"_qs;
    QTest::newRow("certificate is no certificate")
        << u"server.key"_qs << u"server.key"_qs << ca << QStringList() << u"server.key"_qs;
    QTest::newRow("clients listed, no CA to vouch for them")
        << u"server.pem"_qs << u"server.key"_qs << QString() << relay << u"clientCA"_qs;
}

void TestStreamListener::tlsFilesChecked()
{
    if (!QSslSocket::supportsSsl())
        QSKIP("No TLS library on this system");
    if (!makeCertificates())
        QSKIP("openssl could not make the certificates");
    QFETCH(QString, certificate);
    QFETCH(QString, key);
    QFETCH(QString, clientCA);
    QFETCH(QStringList, allowed);
    QFETCH(QString, named);
    QString problem;
    const bool made = StreamListener::tlsConfiguration({certificate, key, clientCA, allowed},
                                                       m_dir.path(), &problem)
                          .has_value();
    QCOMPARE(made, named.isEmpty());
    if (!named.isEmpty())
        QVERIFY2(problem.contains(named), qPrintable(problem));
}

QTEST_GUILESS_MAIN(TestStreamListener)
#include "tst_streamlistener.moc"
