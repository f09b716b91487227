#include "engine/limits/limitwatch.h"
#include "engine/reception/reading.h"
#include "engine/reception/readingstable.h"
#include "engine/tableview/hostfilter.h"
#include "fakereceiveclock.h"
#include "gui/common/readingslook.h"
#include "gui/mainwindow/placeholderrows.h"

#include <QColor>
#include <QImage>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

namespace {

using Level = LimitState::Level;
using Direction = LimitState::Direction;

constexpr QByteArrayView fleet =
    R"({"limits": [
        {"reading": "CPU", "warningAbove": 80, "criticalAbove": 95},
        {"reading": "CPU", "hosts": "db*", "criticalAbove": 99},
        {"reading": "Temp", "criticalAbove": 85, "criticalBelow": 5},
        {"reading": "Free", "warningBelow": "20%", "criticalBelow": "10%", "after": 2},
        {"reading": "Service", "criticalText": ["down"]}]})";

LimitRules rulesOf(QByteArrayView json)
{
    return LimitRules(QJsonDocument::fromJson(json.toByteArray()).object());
}

// A table judged by a watch, with a clock that moves only when told.
struct Judged
{
    FakeReceiveClock clock;
    ReadingsTable table{nullptr, ReadingsTable::defaultHostLimit, &clock};
    LimitWatch watch{table};

    explicit Judged(QByteArrayView rules = fleet) { watch.setRules(rulesOf(rules)); }

    // "host|name|value; host|name|value ...", then published.
    void post(const QString &readings)
    {
        table.beginBatch();
        for (const QString &line : readings.split(u"; "_qs)) {
            const QStringList f = line.split(u'|');
            table.fillgrid({{}, u"Jun 10"_qs, u"19:35:00"_qs, f[0], f[1], f[2]});
        }
        table.publish();
    }

    // "a:critical b:normal", in row order.
    QString levels() const
    {
        static const char *const names[] = {"normal", "warning", "critical", "no state"};
        QStringList found;
        for (int row = 0; row < table.hostCount(); ++row) {
            found << table.host(row) + u':' + QLatin1StringView(names[int(watch.hostLevel(row))]);
        }
        return found.join(u' ');
    }

    QString counts() const
    {
        return u"%1 %2"_qs.arg(watch.criticalHosts()).arg(watch.warningHosts());
    }
};

double luminance(const QColor &colour)
{
    const auto channel = [](double c) {
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF())
           + 0.0722 * channel(colour.blueF());
}

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

class TestLimitWatch final : public QObject
{
    Q_OBJECT

private slots:
    void hostStates_data();
    void hostStates();
    void changesAreToldAtPublish();
    void followsRemovalAndClear_data();
    void followsRemovalAndClear();
    void newRulesApplyToTheWholeTable();
    void lookShowsTheState_data();
    void lookShowsTheState();
    void statesStayReadable_data();
    void statesStayReadable();
    void problemsOnly_data();
    void problemsOnly();
};

void TestLimitWatch::hostStates_data()
{
    QTest::addColumn<QString>("readings");
    QTest::addColumn<QString>("levels");
    QTest::addColumn<QString>("counts"); // critical, warning

    QTest::newRow("beyond a bound")
        << u"a|CPU|97; b|CPU|85; c|CPU|80"_qs << u"a:critical b:warning c:normal"_qs << u"1 1"_qs;
    QTest::newRow("names as the table trims them")
        << u"a|Mem|99; b| CPU |97"_qs << u"a:normal b:critical"_qs << u"1 0"_qs;
    QTest::newRow("host pattern first")
        << u"DB1|CPU|97; web1|CPU|97"_qs << u"DB1:warning web1:critical"_qs << u"1 1"_qs;
    QTest::newRow("the worst reading") << u"a|CPU|85; a|Service|down; b|Service|up; b|CPU|85"_qs
                                       << u"a:critical b:warning"_qs << u"1 1"_qs;
    // A reading heard again, as most are.
    QTest::newRow("again, at its bounds")
        << u"a|CPU|50; a|CPU|80; b|Temp|20; b|Temp|5"_qs << u"a:normal b:normal"_qs << u"0 0"_qs;
    QTest::newRow("again, just beyond")
        << u"a|CPU|50; a|CPU| 95.5; b|Temp|20; b|Temp|4.9; c|CPU|50; c|CPU|85"_qs
        << u"a:critical b:critical c:warning"_qs << u"2 1"_qs;
    QTest::newRow("again, back inside")
        << u"a|CPU|97; a|CPU|50; b|CPU|85; b|CPU|85"_qs << u"a:normal b:warning"_qs << u"0 1"_qs;
    QTest::newRow("no state is no trouble")
        << u"a|CPU|n/a; b|Free|5 GB; b|Free|4 GB"_qs << u"a:normal b:normal"_qs << u"0 0"_qs;
}

