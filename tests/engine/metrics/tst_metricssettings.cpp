#include "engine/metrics/metricssettings.h"
#include "engine/reception/senderaddress.h"

#include <QJsonDocument>
#include <QTest>

namespace {

QJsonObject objectOf(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

// "127.0.0.1 9464", "none" where listen() names no endpoint.
QString endpointOf(const MetricsSettings &settings)
{
    const std::optional<QHostAddress> address = settings.address();
    if (!address)
        return u"none"_qs;
    // Every address of both families prints as IPv4's "0.0.0.0".
    const QString text =
        *address == QHostAddress(QHostAddress::Any) ? u"any"_qs : address->toString();
    return text + u' ' + QString::number(settings.port());
}

} // namespace

// The "metrics" object of Senvo-Net.json: where the readings are served, and to whom.
class TestMetricsSettings final : public QObject
{
    Q_OBJECT

private slots:
    void read_data();
    void read();
    void writtenAsRead_data();
    void writtenAsRead();
    void whoMayAsk_data();
    void whoMayAsk();
};

void TestMetricsSettings::read_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QString>("endpoint");
    QTest::addColumn<QStringList>("allowed");
    QTest::addColumn<QString>("error"); // found in errors(), joined; empty for none

    QTest::newRow("no key: off") << QByteArray("{}") << false << u"none"_qs << QStringList()
                                 << QString();
    QTest::newRow("empty listen: off") << QByteArray(R"({"metrics": {"listen": " "}})") << false
                                       << u"none"_qs << QStringList() << QString();
    QTest::newRow("IPv4 loopback") << QByteArray(R"({"metrics": {"listen": " 127.0.0.1:9464 "}})")
                                   << true << u"127.0.0.1 9464"_qs << QStringList() << QString();
    QTest::newRow("every IPv4 address, a list")
        << QByteArray(R"({"metrics": {"listen": "0.0.0.0:9100", "allowed": ["10.0.0.0/8", " ",
                      "::1"]}})")
        << true << u"0.0.0.0 9100"_qs << QStringList{u"10.0.0.0/8"_qs, u"::1"_qs} << QString();
    QTest::newRow("every address of both families")
        << QByteArray(R"({"metrics": {"listen": "[::]:9464"}})") << true << u"any 9464"_qs
        << QStringList() << QString();
    QTest::newRow("IPv6 loopback") << QByteArray(R"({"metrics": {"listen": "[::1]:1"}})") << true
                                   << u"::1 1"_qs << QStringList() << QString();
    QTest::newRow("localhost") << QByteArray(R"({"metrics": {"listen": "LocalHost:65535"}})")
                               << true << u"127.0.0.1 65535"_qs << QStringList() << QString();
    QTest::newRow("no port") << QByteArray(R"({"metrics": {"listen": "127.0.0.1"}})") << true
                             << u"none"_qs << QStringList()
                             << u"metrics, listen: \"127.0.0.1\" has no port"_qs;
    QTest::newRow("IPv6 without brackets")
        << QByteArray(R"({"metrics": {"listen": "::1:9464"}})") << true << u"none"_qs
        << QStringList() << u"\"::1:9464\" has no port"_qs;
    QTest::newRow("IPv4 in brackets")
        << QByteArray(R"({"metrics": {"listen": "[10.0.0.1]:80"}})") << true << u"none"_qs
        << QStringList() << u"\"[10.0.0.1]:80\" is not an address and port"_qs;
    QTest::newRow("a name") << QByteArray(R"({"metrics": {"listen": "example.test:9464"}})") << true
                            << u"none"_qs << QStringList()
                            << u"\"example.test:9464\" is not an address and port"_qs;
    QTest::newRow("port out of range")
        << QByteArray(R"({"metrics": {"listen": "127.0.0.1:65536"}})") << true << u"none"_qs
        << QStringList() << u"the port of \"127.0.0.1:65536\" is out of range"_qs;
    QTest::newRow("port not a number")
        << QByteArray(R"({"metrics": {"listen": "127.0.0.1:-1"}})") << true << u"none"_qs
        << QStringList() << u"the port of \"127.0.0.1:-1\" is out of range"_qs;
    QTest::newRow("listen not text") << QByteArray(R"({"metrics": {"listen": 9464}})") << false
                                     << u"none"_qs << QStringList() << u"listen is not text"_qs;
    QTest::newRow("metrics not an object")
        << QByteArray(R"({"metrics": "127.0.0.1:9464"})") << false << u"none"_qs << QStringList()
        << u"metrics is not an object"_qs;
    QTest::newRow("a bad entry is left out")
        << QByteArray(R"({"metrics": {"listen": "127.0.0.1:9464", "allowed": ["10.0.0.0/8",
                      "10.0.0.300"]}})")
        << true << u"127.0.0.1 9464"_qs << QStringList{u"10.0.0.0/8"_qs}
        << u"allowed entry 2 is left out: \"10.0.0.300\" is not an address or a prefix"_qs;
    QTest::newRow("an entry not text")
        << QByteArray(R"({"metrics": {"allowed": ["::1", 7]}})") << false << u"none"_qs
        << QStringList{u"::1"_qs} << u"allowed entry 2 is left out: it is not text"_qs;
}

