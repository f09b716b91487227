#include "engine/settings/streamsettings.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

// TCP and TLS as Senvo-Net.json keeps them: what is read, what is refused and why, and what
// is written back with the rest of the file left as it was.
class TestStreamSettings final : public QObject
{
    Q_OBJECT

private slots:
    void readAndWrittenBack_data();
    void readAndWrittenBack();
    void otherKeysStay_data();
    void otherKeysStay();
};

namespace {

const QString fingerprint =
    u"SHA256:"_qs + QString(u"AB"_qs).repeated(31) + u"CD"_qs; // 32 bytes in hex

QJsonObject objectOf(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

} // namespace

void TestStreamSettings::readAndWrittenBack_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<quint16>("tcp");
    QTest::addColumn<quint16>("tls");
    QTest::addColumn<QStringList>("files"); // certificate, private key, client CA
    QTest::addColumn<QStringList>("clients");
    QTest::addColumn<QStringList>("errors"); // how each begins; none: written back as read

    const QStringList none;
    const QStringList noFiles{QString(), QString(), QString()};
    QTest::newRow("off") << QByteArray("{}") << quint16(0) << quint16(0) << noFiles << none << none;
    QTest::newRow("tcp only") << QByteArray(R"({"tcp": {"port": 5514}})") << quint16(5514)
                              << quint16(0) << noFiles << none << none;
    QTest::newRow("tls with files and allowed clients")
        << (R"({"tls": {"port": 6514, "certificate": "server.pem", "privateKey": "server.key",
               "clientCA": "ca.pem", "allowedClients": ["relay1.example.net", ")"
            + fingerprint.toLatin1() + R"("]}})")
        << quint16(0) << quint16(6514)
        << QStringList{u"server.pem"_qs, u"server.key"_qs, u"ca.pem"_qs}
        << QStringList{u"relay1.example.net"_qs, fingerprint} << none;
    QTest::newRow("tls off, its files kept")
        << QByteArray(R"({"tls": {"certificate": "/etc/s.pem", "privateKey": "/etc/s.key"}})")
        << quint16(0) << quint16(0) << QStringList{u"/etc/s.pem"_qs, u"/etc/s.key"_qs, QString()}
        << none << none;

    QTest::newRow("a port as text")
        << QByteArray(R"({"tcp": {"port": "5514"}})") << quint16(0) << quint16(0) << noFiles << none
        << QStringList{u"tcp, port is not a whole number"_qs};
    QTest::newRow("a port out of range")
        << QByteArray(R"({"tcp": {"port": 65536}, "tls": {"port": 0, "certificate": "c",
                         "privateKey": "k"}})")
        << quint16(0) << quint16(0) << QStringList{u"c"_qs, u"k"_qs, QString()} << none
        << QStringList{u"tcp, port is not a whole number"_qs,
                       u"tls, port is not a whole number"_qs};
    QTest::newRow("a port with a fraction")
        << QByteArray(R"({"tcp": {"port": 5514.5}})") << quint16(0) << quint16(0) << noFiles << none
        << QStringList{u"tcp, port is not"_qs};
    QTest::newRow("tcp not an object")
        << QByteArray(R"({"tcp": 5514})") << quint16(0) << quint16(0) << noFiles << none
        << QStringList{u"tcp is not an object, so TCP is off"_qs};
    QTest::newRow("allowedClients not a list: tls off")
        << QByteArray(R"({"tls": {"port": 6514, "certificate": "c", "privateKey": "k",
                         "allowedClients": "relay1"}})")
        << quint16(0) << quint16(0) << QStringList{u"c"_qs, u"k"_qs, QString()} << none
        << QStringList{u"tls, allowedClients is not a list, so TLS is off"_qs};
    QTest::newRow("a malformed client left out, the others kept")
        << QByteArray(R"({"tls": {"port": 6514, "certificate": "c", "privateKey": "k",
                         "allowedClients": ["relay1", "SHA256:12:34", 7, "relay2"]}})")
        << quint16(0) << quint16(6514) << QStringList{u"c"_qs, u"k"_qs, QString()}
        << QStringList{u"relay1"_qs, u"relay2"_qs}
        << QStringList{u"tls, allowedClients entry 2 is left out: \"SHA256:12:34\" is not a "
                       "SHA-256 fingerprint"_qs,
                       u"tls, allowedClients entry 3 is left out: it is not text"_qs};
    QTest::newRow("every client malformed: tls off")
        << QByteArray(R"({"tls": {"port": 6514, "certificate": "c", "privateKey": "k",
                         "allowedClients": ["relay one"]}})")
        << quint16(0) << quint16(0) << QStringList{u"c"_qs, u"k"_qs, QString()} << none
        << QStringList{u"tls, allowedClients entry 1 is left out: \"relay one\" is not a host"_qs,
                       u"tls, allowedClients: no entry is a name or a fingerprint"_qs};
}

