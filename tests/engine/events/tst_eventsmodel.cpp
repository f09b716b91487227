#include "engine/events/eventsmodel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

namespace {

using Events = std::vector<ArchiveEvent>;

// Newest first, as the archive gives them.
Events day()
{
    return {{5000, u"db-1"_qs, u"Disk"_qs, u"warning"_qs, u"critical"_qs, u"97 %"_qs},
            {4000, u"web-2"_qs, QString(), u"heard"_qs, u"silent"_qs, QString()},
            {3000, u"web-1"_qs, u"CPU"_qs, u"warning"_qs, u"normal"_qs, u"40 %"_qs},
            {2000, u"web-1"_qs, u"CPU"_qs, u"normal"_qs, u"Warning"_qs, u"91 %"_qs},
            {1000, u"web-3"_qs, QString(), QString(), u"first heard"_qs, QString()}};
}

QStringList hosts(const EventsModel &model)
{
    QStringList shown;
    for (int row = 0; row < model.rowCount(); ++row)
        shown.append(model.index(row, EventsModel::HostColumn).data().toString());
    return shown;
}

} // namespace

class tst_EventsModel final : public QObject
{
    Q_OBJECT

private slots:
    void filter_data();
    void filter();
    void newerEventsAreInsertedAbove();
    void cells();
};

void tst_EventsModel::filter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("problemsOnly");
    QTest::addColumn<QStringList>("hosts");
    QTest::addColumn<QString>("count");
    QTest::newRow("everything") << QString() << false
                                << QStringList{u"db-1"_qs, u"web-2"_qs, u"web-1"_qs, u"web-1"_qs,
                                               u"web-3"_qs}
                                << u"5 events"_qs;
    QTest::newRow("into warning, critical or silent")
        << QString() << true << QStringList{u"db-1"_qs, u"web-2"_qs, u"web-1"_qs}
        << u"3 of 5 events"_qs;
    QTest::newRow("a host, ignoring case")
        << u" WEB-1 "_qs << false << QStringList{u"web-1"_qs, u"web-1"_qs} << u"2 of 5 events"_qs;
    QTest::newRow("a host's problems")
        << u"web-1"_qs << true << QStringList{u"web-1"_qs} << u"1 of 5 events"_qs;
    QTest::newRow("a reading") << u"disk"_qs << false << QStringList{u"db-1"_qs}
                               << u"1 of 5 events"_qs;
    QTest::newRow("a state it left")
        << u"heard"_qs << false << QStringList{u"web-2"_qs, u"web-3"_qs} << u"2 of 5 events"_qs;
    QTest::newRow("a value") << u"91"_qs << false << QStringList{u"web-1"_qs}
                             << u"1 of 5 events"_qs;
    QTest::newRow("nothing found") << u"mail"_qs << true << QStringList() << u"0 of 5 events"_qs;
}

void tst_EventsModel::filter()
{
    QFETCH(QString, text);
    QFETCH(bool, problemsOnly);
    QFETCH(QStringList, hosts);
    QFETCH(QString, count);
    EventsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setEvents(day());
    model.setFilter(EventFilter(text, problemsOnly));
    QCOMPARE(::hosts(model), hosts);
    QCOMPARE(model.countText(), count);
    QCOMPARE(int(model.shownEvents().size()), hosts.size());
    if (!hosts.isEmpty())
        QCOMPARE(model.shownEvents().front(), model.event(0));
}

// New events arrive in front of those there were; a view keeps its rows.
void tst_EventsModel::newerEventsAreInsertedAbove()
{
    EventsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setFilter(EventFilter({}, true));
    Events events = day();
    model.setEvents(Events(events.begin() + 1, events.end()));
    QCOMPARE(::hosts(model), (QStringList{u"web-2"_qs, u"web-1"_qs}));

    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.setEvents(events);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted.front().at(1).toInt(), 0);
    QCOMPARE(inserted.front().at(2).toInt(), 0);
    QCOMPARE(::hosts(model), (QStringList{u"db-1"_qs, u"web-2"_qs, u"web-1"_qs}));

    // The same again changes nothing; a newer event the filter leaves out adds no row.
    model.setEvents(events);
    events.insert(events.begin(),
                  {6000, u"db-1"_qs, u"Disk"_qs, u"critical"_qs, u"normal"_qs, u"50 %"_qs});
    model.setEvents(events);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(model.eventCount(), 6);
    QCOMPARE(reset.size(), 0);

    // Another day's events are others altogether.
    model.setEvents(Events(events.begin() + 3, events.end()));
    QCOMPARE(reset.size(), 1);
    QCOMPARE(::hosts(model), QStringList{u"web-1"_qs});
}

void tst_EventsModel::cells()
{
    EventsModel model;
    model.setEvents(day());
    QCOMPARE(model.columnCount(), 6);
    const QStringList titles{u"Time"_qs, u"Host"_qs, u"Reading"_qs,
                             u"From"_qs, u"To"_qs,   u"Value"_qs};
    QStringList found;
    for (int column = 0; column < model.columnCount(); ++column)
        found.append(model.headerData(column, Qt::Horizontal).toString());
    QCOMPARE(found, titles);
    QStringList first;
    for (int column = 1; column < model.columnCount(); ++column)
        first.append(model.index(0, column).data().toString());
    QCOMPARE(first,
             (QStringList{u"db-1"_qs, u"Disk"_qs, u"warning"_qs, u"critical"_qs, u"97 %"_qs}));
    // This machine's local time.
    QCOMPARE(model.index(0, EventsModel::TimeColumn).data().toString(),
             QDateTime::fromMSecsSinceEpoch(5000).toString(u"yyyy-MM-dd hh:mm:ss"_qs));
}

QTEST_APPLESS_MAIN(tst_EventsModel)
#include "tst_eventsmodel.moc"
