#include "engine/history/trendline.h"
#include "engine/limits/limitrule.h"

#include <QTest>

// A reading's points made small for a cell: which are kept, where they go, what colour.
// Points are written "time:value", "|" before one that follows a gap.
class tst_TrendLine final : public QObject
{
    Q_OBJECT

private slots:
    void keptPoints_data();
    void keptPoints();
    void pixels_data();
    void pixels();
};

namespace {

// Into line made afresh, or into one that held other points before.
TrendLine filled(int columns, const QString &points, bool reused = false)
{
    TrendLine line(0, 400, 1);
    if (reused) {
        for (HistoryStore::Tenths time = 0; time <= 400; time += 7)
            line.add({time, float(time % 13), time % 3 == 0});
    }
    line.restart(100, 199, columns);
    for (QString text : points.split(u' ', Qt::SkipEmptyParts)) {
        const bool gap = text.startsWith(u'|');
        const QStringList parts = text.remove(u'|').split(u':');
        line.add({HistoryStore::Tenths(parts[0].toUInt()), parts[1].toFloat(), gap});
    }
    return line;
}

QString written(const std::vector<HistoryStore::Point> &points)
{
    QStringList texts;
    for (const HistoryStore::Point &point : points)
        texts << (point.gapBefore() ? u"|"_qs : QString())
                     + u"%1:%2"_qs.arg(point.time()).arg(point.value());
    return texts.join(u' ');
}

// A rule with bounds written "warningAbove criticalAbove warningBelow criticalBelow", "-" for
// one absent.
LimitRule ruleOf(const QString &bounds)
{
    LimitRule rule;
    std::optional<LimitRule::Bound> *const targets[] = {&rule.warningAbove, &rule.criticalAbove,
                                                        &rule.warningBelow, &rule.criticalBelow};
    const QStringList texts = bounds.split(u' ', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < texts.size(); ++i) {
        if (texts[i] != u"-")
            *targets[i] = LimitRule::Bound::fromText(texts[i]);
    }
    return rule;
}

} // namespace

void tst_TrendLine::keptPoints_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<QString>("points");
    QTest::addColumn<QString>("kept");
    QTest::newRow("fewer points than columns: all") << 10 << "100:1 150:2 199:3"
                                                    << "100:1 150:2 199:3";
    QTest::newRow("outside the time: left out") << 10 << "99:7 120:1 200:7"
                                                << "120:1";
    QTest::newRow("a column keeps its lowest and highest in order")
        << 2 << "100:5 110:9 120:1 130:4 150:3 160:8"
        << "110:9 120:1 150:3 160:8";
    QTest::newRow("a short peak survives in one column") << 1 << "100:2 101:2 140:50 190:2"
                                                         << "100:2 140:50";
    QTest::newRow("a gap inside a column breaks before its second") << 1 << "100:1 |150:3 160:2"
                                                                    << "100:1 |150:3";
    QTest::newRow("a gap at a column's start stays there") << 2 << "100:1 |150:3 160:2"
                                                           << "100:1 |150:3 160:2";
}

void tst_TrendLine::keptPoints()
{
    QFETCH(int, columns);
    QFETCH(QString, points);
    QFETCH(QString, kept);
    QCOMPARE(written(filled(columns, points).points()), kept);
    QCOMPARE(written(filled(columns, points, true).points()), kept);
}

void tst_TrendLine::pixels_data()
{
    QTest::addColumn<QString>("points");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("bounds"); // warningAbove criticalAbove warningBelow criticalBelow
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("drawn"); // "x,y ..." in order
    QTest::addColumn<QString>("runs");  // level and count of each
    const QString above = u"80 95"_qs;
    QTest::newRow("a lone point in the middle") << "133:7" << QSize(100, 11) << above << ""
                                                << "33,5"
                                                << "N1";
    QTest::newRow("a flat line across the middle") << "100:5 199:5" << QSize(5, 5) << above << ""
                                                   << "0,2 1,2 2,2 3,2 4,2"
                                                   << "N5";
    QTest::newRow("negative values, the lowest at the bottom")
        << "100:-10 150:-20 199:-15" << QSize(3, 3) << above << ""
        << "0,0 1,1 1,2 2,1"
        << "N4";
    QTest::newRow("a joint's pixel once") << "100:0 150:10 199:0" << QSize(5, 3) << above << ""
                                          << "0,2 1,1 2,0 3,1 4,2"
                                          << "N5";
    QTest::newRow("a gap leaves out the pixels across it")
        << "100:0 120:10 |170:10 199:0" << QSize(10, 2) << above << ""
        << "0,1 1,0 2,0 6,0 7,0 8,1 9,1"
        << "N7";
    QTest::newRow("a joint into a piece beyond a limit stays with the piece before")
        << "100:50 133:50 166:90 199:50" << QSize(4, 2) << above << ""
        << "0,1 1,1 2,0 3,1"
        << "N2 W2";
    QTest::newRow("below a critical bound") << "100:10 199:2" << QSize(3, 2) << "- - 8 5"
                                            << ""
                                            << "0,0 1,1 2,1"
                                            << "C3";
    QTest::newRow("a bound for another unit does not apply")
        << "100:50 199:99" << QSize(2, 2) << "80% 95%"
        << "C"
        << "0,1 1,0"
        << "N2";
}

// The pixels a line covers, for drawing them as points: connected, each once, in the area.
void tst_TrendLine::pixels()
{
    QFETCH(QString, points);
    QFETCH(QSize, size);
    QFETCH(QString, bounds);
    QFETCH(QString, unit);
    QFETCH(QString, drawn);
    QFETCH(QString, runs);
    std::vector<QPoint> pixels{{-1, -1}};
    std::vector<TrendLine::Run> levels{{}};
    filled(100, points)
        .pixelsInto(size, TrendLine::Limits::of(ruleOf(bounds), unit), pixels, levels);
    QStringList texts;
    for (const QPoint &pixel : pixels)
        texts << u"%1,%2"_qs.arg(pixel.x()).arg(pixel.y());
    QCOMPARE(texts.join(u' '), drawn);
    QStringList counts;
    qsizetype next = 0;
    for (const TrendLine::Run &run : levels) {
        QCOMPARE(run.first, next);
        next += run.count;
        counts << QChar::fromLatin1("NWC"[int(run.level)]) + QString::number(run.count);
    }
    QCOMPARE(next, qsizetype(pixels.size()));
    QCOMPARE(counts.join(u' '), runs);
}

QTEST_APPLESS_MAIN(tst_TrendLine)
#include "tst_trendline.moc"
