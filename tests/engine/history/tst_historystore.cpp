#include "fakereceiveclock.h"

#include "engine/history/historystore.h"
#include "engine/reception/reading.h"
#include "engine/reception/readingstable.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <functional>

namespace {

using Point = HistoryStore::Point;

// A table on a clock the test moves, and the store that follows it.
struct Fixture
{
    explicit Fixture(qint64 cap = HistoryStore::defaultCapBytes)
        : store(table, cap)
    {
    }

    void post(double seconds, const QString &host, const QString &name, const QString &value,
              bool publish = true)
    {
        clock.seconds = seconds;
        table.beginBatch();
        reading.host = host;
        reading.name = u' ' + name;
        reading.value = u' ' + value + u' ';
        reading.date = u"Mar  1"_qs;
        reading.time = u"12:00:00"_qs;
        table.fillgrid(reading);
        // The history is read as views read the table: as of its last publish.
        if (publish)
            table.publish();
    }

    FakeReceiveClock clock;
    ReadingsTable table{nullptr, ReadingsTable::defaultHostLimit, &clock};
    HistoryStore store;
    Reading reading;
};

QString hostName(int i)
{
    return u"host%1"_qs.arg(i, 4, 10, QChar(u'0'));
}

QString readingName(int i)
{
    return u"R%1"_qs.arg(i);
}

// A value that wanders, different for every reading and second.
double wave(int reading, int second)
{
    return 50 + 30 * std::sin(second / 97.0 + reading);
}

} // namespace

class tst_HistoryStore final : public QObject
{
    Q_OBJECT

private slots:
    void hourKept_data();
    void hourKept();
    void thinningKeepsExtremes_data();
    void thinningKeepsExtremes();
    void silenceGaps_data();
    void silenceGaps();
    void oneValueATenth_data();
    void oneValueATenth();
    void removalFreesHistory();
    void wordsKeepNoPoints();
    void unpublishedInOrder_data();
    void unpublishedInOrder();
    void followsAFilledTable_data();
    void followsAFilledTable();
    void nameTakesTheBlankPair();
    void rowFromATime_data();
    void rowFromATime();
    void mergingKeepsEveryPoint_data();
    void mergingKeepsEveryPoint();
};

void tst_HistoryStore::hourKept_data()
{
    QTest::addColumn<int>("hosts");
    QTest::addColumn<int>("readings");
    QTest::addColumn<int>("interval");
    QTest::addColumn<qint64>("cap");
    QTest::addColumn<int>("seconds");
    // 1,000 hosts x 10 readings under 256 MB, a hundredth of each: the same share apiece.
    QTest::newRow("1000x10 every 10 s, scaled")
        << 10 << 10 << 10 << HistoryStore::defaultCapBytes / 100 << 3600;
    QTest::newRow("one reading every second") << 1 << 1 << 1 << (qint64(1) << 20) << 3600;
    QTest::newRow("a small table, default cap")
        << 3 << 4 << 5 << HistoryStore::defaultCapBytes << 3600;
    // Room for about two and a half hours: the older ones are thinned, the last hour is not.
    QTest::newRow("three hours, thinned before the last")
        << 1 << 1 << 10 << qint64(48 << 10) << 3 * 3600;
    QTest::newRow("two readings, thinned before the last")
        << 1 << 2 << 10 << qint64(96 << 10) << 4 * 3600;
}

void tst_HistoryStore::hourKept()
{
    QFETCH(int, hosts);
    QFETCH(int, readings);
    QFETCH(int, interval);
    QFETCH(qint64, cap);
    QFETCH(int, seconds);
    Fixture f(cap);
    const int hour = 3600;
    for (int second = 0; second <= seconds; second += interval) {
        for (int h = 0; h < hosts; ++h) {
            for (int r = 0; r < readings; ++r)
                f.post(second, hostName(h), readingName(r), QString::number(wave(r, second)));
        }
        f.store.keepWithinCap();
    }
    QVERIFY(f.store.bytesUsed() <= cap);
    const int hourStart = seconds - hour;
    for (int h = 0; h < hosts; ++h) {
        for (int r = 0; r < readings; ++r) {
            std::vector<Point> points = f.store.points(h, r);
            if (seconds > hour)
                QVERIFY(points.size() < size_t(seconds / interval)); // thinned, not just kept
            std::erase_if(points, [hourStart](const Point &p) {
                return p.time() < HistoryStore::Tenths(hourStart * 10);
            });
            QCOMPARE(qsizetype(points.size()), qsizetype(hour / interval + 1));
            for (size_t i = 0; i < points.size(); ++i) {
                const int second = hourStart + int(i) * interval;
                QCOMPARE(points[i].time(), HistoryStore::Tenths(second * 10));
                QCOMPARE(points[i].value(), float(wave(r, second)));
                QVERIFY(!points[i].gapBefore());
            }
        }
    }
}

