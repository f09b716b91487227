#include "engine/limits/limitrules.h"
#include "engine/limits/limitwatch.h"
#include "engine/monitor/monitor.h"
#include "engine/overview/overviewmodel.h"
#include "engine/overview/overvieworder.h"
#include "engine/reception/readingstable.h"
#include "engine/tablefile/csvtable.h"
#include "fakedatagramsocket.h"
#include "fakereceiveclock.h"
#include "gui/common/readingslook.h"
#include "gui/history/historywindow.h"
#include "gui/mainwindow/mainform.h"
#include "gui/overview/overviewwindow.h"
#include "gui/overview/trenddelegate.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

// The overview as the user meets it: opened from the main window's View menu, arranged,
// found, copied and saved as shown.
class TestOverviewWindow final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void openedFromTheViewMenu();
    void arrangementOutlivesTheWindow();
    void savesAndCopiesWhatIsShown();
    void selectedHostStaysInView();
    void trendsAskTheStoreOnlyWhenOn_data();
    void trendsAskTheStoreOnlyWhenOn();
    void trendsReadAgainOnlyWhatChanged_data();
    void trendsReadAgainOnlyWhatChanged();
    void trendsReadOncePerRow_data();
    void trendsReadOncePerRow();
    void cellsLookAsTheStyleDrawsThem_data();
    void cellsLookAsTheStyleDrawsThem();
    void lookAgreesWithData_data();
    void lookAgreesWithData();
    void readingOpensItsHistory_data();
    void readingOpensItsHistory();

private:
    // "host|name|value", posted and published as the receiver does.
    void post(const QStringList &readings);
    OverviewWindow *openOverview();
    QStringList shownTitles() const;

    FakeReceiveClock m_clock;
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<Monitor> m_monitor;
    std::unique_ptr<MainForm> m_main;
};

void TestOverviewWindow::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    const QString folder = m_folder->path();
    m_clock.seconds = 0;
    m_monitor = std::make_unique<Monitor>(SettingsFile(folder, folder), nullptr,
                                          new FakeDatagramSocket, &m_clock);
    m_monitor->listenAtStartUp();
    m_main = std::make_unique<MainForm>(*m_monitor);
    m_main->show();
}

void TestOverviewWindow::cleanup()
{
    m_main.reset();
    m_monitor.reset();
}

void TestOverviewWindow::post(const QStringList &readings)
{
    for (const QString &line : readings) {
        const QStringList f = line.split(u'|');
        m_monitor->table().fillgrid({{}, u"Jun 10"_qs, u"19:35:00"_qs, f[0], f[1], f[2]});
    }
    m_monitor->receiver().publish();
}

OverviewWindow *TestOverviewWindow::openOverview()
{
    m_main->findChild<QAction *>(u"OverviewMenu"_qs)->trigger();
    return m_main->overview();
}

QStringList TestOverviewWindow::shownTitles() const
{
    const QHeaderView *header = m_main->overview()->view()->horizontalHeader();
    QStringList titles;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int column = header->logicalIndex(visual);
        if (!header->isSectionHidden(column))
            titles << header->model()->headerData(column, Qt::Horizontal).toString();
    }
    return titles;
}

void TestOverviewWindow::openedFromTheViewMenu()
{
    post({u"a| CPU| 5 "_qs, u"b| Disk| 7 "_qs});
    QPointer<OverviewWindow> overview = openOverview();
    QVERIFY(overview);
    QVERIFY(overview->isWindow());
    QCOMPARE(overview->parentWidget(), nullptr);
    QCOMPARE(overview->windowTitle(), u"Senvo-Net Overview");
    QVERIFY(overview->isVisible());
    QCOMPARE(shownTitles(), (QStringList{u"Host"_qs, u"Last heard"_qs, u"CPU"_qs, u"Disk"_qs}));
    QCOMPARE(overview->view()->model()->index(1, 3).data().toString(), u"7");
    // Asked again: the same window.
    QCOMPARE(openOverview(), overview.data());
    // Problems first from the main window's menu reaches the window's own button.
    m_main->findChild<QAction *>(u"ProblemsFirstMenu"_qs)->trigger();
    QVERIFY(overview->findChild<QAbstractButton *>(u"problemsFirstButton"_qs)->isChecked());
    // Closing the overview leaves the program running; closing the main window closes it.
    m_main->close();
    QTRY_VERIFY(overview.isNull());
}