void TestLimitWatch::hostStates()
{
    Judged judged;
    QFETCH(QString, readings);
    judged.post(readings);
    QTEST(judged.levels(), "levels");
    QTEST(judged.counts(), "counts");
}

void TestLimitWatch::changesAreToldAtPublish()
{
    Judged judged;
    judged.post(u"a|CPU|1; b|CPU|1; c|CPU|1"_qs);
    QSignalSpy hosts(&judged.watch, &LimitWatch::hostsChanged);
    QSignalSpy counts(&judged.watch, &LimitWatch::countsChanged);
    for (const char *value : {"97", "85", "99"})
        judged.table.fillgrid({{}, {}, {}, u"c"_qs, u"CPU"_qs, QString::fromLatin1(value)});
    judged.table.fillgrid({{}, {}, {}, u"a"_qs, u"CPU"_qs, u"90"_qs});
    QCOMPARE(hosts.size() + counts.size(), 0);
    judged.table.publish();
    QCOMPARE(hosts, (QList<QList<QVariant>>{{QVariant::fromValue(std::vector<int>{0, 2})}}));
    QCOMPARE(counts, (QList<QList<QVariant>>{{1, 1}}));
    // A value that changes no state tells nothing.
    judged.post(u"a|CPU|91; b|CPU|2"_qs);
    QCOMPARE(hosts.size() + counts.size(), 2);
}

void TestLimitWatch::followsRemovalAndClear_data()
{
    QTest::addColumn<std::vector<int>>("removed"); // empty: Clear Table
    QTest::addColumn<QString>("levels");
    QTest::addColumn<QString>("counts");

    QTest::newRow("first and third")
        << std::vector<int>{0, 2} << u"b:critical d:normal e:critical f:critical"_qs << u"3 0"_qs;
    QTest::newRow("the last, and its name with it")
        << std::vector<int>{4} << u"a:critical b:critical c:warning d:normal f:critical"_qs
        << u"3 1"_qs;
    QTest::newRow("clear") << std::vector<int>{} << u"b:critical f:critical"_qs << u"2 0"_qs;
}

void TestLimitWatch::followsRemovalAndClear()
{
    QFETCH(std::vector<int>, removed);
    Judged judged;
    judged.post(u"a|Mem|1; a|CPU|97; b|CPU|85; c|CPU|85; d|CPU|10; e|Service|down"_qs);
    QCOMPARE(judged.counts(), u"2 2");
    if (removed.empty())
        judged.table.clear();
    else
        judged.table.removeHosts(removed);
    // Rows and names numbered afresh still find their states and rules.
    judged.post(u"b|CPU|97; f|Service|down"_qs);
    QTEST(judged.levels(), "levels");
    QTEST(judged.counts(), "counts");
}