void tst_HistoryStore::thinningKeepsExtremes_data()
{
    QTest::addColumn<int>("spikeAt");
    QTest::addColumn<int>("dipAt");
    QTest::addColumn<int>("seconds");
    QTest::newRow("peaks in the first minutes") << 100 << 200 << 3600;
    QTest::newRow("peaks in the middle") << 1800 << 1801 << 3600;
    QTest::newRow("peaks in the last minute") << 3590 << 3570 << 3600;
    QTest::newRow("peaks older than the hour") << 500 << 900 << 3 * 3600;
    QTest::newRow("peaks in the last hour of three") << 3 * 3600 - 100 << 2 * 3600 + 60 << 3 * 3600;
}

void tst_HistoryStore::thinningKeepsExtremes()
{
    QFETCH(int, spikeAt);
    QFETCH(int, dipAt);
    QFETCH(int, seconds);
    // Room for a few dozen points per reading: an hour of seconds must be thinned.
    const qint64 cap = 8192;
    Fixture f(cap);
    const auto value = [&](int second) {
        return second == spikeAt ? 1000.0 : second == dipAt ? -50.0 : wave(0, second);
    };
    for (int second = 0; second <= seconds; ++second) {
        f.post(second, hostName(0), u"CPU"_qs, QString::number(value(second)) + u" C"_qs);
        // Others join as time goes by, and the first one's share shrinks.
        if (second % 1200 == 0)
            f.post(second, hostName(1 + second / 1200), u"CPU"_qs, u"1"_qs);
        f.store.keepWithinCap();
        QVERIFY2(f.store.bytesUsed() <= cap, qPrintable(QString::number(f.store.bytesUsed())));
    }
    const std::vector<Point> points = f.store.points(0, 0);
    QVERIFY(points.size() >= HistoryStore::minPoints / 2);
    QVERIFY(points.size() < size_t(seconds / 10)); // thinned, not just kept
    float lowest = points.front().value();
    float highest = lowest;
    for (size_t i = 0; i < points.size(); ++i) {
        // Every point kept is a value heard, at the time it was heard, in order.
        QCOMPARE(points[i].value(), float(value(int(points[i].time() / 10))));
        if (i > 0)
            QVERIFY(points[i - 1].time() < points[i].time());
        lowest = std::min(lowest, points[i].value());
        highest = std::max(highest, points[i].value());
    }
    // Within the hour, its peaks survive; and the hour is covered from its start.
    if (seconds - spikeAt <= 3600)
        QCOMPARE(highest, 1000.0f);
    if (seconds - dipAt <= 3600)
        QCOMPARE(lowest, -50.0f);
    QVERIFY(points.front().time() <= HistoryStore::Tenths((seconds - 3600 + 360) * 10));
    QCOMPARE(points.back().time(), HistoryStore::Tenths(seconds * 10));
}

void tst_HistoryStore::silenceGaps_data()
{
    QTest::addColumn<int>("silentFor");
    QTest::addColumn<QString>("between");
    QTest::addColumn<qint64>("cap");
    QTest::addColumn<bool>("gap");
    // Every 10 s: overdue after 30 s.
    QTest::newRow("a late report") << 25 << QString() << HistoryStore::defaultCapBytes << false;
    QTest::newRow("silent a minute") << 60 << QString() << HistoryStore::defaultCapBytes << true;
    QTest::newRow("silent an hour") << 3600 << QString() << HistoryStore::defaultCapBytes << true;
    QTest::newRow("a word between") << 10 << u"n/a"_qs << HistoryStore::defaultCapBytes << true;
    QTest::newRow("silent a minute, thinned") << 60 << QString() << qint64(1024) << true;
}