void TestOverviewWindow::arrangementOutlivesTheWindow()
{
    post({u"a|A|1"_qs, u"a|B|2"_qs, u"a|C|3"_qs});
    QPointer<OverviewWindow> overview = openOverview();
    QHeaderView *header = overview->view()->horizontalHeader();
    header->moveSection(header->visualIndex(4), 1);   // C dragged next to the host
    header->setSortIndicator(2, Qt::DescendingOrder); // a click on A's title
    header->customContextMenuRequested({1, 1});
    auto *menu = overview->findChild<QMenu *>(u"columnsMenu"_qs);
    QVERIFY(menu);
    for (QAction *action : menu->actions()) {
        if (action->text() == u"B")
            action->trigger(); // hidden
    }
    const QStringList arranged{u"Host"_qs, u"C"_qs, u"Last heard"_qs, u"A"_qs};
    QCOMPARE(shownTitles(), arranged);
    overview->close();
    QTRY_VERIFY(overview.isNull());
    post({u"b|D|4"_qs}); // a name first heard while the window was closed comes last
    overview = openOverview();
    QCOMPARE(shownTitles(), arranged + QStringList{u"D"_qs});
    QCOMPARE(overview->view()->horizontalHeader()->sortIndicatorSection(), 2);
    QCOMPARE(overview->view()->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
}

void TestOverviewWindow::savesAndCopiesWhatIsShown()
{
    post({u"web-1|CPU|10"_qs, u"db|CPU|90"_qs, u"web-2|CPU|50 %"_qs, u"web-2|Disk|\"a,b\""_qs,
          u"web-1|Fan|1200"_qs});
    OverviewWindow *overview = openOverview();
    OverviewModel &model = m_monitor->overview();
    model.setColumnHidden(OverviewModel::lastHeardColumn, true);
    model.setColumnOrder({0, 1, 4, 2, 3}); // Fan before CPU
    model.setSorting({2, Qt::DescendingOrder, false});
    overview->findChild<QAction *>(u"FindOverviewHostMenu"_qs)->trigger();
    auto *field = overview->findChild<QLineEdit *>(u"findHost"_qs);
    QCOMPARE(overview->focusWidget(), field);
    QTest::keyClicks(field, u"WEB"_qs);
    QCOMPARE(overview->findChild<QLabel *>(u"findHostCount"_qs)->text(), u"2 of 3 hosts");

    const QString path = m_folder->filePath(u"overview.csv"_qs);
    QSignalSpy finished(overview, &OverviewWindow::saveFinished);
    QVERIFY(overview->save(path));
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(readBytes(path), QByteArray(CsvTable::byteOrderMark)
                                  + "Host,Fan,CPU,Disk\r\n"
                                    "web-2,,50 %,\"\"\"a,b\"\"\"\r\n"
                                    "web-1,1200,10,\r\n");
    QCOMPARE(overview->statusBar()->currentMessage(),
             u"Saved 2 hosts to "_qs + QDir::toNativeSeparators(path));

    // The titles first, then the rows as shown; an unselected cell between two is empty.
    QTableView *view = overview->view();
    auto *selection = view->selectionModel();
    selection->select(view->model()->index(0, 0), QItemSelectionModel::Select);
    selection->select(view->model()->index(1, 4), QItemSelectionModel::Select);
    selection->select(view->model()->index(1, 2), QItemSelectionModel::Select);
    view->setFocus();
    QTest::keySequence(view, QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text(), u"Host\tFan\tCPU\nweb-2\t\t\n\t1200\t10\n"_qs);
}

void TestOverviewWindow::selectedHostStaysInView()
{
    QStringList readings;
    for (int host = 0; host < 300; ++host)
        readings << u"h%1|CPU|%2"_qs.arg(host, 3, 10, QChar(u'0')).arg(host);
    post(readings);
    OverviewWindow *overview = openOverview();
    QTableView *view = overview->view();
    m_monitor->overview().setSorting({2, Qt::DescendingOrder, false});
    view->setCurrentIndex(view->model()->index(0, 2)); // h299, on top
    post({u"h299|CPU|-1"_qs});
    QTRY_COMPARE(view->model()->index(299, 0).data().toString(), u"h299");
    QCOMPARE(view->currentIndex().row(), 299);
    QVERIFY(view->viewport()->rect().contains(view->visualRect(view->currentIndex())));
    QVERIFY(view->verticalScrollBar()->value() > 0);
}

void TestOverviewWindow::trendsAskTheStoreOnlyWhenOn_data()
{
    QTest::addColumn<QString>("turnedOffBy"); // empty: left on
    QTest::addColumn<int>("asked");
    QTest::newRow("on by default: each row drawn, once") << QString() << 2;
    QTest::newRow("off from the main window") << u"TrendsMenu"_qs << 0;
    QTest::newRow("off from the overview") << u"TrendsOverviewMenu"_qs << 0;
}

// Each row drawn reads its points once, for all its cells; with trends off none is read.
void TestOverviewWindow::trendsAskTheStoreOnlyWhenOn()
{
    QFETCH(QString, turnedOffBy);
    QFETCH(int, asked);
    post({u"host0007|CPU|5 %"_qs, u"host0007|Disk|7"_qs, u"host0008|CPU|9 %"_qs});
    OverviewWindow *const overview = openOverview();
    auto *const delegate = qobject_cast<TrendDelegate *>(overview->view()->itemDelegate());
    QVERIFY(delegate);
    QList<int> rowsAsked;
    delegate->setPointsOf(
        [&rowsAsked](int row, std::vector<TrendDelegate::Points> &) { rowsAsked << row; });
    QAction *const mainToggle = m_main->findChild<QAction *>(u"TrendsMenu"_qs);
    QAction *const ownToggle = overview->findChild<QAction *>(u"TrendsOverviewMenu"_qs);
    QVERIFY(mainToggle && ownToggle);
    if (!turnedOffBy.isEmpty())
        (turnedOffBy == mainToggle->objectName() ? mainToggle : ownToggle)->trigger();
    QCOMPARE(mainToggle->isChecked(), turnedOffBy.isEmpty());
    QCOMPARE(ownToggle->isChecked(), turnedOffBy.isEmpty());
    // host0007's CPU and Disk cells share one reading of its row.
    overview->view()->viewport()->grab();
    QCOMPARE(rowsAsked.size(), asked);
}

void TestOverviewWindow::trendsReadAgainOnlyWhatChanged_data()
{
    QTest::addColumn<QString>("change"); // "heard", "removed" or nothing
    QTest::addColumn<QSet<int>>("rowsRead");
    QTest::newRow("nothing changed: lines kept") << QString() << QSet<int>();
    QTest::newRow("host heard: its row read again") << u"heard"_qs << QSet<int>{0};
    QTest::newRow("a second on: lines kept") << u"second"_qs << QSet<int>();
    QTest::newRow("ten minutes on, the hour moved by pixels: read again")
        << u"minutes"_qs << QSet<int>{0, 1};
    // The next host takes the removed one's row, with a history as old: still read afresh.
    QTest::newRow("host removed: its row read afresh") << u"removed"_qs << QSet<int>{0};
}

// Once drawn, a trend is read again from the store only where that row's history changed.
void TestOverviewWindow::trendsReadAgainOnlyWhatChanged()
{
    QFETCH(QString, change);
    QFETCH(QSet<int>, rowsRead);
    post({u"host0007|CPU|5 %"_qs, u"host0008|CPU|9 %"_qs});
    OverviewWindow *const overview = openOverview();
    auto *const delegate = qobject_cast<TrendDelegate *>(overview->view()->itemDelegate());
    QVERIFY(delegate);
    QSet<int> rowsAsked;
    delegate->setPointsOf(
        [&rowsAsked](int row, std::vector<TrendDelegate::Points> &) { rowsAsked << row; });
    overview->view()->viewport()->grab();
    QCOMPARE(rowsAsked, (QSet<int>{0, 1}));
    rowsAsked.clear();
    if (change == u"heard") {
        // A value heard within the same tenth of a second adds no point; still the same second.
        m_clock.seconds += 0.2;
        m_monitor->table().beginBatch();
        post({u"host0007|CPU|6 %"_qs});
    } else if (change == u"removed") {
        m_monitor->table().removeHosts({0});
    } else if (!change.isEmpty()) {
        m_clock.seconds += change == u"second" ? 1 : 600;
        m_monitor->table().beginBatch();
        m_monitor->receiver().publish();
    }
    overview->view()->viewport()->grab();
    QCOMPARE(rowsAsked, rowsRead);
}

void TestOverviewWindow::trendsReadOncePerRow_data()
{
    QTest::addColumn<int>("widenedBy"); // the first reading's column, in pixels
    QTest::addColumn<bool>("heard");    // host0007 heard again
    QTest::addColumn<QList<int>>("rowsRead");
    QTest::newRow("heard: its row once for both its cells") << 0 << true << QList<int>{0};
    QTest::newRow("one column widened: each row once") << 40 << false << QList<int>{0, 1};
}

// Cells of one row as wide as when last drawn, or not, are made from one reading of the row.
void TestOverviewWindow::trendsReadOncePerRow()
{
    QFETCH(int, widenedBy);
    QFETCH(bool, heard);
    QFETCH(QList<int>, rowsRead);
    post({u"host0007|CPU|5 %"_qs, u"host0007|Disk|7"_qs, u"host0008|CPU|9 %"_qs});
    OverviewWindow *const overview = openOverview();
    QTableView *const view = overview->view();
    auto *const delegate = qobject_cast<TrendDelegate *>(view->itemDelegate());
    QVERIFY(delegate);
    QList<int> rowsAsked;
    delegate->setPointsOf(
        [&rowsAsked](int row, std::vector<TrendDelegate::Points> &) { rowsAsked << row; });
    view->viewport()->grab();
    rowsAsked.clear();
    const int column = OverviewModel::firstReadingColumn;
    view->setColumnWidth(column, view->columnWidth(column) + widenedBy);
    if (heard) {
        m_clock.seconds += 0.2;
        m_monitor->table().beginBatch();
        post({u"host0007|CPU|6 %"_qs});
    }
    view->viewport()->grab();
    std::sort(rowsAsked.begin(), rowsAsked.end());
    QCOMPARE(rowsAsked, rowsRead);
}

void TestOverviewWindow::cellsLookAsTheStyleDrawsThem_data()
{
    QTest::addColumn<QStringList>("readings");
    QTest::newRow("plain values") << QStringList{u"host0007|CPU|5 %"_qs, u"host0008|Disk|9"_qs};
    QTest::newRow("beyond limits: colours and arrows")
        << QStringList{u"host0007|CPU|97 %"_qs, u"host0008|CPU|85 %"_qs};
    QTest::newRow("too long for the widest column: cut")
        << QStringList{u"host0007|CPU|"_qs + QString(200, u'7')};
}

// Trends off, the overview paints its cells as the style would: colours, icons, cut texts.
void TestOverviewWindow::cellsLookAsTheStyleDrawsThem()
{
    QFETCH(QStringList, readings);
    post(readings);
    QSignalSpy applied(&m_monitor->limits(), &LimitWatch::applied);
    m_monitor->limits().setRules(LimitRules(QJsonDocument::fromJson(R"({"limits": [
        {"reading": "CPU", "warningAbove": 80, "criticalAbove": 95}]})")
                                                .object()));
    QTRY_COMPARE(applied.size(), 1);
    QTableView *const view = openOverview()->view();
    m_monitor->overview().setTrendsShown(false);
    view->setCurrentIndex({}); // the current cell is left to the style
    const QImage own = view->viewport()->grab().toImage();
    // The style given the cells' look, as a delegate that paints nothing of its own would.
    class StyleOnly : public QStyledItemDelegate
    {
    public:
        StyleOnly(const TrendDelegate &trends, const OverviewOrder &order, QObject *parent)
            : QStyledItemDelegate(parent)
            , m_trends(trends)
            , m_order(order)
        {
        }

    protected:
        void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
        {
            QStyledItemDelegate::initStyleOption(option, index);
            TrendDelegate::applyLook(
                option, m_trends.lookOf(m_order.mapToSource(index).row(), index.column()));
        }

    private:
        const TrendDelegate &m_trends;
        const OverviewOrder &m_order;
    };
    auto *const trends = qobject_cast<TrendDelegate *>(view->itemDelegate());
    view->setItemDelegate(
        new StyleOnly(*trends, *qobject_cast<const OverviewOrder *>(view->model()), view));
    QCOMPARE(own, view->viewport()->grab().toImage());
}

