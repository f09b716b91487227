#include "fakereceiveclock.h"

#include "engine/archive/archiveblocks.h"
#include "engine/archive/archivedatabase.h"
#include "engine/archive/archivewriter.h"
#include "engine/archive/historyarchive.h"
#include "engine/limits/limitrules.h"
#include "engine/limits/limitwatch.h"
#include "engine/reception/reading.h"
#include "engine/reception/readingstable.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

constexpr qint64 minuteMs = ArchiveDatabase::minuteMs;
constexpr qint64 hourMs = ArchiveDatabase::hourMs;
constexpr qint64 dayMs = ArchiveDatabase::dayMs;
// 2026-03-01 12:00 UTC, on the hour.
constexpr qint64 startMs = 1772366400000;

ArchiveSettings settingsIn(const QString &folder, const QJsonObject &history = {})
{
    QJsonObject root;
    if (!history.isEmpty())
        root.insert(ArchiveSettings::key, history);
    return ArchiveSettings::fromObject(root, folder, folder);
}

// A writer on a clock the test moves, over a file in a folder of its own.
struct Writer
{
    explicit Writer(const QString &folder, const QJsonObject &history = {})
        : writer(settingsIn(folder, history),
                 [this] { return QDateTime::fromMSecsSinceEpoch(nowMs); })
    {
        writer.openFile();
    }

    // One reading's point every 10 s over [fromMs, toMs), of value(t).
    void writePoints(qint64 fromMs, qint64 toMs, const std::function<float(qint64)> &value,
                     const QString &host = u"db1"_qs)
    {
        const quint32 series = ++seriesCount;
        for (qint64 t = fromMs; t < toMs; t += 10'000) {
            ArchiveBatch batch;
            if (t == fromMs)
                batch.newSeries.push_back({series, host, u"CPU"_qs});
            batch.points.push_back({t, series, value(t), false});
            writer.write(std::move(batch));
        }
    }

    qint64 nowMs = startMs;
    quint32 seriesCount = 0;
    ArchiveWriter writer;
};

std::unique_ptr<ArchiveDatabase> readerOf(const QString &folder)
{
    auto database =
        std::make_unique<ArchiveDatabase>(QDir(folder).filePath(ArchiveSettings::fileName));
    return database->open(ArchiveDatabase::Access::ReadOnly) == ArchiveDatabase::Open::Opened
               ? std::move(database)
               : nullptr;
}

} // namespace

class tst_HistoryArchive final : public QObject
{
    Q_OBJECT

private slots:
    void blocksRoundTrip_data();
    void blocksRoundTrip();
    void rollupsKeepExtremes();
    void capRemovesOldestFirst();
    void hourAndHostsBackAfterRestart();
    void removedHostLeavesOthersAlone();
    void badFiles_data();
    void badFiles();
    void unwritableFolderCatchesUp();
    void secondProgramKeepsToMemory();
};

void tst_HistoryArchive::blocksRoundTrip_data()
{
    QTest::addColumn<QList<float>>("values");
    QTest::addColumn<QList<int>>("steps");
    QTest::newRow("one") << QList<float>{42} << QList<int>{0};
    QTest::newRow("steady, full hour") << QList<float>(60, 45.5f) << [] {
        QList<int> all;
        for (int i = 0; i < 60; ++i)
            all.append(i);
        return all;
    }();
    QTest::newRow("gaps and extremes")
        << QList<float>{-1e30f, 0, 3.25f, 1e30f, -0.0f} << QList<int>{0, 7, 8, 30, 59};
}

void tst_HistoryArchive::blocksRoundTrip()
{
    QFETCH(const QList<float>, values);
    QFETCH(const QList<int>, steps);
    std::vector<Rollup> rollups;
    std::vector<ArchivePoint> points;
    for (qsizetype i = 0; i < values.size(); ++i) {
        const float v = values[i];
        rollups.push_back({startMs + steps[i] * minuteMs, v - 1, v + 1, v, v, quint32(i + 1)});
        points.push_back({startMs + steps[i] * 1234, quint32(i * 300), v, i % 2 == 1});
    }
    const QByteArray packed = ArchiveBlocks::packRollups(rollups, startMs, minuteMs);
    QCOMPARE(ArchiveBlocks::unpackRollups(packed, startMs, minuteMs), rollups);
    const std::vector<ArchivePoint> back =
        ArchiveBlocks::unpackPoints(ArchiveBlocks::packPoints(points, startMs), startMs);
    QCOMPARE(back.size(), points.size());
    for (size_t i = 0; i < back.size(); ++i) {
        QCOMPARE(back[i].timeMs, points[i].timeMs);
        QCOMPARE(back[i].series, points[i].series);
        QCOMPARE(back[i].gapBefore, points[i].gapBefore);
        QCOMPARE(std::bit_cast<quint32>(back[i].value), std::bit_cast<quint32>(points[i].value));
    }
    // What is cut short or is no block at all reads as nothing, never as made-up values.
    QVERIFY(
        ArchiveBlocks::unpackRollups(packed.left(packed.size() - 3), startMs, minuteMs).empty());
    QVERIFY(ArchiveBlocks::unpackPoints(QByteArray("\x01\x05\x02", 3), startMs).empty());
}

