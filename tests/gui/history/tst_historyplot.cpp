#include "gui/history/historyplot.h"

#include <QImage>
#include <QRegularExpression>
#include <QTest>

namespace {

constexpr qint64 minute = 60'000;
constexpr qint64 start = 1'772'366'400'000; // a round hour

// minutes minutes with the middle third missing: at minute i, lowest i % 20, highest 30 above,
// average 15 above.
std::vector<Rollup> minutesWithGap(int minutes)
{
    std::vector<Rollup> rollups;
    for (int i = 0; i < minutes; ++i) {
        const auto lowest = float(i % 20);
        if (i <= minutes / 3 || i >= 2 * minutes / 3)
            rollups.push_back(
                {start + i * minute, lowest, lowest + 30, lowest + 15, lowest + 16, 4});
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

// The longest upright run of pixels in the reading's colour in column x.
int tallestRun(const QImage &image, int x)
{
    int tallest = 0;
    int run = 0;
    for (int y = 0; y < image.height(); ++y) {
        const QColor colour = image.pixelColor(x, y);
        run = colour.blue() > colour.red() + 20 ? run + 1 : 0;
        tallest = std::max(tallest, run);
    }
    return tallest;
}

} // namespace

class tst_HistoryPlot final : public QObject
{
    Q_OBJECT

private slots:
    void rollupsAsBand_data();
    void rollupsAsBand();
    void summary_data();
    void summary();
};

void tst_HistoryPlot::rollupsAsBand_data()
{
    QTest::addColumn<int>("minutes");
    QTest::newRow("a roll-up to several pixels") << 60;
    QTest::newRow("several roll-ups to a pixel") << 3000;
}

// The band spans lowest to highest, it and its line stop where roll-ups are missing, and
// hovering tells the spread.
void tst_HistoryPlot::rollupsAsBand()
{
    QFETCH(int, minutes);
    HistoryPlot plot;
    plot.resize(600, 300);
    plot.setReadings({{u"CPU"_qs, u"%"_qs, {}, minutesWithGap(minutes), {}}}, start,
                     start + minutes * minute, minute);
    const QImage image = plot.grab().toImage();
    QVERIFY(drawnBetween(image, 0.15, 0.25));
    QVERIFY(!drawnBetween(image, 0.42, 0.58));
    QVERIFY(drawnBetween(image, 0.8, 0.9));
    QVERIFY2(tallestRun(image, int(0.2 * image.width())) > image.height() / 4,
             qPrintable(QString::number(tallestRun(image, int(0.2 * image.width())))));

    const QString hover = plot.hoverText(QPointF(0.2 * plot.width(), plot.height() / 2.0));
    const QRegularExpressionMatch figures =
        QRegularExpression(u"\\d\\d:\\d\\d:\\d\\d  (\\d+) % \\((\\d+) % \u2013 (\\d+) %\\)$"_qs)
            .match(hover);
    QVERIFY2(figures.hasMatch(), qPrintable(hover));
    QCOMPARE(figures.captured(1).toInt() - figures.captured(2).toInt(), 15);
    QCOMPARE(figures.captured(3).toInt() - figures.captured(2).toInt(), 30);
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