void tst_HistoryStore::silenceGaps()
{
    QFETCH(int, silentFor);
    QFETCH(QString, between);
    QFETCH(qint64, cap);
    QFETCH(bool, gap);
    Fixture f(cap);
    int second = 0;
    for (; second <= 1200; second += 10)
        f.post(second, hostName(0), u"Fan"_qs, u"%1 rpm"_qs.arg(1000 + second));
    const int quietFrom = second - 10;
    if (!between.isEmpty())
        f.post(second, hostName(0), u"Fan"_qs, between);
    second = quietFrom + silentFor;
    const int back = second;
    for (; second <= back + 600; second += 10)
        f.post(second, hostName(0), u"Fan"_qs, u"%1 rpm"_qs.arg(1000 + second));

    const std::vector<Point> points = f.store.points(0, 0);
    const auto isGap = [](const Point &p) { return p.gapBefore(); };
    QCOMPARE(std::count_if(points.begin(), points.end(), isGap), gap ? 1 : 0);
    if (!gap)
        return;
    // The line breaks where the silence was, and no point stands for a stretch across it,
    // thinned or not.
    const auto resumed = std::find_if(points.begin(), points.end(), isGap);
    QVERIFY(resumed != points.begin());
    QVERIFY(resumed->time() >= HistoryStore::Tenths(back * 10));
    QVERIFY(std::prev(resumed)->time() <= HistoryStore::Tenths(quietFrom * 10));
}

void tst_HistoryStore::oneValueATenth_data()
{
    QTest::addColumn<double>("after");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QList<float>>("kept");
    QTest::addColumn<int>("words");
    QTest::newRow("the same tenth") << 0.05 << u"7"_qs << QList<float>{5} << 0;
    QTest::newRow("the next tenth") << 0.1 << u"7"_qs << QList<float>{5, 7} << 0;
    QTest::newRow("a word in the same tenth") << 0.05 << u"n/a"_qs << QList<float>{5} << 0;
    QTest::newRow("a word in the next tenth") << 0.1 << u"n/a"_qs << QList<float>{5} << 1;
}

void tst_HistoryStore::oneValueATenth()
{
    QFETCH(double, after);
    QFETCH(QString, value);
    QFETCH(QList<float>, kept);
    QFETCH(int, words);
    Fixture f;
    f.post(10, hostName(0), u"Load"_qs, u"5"_qs);
    f.post(10 + after, hostName(0), u"Load"_qs, value);
    QList<float> values;
    for (const Point &point : f.store.points(0, 0))
        values.append(point.value());
    QCOMPARE(values, kept);
    QCOMPARE(int(f.store.wordChanges(0, 0).size()), words);
}

void tst_HistoryStore::removalFreesHistory()
{
    Fixture f;
    const qint64 empty = f.store.bytesUsed();
    for (int second = 0; second < 600; ++second) {
        for (int h = 0; h < 3; ++h)
            f.post(second, hostName(h), u"CPU"_qs, QString::number(h * 1000 + second));
    }
    for (int h = 0; h < 3; ++h)
        f.post(600, hostName(h), u"Link"_qs, h == 2 ? u"down"_qs : u"up"_qs);
    const qint64 full = f.store.bytesUsed();
    const std::vector<Point> third = f.store.points(2, 0);
    QSignalSpy renumbered(&f.store, &HistoryStore::rowsRenumbered);

    f.table.publish();
    f.table.removeHosts({1});
    QCOMPARE(renumbered.size(), 1);
    QCOMPARE(renumbered.at(0).at(0).value<std::vector<int>>(), (std::vector<int>{0, -1, 1}));
    QVERIFY(f.store.bytesUsed() < full - (full - empty) / 4);
    // The host below moved up with its history.
    const std::vector<Point> moved = f.store.points(1, 0);
    QVERIFY(std::equal(moved.begin(), moved.end(), third.begin(), third.end(),
                       [](const Point &a, const Point &b) {
                           return a.time() == b.time() && a.value() == b.value();
                       }));
    QVERIFY(f.store.points(2, 0).empty());
    // Its words too.
    QCOMPARE(f.store.wordChanges(1, 1).size(), size_t(1));
    QCOMPARE(f.store.wordChanges(1, 1).front().text, u"down"_qs);
    QVERIFY(f.store.wordChanges(2, 1).empty());

    // A removed host that reports again starts afresh.
    f.post(700, hostName(1), u"CPU"_qs, u"5"_qs);
    QCOMPARE(f.store.points(2, 0).size(), size_t(1));

    f.table.clear();
    QVERIFY(f.store.bytesUsed() <= empty);
    QVERIFY(f.store.points(0, 0).empty());
    QVERIFY(f.store.wordChanges(0, 1).empty());
}

