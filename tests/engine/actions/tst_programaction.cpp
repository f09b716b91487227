#include "engine/actions/actionbatch.h"
#include "engine/actions/programaction.h"
#include "testsupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// An action's program run for real: what it is handed, and what is said of how it ended.
class TestProgramAction final : public QObject
{
    Q_OBJECT

private slots:
    void ends_data();
    void ends();
    void handedTheBatch();
};

namespace {

const QString probe = QStringLiteral(ACTIONPROBE_PATH);

ActionBatch batchOf(const QString &host)
{
    return ActionBatch(
        {{host, Trouble::Critical, Trouble::Normal, {u"Fan"_qs, u"4110"_qs, u"rpm"_qs, {}}},
         {u"web2"_qs, Trouble::Silent, Trouble::Normal, {}}},
        QDateTime::currentDateTime(), u"recv"_qs);
}

} // namespace

void TestProgramAction::ends_data()
{
    QTest::addColumn<QStringList>("run");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("detail"); // its start

    QTest::newRow("exit 3, with its first line of errors")
        << QStringList{probe, u"fail"_qs} << false << u"exit 3: the pager is out of paper"_qs;
    QTest::newRow("killed at its timeout")
        << QStringList{probe, u"hang"_qs} << false << u"killed after 300 ms"_qs;
    QTest::newRow("a program that is not there")
        << QStringList{probe + u".missing"_qs} << false << u"could not start "_qs + probe;
}

void TestProgramAction::ends()
{
    QFETCH(QStringList, run);
    QFETCH(bool, ok);
    QFETCH(QString, detail);

    ProgramAction action(run, batchOf(u"db01"_qs), 300);
    QSignalSpy finished(&action, &ActionAttempt::finished);
    action.start();
    QVERIFY(finished.wait(10'000));
    const auto outcome = finished.first().first().value<ActionAttempt::Outcome>();
    QCOMPARE(outcome.ok, ok);
    QVERIFY2(outcome.detail.startsWith(detail), qPrintable(outcome.detail));
    QVERIFY(!outcome.retry);
    QVERIFY(!finished.wait(100));
}

// Arguments as given; what came from a datagram in the environment's values and the JSON only.
void TestProgramAction::handedTheBatch()
{
    const QTemporaryDir folder;
    const QString file = folder.filePath(u"handed"_qs);
    const QString host = u"db\"01;$(rm -rf x)"_qs;
    const ActionBatch batch = batchOf(host);
    ProgramAction action({probe, u"record"_qs, file, u"--team"_qs, u"on call"_qs}, batch, 10'000);
    QSignalSpy finished(&action, &ActionAttempt::finished);
    action.start();
    QVERIFY(finished.wait(10'000));
    QCOMPARE(finished.first().first().value<ActionAttempt::Outcome>().detail, u"exit 0"_qs);
    const QByteArray expected = "argument=--team\nargument=on call\n"
                                "SENVO_SUMMARY=1 host critical, 1 silent\n"
                                "SENVO_STATE=critical\n"
                                "SENVO_HOSTS="
                                + host.toUtf8() + " web2\n" + batch.toJson();
    QCOMPARE(readBytes(file), expected);
}

QTEST_GUILESS_MAIN(TestProgramAction)
#include "tst_programaction.moc"