void TestMetricsSettings::read()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, on);
    QFETCH(QString, endpoint);
    QFETCH(QStringList, allowed);
    QFETCH(QString, error);

    const MetricsSettings settings = MetricsSettings::fromObject(objectOf(json));
    QCOMPARE(settings.isOn(), on);
    QCOMPARE(endpointOf(settings), endpoint);
    QCOMPARE(settings.allowed(), allowed);
    const QString errors = settings.errors().join(u'\n');
    if (error.isEmpty())
        QCOMPARE(errors, QString());
    else
        QVERIFY2(errors.contains(error), qPrintable(errors));
    // What the settings page shows for the same text: nothing for off.
    QCOMPARE(MetricsSettings::checkListen(settings.listen()).isEmpty(), !on || endpoint != u"none");
}

void TestMetricsSettings::writtenAsRead_data()
{
    QTest::addColumn<QString>("listen");
    QTest::addColumn<QStringList>("allowed");
    QTest::addColumn<QByteArray>("written"); // the "metrics" key as written; empty for none

    QTest::newRow("off") << QString() << QStringList() << QByteArray();
    QTest::newRow("on") << u" [::1]:9464"_qs << QStringList()
                        << QByteArray(R"({"listen":"[::1]:9464"})");
    QTest::newRow("on, with a list")
        << u"127.0.0.1:9464"_qs << QStringList{u" 10.0.0.0/8 "_qs, QString()}
        << QByteArray(R"({"allowed":["10.0.0.0/8"],"listen":"127.0.0.1:9464"})");
    QTest::newRow("off, the list kept for later")
        << QString() << QStringList{u"::1"_qs} << QByteArray(R"({"allowed":["::1"]})");
}

// Written into a file that holds other keys, and read back the same.
void TestMetricsSettings::writtenAsRead()
{
    QFETCH(QString, listen);
    QFETCH(QStringList, allowed);
    QFETCH(QByteArray, written);

    QJsonObject root = objectOf(R"({"metrics": {"listen": "0.0.0.0:1"}, "other": 1})");
    const MetricsSettings settings(listen, allowed);
    settings.writeTo(root);
    QCOMPARE(root.value(u"other"_qs).toInt(), 1);
    QCOMPARE(
        QJsonDocument(root.value(MetricsSettings::key).toObject()).toJson(QJsonDocument::Compact),
        written.isEmpty() ? QByteArray("{}") : written);
    QCOMPARE(root.contains(MetricsSettings::key), !written.isEmpty());
    const MetricsSettings read = MetricsSettings::fromObject(root);
    QCOMPARE(read.listen(), settings.listen());
    QCOMPARE(read.allowed(), settings.allowed());
}

void TestMetricsSettings::whoMayAsk_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("asking");
    QTest::addColumn<QString>("let"); // "yes", "no", or "nobody" when no filter can be made

    const QByteArray prefix =
        R"({"metrics": {"listen": "127.0.0.1:9464", "allowed": ["10.0.0.0/8"]}})";
    QTest::newRow("in the prefix") << prefix << u"10.1.2.3"_qs << u"yes"_qs;
    QTest::newRow("outside it") << prefix << u"127.0.0.1"_qs << u"no"_qs;
    QTest::newRow("no list: anyone") << QByteArray(R"({"metrics": {"listen": "127.0.0.1:9464"}})")
                                     << u"127.0.0.1"_qs << u"yes"_qs;
    QTest::newRow("only a mistyped entry: nobody")
        << QByteArray(R"({"metrics": {"listen": "127.0.0.1:9464", "allowed": ["10.0.0.0/33"]}})")
        << u"127.0.0.1"_qs << u"nobody"_qs;
    QTest::newRow("not a list: nobody")
        << QByteArray(R"({"metrics": {"listen": "127.0.0.1:9464", "allowed": "10.0.0.0/8"}})")
        << u"10.0.0.1"_qs << u"nobody"_qs;
}

void TestMetricsSettings::whoMayAsk()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, asking);
    QFETCH(QString, let);

    std::optional<SenderFilter> filter = MetricsSettings::fromObject(objectOf(json)).filter();
    if (!filter) {
        QCOMPARE(u"nobody"_qs, let);
        return;
    }
    const bool allowed = filter->allows(SenderAddress::fromHostAddress(QHostAddress(asking)));
    QCOMPARE(allowed ? u"yes"_qs : u"no"_qs, let);
}

QTEST_GUILESS_MAIN(TestMetricsSettings)
#include "tst_metricssettings.moc"
