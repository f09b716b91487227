#include "engine/history/pointstatistics.h"

#include <QTest>

using Points = std::vector<HistoryArchive::Point>;

class tst_PointStatistics final : public QObject
{
    Q_OBJECT

private slots:
    void figures_data();
    void figures();
};

void tst_PointStatistics::figures_data()
{
    QTest::addColumn<Points>("points");
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qsizetype>("count");
    QTest::addColumn<double>("lowest");
    QTest::addColumn<double>("highest");
    QTest::addColumn<double>("average");
    QTest::addColumn<double>("latest");
    const Points wandering{{10, 4, false}, {20, -2, false}, {30, 9, true}, {40, 1, false}};
    QTest::newRow("all shown") << wandering << qint64(0) << qsizetype(4) << -2.0 << 9.0 << 3.0
                               << 1.0;
    QTest::newRow("from a point") << wandering << qint64(30) << qsizetype(2) << 1.0 << 9.0 << 5.0
                                  << 1.0;
    QTest::newRow("from between points")
        << wandering << qint64(15) << qsizetype(3) << -2.0 << 9.0 << 8.0 / 3 << 1.0;
    QTest::newRow("the last alone")
        << wandering << qint64(40) << qsizetype(1) << 1.0 << 1.0 << 1.0 << 1.0;
    QTest::newRow("none from then")
        << wandering << qint64(41) << qsizetype(0) << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("no points") << Points() << qint64(0) << qsizetype(0) << 0.0 << 0.0 << 0.0 << 0.0;
    // Summed as floats, the small ones would vanish beside the large.
    const Points wide{{1, 1e8f, false}, {2, 1, false}, {3, 1, false}, {4, -1e8f, false}};
    QTest::newRow("large and small")
        << wide << qint64(0) << qsizetype(4) << -1e8 << 1e8 << 0.5 << -1e8;
}

void tst_PointStatistics::figures()
{
    QFETCH(Points, points);
    QFETCH(qint64, from);
    QFETCH(qsizetype, count);
    QFETCH(double, lowest);
    QFETCH(double, highest);
    QFETCH(double, average);
    QFETCH(double, latest);
    const PointStatistics statistics = PointStatistics::of(points, from);
    QCOMPARE(statistics.count(), count);
    QCOMPARE(statistics.isEmpty(), count == 0);
    if (count == 0)
        return;
    QCOMPARE(statistics.lowest(), lowest);
    QCOMPARE(statistics.highest(), highest);
    QCOMPARE(statistics.average(), average);
    QCOMPARE(statistics.latest(), latest);
}

QTEST_APPLESS_MAIN(tst_PointStatistics)

#include "tst_pointstatistics.moc"
