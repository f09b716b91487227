#include "engine/monitor/monitor.h"
#include "engine/settings/jsonsettingsfile.h"
#include "engine/settings/settingsfile.h"
#include "fakedatagramsocket.h"
#include "fakereceiveclock.h"
#include "testsupport.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <memory>

// The engine with no window: what main() makes before the main window, listening and
// filling its table on its own.
class TestMonitor final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void startUpBindsTheStoredPort_data();
    void startUpBindsTheStoredPort();
    void readingsReachTheTable_data();
    void readingsReachTheTable();
    void aPortAppliedMovesTheReceiver();
    void metricsApplied_data();
    void metricsApplied();
    void streamsApplied_data();
    void streamsApplied();
    void actionsFromAFileOthersMayWrite();

private:
    SettingsFile settingsHolding(const QByteArray &stored);

    std::unique_ptr<QTemporaryDir> m_program;
    std::unique_ptr<QTemporaryDir> m_user;
};

void TestMonitor::init()
{
    m_program = std::make_unique<QTemporaryDir>();
    m_user = std::make_unique<QTemporaryDir>();
}

SettingsFile TestMonitor::settingsHolding(const QByteArray &stored)
{
    if (!stored.isNull() && !writeBytes(m_program->filePath(SettingsFile::fileName), stored))
        qFatal("cannot write the settings file for the test");
    return SettingsFile(m_program->path(), m_user->path());
}

void TestMonitor::startUpBindsTheStoredPort_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<quint16>("bound");
    QTest::addColumn<bool>("told");

    QTest::newRow("a port") << QByteArray("5140\r\n") << quint16(5140) << false;
    QTest::newRow("no file") << QByteArray() << quint16(514) << false;
    QTest::newRow("not a port") << QByteArray("syslog") << quint16(514) << true;
}

void TestMonitor::startUpBindsTheStoredPort()
{
    QFETCH(QByteArray, stored);
    QFETCH(quint16, bound);
    QFETCH(bool, told);

    auto *socket = new FakeDatagramSocket;
    Monitor monitor(settingsHolding(stored), nullptr, socket);
    QVERIFY(!monitor.receiver().isListening());
    const QString problems = monitor.portSetting().bindAtStartUp(monitor.portSetting().read());
    QCOMPARE(socket->boundPorts, QList<quint16>{bound});
    QVERIFY(monitor.receiver().isListening());
    QCOMPARE(monitor.receiver().port(), bound);
    QCOMPARE(!problems.isEmpty(), told);
}

void TestMonitor::readingsReachTheTable_data()
{
    QTest::addColumn<QByteArrayList>("datagrams");
    QTest::addColumn<QStringList>("hosts");
    QTest::addColumn<QString>("lastValue");

    QTest::newRow("one host") << QByteArrayList{"<13>Dec  8 02:56:54 vm senvo[CPU]: t=45 C"}
                              << QStringList{u"vm"_qs} << u" 45 "_qs;
    QTest::newRow("two hosts, the first twice")
        << QByteArrayList{"<13>Dec  8 02:56:54 a senvo[CPU]: t=45 C",
                          "<13>Dec  8 02:56:55 b senvo[CPU]: t=7 C",
                          "<13>Dec  8 02:56:56 a senvo[CPU]: t=46 C"}
        << QStringList{u"a"_qs, u"b"_qs} << u" 7 "_qs;
    QTest::newRow("no host: the sender's address") << QByteArrayList{"<12>senvo[Fan]: t=1200 rpm"}
                                                   << QStringList{u"127.0.0.1"_qs} << u" 1200 "_qs;
}

void TestMonitor::readingsReachTheTable()
{
    QFETCH(QByteArrayList, datagrams);
    QFETCH(QStringList, hosts);
    QFETCH(QString, lastValue);

    const quint16 port = freePort();
    FakeReceiveClock clock;
    Monitor monitor(settingsHolding(QByteArray::number(port)), nullptr, nullptr, &clock);
    QVERIFY(monitor.portSetting().bindAtStartUp(monitor.portSetting().read()).isEmpty());
    QUdpSocket sender;
    qint64 bytes = 0;
    for (const QByteArray &datagram : datagrams) {
        QCOMPARE(sender.writeDatagram(datagram, QHostAddress::LocalHost, port), datagram.size());
        bytes += datagram.size();
    }
    QTRY_COMPARE(monitor.receiver().packets(), double(datagrams.size()));
    QCOMPARE(monitor.receiver().bytes(), double(bytes));
    monitor.receiver().publish();

    const ReadingsTable &table = monitor.table();
    QCOMPARE(table.hostCount(), int(hosts.size()));
    for (int row = 0; row < hosts.size(); ++row)
        QCOMPARE(table.text(row, 0), hosts[row]);
    const int lastRow = hosts.size() - 1;
    QCOMPARE(table.text(lastRow, ReadingsTable::firstNameColumn + 1), lastValue);
    // Heard on the clock the monitor was given.
    QCOMPARE(table.lastHeard(lastRow), clock.wallTime());
}