void TestOverviewWindow::lookAgreesWithData_data()
{
    QTest::addColumn<QStringList>("readings");
    QTest::addColumn<bool>("coloured"); // some cell has a background
    QTest::newRow("plain values") << QStringList{u"a|CPU|5"_qs, u"b|Disk|7"_qs} << false;
    QTest::newRow("beyond limits: hosts and cells")
        << QStringList{u"a|CPU|97"_qs, u"b|CPU|85"_qs, u"b|Disk|1"_qs} << true;
    QTest::newRow("a word where a number was")
        << QStringList{u"a|CPU|5"_qs, u"a|CPU|high"_qs} << false;
}

// A reading's cell takes the look of the pair its column stands for.
void TestOverviewWindow::lookAgreesWithData()
{
    QFETCH(QStringList, readings);
    QFETCH(bool, coloured);
    QSignalSpy applied(&m_monitor->limits(), &LimitWatch::applied);
    m_monitor->limits().setRules(LimitRules(QJsonDocument::fromJson(R"({"limits": [
        {"reading": "CPU", "warningAbove": 80, "criticalAbove": 95}]})")
                                                .object()));
    QTRY_COMPARE(applied.size(), 1);
    for (const QString &reading : readings)
        post({reading});
    const OverviewModel &model = m_monitor->overview();
    const ReadingsLook look(m_monitor->table());
    bool anyColoured = false;
    for (int row = 0; row < model.rowCount(); ++row) {
        for (int column = OverviewModel::firstReadingColumn; column < model.columnCount();
             ++column) {
            const int pair = model.pairOf(row, column);
            const bool cpu = model.columnTitle(column) == u"CPU";
            const QVariant background =
                pair < 0 ? QVariant() : look.readingData(row, pair, false, Qt::BackgroundRole);
            QVERIFY(cpu || !background.isValid());
            anyColoured = anyColoured || background.isValid();
        }
    }
    QCOMPARE(anyColoured, coloured);
}

