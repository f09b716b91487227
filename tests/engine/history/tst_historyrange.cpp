#include "engine/history/historyrange.h"
#include "engine/history/rollupgaps.h"

#include <QTest>

namespace {

constexpr qint64 minute = 60'000;
constexpr qint64 hour = 60 * minute;
constexpr qint64 day = 24 * hour;

} // namespace

// The range an event is shown in, and where a line through roll-ups breaks.
class tst_HistoryRange final : public QObject
{
    Q_OBJECT

private slots:
    void covering_data();
    void covering();
    void gaps_data();
    void gaps();
};

void tst_HistoryRange::covering_data()
{
    QTest::addColumn<qint64>("age");
    QTest::addColumn<int>("range");
    QTest::addColumn<bool>("minutes");
    QTest::newRow("just now") << qint64(0) << int(HistoryRange::Hour) << true;
    QTest::newRow("half an hour ago") << 30 * minute << int(HistoryRange::Hour) << true;
    QTest::newRow("near the hour's edge") << 55 * minute << int(HistoryRange::Day) << true;
    QTest::newRow("yesterday") << 20 * hour << int(HistoryRange::Day) << true;
    QTest::newRow("three days ago") << 3 * day << int(HistoryRange::Week) << true;
    QTest::newRow("a fortnight ago") << 14 * day << int(HistoryRange::Month) << false;
    QTest::newRow("last year") << 300 * day << int(HistoryRange::All) << false;
}

void tst_HistoryRange::covering()
{
    QFETCH(qint64, age);
    QFETCH(int, range);
    QFETCH(bool, minutes);
    const HistoryRange::Choice chosen = HistoryRange::covering(age);
    QCOMPARE(int(chosen), range);
    QCOMPARE(HistoryRange::resolution(chosen) == HistoryArchive::Resolution::Minutes, minutes);
    if (chosen != HistoryRange::All)
        QVERIFY(HistoryRange::lengthMs(chosen) > age);
}

void tst_HistoryRange::gaps_data()
{
    QTest::addColumn<std::vector<qint64>>("minutes"); // the roll-ups' times
    QTest::addColumn<QString>("breaks");              // 1 where the line breaks before one
    QTest::newRow("every minute") << std::vector<qint64>{0, 1, 2, 3} << u"0000"_qs;
    QTest::newRow("two minutes missing") << std::vector<qint64>{0, 1, 4, 5, 6} << u"00000"_qs;
    QTest::newRow("three missing") << std::vector<qint64>{0, 1, 5, 6, 7} << u"00100"_qs;
    QTest::newRow("sent every five minutes")
        << std::vector<qint64>{0, 5, 10, 15, 20} << u"00000"_qs;
    QTest::newRow("silent for half an hour, sent every five minutes")
        << std::vector<qint64>{0, 5, 10, 40, 45, 50} << u"000100"_qs;
    QTest::newRow("one alone") << std::vector<qint64>{7} << u"0"_qs;
}

void tst_HistoryRange::gaps()
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

QTEST_APPLESS_MAIN(tst_HistoryRange)
#include "tst_historyrange.moc"
