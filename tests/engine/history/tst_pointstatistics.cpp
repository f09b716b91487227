#include "engine/history/pointstatistics.h"

#include <QTest>

using Points = std::vector<HistoryArchive::Point>;
using Rollups = std::vector<Rollup>;

class tst_PointStatistics final : public QObject
{
    Q_OBJECT

private slots:
    void figures_data();
    void figures();
    void rollups_data();
    void rollups();

private:
    static void compare(const PointStatistics &statistics, qsizetype count, double lowest,
                        double highest, double average, double latest);
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
    compare(statistics, count, lowest, highest, average, latest);
}

void tst_PointStatistics::rollups_data()
{
    QTest::addColumn<Rollups>("rollups");
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qsizetype>("count");
    QTest::addColumn<double>("lowest");
    QTest::addColumn<double>("highest");
    QTest::addColumn<double>("average");
    QTest::addColumn<double>("latest");
    // Minutes: 6 points averaging 10, 2 averaging 30, 2 averaging 20.
    const Rollups minutes{
        {0, 4, 16, 10, 12, 6}, {60'000, 25, 35, 30, 26, 2}, {120'000, -5, 40, 20, 40, 2}};
    QTest::newRow("weighted by count")
        << minutes << qint64(0) << qsizetype(10) << -5.0 << 40.0 << 16.0 << 40.0;
    QTest::newRow("from a roll-up")
        << minutes << qint64(60'000) << qsizetype(4) << -5.0 << 40.0 << 25.0 << 40.0;
    QTest::newRow("from within one: it is left out")
        << minutes << qint64(90'000) << qsizetype(2) << -5.0 << 40.0 << 20.0 << 40.0;
    QTest::newRow("none from then")
        << minutes << qint64(180'000) << qsizetype(0) << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("no roll-ups") << Rollups() << qint64(0) << qsizetype(0) << 0.0 << 0.0 << 0.0
                                 << 0.0;
    QTest::newRow("a count of 0 stands for one point")
        << Rollups{{0, 1, 1, 1, 1, 0}, {60'000, 3, 3, 3, 3, 1}} << qint64(0) << qsizetype(2) << 1.0
        << 3.0 << 2.0 << 3.0;
}

void tst_PointStatistics::rollups()
{
    QFETCH(Rollups, rollups);
    QFETCH(qint64, from);
    QFETCH(qsizetype, count);
    QFETCH(double, lowest);
    QFETCH(double, highest);
    QFETCH(double, average);
    QFETCH(double, latest);
    compare(PointStatistics::of(rollups, from), count, lowest, highest, average, latest);
}

void tst_PointStatistics::compare(const PointStatistics &statistics, qsizetype count, double lowest,
                                  double highest, double average, double latest)
{
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