void TestMonitor::aPortAppliedMovesTheReceiver()
{
    Monitor monitor(settingsHolding(QByteArray::number(freePort())));
    QVERIFY(monitor.portSetting().bindAtStartUp(monitor.portSetting().read()).isEmpty());
    const quint16 next = freePort();
    QSignalSpy applied(&monitor.portSetting(), &PortSetting::portApplied);
    QCOMPARE(monitor.portSetting().apply(QString::number(next)).outcome,
             PortSetting::Outcome::AppliedAndSaved);
    QCOMPARE(applied.size(), 1);
    QCOMPARE(monitor.receiver().port(), next);

    QUdpSocket sender;
    const QByteArray datagram = "<13>Dec  8 02:56:54 vm senvo[CPU]: t=45 C";
    QCOMPARE(sender.writeDatagram(datagram, QHostAddress::LocalHost, next), datagram.size());
    QTRY_COMPARE(monitor.receiver().packets(), 1.0);
    // The next start-up listens there too.
    QCOMPARE(readBytes(m_program->filePath(SettingsFile::fileName)).trimmed(),
             QByteArray::number(next));
}

void TestMonitor::metricsApplied_data()
{
    QTest::addColumn<bool>("servedBefore");
    QTest::addColumn<bool>("on");
    QTest::addColumn<bool>("portTaken");
    QTest::addColumn<QString>("told"); // the start of what the user is told; empty: applied
    QTest::newRow("turned on") << false << true << false << QString();
    QTest::newRow("moved") << true << true << false << QString();
    QTest::newRow("turned off") << true << false << false << QString();
    QTest::newRow("a port in use: nothing changes")
        << false << true << true << u"Cannot serve metrics on 127.0.0.1:"_qs;
    QTest::newRow("a port in use while serving: the old one is kept")
        << true << true << true << u"Cannot serve metrics on 127.0.0.1:"_qs;
}

void TestMonitor::metricsApplied()
{
    QFETCH(bool, servedBefore);
    QFETCH(bool, on);
    QFETCH(bool, portTaken);
    QFETCH(QString, told);
    Monitor monitor(settingsHolding(QByteArray::number(freePort())));
    const auto endpoint = [](quint16 port) { return u"127.0.0.1:%1"_qs.arg(port); };
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::LocalHost, 0));
    const quint16 before = holder.serverPort();
    holder.close();
    if (servedBefore)
        QVERIFY(monitor.applyMetrics(MetricsSettings(endpoint(before), {})).isEmpty());
    QVERIFY(holder.listen(QHostAddress::LocalHost, 0));
    const quint16 asked = holder.serverPort();
    if (!portTaken)
        holder.close();
    const QByteArray written = readBytes(monitor.jsonSettings().path());

    const QString message =
        monitor.applyMetrics(MetricsSettings(on ? endpoint(asked) : QString(), {}));
    QVERIFY2(message.startsWith(told) && message.isEmpty() == told.isEmpty(), qPrintable(message));
    const bool changed = told.isEmpty();
    const bool serving = changed ? on : servedBefore;
    QCOMPARE(monitor.metrics().isListening(), serving);
    if (serving)
        QCOMPARE(monitor.metrics().serverPort(), changed ? asked : before);
    if (!changed) {
        QCOMPARE(readBytes(monitor.jsonSettings().path()), written);
        return;
    }
    const QJsonObject saved =
        QJsonDocument::fromJson(readBytes(monitor.jsonSettings().path())).object();
    QCOMPARE(MetricsSettings::fromObject(saved).listen(), on ? endpoint(asked) : QString());
}

