#include "engine/notify/troublesummary.h"
#include "gui/common/applicationicon.h"
#include "gui/common/readingslook.h"
#include "gui/notify/trayicon.h"

#include <QImage>
#include <QTest>

// What the tray icon says of the hosts in trouble, and the colour of its mark.
class TestTrayIcon final : public QObject
{
    Q_OBJECT

private slots:
    void toolTipCounts_data();
    void toolTipCounts();
    void markShowsTheWorstState_data();
    void markShowsTheWorstState();
};

void TestTrayIcon::toolTipCounts_data()
{
    QTest::addColumn<TroubleSummary>("summary");
    QTest::addColumn<QString>("tip");

    QTest::newRow("all well") << TroubleSummary{0, 0, 0, 120} << u"Senvo-Net"_qs;
    QTest::newRow("every kind") << TroubleSummary{
        2, 5, 3,
        120} << u"Senvo-Net \u00b7 2 critical \u00b7 5 warning \u00b7 3 of 120 hosts silent"_qs;
    QTest::newRow("warning only") << TroubleSummary{0, 1, 0, 4} << u"Senvo-Net \u00b7 1 warning"_qs;
    QTest::newRow("silent only") << TroubleSummary{0, 0, 4, 4}
                                 << u"Senvo-Net \u00b7 4 of 4 hosts silent"_qs;
}

void TestTrayIcon::toolTipCounts()
{
    QFETCH(const TroubleSummary, summary);
    QFETCH(const QString, tip);
    QCOMPARE(TrayIcon::toolTip(summary), tip);
}

void TestTrayIcon::markShowsTheWorstState_data()
{
    QTest::addColumn<TroubleSummary>("summary");
    QTest::addColumn<Trouble>("worst");

    QTest::newRow("all well") << TroubleSummary{0, 0, 0, 9} << Trouble::Normal;
    QTest::newRow("silent") << TroubleSummary{0, 0, 2, 9} << Trouble::Silent;
    QTest::newRow("warning over silent") << TroubleSummary{0, 1, 2, 9} << Trouble::Warning;
    QTest::newRow("critical over all") << TroubleSummary{1, 1, 2, 9} << Trouble::Critical;
}

void TestTrayIcon::markShowsTheWorstState()
{
    QFETCH(const TroubleSummary, summary);
    QFETCH(const Trouble, worst);
    QCOMPARE(summary.worst(), worst);

    constexpr int side = 32;
    const QImage drawn = TrayIcon::markedIcon(worst).pixmap(side, side).toImage();
    const QImage plain = applicationIcon().pixmap(side, side).toImage();
    // The middle of the mark, in the lower right corner.
    const QPoint mark(side * 3 / 4, side * 3 / 4);
    const QColor colour = ReadingsLook::markColour(worst);
    if (worst == Trouble::Normal) {
        QVERIFY(!colour.isValid());
        QCOMPARE(drawn.pixelColor(mark), plain.pixelColor(mark));
        return;
    }
    QCOMPARE(drawn.pixelColor(mark).rgb(), colour.rgb());
    // The marks tell the states apart.
    for (const auto other : {Trouble::Silent, Trouble::Warning, Trouble::Critical}) {
        if (other != worst)
            QVERIFY(ReadingsLook::markColour(other).rgb() != colour.rgb());
    }
}

QTEST_MAIN(TestTrayIcon)
#include "tst_trayicon.moc"