void TestLimitWatch::newRulesApplyToTheWholeTable()
{
    Judged judged("{}");
    QStringList readings;
    for (int host = 0; host < 200; ++host)
        readings << u"h%1|CPU|%2"_qs.arg(host).arg(host % 100);
    judged.post(readings.join(u"; "_qs));
    QCOMPARE(judged.counts(), u"0 0");
    QSignalSpy applied(&judged.watch, &LimitWatch::applied);
    QSignalSpy judgedRows(&judged.watch, &LimitWatch::rowsJudged);
    judged.watch.setRules(rulesOf(fleet));
    QTRY_COMPARE(applied.size(), 1);
    QCOMPARE(judged.counts(), u"8 30"); // 96 to 99, and 81 to 95, twice
    QCOMPARE(judgedRows.constFirst()[0].toInt(), 0);
    QCOMPARE(judgedRows.constLast()[1].toInt(), 199);
    QCOMPARE(judged.watch.hostLevel(97), Level::Critical);

    judged.watch.setRules(rulesOf(R"({"limits": [{"reading": "CPU", "warningAbove": 49}]})"));
    QTRY_COMPARE(applied.size(), 2);
    QCOMPARE(judged.counts(), u"0 100");
    QCOMPARE(judged.watch.hostLevel(97), Level::Warning);

    judged.watch.setRules({});
    QTRY_COMPARE(applied.size(), 3);
    QCOMPARE(judged.counts(), u"0 0");
    QCOMPARE(judged.watch.state(97, 0), nullptr);
}

void TestLimitWatch::lookShowsTheState_data()
{
    QTest::addColumn<QString>("reading");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<QString>("icon"); // up, down, mark or none
    QTest::addColumn<QString>("description");

    const QColor red(0xa3, 0x15, 0x15);
    const QColor amber(0xff, 0xc0, 0x00);
    QTest::newRow("critical above")
        << u"CPU| 97 %"_qs << red << u"up"_qs << u"CPU: critical, above 95 \u00b7 heard "_qs;
    QTest::newRow("warning above")
        << u"CPU|85"_qs << amber << u"up"_qs << u"CPU: warning, above 80 \u00b7 heard "_qs;
    QTest::newRow("critical below")
        << u"Temp|2 C"_qs << red << u"down"_qs << u"Temp: critical, below 5 \u00b7 heard "_qs;
    QTest::newRow("a word") << u"Service|DOWN"_qs << red << u"mark"_qs
                            << u"Service: critical, \"down\" \u00b7 heard "_qs;
    QTest::newRow("normal") << u"CPU|50"_qs << QColor() << u"none"_qs << u"CPU: heard "_qs;
    QTest::newRow("not a number") << u"CPU|n/a"_qs << QColor() << u"none"_qs
                                  << u"CPU: no state: not a number \u00b7 heard "_qs;
}

void TestLimitWatch::lookShowsTheState()
{
    QFETCH(QString, reading);
    QFETCH(QColor, background);
    QFETCH(QString, icon);
    QFETCH(QString, description);
    Judged judged;
    judged.post(u"a|"_qs + reading);
    PlaceholderRows shown(&judged.table);
    shown.setSourceModel(&judged.table);
    const QModelIndex value = shown.index(0, ReadingsTable::firstNameColumn + 1);
    const auto header = [&shown](int role) { return shown.headerData(0, Qt::Vertical, role); };
    QCOMPARE(value.data().toString(), reading.section(u'|', 1));
    QCOMPARE(value.data(Qt::BackgroundRole).value<QColor>(), background);
    QCOMPARE(header(Qt::BackgroundRole).value<QColor>(), background);
    const QImage mark = value.data(Qt::DecorationRole).value<QPixmap>().toImage();
    QCOMPARE(header(Qt::DecorationRole).value<QPixmap>().toImage(), mark);
    // Told apart by shape: an arrow up, the same arrow upside down, or another mark.
    const Level level = background == QColor(0xa3, 0x15, 0x15) ? Level::Critical : Level::Warning;
    const QImage up = ReadingsLook::stateIcon(level, Direction::Above).toImage();
    const QImage down = up.mirrored(false, true);
    QCOMPARE(mark.isNull(), icon == u"none");
    QCOMPARE(mark == up, icon == u"up");
    QCOMPARE(mark == down, icon == u"down");

    const QString described = value.data(Qt::AccessibleDescriptionRole).toString();
    QVERIFY2(described.startsWith(description), qPrintable(described));
    QVERIFY(value.data(Qt::ToolTipRole).toString().contains(described.toHtmlEscaped()));
    // The host's says the same of its worst reading.
    const QString state = description.section(u": "_qs, 1).section(u" \u00b7"_qs, 0, 0);
    const QString host = header(Qt::ToolTipRole).toString();
    QVERIFY(host.contains(background.isValid() ? state.toHtmlEscaped() : u"a: last heard"_qs));
}