void tst_HistoryArchive::rollupsKeepExtremes()
{
    QTemporaryDir folder;
    Writer w(folder.path());
    // A wave over three hours with one spike at 12:30:20.
    const auto value = [](qint64 t) {
        return t == startMs + 30 * minuteMs + 20'000 ? 500.f
                                                     : float(50 + 10 * std::sin(double(t) / 6e5));
    };
    w.writePoints(startMs, startMs + 3 * hourMs, value);
    w.nowMs = startMs + 3 * hourMs;
    w.writer.maintainNow();
    QVERIFY(w.writer.problem().isEmpty());

    auto reader = readerOf(folder.path());
    QVERIFY(reader);
    // Two hours are rolled up and their points gone; the last is kept as points.
    QVERIFY(reader->points(u"db1"_qs, u"CPU"_qs, startMs, startMs + 2 * hourMs).empty());
    QCOMPARE(reader->points(u"db1"_qs, u"CPU"_qs, startMs + 2 * hourMs, w.nowMs).size(), 360u);
    const std::vector<Rollup> minutes =
        reader->minutes(u"db1"_qs, u"CPU"_qs, startMs, startMs + 3 * hourMs);
    QCOMPARE(minutes.size(), 180u); // the last hour's made from its points
    const Rollup &spiked = minutes[30];
    QCOMPARE(spiked.timeMs, startMs + 30 * minuteMs);
    QCOMPARE(spiked.highest, 500.f);
    QCOMPARE(spiked.count, 6u);
    const std::vector<Rollup> hours = reader->hours(u"db1"_qs, u"CPU"_qs, startMs, w.nowMs);
    QCOMPARE(hours.size(), 3u);
    QCOMPARE(hours[0].highest, 500.f);
    QCOMPARE(hours[0].count, 360u);
    for (const Rollup &hour : hours)
        QVERIFY(hour.lowest >= 40 && hour.lowest <= hour.average && hour.average <= hour.highest);
}