void TestStreamSettings::readAndWrittenBack()
{
    QFETCH(QByteArray, json);
    QFETCH(quint16, tcp);
    QFETCH(quint16, tls);
    QFETCH(QStringList, files);
    QFETCH(QStringList, clients);
    QFETCH(QStringList, errors);

    const QJsonObject given = objectOf(json);
    QVERIFY(!given.isEmpty() || json == "{}");
    const StreamSettings read = StreamSettings::fromObject(given);
    QCOMPARE(read.tcpPort(), tcp);
    QCOMPARE(read.tlsPort(), tls);
    QCOMPARE((QStringList{read.certificate(), read.privateKey(), read.clientCA()}), files);
    QCOMPARE(read.allowedClients(), clients);
    QCOMPARE(read.errors().size(), errors.size());
    for (qsizetype i = 0; i < errors.size(); ++i)
        QVERIFY2(read.errors().at(i).startsWith(errors.at(i)), qPrintable(read.errors().at(i)));

    QJsonObject written;
    read.writeTo(written);
    if (errors.isEmpty())
        QCOMPARE(written, given);
    // What was written reads back the same, and without complaint.
    const StreamSettings again = StreamSettings::fromObject(written);
    QVERIFY(again == read);
    QCOMPARE(again.errors(), QStringList());
}

void TestStreamSettings::otherKeysStay_data()
{
    QTest::addColumn<quint16>("tcp");
    QTest::addColumn<quint16>("tls");
    QTest::addColumn<QByteArray>("expected"); // the streams' keys as written

    QTest::newRow("both off: the old keys removed") << quint16(0) << quint16(0) << QByteArray("{}");
    QTest::newRow("tcp moved") << quint16(5600) << quint16(0)
                               << QByteArray(R"({"tcp": {"port": 5600}})");
    QTest::newRow("tls on")
        << quint16(0) << quint16(7000)
        << QByteArray(R"({"tls": {"port": 7000, "certificate": "s.pem", "privateKey": "s.key"}})");
}

void TestStreamSettings::otherKeysStay()
{
    QFETCH(quint16, tcp);
    QFETCH(quint16, tls);
    QFETCH(QByteArray, expected);

    const QJsonObject others = objectOf(R"({"allowedSenders": ["::1"], "metrics": {"listen":
        "127.0.0.1:9464"}, "limits": [{"name": "CPU"}]})");
    QJsonObject root = others;
    root.insert(u"tcp"_qs, objectOf(R"({"port": 5514})"));
    root.insert(u"tls"_qs, objectOf(R"({"port": 6514, "certificate": "old.pem",
        "privateKey": "old.key", "allowedClients": ["old"]})"));

    StreamSettings settings;
    settings.setTcpPort(tcp);
    settings.setTlsPort(tls);
    if (tls != 0)
        settings.setTlsFiles(u" s.pem "_qs, u"s.key"_qs, QString());
    settings.writeTo(root);

    QJsonObject want = others;
    const QJsonObject streams = objectOf(expected);
    for (auto it = streams.begin(); it != streams.end(); ++it)
        want.insert(it.key(), it.value());
    QCOMPARE(root, want);
}

QTEST_GUILESS_MAIN(TestStreamSettings)
#include "tst_streamsettings.moc"
