#include "engine/limits/limitwatch.h"
#include "engine/overview/overviewmodel.h"
#include "engine/overview/overvieworder.h"
#include "engine/reception/reading.h"
#include "engine/reception/readingstable.h"
#include "fakereceiveclock.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// The overview over a live table: its aligned columns as names arrive and hosts go, the cap
// on columns, and the order of its rows.
class TestOverviewModel final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void alignedColumns_data();
    void alignedColumns();
    void arrangementFollowsRemoval();
    void columnCap();
    void sortOrder_data();
    void sortOrder();
    void problemsFirst();
    void resortOncePerInterval();

private:
    // "host|name|value" posts a reading, "-host" removes the host, "clear" every host.
    void run(const QStringList &steps);
    QStringList titles() const;
    // Each row as "host:value,value,...", the reading columns only.
    QStringList rows(const QAbstractItemModel &shown) const;

    FakeReceiveClock m_clock;
    std::unique_ptr<ReadingsTable> m_table;
    std::unique_ptr<OverviewModel> m_model;
};

void TestOverviewModel::init()
{
    m_clock.seconds = 0;
    m_model.reset();
    m_table = std::make_unique<ReadingsTable>(nullptr, ReadingsTable::defaultHostLimit, &m_clock);
    m_model = std::make_unique<OverviewModel>(*m_table);
}

void TestOverviewModel::run(const QStringList &steps)
{
    for (const QString &step : steps) {
        if (step == u"clear") {
            m_table->clear();
        } else if (step.startsWith(u'-')) {
            for (int row = 0; row < m_table->hostCount(); ++row) {
                if (m_table->host(row) == step.mid(1))
                    m_table->removeHosts({row});
            }
        } else {
            const QStringList fields = step.split(u'|');
            m_table->beginBatch();
            m_table->fillgrid({{},
                               u"Jun 10"_qs,
                               u"19:35:00"_qs,
                               fields[0],
                               u' ' + fields[1],
                               u' ' + fields[2] + u' '});
        }
        m_table->publish();
    }
}

QStringList TestOverviewModel::titles() const
{
    QStringList titles;
    for (int column = 0; column < m_model->columnCount(); ++column)
        titles << m_model->headerData(column, Qt::Horizontal).toString();
    return titles;
}

QStringList TestOverviewModel::rows(const QAbstractItemModel &shown) const
{
    QStringList rows;
    for (int row = 0; row < shown.rowCount(); ++row) {
        QStringList values;
        for (int column = OverviewModel::firstReadingColumn; column < shown.columnCount(); ++column)
            values << shown.index(row, column).data().toString();
        rows << shown.index(row, 0).data().toString() + u':' + values.join(u',');
    }
    return rows;
}

void TestOverviewModel::alignedColumns_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QStringList>("rows");

    const QStringList fixed{u"Host"_qs, u"Last heard"_qs};
    QTest::newRow("a name first heard later, a host without a reading")
        << QStringList{u"a|CPU|1"_qs, u"b|Disk|2"_qs, u"a|Disk|3"_qs, u"c|CPU|4"_qs}
        << fixed + QStringList{u"CPU"_qs, u"Disk"_qs}
        << QStringList{u"a:1,3"_qs, u"b:,2"_qs, u"c:4,"_qs};
    QTest::newRow("names in the order first heard anywhere, not a host's own order")
        << QStringList{u"a|X|1"_qs, u"b|Z|2"_qs, u"b|Y|3"_qs, u"a|Y|4"_qs, u"b|X|5"_qs}
        << fixed + QStringList{u"X"_qs, u"Z"_qs, u"Y"_qs}
        << QStringList{u"a:1,,4"_qs, u"b:5,2,3"_qs};
    QTest::newRow("values trimmed, the latest shown, a blank name no column")
        << QStringList{u"a|CPU|  45 C "_qs, u"a| CPU |46 C"_qs, u"a| |7"_qs}
        << fixed + QStringList{u"CPU"_qs} << QStringList{u"a:46 C"_qs};
    QTest::newRow("a removed host's own name goes with it")
        << QStringList{u"a|CPU|1"_qs, u"b|Fan|2"_qs, u"c|Disk|3"_qs, u"b|CPU|4"_qs, u"-b"_qs}
        << fixed + QStringList{u"CPU"_qs, u"Disk"_qs} << QStringList{u"a:1,"_qs, u"c:,3"_qs};
    QTest::newRow("a name heard again after its hosts went comes last")
        << QStringList{u"a|Fan|1"_qs, u"b|CPU|2"_qs, u"-a"_qs, u"c|Fan|3"_qs}
        << fixed + QStringList{u"CPU"_qs, u"Fan"_qs} << QStringList{u"b:2,"_qs, u"c:,3"_qs};
    QTest::newRow("cleared, the names start over")
        << QStringList{u"a|X|1"_qs, u"b|Y|2"_qs, u"clear"_qs, u"c|Z|3"_qs, u"c|Y|4"_qs}
        << fixed + QStringList{u"Z"_qs, u"Y"_qs} << QStringList{u"c:3,4"_qs};
}

