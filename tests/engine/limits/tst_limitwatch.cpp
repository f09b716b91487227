#include "engine/limits/limitwatch.h"
#include "engine/reception/reading.h"
#include "engine/reception/readingstable.h"
#include "judgedtable.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

using Level = LimitState::Level;

class TestLimitWatch final : public QObject
{
    Q_OBJECT

private slots:
    void hostStates_data();
    void hostStates();
    void changesAreToldAtPublish();
    void followsRemovalAndClear_data();
    void followsRemovalAndClear();
    void newRulesApplyToTheWholeTable();
};

void TestLimitWatch::hostStates_data()
{
    QTest::addColumn<QString>("readings");
    QTest::addColumn<QString>("levels");
    QTest::addColumn<QString>("counts"); // critical, warning

    QTest::newRow("beyond a bound")
        << u"a|CPU|97; b|CPU|85; c|CPU|80"_qs << u"a:critical b:warning c:normal"_qs << u"1 1"_qs;
    QTest::newRow("names as the table trims them")
        << u"a|Mem|99; b| CPU |97"_qs << u"a:normal b:critical"_qs << u"1 0"_qs;
    QTest::newRow("host pattern first")
        << u"DB1|CPU|97; web1|CPU|97"_qs << u"DB1:warning web1:critical"_qs << u"1 1"_qs;
    QTest::newRow("the worst reading") << u"a|CPU|85; a|Service|down; b|Service|up; b|CPU|85"_qs
                                       << u"a:critical b:warning"_qs << u"1 1"_qs;
    // A reading heard again, as most are.
    QTest::newRow("again, at its bounds")
        << u"a|CPU|50; a|CPU|80; b|Temp|20; b|Temp|5"_qs << u"a:normal b:normal"_qs << u"0 0"_qs;
    QTest::newRow("again, just beyond")
        << u"a|CPU|50; a|CPU| 95.5; b|Temp|20; b|Temp|4.9; c|CPU|50; c|CPU|85"_qs
        << u"a:critical b:critical c:warning"_qs << u"2 1"_qs;
    QTest::newRow("again, back inside")
        << u"a|CPU|97; a|CPU|50; b|CPU|85; b|CPU|85"_qs << u"a:normal b:warning"_qs << u"0 1"_qs;
    QTest::newRow("no state is no trouble")
        << u"a|CPU|n/a; b|Free|5 GB; b|Free|4 GB"_qs << u"a:normal b:normal"_qs << u"0 0"_qs;
}

void TestLimitWatch::hostStates()
{
    Judged judged;
    QFETCH(QString, readings);
    judged.post(readings);
    QTEST(judged.levels(), "levels");
    QTEST(judged.counts(), "counts");
}

void TestLimitWatch::changesAreToldAtPublish()
{
    Judged judged;
    judged.post(u"a|CPU|1; b|CPU|1; c|CPU|1"_qs);
    QSignalSpy hosts(&judged.watch, &LimitWatch::hostsChanged);
    QSignalSpy counts(&judged.watch, &LimitWatch::countsChanged);
    for (const char *value : {"97", "85", "99"})
        judged.table.fillgrid({{}, {}, {}, u"c"_qs, u"CPU"_qs, QString::fromLatin1(value)});
    judged.table.fillgrid({{}, {}, {}, u"a"_qs, u"CPU"_qs, u"90"_qs});
    QCOMPARE(hosts.size() + counts.size(), 0);
    judged.table.publish();
    QCOMPARE(hosts, (QList<QList<QVariant>>{{QVariant::fromValue(std::vector<int>{0, 2})}}));
    QCOMPARE(counts, (QList<QList<QVariant>>{{1, 1}}));
    // A value that changes no state tells nothing.
    judged.post(u"a|CPU|91; b|CPU|2"_qs);
    QCOMPARE(hosts.size() + counts.size(), 2);
}

void TestLimitWatch::followsRemovalAndClear_data()
{
    QTest::addColumn<std::vector<int>>("removed"); // empty: Clear Table
    QTest::addColumn<QString>("levels");
    QTest::addColumn<QString>("counts");

    QTest::newRow("first and third")
        << std::vector<int>{0, 2} << u"b:critical d:normal e:critical f:critical"_qs << u"3 0"_qs;
    QTest::newRow("the last, and its name with it")
        << std::vector<int>{4} << u"a:critical b:critical c:warning d:normal f:critical"_qs
        << u"3 1"_qs;
    QTest::newRow("clear") << std::vector<int>{} << u"b:critical f:critical"_qs << u"2 0"_qs;
}

void TestLimitWatch::followsRemovalAndClear()
{
    QFETCH(std::vector<int>, removed);
    Judged judged;
    judged.post(u"a|Mem|1; a|CPU|97; b|CPU|85; c|CPU|85; d|CPU|10; e|Service|down"_qs);
    QCOMPARE(judged.counts(), u"2 2");
    if (removed.empty())
        judged.table.clear();
    else
        judged.table.removeHosts(removed);
    // Rows and names numbered afresh still find their states and rules.
    judged.post(u"b|CPU|97; f|Service|down"_qs);
    QTEST(judged.levels(), "levels");
    QTEST(judged.counts(), "counts");
}

void TestLimitWatch::newRulesApplyToTheWholeTable()
{
    Judged judged("{}");
    QStringList readings;
    for (int host = 0; host < 200; ++host)
        readings << u"h%1|CPU|%2"_qs.arg(host).arg(host % 100);
    judged.post(readings.join(u"; "_qs));
    QCOMPARE(judged.counts(), u"0 0");
    QSignalSpy applied(&judged.watch, &LimitWatch::applied);
    QSignalSpy judgedRows(&judged.watch, &LimitWatch::rowsJudged);
    judged.watch.setRules(rulesOf(fleet));
    QTRY_COMPARE(applied.size(), 1);
    QCOMPARE(judged.counts(), u"8 30"); // 96 to 99, and 81 to 95, twice
    QCOMPARE(judgedRows.constFirst()[0].toInt(), 0);
    QCOMPARE(judgedRows.constLast()[1].toInt(), 199);
    QCOMPARE(judged.watch.hostLevel(97), Level::Critical);

    judged.watch.setRules(rulesOf(R"({"limits": [{"reading": "CPU", "warningAbove": 49}]})"));
    QTRY_COMPARE(applied.size(), 2);
    QCOMPARE(judged.counts(), u"0 100");
    QCOMPARE(judged.watch.hostLevel(97), Level::Warning);

    judged.watch.setRules({});
    QTRY_COMPARE(applied.size(), 3);
    QCOMPARE(judged.counts(), u"0 0");
    QCOMPARE(judged.watch.state(97, 0), nullptr);
}

QTEST_GUILESS_MAIN(TestLimitWatch)
#include "tst_limitwatch.moc"