void TestLimitWatch::statesStayReadable_data()
{
    QTest::addColumn<QString>("reading");
    QTest::addColumn<bool>("overdue");
    QTest::newRow("warning") << u"CPU|85"_qs << false;
    QTest::newRow("warning, overdue") << u"CPU|85"_qs << true;
    QTest::newRow("critical") << u"CPU|97"_qs << false;
    QTest::newRow("critical, overdue") << u"CPU|97"_qs << true;
}

// Readable text on the state's colour, greyed when overdue; a silent reading keeps its state.
void TestLimitWatch::statesStayReadable()
{
    QFETCH(QString, reading);
    QFETCH(bool, overdue);
    Judged judged;
    judged.post(u"a|"_qs + reading + u"; b|CPU|50"_qs);
    judged.clock.seconds = overdue ? 400 : 10;
    judged.table.tick();
    PlaceholderRows shown(&judged.table);
    shown.setSourceModel(&judged.table);
    const auto colour = [&shown](int row, int role) {
        return shown.index(row, ReadingsTable::firstNameColumn + 1).data(role);
    };
    const QColor background = colour(0, Qt::BackgroundRole).value<QColor>();
    const QColor text = colour(0, Qt::ForegroundRole).value<QColor>();
    QVERIFY(background.isValid());
    QVERIFY2(contrast(text, background) >= 4.5,
             qPrintable(QString::number(contrast(text, background))));
    QCOMPARE(text != Qt::black && text != Qt::white, overdue);
    QCOMPARE(colour(1, Qt::ForegroundRole).isValid(), overdue);
}

void TestLimitWatch::problemsOnly_data()
{
    // "post h|n|v", "tick seconds", "on", "off", "text t", "remove row" ("a" the first),
    // "= hosts shown", "count text"; separated by ", ".
    QTest::addColumn<QString>("steps");

    QTest::newRow("hosts in trouble; recovered ones stay until the filter changes")
        << u"post a|CPU|97, post b|CPU|50, post c|CPU|85, on, = a c, count 2 of 3 hosts, "
           "post b|CPU|99, = a b c, post a|CPU|10, = a b c, text b, = b, text , = b c, off, "
           "= a b c"_qs;
    QTest::newRow("with the text typed")
        << u"post web1|CPU|97, post db1|CPU|97, post web2|CPU|1, text WEB, on, = web1, "
           "count 1 of 3 hosts, post db2|CPU|97, post web3|CPU|97, = web1 web3"_qs;
    QTest::newRow("silent hosts") << u"post a|CPU|1, tick 200, post b|CPU|1, on, = , tick 400, "
                                     "= a, post a|CPU|2, = a, off, on, = "_qs;
    QTest::newRow("removed hosts")
        << u"post a|CPU|97, post b|CPU|1, post c|CPU|97, post e|CPU|1, on, = a c, remove a, = c, "
           "post e|CPU|97, = c e, post d|CPU|97, = c e d"_qs;
}

void TestLimitWatch::problemsOnly()
{
    QFETCH(QString, steps);
    Judged judged;
    HostFilter filter(&judged.table);
    for (const QString &step : steps.split(u", "_qs)) {
        const QString command = step.section(u' ', 0, 0);
        const QString rest = step.section(u' ', 1);
        if (command == u"post") {
            judged.post(rest);
        } else if (command == u"tick") {
            judged.clock.seconds = rest.toDouble();
            judged.table.tick();
        } else if (command == u"on" || command == u"off") {
            filter.setProblemsOnly(command == u"on");
        } else if (command == u"text") {
            filter.setText(rest);
        } else if (command == u"remove") {
            judged.table.removeHosts({rest.front().unicode() - u'a'});
        } else if (command == u"count") {
            QCOMPARE(filter.countText(), rest);
        } else {
            QStringList shown;
            for (const int row : filter.tableRows())
                shown << judged.table.host(row);
            QVERIFY2(shown.join(u' ') == rest, qPrintable(step + u" <> "_qs + shown.join(u' ')));
        }
    }
}

QTEST_MAIN(TestLimitWatch)
#include "tst_limitwatch.moc"
