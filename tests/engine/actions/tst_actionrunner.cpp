#include "engine/actions/actionrunner.h"
#include "engine/actions/actionsettings.h"
#include "engine/notify/notifier.h"
#include "fakeactions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

namespace {

const QDateTime now(QDate(2024, 5, 2), QTime(14, 2, 11), Qt::OffsetFromUTC, 0);

QList<ActionRule> rulesOf(const QByteArray &json)
{
    return ActionSettings::fromObject(
               {{ActionSettings::key, QJsonDocument::fromJson(json).array()}})
        .sound();
}

ActionRunner::Timing quick()
{
    return {1000, 1000, {5, 10, 15}};
}

} // namespace

// Which batches reach which action, how many run at once, and what is tried again.
class TestActionRunner final : public QObject
{
    Q_OBJECT

private slots:
    void batchesReachTheirActions_data();
    void batchesReachTheirActions();
    void fourAtOnceAHundredWaiting();
    void triedAgain_data();
    void triedAgain();
};

// Steps as the notifier's own test writes them: "61 db01 critical; 71 poll", at so many
// seconds after start, or mute MINUTES.
void TestActionRunner::batchesReachTheirActions_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("said");

    QTest::newRow("by when and hosts, whatever the desktop is told")
        << u"61 db01 critical; 62 web1 critical; 63 db02 warning; 64 web2 silent; 71 poll"_qs
        << QStringList{u"pager: db01 critical"_qs, u"chat: db01 critical, web1 critical"_qs,
                       u"warned: db02 warning"_qs};
    QTest::newRow("nothing in the first minute")
        << u"5 db01 critical; 59 web1 silent; 70 poll"_qs << QStringList();
    QTest::newRow("nothing while muted")
        << u"61 mute 15; 62 db01 critical; 72 poll"_qs << QStringList();
    QTest::newRow("recovered, when told of the trouble")
        << u"61 db01 warning; 71 poll; 80 db01 normal; 90 poll; 100 db02 critical; 110 poll; 120 "
           "db02 warning; 130 poll; 140 db02 normal; 150 poll"_qs
        << QStringList{u"warned: db01 warning"_qs, u"pager: db02 critical"_qs,
                       u"chat: db02 critical"_qs, u"warned: db02 warning"_qs,
                       u"chat: db02 normal"_qs};
}

void TestActionRunner::batchesReachTheirActions()
{
    QFETCH(QString, script);
    QFETCH(QStringList, said);

    double seconds = 0;
    Notifier notifier([&seconds] { return qint64(seconds * 1000); });
    ActionRunner runner(
        quick(), [] { return now; }, u"recv"_qs);
    FakeActions fake;
    runner.setLaunch(fake.launch());
    runner.setRules(rulesOf(R"([
        {"name": "pager", "when": ["critical", "silent"], "hosts": ["db*"], "run": ["p"]},
        {"name": "chat", "when": ["critical", "recovered"], "webhook": "http://127.0.0.1/"},
        {"name": "warned", "when": "warning", "run": ["w"]}])"));
    connect(&notifier, &Notifier::gathered, &runner, &ActionRunner::take);
    const QStringList states{u"normal"_qs, u"silent"_qs, u"warning"_qs, u"critical"_qs};
    for (const QString &step : script.split(u"; "_qs)) {
        const QStringList words = step.split(u' ');
        seconds = words[0].toDouble();
        if (words[1] == u"poll")
            notifier.poll();
        else if (words[1] == u"mute")
            notifier.muteFor(qint64(words[2].toDouble() * 60'000));
        else
            notifier.hostChanged(words[1], Trouble(states.indexOf(words[2])));
    }
    QCOMPARE(fake.said(), said);
    QCOMPARE(runner.failedCount(), 0);
}

void TestActionRunner::fourAtOnceAHundredWaiting()
{
    ActionRunner runner(
        quick(), [] { return now; }, u"recv"_qs);
    FakeActions fake;
    fake.hold = true;
    runner.setLaunch(fake.launch());
    runner.setRules(rulesOf(R"([{"name": "slow", "run": ["p"]}])"));
    for (int i = 0; i < 105; ++i)
        runner.take({{u"h%1"_qs.arg(i), Trouble::Critical, Trouble::Normal, {}}});
    QCOMPARE(runner.runningCount(), ActionRunner::maxRunning);
    QCOMPARE(runner.waitingCount(), ActionRunner::maxWaiting);
    QCOMPARE(runner.droppedCount(), 1);
    QCOMPARE(fake.said(), (QStringList{u"slow: h0 critical"_qs, u"slow: h1 critical"_qs,
                                       u"slow: h2 critical"_qs, u"slow: h3 critical"_qs}));
    fake.launched[1].attempt->end({false, false, u"exit 1"_qs});
    // The oldest waiting went to make room.
    QCOMPARE(fake.said().last(), u"slow: h5 critical"_qs);
    QCOMPARE(runner.failedCount(), 1);
    QCOMPARE(runner.lastResult(u"slow"_qs)->text(), u"failed 14:02:11: exit 1"_qs);
    runner.setRules({});
    QCOMPARE(runner.waitingCount(), 0);
}

void TestActionRunner::triedAgain_data()
{
    QTest::addColumn<QList<ActionAttempt::Outcome>>("outcomes");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<int>("failed");
    const ActionAttempt::Outcome busy{false, true, u"HTTP 503 Service Unavailable"_qs};
    const ActionAttempt::Outcome refused{false, false, u"HTTP 400 Bad Request"_qs};

    QTest::newRow("a 5xx, tried until it works") << QList{busy, busy} << 3 << 0;
    QTest::newRow("a 5xx four times, then given up") << QList{busy, busy, busy, busy} << 4 << 1;
    QTest::newRow("a 4xx, not again") << QList{refused} << 1 << 1;
}

void TestActionRunner::triedAgain()
{
    QFETCH(QList<ActionAttempt::Outcome>, outcomes);
    QFETCH(int, attempts);
    QFETCH(int, failed);

    ActionRunner runner(
        quick(), [] { return now; }, u"recv"_qs);
    FakeActions fake;
    fake.outcomes = outcomes;
    runner.setLaunch(fake.launch());
    runner.setRules(rulesOf(R"([{"name": "hook", "webhook": "http://127.0.0.1/"}])"));
    QList<bool> results;
    connect(&runner, &ActionRunner::attempted, this,
            [&](const QString &, const ActionResult &result) { results.append(result.ok); });
    runner.take({{u"h"_qs, Trouble::Critical, Trouble::Normal, {}}});
    // Failed at once, while the tries go on.
    QCOMPARE(runner.failedCount(), 1);
    QTRY_COMPARE(results.size(), attempts);
    QTest::qWait(30);
    QCOMPARE(fake.launched.size(), attempts);
    QCOMPARE(runner.failedCount(), failed);
}

QTEST_GUILESS_MAIN(TestActionRunner)
#include "tst_actionrunner.moc"
