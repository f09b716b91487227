#include "gui/history/historyplot.h"

#include <QImage>
#include <QRegularExpression>
#include <QTest>

namespace {

constexpr qint64 minute = 60'000;
constexpr qint64 start = 1'772'366'400'000; // a round hour

// An hour of minutes with the 21st to the 39th missing: lowest i, highest i + 10,
// average i + 5 at minute i.
std::vector<Rollup> hourWithGap()
{
    std::vector<Rollup> rollups;
    for (int i = 0; i < 60; ++i) {
        if (i <= 20 || i >= 40)
            rollups.push_back(
                {start + i * minute, float(i), float(i + 10), float(i + 5), float(i + 6), 4});
    }
    return rollups;
}

// Whether any pixel of columns [from, to) (fractions of the width) is in the reading's
// colour, pure or as the band's light fill: the grid and text are grey.
bool drawnBetween(const QImage &image, double from, double to)
{
    for (int x = int(from * image.width()); x < int(to * image.width()); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            const QColor colour = image.pixelColor(x, y);
            if (colour.blue() > colour.red() + 20)
                return true;
        }
    }
    return false;
}

} // namespace

class tst_HistoryPlot final : public QObject
{
    Q_OBJECT

private slots:
    void rollupsAsBand();
    void summary_data();
    void summary();
};

// The band and its line stop where roll-ups are missing, and hovering tells the spread.
void tst_HistoryPlot::rollupsAsBand()
{
    HistoryPlot plot;
    plot.resize(600, 300);
    plot.setReadings({{u"CPU"_qs, u"%"_qs, {}, hourWithGap(), {}}}, start, start + 60 * minute,
                     minute);
    const QImage image = plot.grab().toImage();
    QVERIFY(drawnBetween(image, 0.15, 0.25));
    QVERIFY(!drawnBetween(image, 0.47, 0.57));
    QVERIFY(drawnBetween(image, 0.8, 0.9));

    const QString hover = plot.hoverText(QPointF(0.2 * plot.width(), plot.height() / 2.0));
    const QRegularExpressionMatch figures =
        QRegularExpression(u"^\\d\\d:\\d\\d:\\d\\d  (\\d+) % \\((\\d+) % \u2013 (\\d+) %\\)$"_qs)
            .match(hover);
    QVERIFY2(figures.hasMatch(), qPrintable(hover));
    QCOMPARE(figures.captured(1).toInt() - figures.captured(2).toInt(), 5);
    QCOMPARE(figures.captured(3).toInt() - figures.captured(2).toInt(), 10);
    QVERIFY(plot.hoverText(QPointF(0.2 * plot.width(), 1)).isEmpty());
}

void tst_HistoryPlot::summary_data()
{
    QTest::addColumn<std::vector<HistoryArchive::Point>>("points");
    QTest::addColumn<std::vector<Rollup>>("rollups");
    QTest::addColumn<QString>("expected");
    // 6 points averaging 10, 2 averaging 30, 2 averaging 20; the first before the span.
    const std::vector<Rollup> minutes{{start - minute, 4, 16, 10, 12, 6},
                                      {start, 25, 35, 30, 26, 2},
                                      {start + minute, -5, 40, 20, 38, 2}};
    QTest::newRow("roll-ups in the span, weighted by count")
        << std::vector<HistoryArchive::Point>() << minutes
        << u"Lowest -5 % \u00b7 Highest 40 % \u00b7 Average 25 % \u00b7 Latest 38 %"_qs;
    QTest::newRow("roll-ups drawn rather than points")
        << std::vector<HistoryArchive::Point>{{start, 99, false}}
        << std::vector<Rollup>{{start, 1, 3, 2, 3, 0}, {start + minute, 3, 5, 4, 3, 1}}
        << u"Lowest 1 % \u00b7 Highest 5 % \u00b7 Average 3 % \u00b7 Latest 3 %"_qs;
    QTest::newRow("nothing in the span") << std::vector<HistoryArchive::Point>()
                                         << std::vector<Rollup>() << u"No values in this time"_qs;
}

void tst_HistoryPlot::summary()
{
    QFETCH(std::vector<HistoryArchive::Point>, points);
    QFETCH(std::vector<Rollup>, rollups);
    QFETCH(QString, expected);
    HistoryPlot plot;
    plot.setReadings({{u"CPU"_qs, u"%"_qs, points, rollups, {}}}, start, start + 60 * minute,
                     minute);
    QCOMPARE(plot.summary(0), expected);
}

QTEST_MAIN(tst_HistoryPlot)
#include "tst_historyplot.moc"
