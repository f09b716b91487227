#include "mainform.h"

#include "counterfields.h"
#include "engine/host/module1.h"
#include "engine/monitor/monitor.h"
#include "engine/tableview/hostfilter.h"
#include "gui/about/frmabout.h"
#include "gui/common/applicationicon.h"
#include "gui/common/designfont.h"
#include "gui/common/menuaction.h"
#include "gui/common/notice.h"
#include "gui/common/raiseorcreate.h"
#include "gui/common/twips.h"
#include "gui/history/historywindow.h"
#include "gui/overview/overviewactions.h"
#include "gui/overview/overviewwindow.h"
#include "gui/settings/frmoptions.h"
#include "gui/settings/settingswindow.h"
#include "gui/tablefile/tablesaveflow.h"
#include "hostfind.h"
#include "onscreen.h"
#include "readingsview.h"
#include "senvoversion.h"
#include "sizelimits.h"
#include "statusline.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLocale>
#include <QMenuBar>
#include <QPushButton>

MainForm::MainForm(Monitor &monitor, QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                              | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                              | Qt::WindowCloseButtonHint)
    , m_monitor(monitor)
    , m_tableFull(monitor.table())
{
    setObjectName(u"MainForm"_qs);
    setWindowTitle(u"Senvo-Net"_qs);
    setWindowIcon(applicationIcon());
    new SizeLimits(this, QSizeF(minimumWidth, minimumHeight), QSizeF(maximumWidth, maximumHeight));

    auto *client = new QWidget(this);
    setCentralWidget(client);
    client->setAutoFillBackground(true);

    m_counters = new CounterFields(m_monitor.receiver(), client);
    connect(m_counters, &CounterFields::countTyped, this, &MainForm::updateCounters);

    m_grid = new ReadingsView(&m_monitor.table(), client);
    m_grid->setObjectName(u"MSFlexGrid1"_qs);
    m_grid->setAccessibleName(tr("Readings"));
    m_grid->setFont(designFont(font(), false));
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setWordWrap(false);
    // The host is shown as the row's header so it stays in view while scrolling sideways.
    m_grid->setColumnHidden(0, true);
    QHeaderView *rows = m_grid->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(m_grid->fontMetrics().height() + 4);
    rows->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QHeaderView *columns = m_grid->horizontalHeader();
    columns->setDefaultSectionSize(Twips::toPixelsX(*this, 900));
    columns->setMinimumSectionSize(Twips::toPixelsX(*this, 300));
    // The first keystroke goes to the readings, not into a counter.
    m_grid->setFocus();
    connect(m_grid, &ReadingsView::hostsRemoved, this, &MainForm::afterRemoval);
    connect(m_grid, &ReadingsView::historyRequested, this, &MainForm::showHistory);

    m_saveFlow = new TableSaveFlow(
        m_monitor.table(), m_monitor.receiver(),
        [filter = m_grid->hostFilter()] { return filter->tableRows(); }, this);
    connect(m_saveFlow, &TableSaveFlow::savingChanged, this, &MainForm::updateSaving);
    connect(m_saveFlow, &TableSaveFlow::finished, this, &MainForm::saveFinished);
    connect(m_saveFlow, &TableSaveFlow::dialogClosed, m_grid, [this] { m_grid->setFocus(); });

    m_status = new StatusLine(m_monitor, m_tableFull, *m_saveFlow, client);
    m_status->setFont(designFont(font(), false));
    QRect statusRect = Twips::toPixels(*this, 120, 0, 4920, 255);
    statusRect.setHeight(std::max(statusRect.height(), m_counters->lineHeight()));
    m_status->setGeometry(statusRect);
    m_find = new HostFind(m_grid, m_status, client);
    placeStatus();
    createMenus();
    connect(&m_monitor.receiver(), &DatagramReceiver::countersChanged, this,
            &MainForm::updateCounters);

    resize(Twips::toPixels(*this, 10440, 2400) + QSize(0, menuBar()->sizeHint().height()));
    Form_Load();
}

