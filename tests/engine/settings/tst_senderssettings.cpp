#include "engine/monitor/monitor.h"
#include "engine/settings/jsonsettingsfile.h"
#include "engine/settings/settingsfile.h"
#include "fakedatagramsocket.h"
#include "testsupport.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <memory>

// Who may send and where to listen: read from Senvo-Net.json at start-up, and applied later
// through the monitor, over loopback.
class TestSendersSettings final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void keysReadAtStartUp_data();
    void keysReadAtStartUp();
    void applyingKeepsOtherKeys_data();
    void applyingKeepsOtherKeys();

private:
    SettingsFile settingsHolding(const QByteArray &json, quint16 port);

    std::unique_ptr<QTemporaryDir> m_program;
    std::unique_ptr<QTemporaryDir> m_user;
};

void TestSendersSettings::init()
{
    m_program = std::make_unique<QTemporaryDir>();
    m_user = std::make_unique<QTemporaryDir>();
}

SettingsFile TestSendersSettings::settingsHolding(const QByteArray &json, quint16 port)
{
    if (!writeBytes(m_program->filePath(SettingsFile::fileName), QByteArray::number(port))
        || !writeBytes(m_program->filePath(JsonSettingsFile::fileName), json))
        qFatal("cannot write the settings files for the test");
    return SettingsFile(m_program->path(), m_user->path());
}

void TestSendersSettings::keysReadAtStartUp_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("fromIPv4Shown");
    QTest::addColumn<bool>("fromIPv6Shown");
    QTest::addColumn<bool>("fromIPv6Reaches");
    QTest::addColumn<QString>("told"); // part of the start-up message; empty for none

    QTest::newRow("no keys") << QByteArray("{}") << true << true << true << QString();
    QTest::newRow("an empty list")
        << QByteArray(R"({"allowedSenders": []})") << true << true << true << QString();
    QTest::newRow("only ::1") << QByteArray(R"({"allowedSenders": ["::1"]})") << false << true
                              << true << QString();
    QTest::newRow("a bad entry is left out, the sound one applies")
        << QByteArray(R"({"allowedSenders": ["::1", "10.0.0.300"]})") << false << true << true
        << u"entry 2 is left out: \"10.0.0.300\""_qs;
    QTest::newRow("a prefix of the IPv4 loopback")
        << QByteArray(R"({"allowedSenders": ["127.0.0.0/8"]})") << true << false << true
        << QString();
    QTest::newRow("listening on 127.0.0.1 alone")
        << QByteArray(R"({"listenAddress": "127.0.0.1"})") << true << false << false << QString();
    QTest::newRow("not an address")
        << QByteArray(R"({"listenAddress": "localhost"})") << false << false << false
        << u"listenAddress \"localhost\" is not an IP address"_qs;
}

void TestSendersSettings::keysReadAtStartUp()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, fromIPv4Shown);
    QFETCH(bool, fromIPv6Shown);
    QFETCH(bool, fromIPv6Reaches);
    QFETCH(QString, told);

    const quint16 port = freePort();
    Monitor monitor(settingsHolding(json, port));
    QCOMPARE(monitor.limitsProblem().contains(told), true);
    QCOMPARE(monitor.limitsProblem().isEmpty(), told.isEmpty());
    const QString bindProblem = monitor.portSetting().bindAtStartUp(monitor.portSetting().read());
    const bool listening = monitor.receiver().isListening();
    QCOMPARE(bindProblem.isEmpty(), listening);
    if (!listening) {
        QVERIFY(!fromIPv4Shown && !fromIPv6Shown && !fromIPv6Reaches);
        return;
    }

    const QByteArray fromIPv4 = "<13>Dec  8 02:56:54 four senvo[CPU]: t=4 C";
    const QByteArray fromIPv6 = "<13>Dec  8 02:56:54 six senvo[CPU]: t=6 C";
    QUdpSocket four;
    QUdpSocket six;
    QCOMPARE(four.writeDatagram(fromIPv4, QHostAddress::LocalHost, port), fromIPv4.size());
    six.writeDatagram(fromIPv6, QHostAddress::LocalHostIPv6, port);
    const double arriving = 1 + (fromIPv6Reaches ? 1 : 0);
    QTRY_COMPARE(monitor.receiver().packets(), arriving);
    // Time for a datagram that should not arrive to show that it did.
    QTest::qWait(100);
    QCOMPARE(monitor.receiver().packets(), arriving);
    monitor.receiver().publish();

    QStringList shown;
    for (int row = 0; row < monitor.table().hostCount(); ++row)
        shown << monitor.table().text(row, 0);
    QCOMPARE(shown.contains(u"four"_qs), fromIPv4Shown);
    QCOMPARE(shown.contains(u"six"_qs), fromIPv6Shown);
    const int ignored = (fromIPv4Shown ? 0 : 1) + (fromIPv6Reaches && !fromIPv6Shown ? 1 : 0);
    QCOMPARE(monitor.receiver().ignored(), double(ignored));
    if (ignored == 1)
        QCOMPARE(monitor.receiver().lastIgnoredSender().toText(),
                 fromIPv4Shown ? u"::1"_qs : u"127.0.0.1"_qs);
}

