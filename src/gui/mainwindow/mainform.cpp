#include "mainform.h"

#include "counterfields.h"
#include "engine/host/module1.h"
#include "engine/monitor/monitor.h"
#include "engine/tableview/hostfilter.h"
#include "gui/about/frmabout.h"
#include "gui/common/applicationicon.h"
#include "gui/common/designfont.h"
#include "gui/common/notice.h"
#include "gui/common/twips.h"
#include "gui/history/historywindow.h"
#include "gui/limits/limitsdialog.h"
#include "gui/notify/notificationsdialog.h"
#include "gui/overview/overviewwindow.h"
#include "gui/settings/frmoptions.h"
#include "gui/settings/senderssettingsdialog.h"
#include "gui/tablefile/tablesaveflow.h"
#include "hostfind.h"
#include "onscreen.h"
#include "readingsview.h"
#include "senvoversion.h"
#include "sizelimits.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
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

    m_status = new QLabel(client);
    m_status->setObjectName(u"listeningStatus"_qs);
    m_status->setFont(designFont(font(), false));

    m_counters = new CounterFields(m_monitor.receiver(), client);
    connect(m_counters, &CounterFields::countTyped, this, &MainForm::updateCounters);
    QRect statusRect = Twips::toPixels(*this, 120, 0, 4920, 255);
    statusRect.setHeight(std::max(statusRect.height(), m_counters->lineHeight()));
    m_status->setGeometry(statusRect);
    placeStatus();

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

    m_find = new HostFind(m_grid, m_status, client);

    m_saveFlow = new TableSaveFlow(
        m_monitor.table(), m_monitor.receiver(),
        [filter = m_grid->hostFilter()] { return filter->tableRows(); }, this);
    connect(m_saveFlow, &TableSaveFlow::savingChanged, this, &MainForm::updateSaving);
    connect(m_saveFlow, &TableSaveFlow::finished, this, &MainForm::saveFinished);
    connect(m_saveFlow, &TableSaveFlow::dialogClosed, m_grid, [this] { m_grid->setFocus(); });
    m_toldTimer.setSingleShot(true);
    m_toldTimer.setInterval(5000);
    connect(&m_toldTimer, &QTimer::timeout, this, [this] {
        m_told.clear();
        updateListeningStatus();
    });
    connect(m_saveFlow, &TableSaveFlow::told, this, [this](const QString &text) {
        m_told = text;
        m_toldTimer.start();
        updateListeningStatus();
    });
    createMenus();

    const DatagramReceiver *receiver = &m_monitor.receiver();
    connect(receiver, &DatagramReceiver::countersChanged, this, &MainForm::updateCounters);
    connect(receiver, &DatagramReceiver::listeningChanged, this, &MainForm::updateListeningStatus);
    connect(&m_monitor.portSetting(), &PortSetting::portApplied, this,
            &MainForm::updateListeningStatus);
    connect(&m_monitor.table().silence(), &SilenceWatch::silentHostsChanged, this,
            &MainForm::updateListeningStatus);
    connect(&m_monitor.limits(), &LimitWatch::countsChanged, this,
            &MainForm::updateListeningStatus);
    connect(receiver, &DatagramReceiver::ignoredChanged, this, &MainForm::updateListeningStatus);
    connect(&m_monitor, &Monitor::sendersApplied, this, &MainForm::updateListeningStatus);

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
}

void MainForm::Form_Load()
{
    createOptions();
    const PortSetting::ReadResult loaded = m_options->LoadConfig();
    setWindowTitle(u"Senvo-Net Version %1 on "_qs.arg(SenvoVersion::shortText)
                   + Module1::ComputerNameText());
    // The title the About dialog and message boxes use. Not the display name: window systems
    // append a display name that is set to every title bar.
    QCoreApplication::setApplicationName(u"Senvo-Net"_qs);
    const QString problems = m_monitor.portSetting().bindAtStartUp(loaded);
    updateListeningStatus();
    if (!problems.isEmpty()) {
        // Once the window is on screen and placed, so that the message opens over it.
        OnScreen::call(this, [this, problems] {
            showNotice(this, QMessageBox::Warning, problems, u"startUpProblem"_qs);
        });
    }
    if (const QString limits = m_monitor.limitsProblem(); !limits.isEmpty()) {
        OnScreen::call(this, [this, limits] {
            showNotice(this, QMessageBox::Warning, limits, u"limitsProblem"_qs);
        });
    }
}