void TestMonitor::streamsApplied_data()
{
    QTest::addColumn<bool>("onBefore");
    QTest::addColumn<bool>("on");
    QTest::addColumn<bool>("portTaken");
    QTest::addColumn<QString>("told"); // the start of what the user is told; empty: applied
    QTest::newRow("turned on") << false << true << false << QString();
    QTest::newRow("moved") << true << true << false << QString();
    QTest::newRow("turned off") << true << false << false << QString();
    QTest::newRow("a port in use: nothing changes")
        << false << true << true << u"Senvo-Net cannot take syslog over TCP on every address"_qs;
    QTest::newRow("a port in use while listening: the old one is kept")
        << true << true << true << u"Senvo-Net cannot take syslog over TCP on every address"_qs;
}

void TestMonitor::streamsApplied()
{
    QFETCH(bool, onBefore);
    QFETCH(bool, on);
    QFETCH(bool, portTaken);
    QFETCH(QString, told);
    QVERIFY(writeBytes(m_program->filePath(JsonSettingsFile::fileName), R"({"other": true})"));
    Monitor monitor(settingsHolding(QByteArray::number(freePort())));
    const auto tcpOn = [](quint16 port) {
        StreamSettings settings;
        settings.setTcpPort(port);
        return settings;
    };
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::Any, 0));
    const quint16 before = holder.serverPort();
    holder.close();
    if (onBefore)
        QVERIFY(monitor.applyStreams(tcpOn(before)).isEmpty());
    QVERIFY(holder.listen(QHostAddress::Any, 0));
    const quint16 asked = holder.serverPort();
    if (!portTaken)
        holder.close();
    const QByteArray written = readBytes(monitor.jsonSettings().path());

    const QString message = monitor.applyStreams(tcpOn(on ? asked : 0));
    QVERIFY2(message.startsWith(told) && message.isEmpty() == told.isEmpty(), qPrintable(message));
    const bool changed = told.isEmpty();
    const bool listening = changed ? on : onBefore;
    QCOMPARE(monitor.tcp().isListening(), listening);
    const quint16 inForce = listening ? (changed ? asked : before) : 0;
    QCOMPARE(monitor.streamSettings().tcpPort(), inForce);
    if (listening)
        QCOMPARE(monitor.tcp().serverPort(), inForce);
    if (!changed) {
        QCOMPARE(readBytes(monitor.jsonSettings().path()), written);
        return;
    }
    const QJsonObject saved =
        QJsonDocument::fromJson(readBytes(monitor.jsonSettings().path())).object();
    QCOMPARE(saved.value(u"other"_qs), QJsonValue(true));
    QCOMPARE(saved.contains(StreamSettings::tcpKey), on);
    QCOMPARE(StreamSettings::fromObject(saved).tcpPort(), on ? asked : 0);
    QVERIFY(!saved.contains(StreamSettings::tlsKey));
}

// Refused, with the file named, while the rest of the file applies; applying them again
// from the window leaves the file to its owner alone.
void TestMonitor::actionsFromAFileOthersMayWrite()
{
#ifndef Q_OS_LINUX
    QSKIP("the permissions of others are a Linux file's");
#endif
    const QString path = m_program->filePath(JsonSettingsFile::fileName);
    QVERIFY(writeBytes(path, R"({"limits": [{"reading": "CPU", "criticalAbove": 90}],
        "actions": [{"name": "pager", "run": ["page"]}]})"));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::WriteGroup));
    Monitor monitor(settingsHolding(QByteArray("5140")));
    QVERIFY(monitor.actionsProblem().contains(path));
    QVERIFY(monitor.limitsProblem().contains(monitor.actionsProblem()));
    QVERIFY(monitor.actions().rules().isEmpty());
    QCOMPARE(monitor.limits().rules().rules().size(), 1);

    QVERIFY(monitor.applyActions(monitor.actionSettings()).isEmpty());
    QVERIFY(!QFileInfo(path).permissions().testFlag(QFile::WriteGroup));
    QCOMPARE(monitor.actions().rules().size(), 1);
    QVERIFY(monitor.actionsProblem().isEmpty());
    QCOMPARE(QJsonDocument::fromJson(readBytes(path))[u"limits"_qs][0][u"criticalAbove"_qs], 90);
}

QTEST_MAIN(TestMonitor)
#include "tst_monitor.moc"
