#include "earlierrun.h"
#include "fakereceiveclock.h"
#include "gui/history/historywindow.h"
#include "testsupport.h"

#include <QFile>
#include <QStatusBar>
#include <QTest>

namespace {

constexpr qint64 minuteMs = 60'000;
constexpr qint64 hourMs = 60 * minuteMs;
constexpr qint64 dayMs = 24 * hourMs;

// db1's CPU every 10 s over [fromMs, toMs), 40 to 59 over and over, as an earlier run wrote it.
std::vector<ArchiveBatch> cpuOf(qint64 fromMs, qint64 toMs)
{
    ArchiveBatch batch;
    batch.newSeries.push_back({1, u"db1"_qs, u"CPU"_qs});
    for (qint64 t = fromMs; t < toMs; t += 10'000)
        batch.points.push_back({t, 1, float(40 + (t - fromMs) / 10'000 % 20), false});
    return {batch};
}

// The time each point of the plot's first reading was heard, relative to nowMs, in seconds,
// with "|" where the line breaks.
QString timesOf(const HistoryWindow &window, qint64 nowMs)
{
    QStringList times;
    for (const HistoryArchive::Point &point : window.plot()->readings().front().points)
        times.append((point.gapBefore ? u"|"_qs : QString())
                     + QString::number((point.timeMs - nowMs) / 1000));
    return times.join(u' ');
}

} // namespace

class tst_HistoryWindow final : public QObject
{
    Q_OBJECT

private slots:
    void hourGoesBackBeforeStartUp();
    void daysFromRollups();
    void memoryWhenTheFileCannotBeRead();
};

// After a restart, the last hour shows what the file kept from before, apart from what came
// since.
void tst_HistoryWindow::hourGoesBackBeforeStartUp()
{
    FakeReceiveClock clock;
    clock.wallAtZero = QDateTime::currentDateTime();
    const qint64 nowMs = clock.wallAtZero.toMSecsSinceEpoch();
    const EarlierRun run(cpuOf(nowMs - 30 * minuteMs, nowMs - 29 * minuteMs), &clock);
    QVERIFY2(run.problem().isEmpty(), qPrintable(run.problem()));
    clock.seconds = 1;
    run.post(u"db1"_qs, u"CPU"_qs, u"45 %"_qs);
    clock.seconds = 11;
    run.post(u"db1"_qs, u"CPU"_qs, u"47 %"_qs);
    HistoryWindow window(run.monitor(), 0, {0});
    QCOMPARE(timesOf(window, nowMs), u"-1800 -1790 -1780 -1770 -1760 -1750 |1 11"_qs);

    window.setRange(HistoryRange::TenMinutes);
    QCOMPARE(timesOf(window, nowMs), u"1 11"_qs);
}

// The longer ranges draw the file's roll-ups, and save them; where it has none, memory's points.
void tst_HistoryWindow::daysFromRollups()
{
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    const qint64 twoDaysAgo = nowMs / hourMs * hourMs - 2 * dayMs;
    const EarlierRun run(cpuOf(twoDaysAgo, twoDaysAgo + 3 * hourMs));
    run.post(u"db1"_qs, u"CPU"_qs, u"45 %"_qs);
    HistoryWindow window(run.monitor(), 0, {0});

    window.setRange(HistoryRange::Week);
    QCOMPARE(window.plot()->readings().front().rollups.size(), 180u);
    QVERIFY(window.plot()->summary(0).startsWith(u"Lowest 40 % \u00b7 Highest 59 %"_qs));
    const QString path = run.folder() + u"/week.csv"_qs;
    QVERIFY(window.saveHistory(path));
    const QStringList lines = QString::fromUtf8(readBytes(path)).split(u"\r\n"_qs);
    QCOMPARE(lines.size(), 182);
    QCOMPARE(lines[0], u"Time,CPU (%) lowest,CPU (%) highest,CPU (%) average"_qs);
    QCOMPARE(lines[1].section(u',', 1), u"40,45,42.5"_qs);
}

// A file that cannot be read leaves what memory holds, and the window says why.
void tst_HistoryWindow::memoryWhenTheFileCannotBeRead()
{
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    const EarlierRun run(
        cpuOf(nowMs - dayMs, nowMs - dayMs + hourMs), nullptr, [](const QString &file) {
            // A later schema: the header's user_version, big-endian at byte 60.
            QFile made(file);
            QVERIFY(made.open(QIODevice::ReadWrite) && made.seek(63) && made.putChar(99));
        });
    QVERIFY(!run.archive().problem().isEmpty());
    run.post(u"db1"_qs, u"CPU"_qs, u"45 %"_qs);
    HistoryWindow window(run.monitor(), 0, {0});
    window.setRange(HistoryRange::Week);
    QVERIFY(window.plot()->readings().front().rollups.empty());
    QCOMPARE(window.plot()->readings().front().points.size(), 1u);
    QCOMPARE(window.statusBar()->currentMessage(), run.archive().problem());
}

QTEST_MAIN(tst_HistoryWindow)
#include "tst_historywindow.moc"
