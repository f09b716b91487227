#include "engine/archive/archivebatch.h"
#include "engine/history/historystore.h"
#include "engine/reception/readingstable.h"
#include "judgedtable.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// An hour before the fake clock's start, on this machine's local time.
const QDateTime keptAt{QDate(2026, 3, 1), QTime(11, 0)};

// "host|name=value|name=value ...", heard at keptAt.
std::vector<KeptHost> keptHosts(const QStringList &lines)
{
    std::vector<KeptHost> hosts;
    for (const QString &line : lines) {
        QStringList fields = line.split(u'|');
        KeptHost &host = hosts.emplace_back();
        host.host = fields.takeFirst();
        host.lastHeardMs = keptAt.toMSecsSinceEpoch();
        for (const QString &field : std::as_const(fields)) {
            const qsizetype equals = field.indexOf(u'=');
            host.readings.append({field.first(equals), u' ' + field.mid(equals + 1) + u' '});
        }
    }
    return hosts;
}

// "a: CPU=97 Temp=20", each row as the table holds it.
QStringList rowsOf(const ReadingsTable &table)
{
    QStringList rows;
    for (int row = 0; row < table.hostCount(); ++row) {
        QString text = table.host(row) + u':';
        for (int pair = 0; pair < table.pairsInUse(row); ++pair)
            text += u' ' + table.nameText(table.nameId(row, pair)) + u'='
                    + table.value(row, pair).trimmed();
        rows << text;
    }
    return rows;
}

QString description(const ReadingsTable &table, int row, int column)
{
    return table.index(row, column).data(Qt::AccessibleDescriptionRole).toString();
}

// A table judged by the fleet's rules, with a history.
struct Restored : Judged
{
    HistoryStore history{table};

    int points() const
    {
        int count = 0;
        for (int row = 0; row < table.hostCount(); ++row) {
            for (int pair = 0; pair < table.pairsInUse(row); ++pair)
                count += int(history.points(row, pair).size());
        }
        return count;
    }
};

} // namespace

// Hosts heard before start-up, put back in the table with their last values: silent until
// heard again, judged, but no hearing.
class TestRestoredHosts final : public QObject
{
    Q_OBJECT

private slots:
    void restored_data();
    void restored();
    void hostLimitHolds();
    void heardAgain_data();
    void heardAgain();
};

void TestRestoredHosts::restored_data()
{
    QTest::addColumn<QStringList>("kept");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("levels");

    QTest::newRow("values and their states")
        << QStringList{u"a|CPU=97|Temp=20"_qs, u"b|Free=15%"_qs, u"c|Service=up"_qs}
        << QStringList{u"a: CPU=97 Temp=20"_qs, u"b: Free=15%"_qs, u"c: Service=up"_qs}
        << u"a:critical b:warning c:normal"_qs;
    QTest::newRow("a host twice, one with no name or readings: left out")
        << QStringList{u"a|CPU=85"_qs, u"a|CPU=99"_qs, u"|CPU=99"_qs, u"b"_qs}
        << QStringList{u"a: CPU=85"_qs} << u"a:warning"_qs;
    QString many = u"m"_qs;
    QString pairs;
    for (int i = 0; i < ReadingsTable::pairCount + 3; ++i) {
        many += u"|r%1=%1"_qs.arg(i);
        if (i < ReadingsTable::pairCount)
            pairs += u" r%1=%1"_qs.arg(i);
    }
    QTest::newRow("readings beyond the pairs: left out")
        << QStringList{many} << QStringList{u"m:"_qs + pairs} << u"m:normal"_qs;
}