void tst_HistoryStore::wordsKeepNoPoints()
{
    Fixture f;
    const QStringList words{u"up"_qs, u"up"_qs, u"down"_qs, u"down"_qs, u"up"_qs};
    for (int i = 0; i < words.size(); ++i)
        f.post(i * 10, hostName(0), u"Link"_qs, words.at(i));
    QVERIFY(f.store.points(0, 0).empty());
    const std::vector<HistoryStore::WordChange> changes = f.store.wordChanges(0, 0);
    QCOMPARE(changes.size(), size_t(3));
    QCOMPARE(changes[0].text, u"up"_qs);
    QCOMPARE(changes[1].text, u"down"_qs);
    QCOMPARE(changes[1].time, HistoryStore::Tenths(200));
    QCOMPARE(changes[2].time, HistoryStore::Tenths(400));

    // Only the latest changes stay.
    for (int i = 0; i < 3 * HistoryStore::maxWordChanges; ++i)
        f.post(100 + i, hostName(0), u"Link"_qs, u"state %1x"_qs.arg(i));
    const std::vector<HistoryStore::WordChange> latest = f.store.wordChanges(0, 0);
    QCOMPARE(int(latest.size()), HistoryStore::maxWordChanges);
    QCOMPARE(latest.back().text, u"state %1x"_qs.arg(3 * HistoryStore::maxWordChanges - 1));
    QVERIFY(f.store.points(0, 0).empty());
}

void tst_HistoryStore::unpublishedInOrder_data()
{
    QTest::addColumn<int>("hosts");
    QTest::addColumn<QStringList>("values");
    // Each host's points as kept: "|" before a point that starts a new line.
    QTest::addColumn<QString>("kept");
    QTest::addColumn<int>("words");
    QTest::newRow("numbers") << 1 << QStringList{u"1"_qs, u"2"_qs, u"3"_qs} << u"1 2 3"_qs << 0;
    QTest::newRow("a word between")
        << 1 << QStringList{u"1"_qs, u"2"_qs, u"n/a"_qs, u"4"_qs} << u"1 2 |4"_qs << 1;
    QTest::newRow("words first") << 1 << QStringList{u"off"_qs, u"on"_qs, u"3"_qs} << u"|3"_qs << 2;
    QTest::newRow("more hosts than a batch")
        << 150 << QStringList{u"1"_qs, u"2"_qs, u"n/a"_qs, u"4"_qs, u"5"_qs} << u"1 2 |4 5"_qs << 1;
}

// Posted without a publish between, then published: every reading in its place and order.
void tst_HistoryStore::unpublishedInOrder()
{
    QFETCH(int, hosts);
    QFETCH(QStringList, values);
    QFETCH(QString, kept);
    QFETCH(int, words);
    Fixture f;
    for (int i = 0; i < values.size(); ++i) {
        for (int h = 0; h < hosts; ++h)
            f.post(10 * i, hostName(h), u"Load"_qs, values.at(i), false);
    }
    f.table.publish();
    for (int h = 0; h < hosts; ++h) {
        QStringList written;
        for (const Point &point : f.store.points(h, 0))
            written.append((point.gapBefore() ? u"|"_qs : QString())
                           + QString::number(point.value()));
        QCOMPARE(written.join(u' '), kept);
        QCOMPARE(int(f.store.wordChanges(h, 0).size()), words);
    }
}

void tst_HistoryStore::followsAFilledTable_data()
{
    QTest::addColumn<int>("hosts");
    QTest::addColumn<int>("readings");
    QTest::newRow("one reading") << 1 << 1;
    QTest::newRow("many hosts and readings") << 90 << 12;
}

// A store made once the table holds rows takes their readings from then on.
void tst_HistoryStore::followsAFilledTable()
{
    QFETCH(int, hosts);
    QFETCH(int, readings);
    FakeReceiveClock clock;
    ReadingsTable table{nullptr, ReadingsTable::defaultHostLimit, &clock};
    Reading reading;
    const auto postAll = [&](int second) {
        clock.seconds = second;
        table.beginBatch();
        for (int h = 0; h < hosts; ++h) {
            for (int r = 0; r < readings; ++r) {
                reading.host = hostName(h);
                reading.name = readingName(r);
                reading.value = QString::number(wave(r, second));
                table.fillgrid(reading);
            }
        }
        table.publish();
    };
    postAll(0);
    HistoryStore store(table);
    for (int second = 10; second <= 30; second += 10)
        postAll(second);
    for (int h = 0; h < hosts; ++h) {
        for (int r = 0; r < readings; ++r) {
            QCOMPARE(store.points(h, r).size(), size_t(3));
            QCOMPARE(store.points(h, r).back().value(), float(wave(r, 30)));
        }
    }
    QCOMPARE(store.readingCount(), hosts * readings);
}