void TestSendersSettings::applyingKeepsOtherKeys_data()
{
    QTest::addColumn<QString>("startAddress");
    QTest::addColumn<QString>("newAddress");
    QTest::addColumn<int>("binds"); // after the one at start-up
    QTest::addColumn<bool>("applied");

    QTest::newRow("same address: not bound again")
        << u"127.0.0.1"_qs << u"127.0.0.1"_qs << 0 << true;
    QTest::newRow("every address, kept") << QString() << QString() << 0 << true;
    QTest::newRow("to ::1") << u"127.0.0.1"_qs << u"::1"_qs << 1 << true;
    QTest::newRow("to every address") << u"::1"_qs << QString() << 1 << true;
    // The fake socket refuses this address; the receiver goes back.
    QTest::newRow("an address the machine lacks")
        << u"127.0.0.1"_qs << u"192.0.2.1"_qs << 2 << false;
}

void TestSendersSettings::applyingKeepsOtherKeys()
{
    QFETCH(QString, startAddress);
    QFETCH(QString, newAddress);
    QFETCH(int, binds);
    QFETCH(bool, applied);

    QJsonObject start{{u"limits"_qs, QJsonArray{u"kept"_qs}}, {u"someday"_qs, 7}};
    if (!startAddress.isEmpty())
        start.insert(u"listenAddress"_qs, startAddress);
    const QByteArray json = QJsonDocument(start).toJson();
    auto *socket = new FakeDatagramSocket;
    socket->refusedAddresses << QHostAddress(u"192.0.2.1"_qs);
    Monitor monitor(settingsHolding(json, 5140), nullptr, socket);
    QVERIFY(monitor.portSetting().bindAtStartUp(monitor.portSetting().read()).isEmpty());

    const Monitor::SendersResult result =
        monitor.applySenders(SendersSettings({u" ::1 "_qs, u""_qs, u"10.0.0.0/8"_qs}, newAddress));
    QCOMPARE(result.applied, applied);
    QCOMPARE(result.message.isEmpty(), applied);
    QCOMPARE(socket->boundAddresses.size(), 1 + binds);
    QVERIFY(monitor.receiver().isListening());
    QCOMPARE(monitor.receiver().port(), quint16(5140));

    const QJsonObject written =
        QJsonDocument::fromJson(readBytes(m_program->filePath(JsonSettingsFile::fileName)))
            .object();
    QCOMPARE(written.value(u"someday"_qs).toInt(), 7);
    QCOMPARE(written.value(u"limits"_qs), QJsonValue(QJsonArray{u"kept"_qs}));
    if (!applied) {
        QCOMPARE(written, start);
        QCOMPARE(monitor.receiver().address(), QHostAddress(startAddress));
        QVERIFY(monitor.receiver().senderFilter().allowsEverySender());
        return;
    }
    QCOMPARE(written.value(u"allowedSenders"_qs),
             QJsonValue(QJsonArray{u"::1"_qs, u"10.0.0.0/8"_qs}));
    QCOMPARE(written.value(u"listenAddress"_qs).toString(), newAddress);
    QCOMPARE(monitor.receiver().address(),
             newAddress.isEmpty() ? QHostAddress() : QHostAddress(newAddress));
    QCOMPARE(monitor.receiver().senderFilter().entries(),
             QStringList({u"::1"_qs, u"10.0.0.0/8"_qs}));
}

QTEST_GUILESS_MAIN(TestSendersSettings)
#include "tst_senderssettings.moc"
