#include "engine/history/rollupgaps.h"

#include <QTest>

namespace {

constexpr qint64 minute = 60'000;

} // namespace

// Where a line through roll-ups breaks.
class tst_RollupGaps final : public QObject
{
    Q_OBJECT

private slots:
    void gaps_data();
    void gaps();
};

void tst_RollupGaps::gaps_data()
{
    QTest::addColumn<std::vector<qint64>>("minutes"); // the roll-ups' times
    QTest::addColumn<QString>("breaks");              // 1 where the line breaks before one
    QTest::newRow("two minutes missing") << std::vector<qint64>{0, 1, 4, 5, 6} << u"00000"_qs;
    QTest::newRow("three missing") << std::vector<qint64>{0, 1, 5, 6, 7} << u"00100"_qs;
    QTest::newRow("sent every five minutes")
        << std::vector<qint64>{0, 5, 10, 15, 20} << u"00000"_qs;
    QTest::newRow("silent for half an hour, sent every five minutes")
        << std::vector<qint64>{0, 5, 10, 40, 45, 50} << u"000100"_qs;
}

void tst_RollupGaps::gaps()
{
    QFETCH(std::vector<qint64>, minutes);
    QFETCH(QString, breaks);
    std::vector<Rollup> rollups;
    for (const qint64 at : minutes)
        rollups.push_back({at * minute, 1, 2, 1.5f, 2, 3});
    QString found;
    for (const bool gap : RollupGaps::of(rollups, minute))
        found += gap ? u'1' : u'0';
    QCOMPARE(found, breaks);
}

QTEST_APPLESS_MAIN(tst_RollupGaps)
#include "tst_rollupgaps.moc"