// Readings without a name share the last pair until a name takes it; the name's history
// starts afresh, also while the blank readings' points still wait in the row.
void tst_HistoryStore::nameTakesTheBlankPair()
{
    Fixture f;
    const int last = ReadingsTable::pairCount - 1;
    // Words, which keep no points: the blank pair's are then the host's only ones.
    for (int r = 0; r < last; ++r)
        f.post(0, hostName(0), readingName(r), u"on"_qs);
    f.post(1, hostName(0), QString(), u"5"_qs);
    f.post(2, hostName(0), readingName(last), u"7"_qs);
    const std::vector<Point> kept = f.store.points(0, last);
    QCOMPARE(kept.size(), size_t(1));
    QCOMPARE(kept.front().value(), 7.0f);
}

void tst_HistoryStore::rowFromATime_data()
{
    QTest::addColumn<qint64>("cap");
    QTest::addColumn<int>("fromSecond");
    const qint64 roomy = HistoryStore::defaultCapBytes;
    QTest::newRow("between two points") << roomy << 455;
    QTest::newRow("at a point") << roomy << 600;
    // The first block holds 16 points: the last of them, of the first reading, at 50 s.
    QTest::newRow("at a block's last point") << roomy << 50;
    QTest::newRow("after the last") << roomy << 2000;
    QTest::newRow("thinned, between two points") << qint64(16) << 455;
}

// Visiting a row from a time gives the points the whole row holds from then, in order, over
// however many blocks they lie in.
void tst_HistoryStore::rowFromATime()
{
    QFETCH(qint64, cap);
    QFETCH(int, fromSecond);
    Fixture f(cap);
    for (int second = 0; second <= 1000; second += 10) {
        for (int r = 0; r < 3; ++r)
            f.post(second, hostName(0), readingName(r), QString::number(wave(r, second)));
    }
    f.store.keepWithinCap();
    const auto from = HistoryStore::Tenths(fromSecond * 10);
    QList<std::pair<int, HistoryStore::Tenths>> expected;
    f.store.forEachPointOfRow(0, 0, [&](int pair, const Point &point) {
        if (point.time() >= from)
            expected.append({pair, point.time()});
    });
    QList<std::pair<int, HistoryStore::Tenths>> visited;
    f.store.forEachPointOfRow(0, from, [&](int pair, const Point &point) {
        visited.append({pair, point.time()});
    });
    QCOMPARE(visited, expected);
    QCOMPARE(expected.isEmpty(), fromSecond > 1000);
}

void tst_HistoryStore::mergingKeepsEveryPoint_data()
{
    QTest::addColumn<qint64>("cap");
    // A reading within its share whose blocks' headers pass the cap: merged just after a
    // stage went to the blocks, and with points still waiting in it.
    QTest::newRow("none waiting") << qint64(4096);
    QTest::newRow("points waiting") << qint64(8192);
}

void tst_HistoryStore::mergingKeepsEveryPoint()
{
    QFETCH(qint64, cap);
    Fixture f(cap);
    // Three a second, and the table's tick once a second.
    for (int third = 0; third < 3 * 200; ++third) {
        f.post(third / 3.0, hostName(0), u"CPU"_qs, QString::number(third));
        if (third % 3 != 2)
            continue;
        const std::vector<Point> before = f.store.points(0, 0);
        f.store.keepWithinCap();
        QVERIFY(f.store.bytesUsed() <= cap);
        const std::vector<Point> after = f.store.points(0, 0);
        QCOMPARE(after.size(), before.size());
        for (size_t i = 0; i < after.size(); ++i) {
            QCOMPARE(after[i].time(), before[i].time());
            QCOMPARE(after[i].value(), before[i].value());
        }
    }
}

QTEST_APPLESS_MAIN(tst_HistoryStore)

#include "tst_historystore.moc"
