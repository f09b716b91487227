#include "engine/tableview/hostfilter.h"
#include "judgedtable.h"

#include <QAbstractItemModelTester>
#include <QLocale>
#include <QTest>

class TestHostFilter final : public QObject
{
    Q_OBJECT

private slots:
    void findsHosts_data();
    void findsHosts();
    void problemsOnly_data();
    void problemsOnly();
};

void TestHostFilter::findsHosts_data()
{
    // Steps: a host reports, or "find TEXT" changes the text; the hosts shown afterwards and
    // the count told.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("count");
    const QStringList three{u"web-01"_qs, u"DB-01"_qs, u"web-02"_qs};
    QTest::newRow("no text: every host") << three << three << u"3 hosts"_qs;
    QTest::newRow("contains, ignoring case")
        << three + QStringList{u"find dB"_qs} << QStringList{u"DB-01"_qs} << u"1 of 3 hosts"_qs;
    QTest::newRow("in the table's order")
        << three + QStringList{u"find 0"_qs} << three << u"3 of 3 hosts"_qs;
    QTest::newRow("matching hosts that arrive appear")
        << QStringList{u"find WEB"_qs} + three + QStringList{u"mail"_qs, u"Web-03"_qs}
        << QStringList{u"web-01"_qs, u"web-02"_qs, u"Web-03"_qs} << u"3 of 5 hosts"_qs;
    QTest::newRow("no match") << three + QStringList{u"find x"_qs} << QStringList{}
                              << u"0 of 3 hosts"_qs;
    QTest::newRow("an empty text shows every host again")
        << three + QStringList{u"find db"_qs, u"find "_qs} << three << u"3 hosts"_qs;
    QTest::newRow("before any host")
        << QStringList{u"find a"_qs} << QStringList{} << u"0 of 0 hosts"_qs;
    QTest::newRow("one host") << QStringList{u"a"_qs} << QStringList{u"a"_qs} << u"1 host"_qs;
}

void TestHostFilter::findsHosts()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, shown);
    QFETCH(QString, count);
    QLocale::setDefault(QLocale::c());
    ReadingsTable table;
    HostFilter filter(&table);
    QAbstractItemModelTester tester(&filter,
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (const QString &step : std::as_const(steps)) {
        if (step.startsWith(u"find ")) {
            filter.setText(step.mid(5));
            continue;
        }
        table.fillgrid({{}, u"Jun 10"_qs, u"19:35:00"_qs, step, u" n"_qs, u" 1 "_qs});
        table.publish();
        // Updates to rows already shown pass through.
        table.fillgrid({{}, u"Jun 10"_qs, u"19:35:00"_qs, table.text(0, 0), u" n"_qs, u" 2 "_qs});
        table.publish();
    }
    QStringList hosts;
    for (const int row : filter.tableRows())
        hosts << table.text(row, 0);
    QCOMPARE(hosts, shown);
    QCOMPARE(filter.countText(), count);
    for (int row = 0; row < filter.matchingHostCount(); ++row)
        QCOMPARE(filter.headerData(row, Qt::Vertical).toString(), shown[row]);
}

void TestHostFilter::problemsOnly_data()
{
    // "post h|n|v", "tick seconds", "on", "off", "text t", "remove row" ("a" the first),
    // "= hosts shown", "count text"; separated by ", ".
    QTest::addColumn<QString>("steps");

    QTest::newRow("hosts in trouble; recovered ones stay until the filter changes")
        << u"post a|CPU|97, post b|CPU|50, post c|CPU|85, on, = a c, count 2 of 3 hosts, "
           "post b|CPU|99, = a b c, post a|CPU|10, = a b c, text b, = b, text , = b c, off, "
           "= a b c"_qs;
    QTest::newRow("with the text typed")
        << u"post web1|CPU|97, post db1|CPU|97, post web2|CPU|1, text WEB, on, = web1, "
           "count 1 of 3 hosts, post db2|CPU|97, post web3|CPU|97, = web1 web3"_qs;
    QTest::newRow("silent hosts") << u"post a|CPU|1, tick 200, post b|CPU|1, on, = , tick 400, "
                                     "= a, post a|CPU|2, = a, off, on, = "_qs;
    QTest::newRow("removed hosts")
        << u"post a|CPU|97, post b|CPU|1, post c|CPU|97, post e|CPU|1, on, = a c, remove a, = c, "
           "post e|CPU|97, = c e, post d|CPU|97, = c e d"_qs;
}

void TestHostFilter::problemsOnly()
{
    QFETCH(QString, steps);
    Judged judged;
    HostFilter filter(&judged.table);
    for (const QString &step : steps.split(u", "_qs)) {
        const QString command = step.section(u' ', 0, 0);
        const QString rest = step.section(u' ', 1);
        if (command == u"post") {
            judged.post(rest);
        } else if (command == u"tick") {
            judged.clock.seconds = rest.toDouble();
            judged.table.tick();
        } else if (command == u"on" || command == u"off") {
            filter.setProblemsOnly(command == u"on");
        } else if (command == u"text") {
            filter.setText(rest);
        } else if (command == u"remove") {
            judged.table.removeHosts({rest.front().unicode() - u'a'});
        } else if (command == u"count") {
            QCOMPARE(filter.countText(), rest);
        } else {
            QStringList shown;
            for (const int row : filter.tableRows())
                shown << judged.table.host(row);
            QVERIFY2(shown.join(u' ') == rest, qPrintable(step + u" <> "_qs + shown.join(u' ')));
        }
    }
}

QTEST_GUILESS_MAIN(TestHostFilter)
#include "tst_hostfilter.moc"