MainForm::~MainForm()
{
    // Child widgets go while the window they report to is whole: a field that loses the
    // focus as it goes still reaches a window that works.
    unloadOptions();
    delete m_saveFlow;
    delete centralWidget();
    delete m_about.data();
    delete m_overview.data();
    delete m_events.data();
}

void MainForm::Form_Load()
{
    createOptions();
    setWindowTitle(u"Senvo-Net Version %1 on "_qs.arg(SenvoVersion::shortText)
                   + Module1::ComputerNameText());
    // The title the About dialog and message boxes use. Not the display name: window systems
    // append a display name that is set to every title bar.
    QCoreApplication::setApplicationName(u"Senvo-Net"_qs);
    m_status->refresh();
    const std::pair<QString, QString> problems[] = {
        {m_monitor.listenProblem(), u"startUpProblem"_qs},
        {m_monitor.limitsProblem(), u"limitsProblem"_qs},
        {m_monitor.metricsProblem(), u"metricsProblem"_qs},
        {m_monitor.streamProblem(), u"streamProblem"_qs},
        {m_monitor.archiveProblem(), u"archiveProblem"_qs}};
    for (const auto &[problem, name] : problems) {
        // Once the window is on screen and placed, so that the message opens over it.
        if (!problem.isEmpty())
            OnScreen::call(this, [this, problem, name] {
                showNotice(this, QMessageBox::Warning, problem, name);
            });
    }
}

void MainForm::createMenus()
{
    const auto add = [this](QMenu *menu, const QString &text, const QString &name, auto slot) {
        return addMenuAction(menu, text, name, this, slot);
    };
    QMenu *file = menuBar()->addMenu(tr("&File"));
    file->setObjectName(u"FileMenu"_qs);
    m_saveAction =
        add(file, tr("&Save Table As\u2026"), u"SaveTableMenu"_qs, &MainForm::saveTableAs);
    m_saveAction->setShortcut(QKeySequence::Save);
    file->addSeparator();
    add(file, tr("E&xit"), u"ExitMenu"_qs, [this] {
        unloadOptions();
        close();
    });

    QMenu *edit = menuBar()->addMenu(tr("&Edit"));
    edit->setObjectName(u"EditMenu"_qs);
    edit->addAction(m_grid->copyAction());
    edit->addAction(m_grid->copyAllAction());
    edit->addSeparator();
    add(edit, tr("&Find Host\u2026"), u"FindHostMenu"_qs, &MainForm::showFindBar)
        ->setShortcut(QKeySequence::Find);
    add(edit, tr("Show &Problems Only"), u"ShowProblemsOnlyMenu"_qs, &MainForm::showProblemsOnly);
    edit->addSeparator();
    edit->addAction(m_grid->removeAction());
    m_clearAction = add(edit, tr("C&lear Table"), u"ClearTableMenu"_qs, &MainForm::clearTable);
    connect(edit, &QMenu::aboutToShow, this, &MainForm::updateSaving);

    createViewMenu();
    QMenu *tools = menuBar()->addMenu(tr("&Tools"));
    tools->setObjectName(u"ToolsMenu"_qs);
    add(tools, tr("&Options"), u"OptionsMenu"_qs, &MainForm::showOptions);
    add(tools, tr("Se&ttings\u2026"), u"SettingsMenu"_qs, [this] { showSettings(); });
    add(tools, tr("&Limits\u2026"), u"LimitsMenu"_qs, [this] { showSettings(u"limitsPage"_qs); });
    add(tools, tr("&Senders\u2026"), u"SendersMenu"_qs,
        [this] { showSettings(u"sendersPage"_qs); });
    add(tools, tr("&Notifications\u2026"), u"NotificationsMenu"_qs,
        [this] { showSettings(u"notificationsPage"_qs); });
    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->setObjectName(u"HelpMenu"_qs);
    add(help, tr("&About"), u"AboutMenu"_qs, &MainForm::showAbout);
}