void tst_HistoryArchive::capRemovesOldestFirst()
{
    QTemporaryDir folder;
    // Minutes for 2 days, hours for 10, in 120 KB: less than all of it takes.
    Writer w(folder.path(),
             {{u"minuteDays"_qs, 2}, {u"hourDays"_qs, 10}, {u"maxSize"_qs, u"120K"_qs}});
    constexpr int hosts = 30;
    for (qint64 t = startMs; t < startMs + 8 * hourMs; t += 30'000) {
        ArchiveBatch batch;
        for (quint32 host = 1; host <= hosts; ++host) {
            if (t == startMs)
                batch.newSeries.push_back({host, u"host%1"_qs.arg(host), u"CPU"_qs});
            batch.points.push_back({t, host, float((t / 10'000 + host * 7) % 97), false});
        }
        w.writer.write(std::move(batch));
    }
    w.nowMs = startMs + 9 * hourMs;
    w.writer.maintainNow();
    auto reader = readerOf(folder.path());
    QVERIFY(reader);
    QVERIFY(reader->usedBytes() <= 120 * 1024);
    // The oldest minutes went first; the hours of the same time stay.
    QVERIFY(reader->minutes(u"host1"_qs, u"CPU"_qs, startMs, startMs + hourMs).empty());
    QCOMPARE(
        reader->minutes(u"host1"_qs, u"CPU"_qs, startMs + 7 * hourMs, startMs + 8 * hourMs).size(),
        60u);
    QCOMPARE(reader->hours(u"host1"_qs, u"CPU"_qs, startMs, startMs + 8 * hourMs).size(), 8u);
    // Past their days, whatever the size.
    w.nowMs = startMs + 11 * dayMs;
    w.writer.maintainNow();
    QVERIFY(reader->hours(u"host1"_qs, u"CPU"_qs, startMs, w.nowMs).empty());
}

void tst_HistoryArchive::hourAndHostsBackAfterRestart()
{
    QTemporaryDir folder;
    FakeReceiveClock clock;
    clock.wallAtZero = QDateTime::fromMSecsSinceEpoch(startMs);
    const ArchiveSettings settings = settingsIn(folder.path());
    const auto wall = [&clock] { return clock.wallTime(); };
    const auto post = [&clock](ReadingsTable &table, double seconds, const QString &value) {
        clock.seconds = seconds;
        table.beginBatch();
        Reading reading;
        reading.host = u"db1"_qs;
        reading.name = u" CPU"_qs;
        reading.value = u' ' + value + u' ';
        table.fillgrid(reading);
        table.publish();
        table.tick();
    };
    const LimitRules rules(
        QJsonDocument::fromJson(R"({"limits":[{"reading":"CPU","criticalAbove":90}]})").object());
    {
        ReadingsTable table(nullptr, ReadingsTable::defaultHostLimit, &clock);
        LimitWatch limits(table);
        limits.setRules(rules);
        HistoryArchive archive(table, &limits, settings, nullptr, wall);
        QVERIFY2(archive.problem().isEmpty(), qPrintable(archive.problem()));
        for (int i = 0; i < 60; ++i)
            post(table, 10.0 * i, i == 30 || i == 59 ? u"95 %"_qs : u"%1 %"_qs.arg(40 + i % 5));
        archive.flush();
    }
    clock.seconds = 660;
    ReadingsTable table(nullptr, ReadingsTable::defaultHostLimit, &clock);
    LimitWatch limits(table);
    limits.setRules(rules);
    HistoryArchive archive(table, &limits, settings, nullptr, wall);
    const std::vector<HistoryArchive::Point> points =
        archive.points(u"db1"_qs, u"CPU"_qs, startMs, clock.wallTime().toMSecsSinceEpoch());
    QCOMPARE(points.size(), 60u);
    QCOMPARE(points[30].value, 95.f);
    QCOMPARE(points[30].timeMs, startMs + 300'000);
    const std::vector<KeptHost> hosts = archive.keptHosts(clock.wallTime().addDays(-1));
    QCOMPARE(hosts.size(), 1u);
    QCOMPARE(hosts[0].readings, (QList<std::pair<QString, QString>>{{u"CPU"_qs, u" 95 % "_qs}}));
    QCOMPARE(hosts[0].lastHeardMs, startMs + 590'000);
    // Back critical, and heard critical again: only its silence ended.
    table.restoreHosts(hosts);
    archive.flush();
    post(table, 670, u"96 %"_qs);
    archive.flush();
    QStringList changes;
    for (const ArchiveEvent &event : archive.events(startMs, startMs + hourMs))
        changes.append(event.reading + u':' + event.from + u'>' + event.to);
    QCOMPARE(changes,
             (QStringList{u":silent>heard"_qs, u"CPU:normal>critical"_qs, u"CPU:critical>normal"_qs,
                          u"CPU:normal>critical"_qs, u":>heard"_qs}));
}

// Rows move up when one above them goes, and a host heard again after its removal is a new row:
// each reading's points stay its own all the same.
void tst_HistoryArchive::removedHostLeavesOthersAlone()
{
    QTemporaryDir folder;
    FakeReceiveClock clock;
    clock.wallAtZero = QDateTime::fromMSecsSinceEpoch(startMs);
    ReadingsTable table(nullptr, ReadingsTable::defaultHostLimit, &clock);
    HistoryArchive archive(table, nullptr, settingsIn(folder.path()), nullptr,
                           [&clock] { return clock.wallTime(); });
    const QStringList hosts{u"a"_qs, u"b"_qs, u"c"_qs};
    const QStringList names{u"CPU"_qs, u"Fan"_qs};
    // Each value says whose it is and when it was posted.
    const auto post = [&](int round, const QStringList &heard) {
        clock.seconds = 10.0 * round;
        table.beginBatch();
        for (const QString &host : heard) {
            for (int name = 0; name < names.size(); ++name) {
                Reading reading;
                reading.host = host;
                reading.name = u' ' + names[name];
                reading.value = u" %1 "_qs.arg(100 * hosts.indexOf(host) + 10 * name + round);
                table.fillgrid(reading);
            }
        }
        table.publish();
        table.tick();
        archive.flush();
    };
    post(0, hosts);
    post(1, hosts);
    table.removeHosts({1});
    post(2, {u"a"_qs, u"c"_qs});
    post(3, {u"c"_qs, u"b"_qs});
    for (int host = 0; host < hosts.size(); ++host) {
        for (int name = 0; name < names.size(); ++name) {
            QList<float> values;
            for (const HistoryArchive::Point &point :
                 archive.points(hosts[host], names[name], startMs, startMs + hourMs))
                values.append(point.value);
            const QList<int> rounds = host == 0   ? QList<int>{0, 1, 2}
                                      : host == 1 ? QList<int>{0, 1, 3}
                                                  : QList<int>{0, 1, 2, 3};
            QList<float> expected;
            for (const int round : rounds)
                expected.append(float(100 * host + 10 * name + round));
            QCOMPARE(values, expected);
        }
    }
    QStringList changes;
    for (const ArchiveEvent &event : archive.events(startMs, startMs + hourMs))
        changes.prepend(event.host + u':' + event.from + u'>' + event.to);
    QCOMPARE(changes, (QStringList{u"a:>heard"_qs, u"b:>heard"_qs, u"c:>heard"_qs,
                                   u"b:heard>removed"_qs, u"b:>heard"_qs}));
}

void tst_HistoryArchive::badFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("movedAside");
    QTest::addColumn<bool>("inMemory");
    QTest::newRow("not a database") << QByteArray(4096, 'x') << true << false;
    QByteArray damaged(QByteArray("SQLite format 3\0", 16) + QByteArray(8192, '\xff'));
    QTest::newRow("damaged") << damaged << true << false;
    QTest::newRow("newer") << QByteArray() << false << true;
}

void tst_HistoryArchive::badFiles()
{
    QFETCH(const QByteArray, content);
    QFETCH(const bool, movedAside);
    QFETCH(const bool, inMemory);
    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath(ArchiveSettings::fileName);
    if (content.isEmpty()) {
        {
            Writer made(folder.path());
            made.writer.finish();
        }
        // A later schema: the header's user_version, a big-endian word at byte 60.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek(63));
        QVERIFY(file.putChar(99));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QFile before(path);
    QVERIFY(before.open(QIODevice::ReadOnly));
    const QByteArray bytes = before.readAll();
    before.close();

    Writer w(folder.path());
    w.writePoints(startMs, startMs + minuteMs, [](qint64) { return 1.f; });
    QCOMPARE(!w.writer.problem().isEmpty(), inMemory);
    QCOMPARE(!w.writer.notice().isEmpty(), movedAside);
    const QStringList aside = QDir(folder.path()).entryList({u"*.damaged-*"_qs});
    QCOMPARE(aside.size(), movedAside ? 1 : 0);
    if (movedAside) {
        QFile moved(QDir(folder.path()).filePath(aside.first()));
        QVERIFY(moved.open(QIODevice::ReadOnly));
        QCOMPARE(moved.readAll(), bytes); // nothing deleted
        QVERIFY(w.writer.notice().contains(aside.first()));
        auto reader = readerOf(folder.path());
        QVERIFY(reader);
        QCOMPARE(reader->points(u"db1"_qs, u"CPU"_qs, startMs, startMs + minuteMs).size(), 6u);
    } else {
        QFile after(path);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), bytes); // left as it was
    }
}

void tst_HistoryArchive::unwritableFolderCatchesUp()
{
    QTemporaryDir parent;
    const QString folder = parent.filePath(u"history"_qs);
    // A file where the folder should be: nothing can be made there, by any user.
    QFile blocker(folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Writer w(folder);
    QVERIFY(w.writer.problem().contains(QDir::toNativeSeparators(folder)));
    w.writePoints(startMs, startMs + 2 * minuteMs, [](qint64 t) { return float(t % 7); });
    QVERIFY(!w.writer.problem().isEmpty());
    QVERIFY(blocker.remove());
    w.writer.retryNow();
    QVERIFY2(w.writer.problem().isEmpty(), qPrintable(w.writer.problem()));
    auto reader = readerOf(folder);
    QVERIFY(reader);
    QCOMPARE(reader->points(u"db1"_qs, u"CPU"_qs, startMs, startMs + hourMs).size(), 12u);
}

void tst_HistoryArchive::secondProgramKeepsToMemory()
{
    QTemporaryDir folder;
    Writer first(folder.path());
    Writer second(folder.path());
    QVERIFY(first.writer.problem().isEmpty());
    QVERIFY(second.writer.problem().contains(u"Another Senvo-Net"_qs));
}

QTEST_GUILESS_MAIN(tst_HistoryArchive)
#include "tst_historyarchive.moc"
