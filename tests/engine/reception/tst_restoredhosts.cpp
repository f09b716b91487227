#include "engine/archive/archivebatch.h"
#include "engine/history/historystore.h"
#include "judgedtable.h"

#include <QSignalSpy>
#include <QTest>

// Hosts heard before start-up, put back in the table with their last values: judged, silent
// until heard again, and no hearing for the history.
class TestRestoredHosts final : public QObject
{
    Q_OBJECT

private slots:
    void restored_data();
    void restored();
};

void TestRestoredHosts::restored_data()
{
    QTest::addColumn<QStringList>("kept");  // "host|name=value|..."
    QTest::addColumn<QStringList>("heard"); // "seconds|host|name|value", then a tick at tickAt
    QTest::addColumn<double>("tickAt");
    // Each row: "~" after a reading overdue and told as heard before start-up, "kept" where
    // the host is told so.
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("points");

    const QStringList a{u"a|CPU=97|Temp=20"_qs};
    // The table holds three hosts.
    QTest::newRow("values and their states, up to the host limit")
        << QStringList{a[0], u"b|Free=15%"_qs, u"c|Service=up"_qs, u"d|CPU=1"_qs}
        << QStringList{u"1|e|CPU|4"_qs} << 3600.0
        << QStringList{u"a: CPU=97~ Temp=20~ critical silent kept"_qs,
                       u"b: Free=15%~ warning silent kept"_qs,
                       u"c: Service=up~ normal silent kept"_qs}
        << 0;
    QTest::newRow("heard again, back to normal")
        << a << QStringList{u"1|a|CPU|50"_qs} << 200.0
        << QStringList{u"a: CPU=50 Temp=20~ normal"_qs} << 1;
    // Its rhythm starts afresh, not held back by the reading not heard.
    QTest::newRow("heard every second, silent after 30 seconds")
        << a << QStringList{u"1|a|CPU|97"_qs, u"2|a|CPU|97"_qs} << 33.0
        << QStringList{u"a: CPU=97 Temp=20~ critical silent"_qs} << 2;
}

void TestRestoredHosts::restored()
{
    QFETCH(const QStringList, kept);
    QFETCH(const QStringList, heard);
    QFETCH(const double, tickAt);
    QFETCH(const QStringList, rows);
    QFETCH(const int, points);

    FakeReceiveClock clock;
    ReadingsTable table(nullptr, 3, &clock);
    LimitWatch watch(table);
    watch.setRules(rulesOf(fleet));
    HistoryStore history(table);
    const QDateTime before{QDate(2026, 3, 1), QTime(11, 0)};
    std::vector<KeptHost> hosts;
    for (const QString &line : kept) {
        QStringList f = line.split(u'|');
        KeptHost &host =
            hosts.emplace_back(KeptHost{f.takeFirst(), before.toMSecsSinceEpoch(), {}});
        for (const QString &pair : std::as_const(f))
            host.readings.append({pair.section(u'=', 0, 0), u' ' + pair.section(u'=', 1) + u' '});
    }
    table.restoreHosts(hosts);
    QSignalSpy woken(&table.silence(), &SilenceWatch::hostsHeardAgain);
    for (const QString &line : heard) {
        const QStringList f = line.split(u'|');
        clock.seconds = f[0].toDouble();
        table.beginBatch();
        table.fillgrid({{}, u"Jun 10"_qs, u"19:35:00"_qs, f[1], f[2], f[3]});
        table.publish();
    }
    clock.seconds = tickAt;
    table.tick();

    static const char *const levels[] = {"normal", "warning", "critical", "no state"};
    const QString told = u"last heard before start-up: 2026-03-01 11:00:00"_qs;
    const auto says = [&table, &told](int row, int column) {
        return table.index(row, column)
            .data(Qt::AccessibleDescriptionRole)
            .toString()
            .contains(told);
    };
    QStringList found;
    int pointsFound = 0;
    for (int row = 0; row < table.rowCount(); ++row) {
        QString text = table.host(row) + u':';
        for (int pair = 0; pair < table.pairsInUse(row); ++pair) {
            text += u' ' + table.nameText(table.nameId(row, pair)) + u'='
                    + table.value(row, pair).trimmed();
            if (table.silence().isOverdue(*table.timing(row, pair)) && says(row, 4 + 2 * pair))
                text += u'~';
            pointsFound += int(history.points(row, pair).size());
        }
        text += u' ' + QLatin1StringView(levels[int(watch.hostLevel(row))]);
        text += table.isSilent(row) ? u" silent"_qs : QString();
        text += says(row, 0) ? u" kept"_qs : QString();
        found << text;
    }
    QCOMPARE(found, rows);
    QCOMPARE(pointsFound, points);
    QCOMPARE(woken.size(), points > 0 ? 1 : 0);
}

QTEST_GUILESS_MAIN(TestRestoredHosts)
#include "tst_restoredhosts.moc"