void MainForm::createViewMenu()
{
    QMenu *view = menuBar()->addMenu(tr("&View"));
    view->setObjectName(u"ViewMenu"_qs);
    addMenuAction(view, tr("&Overview"), u"OverviewMenu"_qs, this, &MainForm::showOverview)
        ->setShortcut(Qt::CTRL | Qt::Key_O);
    connect(addProblemsFirstAction(view, m_monitor.overview(), u"ProblemsFirstMenu"_qs),
            &QAction::triggered, this, &MainForm::showOverview);
    addTrendsAction(view, m_monitor.overview(), u"TrendsMenu"_qs);
    view->addSeparator();
    addMenuAction(view, tr("&Events"), u"EventsMenu"_qs, this, &MainForm::showEvents);
}

void MainForm::showOverview()
{
    raiseOrCreate(m_overview, [this] {
        // A window of its own, which the main window does not keep above itself; it deletes
        // itself on closing and is closed with the main window.
        auto *overview = new OverviewWindow(m_monitor);
        overview->setAttribute(Qt::WA_DeleteOnClose);
        connect(overview, &OverviewWindow::historyRequested, this, &MainForm::showHistory);
        return overview;
    });
}

void MainForm::showEvents()
{
    raiseOrCreate(m_events, [this] {
        // As the overview: a window of its own, closed with the main window.
        auto *events = new EventsWindow(m_monitor);
        events->setAttribute(Qt::WA_DeleteOnClose);
        connect(events, &EventsWindow::historyRequested, this,
                [this](int row, const std::vector<int> &pairs, qint64 timeMs) {
                    showHistory(row, pairs)->showMoment(timeMs);
                });
        return events;
    });
}

void MainForm::findHost(const QString &text)
{
    m_find->setText(text);
}

void MainForm::showFindBar()
{
    m_find->start();
}

void MainForm::showProblemsOnly()
{
    m_find->startProblemsOnly();
}

void MainForm::endFind()
{
    m_find->end();
}

void MainForm::afterRemoval()
{
    if (m_tableFull.roomAgain()) {
        if (auto *full = findChild<QMessageBox *>(u"tableFull"_qs))
            full->close();
    }
    m_status->refresh();
    m_find->updateCount();
    m_grid->setFocus(Qt::OtherFocusReason);
}

void MainForm::clearTable()
{
    if (m_saveFlow->isSaving())
        return;
    // Whatever arrived is in the count that the question gives.
    m_monitor.receiver().publish();
    const int hosts = m_monitor.table().publishedHostCount();
    if (hosts == 0)
        return;
    auto *question = new QMessageBox(
        QMessageBox::Question, QCoreApplication::applicationName(),
        hosts == 1 ? tr("Remove the one host from the table?")
                   : tr("Remove all %1 hosts from the table?").arg(QLocale().toString(hosts)),
        QMessageBox::NoButton, this);
    question->setObjectName(u"clearTableQuestion"_qs);
    question->setInformativeText(tr("Their rows and readings are gone from the window; a host "
                                    "that reports again gets a new row. The counters keep "
                                    "their counts."));
    QPushButton *clear = question->addButton(tr("C&lear Table"), QMessageBox::AcceptRole);
    question->setDefaultButton(question->addButton(QMessageBox::Cancel));
    question->setAttribute(Qt::WA_DeleteOnClose);
    connect(question, &QMessageBox::buttonClicked, this, [this, clear](QAbstractButton *button) {
        if (button != clear || m_saveFlow->isSaving())
            return;
        m_monitor.table().clear();
        afterRemoval();
    });
    connect(question, &QDialog::finished, m_grid, [this] { m_grid->setFocus(); });
    // Readings keep arriving while the question is open.
    question->open();
}

void MainForm::saveTableAs()
{
    m_saveFlow->saveAs();
}

bool MainForm::saveTable(const QString &path)
{
    return m_saveFlow->save(path);
}