void TestRestoredHosts::restored()
{
    QFETCH(const QStringList, kept);
    QFETCH(const QStringList, rows);
    QFETCH(const QString, levels);

    Restored judged;
    const ReadingsTable &table = judged.table;
    QSignalSpy fell(&table.silence(), &SilenceWatch::hostsFellSilent);
    judged.table.restoreHosts(keptHosts(kept));

    QCOMPARE(rowsOf(table), rows);
    QCOMPARE(table.rowCount(), rows.size());
    QCOMPARE(judged.levels(), levels);
    QCOMPARE(judged.points(), 0);
    QCOMPARE(table.silence().silentHosts(), rows.size());
    QCOMPARE(fell.size(), 1);
    QCOMPARE(table.droppedHosts(), 0);
    const QString before = u"last heard before start-up: 2026-03-01 11:00:00"_qs;
    for (int row = 0; row < table.hostCount(); ++row) {
        QVERIFY(table.isSilent(row));
        QCOMPARE(table.lastHeard(row), keptAt);
        QCOMPARE(table.text(row, 2), u"11:00:00"_qs);
        QVERIFY2(description(table, row, 0).contains(before),
                 qPrintable(description(table, row, 0)));
        for (int pair = 0; pair < table.pairsInUse(row); ++pair) {
            QVERIFY(table.silence().isOverdue(*table.timing(row, pair)));
            QVERIFY(description(table, row, 4 + 2 * pair).contains(before));
        }
    }
    // Nothing falls silent again, however long nobody reports.
    judged.clock.seconds = 3600;
    judged.table.tick();
    QCOMPARE(fell.size(), 1);
    QCOMPARE(table.silence().silentHosts(), rows.size());
}

void TestRestoredHosts::hostLimitHolds()
{
    FakeReceiveClock clock;
    ReadingsTable table(nullptr, 2, &clock);
    table.restoreHosts(keptHosts({u"a|CPU=1"_qs, u"b|CPU=2"_qs, u"c|CPU=3"_qs}));
    QCOMPARE(rowsOf(table), (QStringList{u"a: CPU=1"_qs, u"b: CPU=2"_qs}));
    QCOMPARE(table.droppedHosts(), 0);
    // The table is full for a host that reports, as it would be had both been heard.
    table.beginBatch();
    table.fillgrid({{}, u"Jun 10"_qs, u"19:35:00"_qs, u"d"_qs, u"CPU"_qs, u"4"_qs});
    QCOMPARE(table.hostCount(), 2);
    QCOMPARE(table.droppedHosts(), 1);
}

void TestRestoredHosts::heardAgain_data()
{
    QTest::addColumn<QStringList>("heard"); // "seconds|name|value"
    QTest::addColumn<double>("tickAt");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QString>("levels");
    QTest::addColumn<int>("points");

    QTest::newRow("back to normal, reporting")
        << QStringList{u"1|CPU|50"_qs} << 200.0 << false << u"a:normal"_qs << 1;
    QTest::newRow("still critical, in its first tenth")
        << QStringList{u"0|CPU|97"_qs} << 0.0 << false << u"a:critical"_qs << 1;
    QTest::newRow("heard once, then silent after five minutes")
        << QStringList{u"1|CPU|50"_qs} << 302.0 << true << u"a:normal"_qs << 1;
    // Its rhythm starts afresh: not from start-up, nor held back by the reading not heard.
    QTest::newRow("heard every second, then silent after 30 seconds")
        << QStringList{u"1|CPU|97"_qs, u"2|CPU|97"_qs} << 33.0 << true << u"a:critical"_qs << 2;
}

void TestRestoredHosts::heardAgain()
{
    QFETCH(const QStringList, heard);
    QFETCH(const double, tickAt);
    QFETCH(const bool, silent);
    QFETCH(const QString, levels);
    QFETCH(const int, points);

    Restored judged;
    const ReadingsTable &table = judged.table;
    judged.table.restoreHosts(keptHosts({u"a|CPU=97|Temp=20"_qs}));
    QSignalSpy again(&table.silence(), &SilenceWatch::hostsHeardAgain);
    for (const QString &line : heard) {
        const QStringList f = line.split(u'|');
        judged.clock.seconds = f[0].toDouble();
        judged.post(u"a|%1|%2"_qs.arg(f[1], f[2]));
    }
    QCOMPARE(again.size(), 1);
    QCOMPARE(again.front().front().value<std::vector<int>>(), std::vector<int>{0});
    QVERIFY(!table.isSilent(0));
    QCOMPARE(table.silence().silentHosts(), 0);
    QVERIFY(!description(table, 0, 0).contains(u"before start-up"_qs));
    QVERIFY(description(table, 0, 0).contains(u"last heard 2026-03-01 12:00:0"_qs));
    QVERIFY(description(table, 0, 6).contains(u"before start-up"_qs)); // Temp, not heard

    judged.clock.seconds = tickAt;
    judged.table.tick();
    QCOMPARE(table.isSilent(0), silent);
    QCOMPARE(judged.levels(), levels);
    QCOMPARE(judged.points(), points);
}

QTEST_GUILESS_MAIN(TestRestoredHosts)
#include "tst_restoredhosts.moc"
