#include "engine/events/eventscsv.h"
#include "engine/events/eventsmodel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

namespace {

using Events = std::vector<ArchiveEvent>;

// Newest first, as the archive gives them.
const Events day{{5000, u"db-1"_qs, u"Disk"_qs, u"warning"_qs, u"critical"_qs, u"97 %"_qs},
                 {4000, u"web-2"_qs, {}, u"heard"_qs, u"silent"_qs, {}},
                 {3000, u"web-1"_qs, u"CPU"_qs, u"warning"_qs, u"normal"_qs, u"40 %"_qs},
                 {2000, u"web-1"_qs, u"CPU"_qs, u"normal"_qs, u"Warning"_qs, u"91 %"_qs},
                 {1000, u"web-3"_qs, {}, {}, u"heard"_qs, {}}};

QString hostsOf(const EventsModel &model)
{
    QStringList hosts;
    for (int row = 0; row < model.rowCount(); ++row)
        hosts.append(model.index(row, EventsModel::HostColumn).data().toString());
    return hosts.join(u' ');
}

} // namespace

// The Events window's table, what it finds, and its CSV.
class tst_Events final : public QObject
{
    Q_OBJECT

private slots:
    void filter_data();
    void filter();
    void newerEventsAreInsertedAbove();
    void csv();
};

void tst_Events::filter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("problemsOnly");
    QTest::addColumn<QString>("hosts");
    QTest::addColumn<QString>("count");
    QTest::newRow("everything") << QString() << false << u"db-1 web-2 web-1 web-1 web-3"_qs
                                << u"5 events"_qs;
    QTest::newRow("into warning, critical or silent")
        << QString() << true << u"db-1 web-2 web-1"_qs << u"3 of 5 events"_qs;
    QTest::newRow("a host's problems, ignoring case")
        << u" WEB-1 "_qs << true << u"web-1"_qs << u"1 of 5 events"_qs;
    QTest::newRow("a reading") << u"disk"_qs << false << u"db-1"_qs << u"1 of 5 events"_qs;
    QTest::newRow("a value") << u"91"_qs << false << u"web-1"_qs << u"1 of 5 events"_qs;
}

void tst_Events::filter()
{
    QFETCH(QString, text);
    QFETCH(bool, problemsOnly);
    QFETCH(QString, hosts);
    QFETCH(QString, count);
    EventsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setEvents(day);
    model.setFilter(EventFilter(text, problemsOnly));
    QCOMPARE(hostsOf(model), hosts);
    QCOMPARE(model.countText(), count);
    QCOMPARE(model.shownEvents().front(), model.event(0));
}

// New events come in front of those there were: rows are added above, and a view keeps its
// place; another day's events are others altogether.
void tst_Events::newerEventsAreInsertedAbove()
{
    EventsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setFilter(EventFilter({}, true));
    model.setEvents(Events(day.begin() + 2, day.end()));
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.setEvents(day);
    QCOMPARE(hostsOf(model), u"db-1 web-2 web-1"_qs);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted[0][2].toInt(), 1); // rows 0 and 1
    model.setEvents(day);
    QCOMPARE(inserted.size(), 1);
    model.setEvents(Events(day.begin() + 3, day.end()));
    QCOMPARE(hostsOf(model), u"web-1"_qs);
    QCOMPARE(reset.size(), 1);
}

void tst_Events::csv()
{
    const Events events{day[3], {0, u"h"_qs, u"Fan, \"rear\""_qs, {}, u"heard"_qs, u"2\n3"_qs}};
    const QByteArray csv = EventsCsv::write(events);
    QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
    QStringList lines = QString::fromUtf8(csv.mid(3)).split(u"\r\n"_qs);
    QCOMPARE(lines.takeFirst(), u"Time,Host,Reading,From,To,Value"_qs);
    QCOMPARE(lines.takeLast(), QString());
    QCOMPARE(lines.size(), 2);
    // Each line's time in ISO 8601 with the offset, then the event as kept, quoted where it must.
    for (size_t i = 0; i < events.size(); ++i) {
        const QString time = lines[qsizetype(i)].section(u',', 0, 0);
        QCOMPARE(QDateTime::fromString(time, Qt::ISODateWithMs).toMSecsSinceEpoch(),
                 events[i].timeMs);
    }
    QCOMPARE(lines[0].section(u',', 1), u"web-1,CPU,normal,Warning,91 %"_qs);
    QCOMPARE(lines[1].section(u',', 1), u"h,\"Fan, \"\"rear\"\"\",,heard,\"2\n3\""_qs);
}

QTEST_APPLESS_MAIN(tst_Events)
#include "tst_events.moc"