// What may be done while a save is under way, and how far it is.
void MainForm::updateSaving()
{
    const bool saving = m_saveFlow->isSaving();
    m_saveAction->setEnabled(!saving);
    m_clearAction->setEnabled(!saving && m_monitor.table().hostCount() > 0);
    m_grid->setRemovable(!saving);
    m_status->refresh();
}

void MainForm::createOptions()
{
    if (m_options)
        return;
    m_options = new frmOptions(&m_monitor.portSetting(), this);
}

QString MainForm::listeningStatus() const
{
    return m_status->text();
}

QString MainForm::listeningStatusTip() const
{
    return m_status->toolTip();
}

void MainForm::updateCounters()
{
    if (const QString full = m_tableFull.take(); !full.isEmpty()) {
        m_status->refresh();
        showNotice(this, QMessageBox::Warning, full, u"tableFull"_qs);
    } else if (m_monitor.table().silence().silentHosts() > 0) {
        m_status->refresh(); // the hosts counted grow
    }
    m_find->updateCount();
    m_counters->update();
    placeStatus();
}

// The status line, or the find field in its place, takes the room left of the counters.
void MainForm::placeStatus()
{
    m_status->setGeometry(m_status->x(), m_status->y(),
                          std::max(0, m_counters->left() - m_status->x()), m_status->height());
    if (m_find)
        m_find->setGeometry(m_status->geometry());
}

void MainForm::showOptions()
{
    createOptions();
    const PortSetting::ReadResult loaded = m_options->LoadConfig();
    bringForward(m_options);
    if (!loaded.problem.isEmpty())
        showNotice(m_options, QMessageBox::Warning, loaded.problem, u"settingsNotRead"_qs);
}

void MainForm::showAbout()
{
    // A window of its own: closing the main window leaves it open, and the program ends when
    // the last window closes. It deletes itself on closing.
    raiseOrCreate(m_about, [] { return new frmAbout; });
}

void MainForm::showSettings(const QString &page)
{
    raiseOrCreate(m_settings, [this] {
        // Made afresh each time, so that it shows the settings in force.
        auto *settings = new SettingsWindow(m_monitor, this);
        settings->setAttribute(Qt::WA_DeleteOnClose);
        return settings;
    })->showPage(page);
}

void MainForm::unloadOptions()
{
    delete m_options.data();
}

HistoryWindow *MainForm::showHistory(int tableRow, const std::vector<int> &pairs)
{
    for (HistoryWindow *const open : findChildren<HistoryWindow *>(Qt::FindDirectChildrenOnly)) {
        if (open->row() == tableRow && open->pairs() == pairs) {
            bringForward(open);
            return open;
        }
    }
    auto *const window = new HistoryWindow(m_monitor, tableRow, pairs, this);
    window->show();
    return window;
}

void MainForm::closeEvent(QCloseEvent *event)
{
    // The history windows are this window's: they close with it.
    for (HistoryWindow *const open : findChildren<HistoryWindow *>(Qt::FindDirectChildrenOnly))
        open->close();
    if (!m_unloading) {
        m_unloading = true;
        QCoreApplication::processEvents();
    }
    unloadOptions();
    if (m_overview)
        m_overview->close();
    if (m_events)
        m_events->close();
    m_monitor.receiver().close();
    event->accept();
}

void MainForm::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (isMinimized())
        return;
    const QSize outer = frameGeometry().size();
    const QPoint topLeft(Twips::toPixelsX(*this, 120),
                         std::max(Twips::toPixelsY(*this, 240), m_counters->bottom() + 1));
    QSize grid = outer - Twips::toPixels(*this, tableWidthMargin, tableHeightMargin);
    // Where the platform's frame and menu bar are taller than the margins allow for, the
    // table is cut to what fits so that its scroll bars stay in view.
    const QWidget *client = centralWidget();
    grid = grid.boundedTo(QSize(client->width() - topLeft.x(), client->height() - topLeft.y()));
    m_grid->setGeometry(QRect(topLeft, grid.expandedTo(QSize(0, 0))));
}
