#include "engine/notify/notifier.h"

#include <QJsonObject>
#include <QTest>

class TestNotifier final : public QObject
{
    Q_OBJECT

private slots:
    void decisions_data();
    void decisions();
    void choicesKeepOtherKeys();
};

// A script is steps "61 db01 critical CPU 97; 71 poll": at so many seconds after start, a
// host's new state and its detail, or one of poll, mute MINUTES, mute (until unmuted),
// unmute, restart, closed. A row's choices are the defaults with the keys it names turned.
void TestNotifier::decisions_data()
{
    QTest::addColumn<QString>("turned");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("said");

    const QString db01 = u"1 host critical | db01 critical [critical]"_qs;
    QTest::newRow("nothing in the first minute, nor later for what it saw")
        << QString() << u"5 db01 critical CPU 97; 59.9 web3 silent; 70 poll; 200 poll"_qs
        << QStringList();
    QTest::newRow("gathered for ten seconds from the first, latest detail, a long list cut")
        << QString()
        << u"61 db01 critical CPU 97; 64 db02 critical CPU 99; 66 db01 critical CPU 98; 66 h3 "
           "critical; 66 h4 critical; 66 h5 critical; 70.9 poll; 70.95 web7 critical Temp 88; 71 "
           "poll; 90 poll"_qs
        << QStringList{u"6 hosts critical | 6 hosts critical: db01 CPU 98, db02 CPU 99, h3, h4, "
                       "h5 \u2026 and 1 more [critical]"_qs};
    QTest::newRow("as many hosts as fit on the line, all named")
        << QString()
        << u"61 h1 critical; 61 h2 critical; 61 h3 critical; 61 h4 critical; 61 h5 "
           "critical; 71 poll"_qs
        << QStringList{u"5 hosts critical | 5 hosts critical: h1, h2, h3, h4, h5 [critical]"_qs};
    QTest::newRow("a later batch replaces the one shown, not one closed")
        << QString()
        << u"61 db01 critical; 71 poll; 80 web3 silent CPU 1; 90 poll; 95 closed; 96 db01 normal; "
           "107 poll; 110 db01 critical; 120 poll"_qs
        << QStringList{db01, u"1 host silent | web3 silent: CPU 1 [replace]"_qs, db01};
    QTest::newRow("a line for each kind, worst first, and a sound")
        << u"notifyWarning notifyRecovery notifySound"_qs
        << u"61 db01 critical; 71 poll; 80 web3 silent; 81 db04 warning CPU 85; 82 db02 critical "
           "CPU 99; 83 db01 normal; 84 db03 critical Temp 90; 90 poll"_qs
        << QStringList{u"1 host critical | db01 critical [sound] [critical]"_qs,
                       u"2 hosts critical, 1 warning, 1 silent, 1 back to normal | 2 hosts "
                       "critical: db02 CPU 99, db03 Temp 90 / db04 warning: CPU 85 / web3 silent / "
                       "db01 is back to normal [replace] [sound] [critical]"_qs};
    QTest::newRow("critical and silent only when chosen")
        << u"notifyCritical notifySilent"_qs << u"61 db01 critical; 62 web3 silent; 72 poll"_qs
        << QStringList();
    QTest::newRow("critical and back, or back and critical, within one batch")
        << u"notifyRecovery"_qs
        << u"61 db01 critical; 65 db01 normal; 75 poll; 80 db01 critical; 90 poll; 100 db01 "
           "normal; 102 db01 critical; 110 poll"_qs
        << QStringList{db01};
    QTest::newRow("back to normal, said once when chosen")
        << u"notifyRecovery"_qs
        << u"61 db01 critical; 62 db02 silent; 71 poll; 80 db02 normal; 81 db01 normal; 90 poll; "
           "95 db01 normal; 110 poll"_qs
        << QStringList{u"1 host critical, 1 silent | db01 critical / db02 silent [critical]"_qs,
                       u"2 hosts back to normal | 2 hosts are back to normal: db02, db01 "
                       "[replace]"_qs};
    QTest::newRow("back to normal from trouble never told")
        << u"notifyRecovery"_qs << u"61 db01 warning; 71 poll; 80 db01 normal; 90 poll"_qs
        << QStringList();
    QTest::newRow("muted for 15 minutes, dropping the batch, then until unmuted")
        << QString()
        << u"61 db06 critical; 62 mute 15; 63 db02 critical; 73 poll; 960 db03 critical; 962 db01 "
           "critical; 972 poll; 980 mute; 990 db04 critical; 1000 poll; 2000 unmute; 2001 db05 "
           "critical; 2011 poll"_qs
        << QStringList{db01, u"1 host critical | db05 critical [replace] [critical]"_qs};
    QTest::newRow("a new grace forgets every host and the batch")
        << u"notifyRecovery"_qs
        << u"61 db01 critical; 71 poll; 80 db02 critical; 85 restart; 95 poll; 110 db04 critical; "
           "146 db03 critical; 150 db01 normal; 156 poll"_qs
        << QStringList{db01, u"1 host critical | db03 critical [replace] [critical]"_qs};
}

void TestNotifier::decisions()
{
    QFETCH(QString, turned);
    QFETCH(QString, script);
    QFETCH(QStringList, said);

    double seconds = 0;
    Notifier notifier([&seconds] { return qint64(seconds * 1000); });
    QJsonObject choices = NotifyChoices().toJson();
    for (const QString &key : turned.split(u' ', Qt::SkipEmptyParts))
        choices[key] = !choices[key].toBool();
    notifier.setChoices(NotifyChoices::fromJson(choices));
    QStringList heard;
    connect(&notifier, &Notifier::notify, this, [&heard](const Notification &notification) {
        heard.append(notification.title + u" | "_qs
                     + QString(notification.body).replace(u'\n', u" / "_qs)
                     + (notification.replace ? u" [replace]"_qs : QString())
                     + (notification.sound ? u" [sound]"_qs : QString())
                     + (notification.critical ? u" [critical]"_qs : QString()));
    });
    const QStringList states{u"normal"_qs, u"silent"_qs, u"warning"_qs, u"critical"_qs};
    for (const QString &step : script.split(u"; "_qs)) {
        const QStringList words = step.split(u' ');
        seconds = words[0].toDouble();
        if (words[1] == u"poll")
            notifier.poll();
        else if (words[1] == u"mute" && words.size() > 2)
            notifier.muteFor(qint64(words[2].toDouble() * 60'000));
        else if (words[1] == u"mute")
            notifier.muteUntilUnmuted();
        else if (words[1] == u"unmute")
            notifier.unmute();
        else if (words[1] == u"restart")
            notifier.restartGrace();
        else if (words[1] == u"closed")
            notifier.notificationClosed();
        else
            notifier.hostChanged(words[1], Notifier::HostState(states.indexOf(words[2])),
                                 words.mid(3).join(u' '));
    }
    QCOMPARE(heard, said);
}

void TestNotifier::choicesKeepOtherKeys()
{
    const QJsonObject kept{{u"later"_qs, 3}, {u"notifyCritical"_qs, u"no"_qs}};
    QCOMPARE(NotifyChoices::fromJson(kept), NotifyChoices());
    QJsonObject written = NotifyChoices().toJson(kept);
    QCOMPARE(written.take(u"later"_qs), QJsonValue(3));
    QCOMPARE(written, NotifyChoices().toJson());
}

QTEST_GUILESS_MAIN(TestNotifier)
#include "tst_notifier.moc"