void MainForm::createMenus()
{
    auto add = [this](QMenu *menu, const QString &text, const QString &name, auto slot) {
        QAction *action = menu->addAction(text);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, slot);
        return action;
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
    add(tools, tr("&Limits\u2026"), u"LimitsMenu"_qs, &MainForm::showLimits);
    add(tools, tr("&Senders\u2026"), u"SendersMenu"_qs, &MainForm::showSenders);
    add(tools, tr("&Notifications\u2026"), u"NotificationsMenu"_qs, [this] {
        NotificationsDialog dialog(m_monitor, this);
        dialog.exec();
    });
    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->setObjectName(u"HelpMenu"_qs);
    add(help, tr("&About"), u"AboutMenu"_qs, &MainForm::showAbout);
}

void MainForm::createViewMenu()
{
    QMenu *view = menuBar()->addMenu(tr("&View"));
    view->setObjectName(u"ViewMenu"_qs);
    QAction *overview = view->addAction(tr("&Overview"));
    overview->setObjectName(u"OverviewMenu"_qs);
    overview->setShortcut(Qt::CTRL | Qt::Key_O);
    connect(overview, &QAction::triggered, this, &MainForm::showOverview);
    QAction *problemsFirst = view->addAction(tr("&Problems First"));
    problemsFirst->setObjectName(u"ProblemsFirstMenu"_qs);
    problemsFirst->setCheckable(true);
    OverviewModel *model = &m_monitor.overview();
    problemsFirst->setChecked(model->sorting().problemsFirst);
    connect(problemsFirst, &QAction::triggered, this, [this, model](bool on) {
        model->setSorting(on ? OverviewModel::Sorting{-1, Qt::AscendingOrder, true}
                             : OverviewModel::Sorting{});
        showOverview();
    });
    connect(model, &OverviewModel::sortingChanged, problemsFirst,
            [problemsFirst, model] { problemsFirst->setChecked(model->sorting().problemsFirst); });
    QAction *trends = view->addAction(tr("&Trends"));
    trends->setObjectName(u"TrendsMenu"_qs);
    trends->setCheckable(true);
    trends->setChecked(model->trendsShown());
    connect(trends, &QAction::toggled, model, &OverviewModel::setTrendsShown);
    connect(model, &OverviewModel::trendsShownChanged, trends, &QAction::setChecked);
}

void MainForm::showOverview()
{
    if (!m_overview) {
        // A window of its own, which the main window does not keep above itself; it deletes
        // itself on closing and is closed with the main window.
        m_overview = new OverviewWindow(m_monitor);
        m_overview->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_overview, &OverviewWindow::historyRequested, this, &MainForm::showHistory);
        m_overview->show();
        return;
    }
    if (m_overview->isMinimized())
        m_overview->setWindowState(m_overview->windowState() & ~Qt::WindowMinimized);
    m_overview->raise();
    m_overview->activateWindow();
}

OverviewWindow *MainForm::overview() const
{
    return m_overview;
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
    updateListeningStatus();
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
    updateListeningStatus();
}

void MainForm::createOptions()
{
    if (m_options)
        return;
    m_options = new frmOptions(&m_monitor.portSetting(), this);
}

frmOptions *MainForm::options() const
{
    return m_options;
}

QDialog *MainForm::about() const
{
    return m_about;
}

LimitsDialog *MainForm::limitsDialog() const
{
    return m_limitsDialog;
}

SendersSettingsDialog *MainForm::sendersDialog() const
{
    return m_sendersDialog;
}

QString MainForm::listeningStatus() const
{
    return m_status->text();
}

QString MainForm::listeningStatusTip() const
{
    return m_status->toolTip();
}

