#include "earlierrun.h"
#include "engine/events/eventsmodel.h"
#include "gui/events/eventswindow.h"
#include "gui/history/historywindow.h"
#include "gui/mainwindow/mainform.h"
#include "testsupport.h"

#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

namespace {

// Seconds after midnight, so that even a run just after midnight finds them in the past and
// below a host heard now.
qint64 todayAt(int second)
{
    return QDate::currentDate().startOfDay().toMSecsSinceEpoch() + second * 1000;
}

// Yesterday's last hour and today's first three seconds.
std::vector<ArchiveBatch> fourEvents()
{
    ArchiveBatch batch;
    batch.events = {{todayAt(-3600), u"old"_qs, u"CPU"_qs, u"normal"_qs, u"critical"_qs, u"99"_qs},
                    {todayAt(1), u"web-1"_qs, u"CPU"_qs, u"normal"_qs, u"warning"_qs, u"91 %"_qs},
                    {todayAt(2), u"web-2"_qs, {}, u"heard"_qs, u"silent"_qs, {}},
                    {todayAt(3), u"web-1"_qs, u"CPU"_qs, u"warning"_qs, u"normal"_qs, u"40 %"_qs}};
    return {batch};
}

QString hostsShown(const EventsWindow &window)
{
    QStringList hosts;
    const QAbstractItemModel *model = window.view()->model();
    for (int row = 0; row < model->rowCount(); ++row)
        hosts.append(model->index(row, EventsModel::HostColumn).data().toString());
    return hosts.join(u' ');
}

} // namespace

class tst_EventsWindow final : public QObject
{
    Q_OBJECT

private slots:
    void listsFindsSavesAndFollows();
    void doubleClickOpensHistory();
};

// The day's events from the file, narrowed and saved as shown, and new ones as they are
// written.
void tst_EventsWindow::listsFindsSavesAndFollows()
{
    const EarlierRun run(fourEvents());
    QVERIFY2(run.problem().isEmpty(), qPrintable(run.problem()));
    EventsWindow window(run.monitor());
    QCOMPARE(hostsShown(window), u"web-1 web-2 web-1"_qs);
    window.findChild<QCheckBox *>(u"problemsOnly"_qs)->setChecked(true);
    QCOMPARE(hostsShown(window), u"web-2 web-1"_qs);
    const QString path = run.folder() + u"/events.csv"_qs;
    QVERIFY(window.saveEvents(path));
    const QStringList lines = QString::fromUtf8(readBytes(path)).split(u"\r\n"_qs);
    QCOMPARE(lines.size(), 4);
    QVERIFY2(lines[2].endsWith(u",web-1,CPU,normal,warning,91 %"_qs), qPrintable(lines[2]));
    window.findChild<QCheckBox *>(u"problemsOnly"_qs)->setChecked(false);

    auto *day = window.findChild<QDateEdit *>(u"eventsDay"_qs);
    day->setDate(QDate::currentDate().addDays(-1));
    QCOMPARE(hostsShown(window), u"old"_qs);
    day->setDate(QDate::currentDate());

    // A host heard for the first time is one of today's events.
    run.post(u"web-9"_qs, u"CPU"_qs, u"10 %"_qs);
    run.archive().flush();
    QTRY_COMPARE(hostsShown(window), u"web-9 web-1 web-2 web-1"_qs);
}

// Through the main window, the history of the event's reading opens around its time; a host
// no longer in the table is told of.
void tst_EventsWindow::doubleClickOpensHistory()
{
    const EarlierRun run(fourEvents());
    run.post(u"web-1"_qs, u"Disk"_qs, u"50 %"_qs);
    run.post(u"web-1"_qs, u"CPU"_qs, u"40 %"_qs);
    MainForm form(run.monitor());
    QAction *open = form.findChild<QAction *>(u"EventsMenu"_qs);
    open->trigger();
    EventsWindow *window = form.events();
    open->trigger();
    QCOMPARE(form.events(), window);

    window->openHistory(2); // web-1's CPU into warning
    const QList<HistoryWindow *> histories = form.findChildren<HistoryWindow *>();
    QCOMPARE(histories.size(), 1);
    QCOMPARE(histories[0]->pairs(), std::vector<int>{1});
    QCOMPARE(histories[0]->plot()->mark(), todayAt(1));
    QVERIFY(histories[0]->plot()->fromMs() <= todayAt(1));

    window->openHistory(1); // web-2's
    QVERIFY(window->statusBar()->currentMessage().contains(u"web-2"_qs));
    QCOMPARE(form.findChildren<HistoryWindow *>().size(), 1);
}

QTEST_MAIN(tst_EventsWindow)
#include "tst_eventswindow.moc"