void TestOverviewWindow::readingOpensItsHistory_data()
{
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<QString>("title");
    QTest::newRow("double-click a reading")
        << true << u"CPU on host0007 \u00b7 Senvo-Net History"_qs;
    QTest::newRow("Show History of the host's selected readings")
        << false << u"CPU, Fan on host0007 \u00b7 Senvo-Net History"_qs;
}

void TestOverviewWindow::readingOpensItsHistory()
{
    QFETCH(bool, doubleClick);
    QFETCH(QString, title);
    post({u"host0006|CPU|3 %"_qs, u"host0007|Fan|900"_qs, u"host0007|CPU|5 %"_qs,
          u"host0006|Disk|7"_qs});
    OverviewWindow *const overview = openOverview();
    QTableView *const view = overview->view();
    // Columns Host, Last heard, CPU, Fan, Disk; host0007 is the second row.
    const QModelIndex cpu = view->model()->index(1, 2);
    if (doubleClick) {
        const QPoint centre = view->visualRect(cpu).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, centre);
    } else {
        QItemSelectionModel *const selection = view->selectionModel();
        selection->select(view->model()->index(0, 4), QItemSelectionModel::Select);
        selection->select(view->model()->index(1, 3), QItemSelectionModel::Select);
        selection->setCurrentIndex(cpu, QItemSelectionModel::Select);
        view->customContextMenuRequested(view->visualRect(cpu).center());
        auto *const menu = overview->findChild<QMenu *>(u"overviewCellMenu"_qs);
        QAction *const show = overview->findChild<QAction *>(u"ShowHistoryMenu"_qs);
        QVERIFY(menu && menu->actions().contains(show) && show->isEnabled());
        show->trigger();
    }
    const QList<HistoryWindow *> open = m_main->findChildren<HistoryWindow *>();
    QCOMPARE(open.size(), 1);
    QCOMPARE(open.front()->windowTitle(), title);
}

QTEST_MAIN(TestOverviewWindow)
#include "tst_overviewwindow.moc"