void TestOverviewModel::alignedColumns()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, titles);
    QFETCH(QStringList, rows);

    QAbstractItemModelTester tester(m_model.get(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    run(steps);
    QCOMPARE(this->titles(), titles);
    QCOMPARE(this->rows(*m_model), rows);
    // The same built at once from a table that already holds the readings.
    const OverviewModel late(*m_table);
    QCOMPARE(this->rows(late), rows);
    // Posted but not yet published: not in view yet, neither row nor column.
    m_table->fillgrid({{}, u"Jun 10"_qs, u"19:35:00"_qs, u"new"_qs, u" New"_qs, u" 1 "_qs});
    QCOMPARE(m_model->rowCount(), rows.size());
    QCOMPARE(m_model->columnCount(), titles.size());
    m_table->publish();
    QCOMPARE(m_model->index(rows.size(), titles.size()).data().toString(), u"1");
}

void TestOverviewModel::arrangementFollowsRemoval()
{
    run({u"a|A|1"_qs, u"b|B|2"_qs, u"a|C|3"_qs});
    m_model->setColumnOrder({0, 4, 1, 3, 2});
    m_model->setColumnHidden(2, true);
    m_model->setColumnHidden(0, true); // the host is always shown
    m_model->setSorting({4, Qt::DescendingOrder, false});
    QSignalSpy arranged(m_model.get(), &OverviewModel::columnsArranged);
    run({u"-b"_qs});
    QCOMPARE(titles(), (QStringList{u"Host"_qs, u"Last heard"_qs, u"A"_qs, u"C"_qs}));
    QCOMPARE(m_model->columnOrder(), (std::vector<int>{0, 3, 1, 2}));
    QCOMPARE(m_model->shownColumns(), (std::vector<int>{0, 3, 1}));
    QCOMPARE(m_model->sorting().column, 3);
    QVERIFY(arranged.size() >= 1);
    // Not an order of every column: kept as it was.
    m_model->setColumnOrder({0, 1, 1, 2});
    QCOMPARE(m_model->columnOrder(), (std::vector<int>{0, 3, 1, 2}));
}

void TestOverviewModel::columnCap()
{
    // 21 hosts of 50 names each: 1,050 names, the last host's 50 beyond the cap.
    QAbstractItemModelTester tester(m_model.get(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy leftOut(m_model.get(), &OverviewModel::leftOutNamesChanged);
    for (int host = 0; host < 21; ++host) {
        m_table->beginBatch();
        for (int name = 0; name < 50; ++name) {
            m_table->fillgrid({{},
                               u"Jun 10"_qs,
                               u"19:35:00"_qs,
                               u"h%1"_qs.arg(host),
                               u" n%1"_qs.arg(host * 50 + name),
                               u" %1 "_qs.arg(name)});
        }
    }
    m_table->publish();
    constexpr int readings = OverviewModel::maxReadingColumns;
    QCOMPARE(m_model->columnCount(), OverviewModel::firstReadingColumn + readings);
    QCOMPARE(m_model->leftOutNames(), 50);
    QCOMPARE(leftOut.size(), 1);
    QCOMPARE(m_model->columnTitle(OverviewModel::firstReadingColumn + readings - 1), u"n999");
    QCOMPARE(m_model->index(20, OverviewModel::firstReadingColumn).data().toString(), QString());
    // The first host's names go: the names left out take their places, in the order heard.
    run({u"-h0"_qs});
    QCOMPARE(m_model->leftOutNames(), 0);
    QCOMPARE(leftOut.last().at(0).toInt(), 0);
    QCOMPARE(m_model->columnTitle(OverviewModel::firstReadingColumn), u"n50");
    const int last = OverviewModel::firstReadingColumn + readings - 1;
    QCOMPARE(m_model->columnTitle(last), u"n1049");
    QCOMPARE(m_model->index(19, last).data().toString(), u"49");
}

void TestOverviewModel::sortOrder_data()
{
    QTest::addColumn<QStringList>("values"); // of reading v, host by host: h1, h2, ...
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("order");
    QTest::addColumn<QStringList>("hosts");

    const int v = OverviewModel::firstReadingColumn;
    const int up = Qt::AscendingOrder;
    const int down = Qt::DescendingOrder;
    QTest::newRow("numbers by their number, not their text")
        << QStringList{u"10"_qs, u"9"_qs, u"100"_qs, u"-5"_qs, u"9.5"_qs} << v << up
        << QStringList{u"h4"_qs, u"h2"_qs, u"h5"_qs, u"h1"_qs, u"h3"_qs};
    QTest::newRow("multipliers understood, units aside")
        << QStringList{u"3.2G"_qs, u"900M"_qs, u"1.5 GB"_qs, u"2k"_qs, u"45 C"_qs} << v << up
        << QStringList{u"h3"_qs, u"h5"_qs, u"h4"_qs, u"h2"_qs, u"h1"_qs};
    QTest::newRow("words after numbers, empty cells last")
        << QStringList{u"ok"_qs, u""_qs, u"5"_qs, u"Down"_qs, u"1"_qs} << v << up
        << QStringList{u"h5"_qs, u"h3"_qs, u"h4"_qs, u"h1"_qs, u"h2"_qs};
    QTest::newRow("reversed, empty cells still last")
        << QStringList{u"ok"_qs, u""_qs, u"5"_qs, u"Down"_qs, u"1"_qs} << v << down
        << QStringList{u"h1"_qs, u"h4"_qs, u"h3"_qs, u"h5"_qs, u"h2"_qs};
    QTest::newRow("ties by host name either way")
        << QStringList{u"7"_qs, u"7 %"_qs, u"3"_qs, u"7.0"_qs} << v << down
        << QStringList{u"h1"_qs, u"h2"_qs, u"h4"_qs, u"h3"_qs};
    QTest::newRow("by host") << QStringList{u"1"_qs, u"2"_qs, u"3"_qs}
                             << int(OverviewModel::hostColumn) << down
                             << QStringList{u"h3"_qs, u"h2"_qs, u"h1"_qs};
    // Heard from the last host to the first, a second apart.
    QTest::newRow("by last heard: the host that stopped first on top")
        << QStringList{u"1"_qs, u"2"_qs, u"3"_qs} << int(OverviewModel::lastHeardColumn) << up
        << QStringList{u"h3"_qs, u"h2"_qs, u"h1"_qs};
}

void TestOverviewModel::sortOrder()
{
    QFETCH(QStringList, values);
    QFETCH(int, column);
    QFETCH(int, order);
    QFETCH(QStringList, hosts);

    for (int host = int(values.size()) - 1; host >= 0; --host) {
        m_clock.seconds += 1;
        const QString name = values[host].isEmpty() ? u"other"_qs : u"v"_qs;
        run({u"h%1|%2|%3"_qs.arg(host + 1).arg(name, values[host])});
    }
    OverviewOrder shown(m_model.get());
    QAbstractItemModelTester tester(&shown, QAbstractItemModelTester::FailureReportingMode::QtTest);
    m_model->setSorting({column, Qt::SortOrder(order), false});
    QStringList sorted;
    for (const int row : shown.tableRows())
        sorted << m_table->host(row);
    QCOMPARE(sorted, hosts);
    // Finding keeps the order among the hosts found.
    shown.setFindText(u"H"_qs + hosts.last().mid(1));
    QCOMPARE(shown.rowCount(), 1);
    QCOMPARE(shown.countText(), u"1 of %1 hosts"_qs.arg(hosts.size()));
    shown.setFindText({});
    QCOMPARE(shown.rowCount(), hosts.size());
    QCOMPARE(shown.index(hosts.size() - 1, 0).data().toString(), hosts.last());
}

void TestOverviewModel::problemsFirst()
{
    run({u"e|CPU|1"_qs, u"d|CPU|1"_qs, u"c|CPU|1"_qs, u"b|CPU|1"_qs, u"a|CPU|1"_qs});
    m_clock.seconds = 400;
    m_table->tick();
    run({u"e|CPU|99"_qs, u"b|CPU|60"_qs, u"a|CPU|60"_qs}); // c and d stay silent
    OverviewOrder shown(m_model.get());
    m_model->setSorting({-1, Qt::AscendingOrder, true});
    QCOMPARE(rows(shown), (QStringList{u"c:1"_qs, u"d:1"_qs, u"a:60"_qs, u"b:60"_qs, u"e:99"_qs}));
    shown.setProblemsOnly(true);
    QCOMPARE(rows(shown), (QStringList{u"c:1"_qs, u"d:1"_qs}));
    QCOMPARE(shown.countText(), u"2 of 5 hosts");
    shown.setProblemsOnly(false);

    // With limits: critical, then warning, then silent.
    LimitWatch limits(*m_table);
    QSignalSpy applied(&limits, &LimitWatch::applied);
    limits.setRules(
        LimitRules(QJsonDocument::fromJson(R"({"limits": [{"reading": "CPU", "warningAbove": 50,
                                                 "criticalAbove": 95}]})")
                       .object()));
    QTRY_COMPARE(applied.size(), 1);
    shown.resort();
    QCOMPARE(rows(shown), (QStringList{u"e:99"_qs, u"a:60"_qs, u"b:60"_qs, u"c:1"_qs, u"d:1"_qs}));
}

