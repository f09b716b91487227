#include "earlierrun.h"
#include "engine/events/eventsmodel.h"
#include "gui/events/eventswindow.h"
#include "gui/history/historywindow.h"
#include "gui/mainwindow/mainform.h"
#include "testsupport.h"

#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

namespace {

constexpr qint64 hourMs = 3'600'000;

qint64 todayAt(int hour)
{
    return QDate::currentDate().startOfDay().toMSecsSinceEpoch() + hour * hourMs;
}

// Yesterday's last hour and today's first three.
std::vector<ArchiveBatch> fourEvents()
{
    ArchiveBatch batch;
    batch.events = {{todayAt(-1), u"old"_qs, u"CPU"_qs, u"normal"_qs, u"critical"_qs, u"99"_qs},
                    {todayAt(1), u"web-1"_qs, u"CPU"_qs, u"normal"_qs, u"warning"_qs, u"91 %"_qs},
                    {todayAt(2), u"web-2"_qs, {}, u"heard"_qs, u"silent"_qs, {}},
                    {todayAt(3), u"web-1"_qs, u"CPU"_qs, u"warning"_qs, u"normal"_qs, u"40 %"_qs}};
    return {batch};
}

QStringList hostsShown(const EventsWindow &window)
{
    QStringList hosts;
    const QAbstractItemModel *model = window.view()->model();
    for (int row = 0; row < model->rowCount(); ++row)
        hosts.append(model->index(row, EventsModel::HostColumn).data().toString());
    return hosts;
}

} // namespace

class tst_EventsWindow final : public QObject
{
    Q_OBJECT

private slots:
    void listsFindsAndFollows();
    void saveEvents();
    void doubleClickOpensHistory();
};

// The day's events from the file, narrowed as asked, and new ones as they are written.
void tst_EventsWindow::listsFindsAndFollows()
{
    const EarlierRun run(fourEvents());
    QVERIFY2(run.problem().isEmpty(), qPrintable(run.problem()));
    EventsWindow window(run.monitor());
    QCOMPARE(window.windowTitle(), u"Senvo-Net Events"_qs);
    QCOMPARE(hostsShown(window), (QStringList{u"web-1"_qs, u"web-2"_qs, u"web-1"_qs}));

    auto *problemsOnly = window.findChild<QCheckBox *>(u"problemsOnly"_qs);
    QVERIFY(problemsOnly);
    problemsOnly->setChecked(true);
    QCOMPARE(hostsShown(window), (QStringList{u"web-2"_qs, u"web-1"_qs}));
    auto *find = window.findChild<QLineEdit *>(u"findHost"_qs);
    QVERIFY(find);
    find->setText(u"WEB-1"_qs);
    QCOMPARE(hostsShown(window), QStringList{u"web-1"_qs});
    QCOMPARE(window.view()->model()->index(0, EventsModel::ToColumn).data().toString(),
             u"warning"_qs);
    find->clear();
    problemsOnly->setChecked(false);

    auto *day = window.findChild<QDateEdit *>(u"eventsDay"_qs);
    QVERIFY(day);
    QCOMPARE(day->date(), QDate::currentDate());
    day->setDate(QDate::currentDate().addDays(-1));
    QCOMPARE(hostsShown(window), QStringList{u"old"_qs});
    day->setDate(QDate::currentDate());

    // A host heard for the first time is an event of today's, listed once written.
    run.post(u"web-9"_qs, u"CPU"_qs, u"10 %"_qs);
    run.archive().flush();
    QTRY_COMPARE(hostsShown(window).size(), 4);
    QCOMPARE(hostsShown(window).front(), u"web-9"_qs);
    QCOMPARE(window.view()->model()->index(0, EventsModel::ToColumn).data().toString(),
             u"heard"_qs);
}

void tst_EventsWindow::saveEvents()
{
    const EarlierRun run(fourEvents());
    EventsWindow window(run.monitor());
    window.findChild<QCheckBox *>(u"problemsOnly"_qs)->setChecked(true);
    const QString path = run.folder() + u"/events.csv"_qs;
    QVERIFY(window.saveEvents(path));
    // What is shown, as shown.
    const QStringList lines = QString::fromUtf8(readBytes(path).mid(3)).split(u"\r\n"_qs);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], u"Time,Host,Reading,From,To,Value"_qs);
    QVERIFY2(lines[1].endsWith(u",web-2,,heard,silent,"_qs), qPrintable(lines[1]));
    QVERIFY2(lines[2].endsWith(u",web-1,CPU,normal,warning,91 %"_qs), qPrintable(lines[2]));
    QCOMPARE(
        QDateTime::fromString(lines[2].section(u',', 0, 0), Qt::ISODateWithMs).toMSecsSinceEpoch(),
        todayAt(1));
    QVERIFY(lines[3].isEmpty());

    QVERIFY(!window.saveEvents(belowAPlainFile(QTemporaryDir(), u"events.csv"_qs)));
}

// The history of the event's reading opens around its time, through the main window; a host
// no longer in the table is told of.
void tst_EventsWindow::doubleClickOpensHistory()
{
    const EarlierRun run(fourEvents());
    run.post(u"web-1"_qs, u"Disk"_qs, u"50 %"_qs);
    run.post(u"web-1"_qs, u"CPU"_qs, u"40 %"_qs);
    MainForm form(run.monitor());
    QAction *open = form.findChild<QAction *>(u"EventsMenu"_qs);
    QVERIFY(open);
    open->trigger();
    EventsWindow *window = form.events();
    QVERIFY(window);
    open->trigger();
    QCOMPARE(form.events(), window);

    window->openHistory(2); // web-1's CPU into warning
    const QList<HistoryWindow *> histories = form.findChildren<HistoryWindow *>();
    QCOMPARE(histories.size(), 1);
    QCOMPARE(histories[0]->pairs(), std::vector<int>{1});
    QCOMPARE(histories[0]->plot()->mark(), todayAt(1));
    const qint64 age = QDateTime::currentMSecsSinceEpoch() - todayAt(1);
    QCOMPARE(histories[0]->range(), HistoryRange::covering(age));
    QVERIFY(histories[0]->plot()->fromMs() <= todayAt(1));

    window->openHistory(1); // web-2's
    QVERIFY2(window->statusBar()->currentMessage().contains(u"web-2"_qs),
             qPrintable(window->statusBar()->currentMessage()));
    QCOMPARE(form.findChildren<HistoryWindow *>().size(), 1);
    form.close();
    QTRY_VERIFY(!form.events());
}

QTEST_MAIN(tst_EventsWindow)
#include "tst_eventswindow.moc"
