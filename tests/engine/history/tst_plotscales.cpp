#include "engine/history/timescale.h"
#include "engine/history/valuescale.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTest>

class tst_PlotScales final : public QObject
{
    Q_OBJECT

private slots:
    void valueScale_data();
    void valueScale();
    void timeScale_data();
    void timeScale();
};

void tst_PlotScales::valueScale_data()
{
    QTest::addColumn<double>("lowest");
    QTest::addColumn<double>("highest");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("ticks");
    QTest::addColumn<double>("sample");
    QTest::addColumn<QString>("formatted");
    QTest::newRow("a flat line") << 45.0 << 45.0 << u"C"_qs << u"40 42 44 46 48 50"_qs << 45.0
                                 << u"45 C"_qs;
    QTest::newRow("one point at zero")
        << 0.0 << 0.0 << QString() << u"-1 -0.5 0 0.5 1"_qs << 0.0 << u"0"_qs;
    QTest::newRow("negative values")
        << -12.0 << 5.0 << u"C"_qs << u"-15 -10 -5 0 5"_qs << -12.25 << u"-12.3 C"_qs;
    QTest::newRow("a percentage") << 3.0 << 97.0 << u"%"_qs << u"0 20 40 60 80 100"_qs << 97.0
                                  << u"97 %"_qs;
    QTest::newRow("a unit with a multiplier")
        << 0.0 << 5e6 << u"B"_qs << u"0 1M 2M 3M 4M 5M"_qs << 2.5e6 << u"2.5MB"_qs;
    QTest::newRow("small decimals")
        << 0.12 << 0.18 << u"V"_qs << u"0.12 0.14 0.16 0.18"_qs << 0.125 << u"0.125 V"_qs;
    QTest::newRow("no values") << 1.0 << 0.0 << QString() << u"0 0.2 0.4 0.6 0.8 1"_qs << 0.5
                               << u"0.5"_qs;
}

void tst_PlotScales::valueScale()
{
    QFETCH(double, lowest);
    QFETCH(double, highest);
    QFETCH(QString, unit);
    QFETCH(QString, ticks);
    QFETCH(double, sample);
    QFETCH(QString, formatted);
    const ValueScale scale(lowest, highest, unit, 5);
    QStringList labels;
    for (const ValueScale::Tick &tick : scale.ticks())
        labels.append(tick.label);
    QCOMPARE(labels.join(u' '), ticks);
    QCOMPARE(scale.unit(), unit);
    QCOMPARE(scale.format(sample), formatted);
    // Every value is inside, the lowest at the bottom side and the highest at the top side.
    if (lowest <= highest) {
        QVERIFY(scale.lower() <= lowest && highest <= scale.upper());
        QVERIFY(scale.lower() < scale.upper());
        QVERIFY(scale.toPixel(highest, 10, 110) <= scale.toPixel(lowest, 10, 110));
    }
    QCOMPARE(scale.toPixel(scale.lower(), 10, 110), 110.0);
    QCOMPARE(scale.toPixel(scale.upper(), 10, 110), 10.0);
}

void tst_PlotScales::timeScale_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<qint64>("step");
    QTest::addColumn<QString>("label");
    QTest::newRow("a minute") << 60 << qint64(10) << u"^\\d\\d:\\d\\d:\\d\\d$"_qs;
    QTest::newRow("ten minutes") << 600 << qint64(120) << u"^\\d\\d:\\d\\d$"_qs;
    QTest::newRow("an hour") << 3600 << qint64(600) << u"^\\d\\d:\\d\\d$"_qs;
    QTest::newRow("six days") << 6 * 86400 << qint64(86400) << u"^\\d+ \\S+$"_qs;
}

void tst_PlotScales::timeScale()
{
    QFETCH(int, seconds);
    QFETCH(qint64, step);
    QFETCH(QString, label);
    const QDateTime end(QDate(2026, 3, 1), QTime(12, 3, 17));
    const qint64 endMs = end.toMSecsSinceEpoch();
    const TimeScale scale(endMs - qint64(seconds) * 1000, endMs, 6);
    QCOMPARE(scale.stepSeconds(), step);
    QVERIFY(scale.ticks().size() >= 3);
    QVERIFY(scale.ticks().size() <= 7);
    const QRegularExpression shape(label);
    for (const TimeScale::Tick &tick : scale.ticks()) {
        QVERIFY(tick.msecs >= scale.start() && tick.msecs <= scale.end());
        // On the local clock's round times.
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(tick.msecs);
        QCOMPARE(at.time().msecsSinceStartOfDay() % (step * 1000), 0);
        QVERIFY2(shape.match(tick.label).hasMatch(), qPrintable(tick.label));
    }
    QCOMPARE(scale.toPixel(scale.start(), 0, 500), 0.0);
    QCOMPARE(scale.fromPixel(500, 0, 500), scale.end());
}

QTEST_APPLESS_MAIN(tst_PlotScales)
#include "tst_plotscales.moc"
