#include "engine/archive/archivebatch.h"
#include "engine/monitor/monitor.h"
#include "engine/settings/settingsfile.h"
#include "fakereceiveclock.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

// What the monitor tells its notifier as hosts cross their limits, come and go, and the port
// changes; the notifier's clock moves only when told.
class TestTroubleFeed final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void hostsReachTheNotifier_data();
    void hostsReachTheNotifier();
    void choicesAreWrittenKeepingOtherKeys();

private:
    SettingsFile settingsHolding(const QByteArray &json);

    std::unique_ptr<QTemporaryDir> m_program;
    std::unique_ptr<QTemporaryDir> m_user;
};

void TestTroubleFeed::init()
{
    m_program = std::make_unique<QTemporaryDir>();
    m_user = std::make_unique<QTemporaryDir>();
}

SettingsFile TestTroubleFeed::settingsHolding(const QByteArray &json)
{
    if (!writeBytes(m_user->filePath(JsonSettingsFile::fileName.toString()), json)
        || !writeBytes(m_program->filePath(JsonSettingsFile::fileName.toString()), json))
        qFatal("cannot write the settings for the test");
    return SettingsFile(m_program->path(), m_user->path());
}

void TestTroubleFeed::hostsReachTheNotifier_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("told");

    const QString grace = u"wait 61"_qs;
    QTest::newRow("critical after the grace")
        << QStringList{grace, u"db01|CPU| 97 "_qs, u"wait 11"_qs}
        << QStringList{u"db01 critical: CPU 97"_qs};
    QTest::newRow("critical within the grace")
        << QStringList{u"db01|CPU|97"_qs, u"wait 11"_qs} << QStringList{};
    QTest::newRow("warning, not chosen")
        << QStringList{grace, u"db01|CPU|85"_qs, u"wait 11"_qs} << QStringList{};
    QTest::newRow("two hosts in one")
        << QStringList{grace, u"db01|CPU|97"_qs, u"web7|Temp|88"_qs, u"wait 11"_qs}
        << QStringList{u"2 hosts critical: db01 CPU 97, web7 Temp 88"_qs};
    QTest::newRow("recovery told")
        << QStringList{grace, u"db01|CPU|97"_qs, u"wait 11"_qs, u"db01|CPU|20"_qs, u"wait 11"_qs}
        << QStringList{u"db01 critical: CPU 97"_qs, u"db01 is back to normal"_qs};
    QTest::newRow("removed after told: no recovery")
        << QStringList{grace, u"db01|CPU|97"_qs, u"wait 11"_qs, u"remove db01"_qs, u"wait 11"_qs}
        << QStringList{u"db01 critical: CPU 97"_qs};
    QTest::newRow("removed while gathered: nothing")
        << QStringList{grace, u"db01|CPU|97"_qs, u"remove db01"_qs, u"wait 11"_qs} << QStringList{};
    QTest::newRow("removed, the others renumbered")
        << QStringList{grace,          u"a|CPU|10"_qs, u"b|CPU|97"_qs, u"wait 11"_qs,
                       u"remove a"_qs, u"b|CPU|20"_qs, u"wait 11"_qs}
        << QStringList{u"b critical: CPU 97"_qs, u"b is back to normal"_qs};
    QTest::newRow("port change restarts the grace")
        << QStringList{grace, u"port"_qs, u"db01|CPU|97"_qs, u"wait 11"_qs} << QStringList{};
    QTest::newRow("after the new grace")
        << QStringList{grace, u"port"_qs, grace, u"db01|CPU|97"_qs, u"wait 11"_qs}
        << QStringList{u"db01 critical: CPU 97"_qs};
    // Hosts silent before start-up are not newly silent, and their return is no recovery.
    QTest::newRow("restored after the grace: nothing")
        << QStringList{grace, u"restore db01|CPU|97"_qs, u"wait 400"_qs} << QStringList{};
    QTest::newRow("restored, back to normal: nothing")
        << QStringList{u"restore db01|CPU|97"_qs, grace, u"db01|CPU|20"_qs, u"wait 11"_qs}
        << QStringList{};
    QTest::newRow("restored, heard in trouble, then silent: told")
        << QStringList{u"restore db01|CPU|20"_qs,
                       grace,
                       u"db01|CPU|97"_qs,
                       u"wait 11"_qs,
                       u"wait 300"_qs,
                       u"wait 11"_qs}
        << QStringList{u"db01 critical: CPU 97"_qs, u"db01 silent"_qs};
}

void TestTroubleFeed::hostsReachTheNotifier()
{
    QFETCH(const QStringList, steps);
    QFETCH(const QStringList, told);

    qint64 now = 0;
    FakeReceiveClock clock;
    Monitor monitor(settingsHolding(R"({"limits": [
                        {"reading": "CPU", "warningAbove": 80, "criticalAbove": 95},
                        {"reading": "Temp", "criticalAbove": 85}],
                     "notifications": {"notifyRecovery": true}})"),
                    nullptr, nullptr, &clock, [&now] { return now; });
    QStringList bodies;
    connect(&monitor.notifier(), &Notifier::notify, this,
            [&bodies](const Notification &notification) { bodies << notification.body; });
    ReadingsTable &table = monitor.table();
    for (const QString &step : steps) {
        if (step.startsWith(u"wait "_qs)) {
            now += step.mid(5).toLongLong() * 1000;
            clock.seconds += step.mid(5).toDouble();
            table.tick();
            monitor.notifier().poll();
        } else if (step.startsWith(u"restore "_qs)) {
            const QStringList f = step.mid(8).split(u'|');
            monitor.restoreHosts({{f[0], 0, {{f[1], f[2]}}}});
        } else if (step == u"port"_qs) {
            QCOMPARE(monitor.portSetting().apply(QString::number(freePort())).outcome,
                     PortSetting::Outcome::AppliedAndSaved);
        } else if (step.startsWith(u"remove "_qs)) {
            for (int row = 0; row < table.hostCount(); ++row) {
                if (table.host(row) == step.mid(7))
                    table.removeHosts({row});
            }
        } else {
            const QStringList f = step.split(u'|');
            table.beginBatch();
            table.fillgrid({{}, u"Jun 10"_qs, u"19:35:00"_qs, f[0], f[1], f[2]});
            table.publish();
        }
    }
    QCOMPARE(bodies, told);
}

void TestTroubleFeed::choicesAreWrittenKeepingOtherKeys()
{
    Monitor monitor(settingsHolding(R"({"limits": [{"reading": "CPU", "criticalAbove": 95}],
                                        "notifications": {"notifySound": false, "later": 3},
                                        "other": "kept"})"));
    QVERIFY(monitor.notifier().choices().critical);
    NotifyChoices choices;
    choices.critical = false;
    choices.warning = true;
    choices.sound = true;
    QVERIFY(monitor.applyNotifyChoices(choices).saved);
    QCOMPARE(monitor.notifier().choices(), choices);

    const QJsonObject written =
        QJsonDocument::fromJson(readBytes(monitor.jsonSettings().path())).object();
    QCOMPARE(written.value(u"other"_qs).toString(), u"kept"_qs);
    QCOMPARE(written.value(u"limits"_qs).toArray().size(), 1);
    const QJsonObject notifications = written.value(u"notifications"_qs).toObject();
    QCOMPARE(notifications.value(u"later"_qs).toInt(), 3);
    QCOMPARE(NotifyChoices::fromJson(notifications), choices);
}

QTEST_GUILESS_MAIN(TestTroubleFeed)
#include "tst_troublefeed.moc"