void MainForm::updateListeningStatus()
{
    const DatagramReceiver &receiver = m_monitor.receiver();
    if (!m_told.isEmpty()) {
        m_status->setText(
            m_status->fontMetrics().elidedText(m_told, Qt::ElideMiddle, m_status->width()));
        m_status->setToolTip(m_told);
        m_status->setPalette(palette());
        return;
    }
    if (receiver.isListening() && m_saveFlow->isSaving()) {
        m_status->setText(tr("Saving the table\u2026 %1%").arg(m_saveFlow->percentWritten()));
        return;
    }
    if (receiver.isListening()) {
        const QString port =
            receiver.address().isNull()
                ? tr("UDP port %1").arg(receiver.port())
                : tr("%1, UDP port %2").arg(receiver.address().toString()).arg(receiver.port());
        const QString text = m_tableFull.told() ? tr("Listening on %1 \u2014 table full").arg(port)
                                                : tr("Listening on %1").arg(port);
        QString ignoredText;
        QString tip;
        if (const double ignored = receiver.ignored(); ignored > 0) {
            ignoredText = tr(" \u00b7 %1 ignored").arg(QLocale().toString(ignored, 'f', 0));
            tip = tr("Last ignored: %1 at %2")
                      .arg(receiver.lastIgnoredSender().toText(),
                           QLocale().toString(receiver.lastIgnoredAt().time(), u"HH:mm:ss"_qs));
        }
        m_status->setText(text + m_monitor.troubleSummary().text() + ignoredText);
        m_status->setToolTip(tip);
        m_status->setPalette(palette());
        return;
    }
    m_status->setText(tr("Not listening \u2014 see Tools \u2192 Options"));
    m_status->setToolTip(receiver.errorString());
    QPalette warning = m_status->palette();
    warning.setColor(QPalette::WindowText, Qt::red);
    m_status->setPalette(warning);
}

void MainForm::updateCounters()
{
    if (const QString full = m_tableFull.take(); !full.isEmpty()) {
        updateListeningStatus();
        showNotice(this, QMessageBox::Warning, full, u"tableFull"_qs);
    } else if (m_monitor.table().silence().silentHosts() > 0) {
        updateListeningStatus(); // the hosts counted grow
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
    m_options->show();
    m_options->raise();
    m_options->activateWindow();
    if (!loaded.problem.isEmpty())
        showNotice(m_options, QMessageBox::Warning, loaded.problem, u"settingsNotRead"_qs);
}

void MainForm::showAbout()
{
    // One About dialog at a time: asking again brings the open one forward.
    if (!m_about) {
        // A window of its own: closing the main window leaves it open, and the program ends
        // when the last window closes. It deletes itself on closing.
        m_about = new frmAbout;
        m_about->show();
        return;
    }
    m_about->raise();
    m_about->activateWindow();
}

void MainForm::showLimits()
{
    if (!m_limitsDialog) {
        // Read afresh each time, so that it shows the rules in force.
        m_limitsDialog = new LimitsDialog(m_monitor, this);
        m_limitsDialog->setAttribute(Qt::WA_DeleteOnClose);
        m_limitsDialog->show();
        return;
    }
    m_limitsDialog->raise();
    m_limitsDialog->activateWindow();
}

void MainForm::showSenders()
{
    if (!m_sendersDialog) {
        m_sendersDialog = new SendersSettingsDialog(m_monitor, this);
        m_sendersDialog->setAttribute(Qt::WA_DeleteOnClose);
        m_sendersDialog->show();
        return;
    }
    m_sendersDialog->raise();
    m_sendersDialog->activateWindow();
}

void MainForm::unloadOptions()
{
    delete m_options.data();
}

void MainForm::showHistory(int tableRow, const std::vector<int> &pairs)
{
    for (HistoryWindow *const open : findChildren<HistoryWindow *>(Qt::FindDirectChildrenOnly)) {
        if (open->row() == tableRow && open->pairs() == pairs) {
            open->showNormal();
            open->raise();
            open->activateWindow();
            return;
        }
    }
    (new HistoryWindow(m_monitor, tableRow, pairs, this))->show();
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
    // Where the platform's frame and menu bar are taller than the design allowed for, the
    // table is cut to what fits so that its scroll bars stay in view.
    const QWidget *client = centralWidget();
    grid = grid.boundedTo(QSize(client->width() - topLeft.x(), client->height() - topLeft.y()));
    m_grid->setGeometry(QRect(topLeft, grid.expandedTo(QSize(0, 0))));
}