void TestOverviewModel::resortOncePerInterval()
{
    run({u"a|CPU|10"_qs, u"b|CPU|20"_qs, u"c|CPU|30"_qs});
    OverviewOrder shown(m_model.get());
    QAbstractItemModelTester tester(&shown, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QItemSelectionModel selection(&shown);
    m_model->setSorting({OverviewModel::firstReadingColumn, Qt::DescendingOrder, false});
    QCOMPARE(rows(shown), (QStringList{u"c:30"_qs, u"b:20"_qs, u"a:10"_qs}));
    selection.setCurrentIndex(shown.index(1, 2), QItemSelectionModel::SelectCurrent);

    run({u"a|CPU|50"_qs, u"b|CPU|5"_qs});
    // Not at once: the rows do not jump under the pointer with every reading.
    QCOMPARE(rows(shown), (QStringList{u"c:30"_qs, u"b:5"_qs, u"a:50"_qs}));
    QTRY_COMPARE_WITH_TIMEOUT(rows(shown), (QStringList{u"a:50"_qs, u"c:30"_qs, u"b:5"_qs}),
                              3 * OverviewOrder::resortIntervalMs);
    QCOMPARE(selection.currentIndex().row(), 2);
    QCOMPARE(selection.selectedIndexes().size(), 1);
    QCOMPARE(selection.selectedIndexes().constFirst().siblingAtColumn(0).data().toString(), u"b");
    // A new sorting applies at once.
    m_model->setSorting({OverviewModel::firstReadingColumn, Qt::AscendingOrder, false});
    QCOMPARE(rows(shown), (QStringList{u"b:5"_qs, u"c:30"_qs, u"a:50"_qs}));
    QCOMPARE(selection.currentIndex().siblingAtColumn(0).data().toString(), u"b");
    // Hosts removed and added keep the rows shown in step with the table.
    run({u"-c"_qs, u"d|CPU|1"_qs, u"-b"_qs});
    QCOMPARE(rows(shown), (QStringList{u"a:50"_qs, u"d:1"_qs}));
    QVERIFY(!selection.hasSelection());
    QCOMPARE(shown.mapFromSource(m_model->index(1, 2)).data().toString(), u"1");
}

QTEST_GUILESS_MAIN(TestOverviewModel)
#include "tst_overviewmodel.moc"
