#include "mainform.h"

#include "about/applicationicon.h"
#include "about/frmabout.h"
#include "host/designfont.h"
#include "host/module1.h"
#include "host/notice.h"
#include "host/twips.h"
#include "mainwindow/findbar.h"
#include "mainwindow/onscreen.h"
#include "mainwindow/readingsview.h"
#include "reception/counterformat.h"
#include "reception/hostfilter.h"
#include "reception/tablesaver.h"
#include "senvoversion.h"
#include "settings/frmoptions.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStandardPaths>
#include <QTimer>

#include <tuple>
#include <utility>

namespace {

// Where the counter fields stand in the design, in twips.
constexpr double packetsX = 6840;
constexpr double packetsWidth = 615;
constexpr double bytesX = 9240;
constexpr double bytesWidth = 1095;

} // namespace

MainForm::MainForm(const SettingsFile &settings, QWidget *parent, DatagramSocket *socket,
                   const ReceiveClock *clock)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                              | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                              | Qt::WindowCloseButtonHint)
    , m_table(nullptr, ReadingsTable::defaultHostLimit, clock)
    , m_receiver(&m_table, nullptr, socket)
    , m_portSetting(settings, &m_receiver)
    , m_tableFull(m_table)
{
    setObjectName(u"MainForm"_qs);
    setWindowTitle(u"Senvo-Net"_qs);
    setWindowIcon(applicationIcon());

    auto *client = new QWidget(this);
    setCentralWidget(client);
    client->setAutoFillBackground(true);

    m_status = new QLabel(client);
    m_status->setObjectName(u"listeningStatus"_qs);
    m_status->setFont(designFont(font(), false));

    auto counter = [&](const QString &labelText, const QString &name, QRect labelRect,
                       QRect fieldRect) {
        auto *label = new QLabel(labelText, client);
        label->setFont(designFont(font(), true));
        label->setGeometry(labelRect);
        auto *field = new QLineEdit(u"0"_qs, client);
        field->setObjectName(name);
        field->setFont(designFont(font(), false));
        field->setFrame(false);
        field->setTextMargins(0, 0, 0, 0);
        field->setValidator(new QRegularExpressionValidator(
            QRegularExpression(u"[0-9]{0,17}(\\.[0-9]*)?([Ee]\\+?[0-9]{0,3})?"_qs), field));
        // The platform's font may be taller than the design's: never clip the digits.
        fieldRect.setHeight(std::max(fieldRect.height(), field->fontMetrics().height() + 2));
        field->setGeometry(fieldRect);
        // Counters look like part of the window, yet stay editable.
        QPalette flat = field->palette();
        flat.setColor(QPalette::Base, flat.color(QPalette::Window));
        field->setPalette(flat);
        field->setAccessibleName(labelText);
        label->setBuddy(field);
        return std::pair(label, field);
    };
    std::tie(m_packetsLabel, m_packetsReceived) = counter(
        tr("Packets Received:"), u"PacketsReceived"_qs, Twips::toPixels(*this, 5160, 0, 1815, 255),
        Twips::toPixels(*this, packetsX, 0, packetsWidth, 195));
    std::tie(m_bytesLabel, m_receivedBytes) = counter(
        tr("Bytes Received:"), u"ReceivedBytes"_qs, Twips::toPixels(*this, 7440, 0, 1575, 255),
        Twips::toPixels(*this, bytesX, 0, bytesWidth, 165));
    m_receivedBytes->setForegroundRole(QPalette::WindowText);
    m_packetsReceived->raise();
    QRect statusRect = Twips::toPixels(*this, 120, 0, 4920, 255);
    statusRect.setHeight(std::max(statusRect.height(), m_packetsReceived->height()));
    m_status->setGeometry(statusRect);
    layoutCounters();

    connect(m_packetsReceived, &QLineEdit::editingFinished, this, [this] {
        takeTypedCounter(m_packetsReceived, &DatagramReceiver::setPackets, m_receiver.packets());
    });
    connect(m_receivedBytes, &QLineEdit::editingFinished, this, [this] {
        takeTypedCounter(m_receivedBytes, &DatagramReceiver::setBytes, m_receiver.bytes());
    });

    m_grid = new ReadingsView(&m_table, client);
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

    // While a find is on, it takes the status line's place.
    m_findBar = new FindBar(client);
    m_findBar->setGeometry(m_status->geometry());
    m_findBar->hide();
    connect(m_findBar, &FindBar::textChanged, this, &MainForm::findHost);
    connect(m_findBar, &FindBar::ended, this, &MainForm::endFind);
    connect(m_findBar, &FindBar::toTable, this, [this] {
        if (!m_grid->currentIndex().isValid() && m_grid->model()->rowCount() > 0)
            m_grid->setCurrentIndex(m_grid->model()->index(0, 1));
        m_grid->setFocus(Qt::ShortcutFocusReason);
    });
    createMenus();

    connect(&m_receiver, &DatagramReceiver::countersChanged, this, &MainForm::updateCounters);
    connect(&m_receiver, &DatagramReceiver::listeningChanged, this,
            &MainForm::updateListeningStatus);
    connect(&m_portSetting, &PortSetting::portApplied, this, &MainForm::updateListeningStatus);
    connect(&m_table.silence(), &SilenceWatch::silentHostsChanged, this,
            &MainForm::updateListeningStatus);

    resize(Twips::toPixels(*this, 10440, 2400) + QSize(0, menuBar()->sizeHint().height()));
    Form_Load();
}

MainForm::~MainForm()
{
    // Child widgets outlive the members: a counter field that loses the focus as the window
    // goes would otherwise write to a receiver that is already gone.
    unloadOptions();
    delete m_saver.data();
    delete centralWidget();
    delete m_about.data();
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
    const QString problems = m_portSetting.bindAtStartUp(loaded);
    updateListeningStatus();
    if (!problems.isEmpty()) {
        // Once the window is on screen and placed, so that the message opens over it.
        OnScreen::call(this, [this, problems] {
            showNotice(this, QMessageBox::Warning, problems, u"startUpProblem"_qs);
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
    edit->addSeparator();
    edit->addAction(m_grid->removeAction());
    m_clearAction = add(edit, tr("C&lear Table"), u"ClearTableMenu"_qs, &MainForm::clearTable);
    connect(edit, &QMenu::aboutToShow, this, &MainForm::updateSaving);

    QMenu *tools = menuBar()->addMenu(tr("&Tools"));
    tools->setObjectName(u"ToolsMenu"_qs);
    add(tools, tr("&Options"), u"OptionsMenu"_qs, &MainForm::showOptions);
    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->setObjectName(u"HelpMenu"_qs);
    add(help, tr("&About"), u"AboutMenu"_qs, &MainForm::showAbout);
}

void MainForm::findHost(const QString &text)
{
    m_grid->hostFilter()->setText(text);
    updateFindCount();
}

void MainForm::showFindBar()
{
    m_status->hide();
    m_findBar->start();
    updateFindCount();
}

void MainForm::endFind()
{
    findHost({});
    m_findBar->hide();
    m_status->show();
    m_grid->setFocus(Qt::ShortcutFocusReason);
    // Once the view has laid out every row again, the row the user was on comes into view.
    QTimer::singleShot(0, m_grid, [this] {
        if (m_grid->currentIndex().isValid())
            m_grid->scrollTo(m_grid->currentIndex());
    });
}

void MainForm::updateFindCount()
{
    if (!m_findBar->isHidden())
        m_findBar->setCount(m_grid->hostFilter()->countText());
}

void MainForm::afterRemoval()
{
    if (m_tableFull.roomAgain()) {
        if (auto *full = findChild<QMessageBox *>(u"tableFull"_qs))
            full->close();
    }
    updateListeningStatus();
    updateFindCount();
    m_grid->setFocus(Qt::OtherFocusReason);
}

void MainForm::clearTable()
{
    if (m_saver)
        return;
    // Whatever arrived is in the count that the question gives.
    m_receiver.publish();
    const int hosts = m_table.publishedHostCount();
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
        if (button != clear || m_saver)
            return;
        m_table.clear();
        afterRemoval();
    });
    connect(question, &QDialog::finished, m_grid, [this] { m_grid->setFocus(); });
    // Readings keep arriving while the question is open.
    question->open();
}

void MainForm::saveTableAs()
{
    if (m_saver)
        return;
    auto *dialog = new QFileDialog(this, tr("Save Table As"));
    dialog->setObjectName(u"saveTableDialog"_qs);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilters({tr("CSV files (*.csv)"), tr("All files (*)")});
    dialog->setDefaultSuffix(u"csv"_qs);
    QString folder = m_saveFolder;
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!QDir(folder).exists())
        folder = QDir::homePath();
    dialog->setDirectory(folder);
    dialog->selectFile(
        u"senvo-net-%1.csv"_qs.arg(QDateTime::currentDateTime().toString(u"yyyy-MM-dd-hhmm"_qs)));
    connect(dialog, &QFileDialog::fileSelected, this, &MainForm::saveTable);
    connect(dialog, &QDialog::finished, m_grid, [this] { m_grid->setFocus(); });
    // Readings keep arriving while the dialog is open.
    dialog->open();
}

bool MainForm::saveTable(const QString &path)
{
    if (m_saver)
        return false;
    m_saveFolder = QFileInfo(path).absolutePath();
    // Everything received so far is shown, and so saved.
    m_receiver.publish();
    auto *saver = new TableSaver(
        &m_table, m_grid->hostFilter()->tableRows(),
        [table = &m_table](int row) { return table->lastHeard(row); }, path, this);
    if (!saver->start()) {
        showNotice(this, QMessageBox::Warning,
                   tr("The table could not be saved to %1:\n%2")
                       .arg(QDir::toNativeSeparators(path), saver->errorString()),
                   u"tableNotSaved"_qs);
        delete saver;
        return false;
    }
    m_saver = saver;
    connect(saver, &TableSaver::progressed, this, &MainForm::updateSaving);
    connect(saver, &TableSaver::finished, this, &MainForm::saved);
    updateSaving();
    return true;
}

void MainForm::saved(bool saved)
{
    TableSaver *const saver = m_saver;
    m_saver = nullptr;
    saver->deleteLater();
    const QString path = QDir::toNativeSeparators(saver->path());
    if (saved) {
        const int hosts = saver->rowCount();
        showNotice(
            this, QMessageBox::Information,
            hosts == 1
                ? tr("The table was saved: one host, in %1.").arg(path)
                : tr("The table was saved: %1 hosts, in %2.").arg(QLocale().toString(hosts), path),
            u"tableSaved"_qs);
    } else {
        showNotice(this, QMessageBox::Warning,
                   tr("The table could not be saved to %1:\n%2\n\nNo file was written; an "
                      "earlier file of that name is as it was.")
                       .arg(path, saver->errorString()),
                   u"tableNotSaved"_qs);
    }
    updateSaving();
    Q_EMIT saveFinished(saved);
}

// What may be done while a save is under way, and how far it is.
void MainForm::updateSaving()
{
    const bool saving = m_saver;
    m_saveAction->setEnabled(!saving);
    m_clearAction->setEnabled(!saving && m_table.hostCount() > 0);
    m_grid->setRemovable(!saving);
    updateListeningStatus();
}

void MainForm::createOptions()
{
    if (m_options)
        return;
    m_options = new frmOptions(&m_portSetting, this);
}

frmOptions *MainForm::options() const
{
    return m_options;
}

QDialog *MainForm::about() const
{
    return m_about;
}

QString MainForm::listeningStatus() const
{
    return m_status->text();
}

void MainForm::updateListeningStatus()
{
    if (m_receiver.isListening() && m_saver) {
        const int rows = std::max(m_saver->rowCount(), 1);
        m_status->setText(
            tr("Saving the table\u2026 %1%").arg(100 * qint64(m_saver->rowsWritten()) / rows));
        return;
    }
    if (m_receiver.isListening()) {
        QString text = m_tableFull.told()
                           ? tr("Listening on UDP port %1 \u2014 table full").arg(m_receiver.port())
                           : tr("Listening on UDP port %1").arg(m_receiver.port());
        if (const int silent = m_table.silence().silentHosts(); silent > 0)
            text += tr(" \u00b7 %1 of %2 hosts silent").arg(silent).arg(m_table.hostCount());
        m_status->setText(text);
        m_status->setToolTip({});
        m_status->setPalette(palette());
        return;
    }
    m_status->setText(tr("Not listening \u2014 see Tools \u2192 Options"));
    m_status->setToolTip(m_receiver.errorString());
    QPalette warning = m_status->palette();
    warning.setColor(QPalette::WindowText, Qt::red);
    m_status->setPalette(warning);
}

void MainForm::updateCounters()
{
    if (const QString full = m_tableFull.take(); !full.isEmpty()) {
        updateListeningStatus();
        showNotice(this, QMessageBox::Warning, full, u"tableFull"_qs);
    } else if (m_table.silence().silentHosts() > 0) {
        updateListeningStatus(); // the hosts counted grow
    }
    updateFindCount();
    // A field the user is typing into is left alone until the typing is done.
    if (!m_packetsReceived->isModified())
        m_packetsReceived->setText(generalNumber(m_receiver.packets()));
    if (!m_receivedBytes->isModified())
        m_receivedBytes->setText(generalNumber(m_receiver.bytes()));
    layoutCounters();
}

// The design's places hold short numbers. Longer ones push the counters to the left, so
// that every digit stays in view.
void MainForm::layoutCounters()
{
    const auto widthFor = [this](const QLineEdit *field, double designTwips) {
        constexpr int innerMargins = 6;
        return std::max(Twips::toPixelsX(*this, designTwips),
                        field->fontMetrics().horizontalAdvance(field->text()) + innerMargins);
    };
    const auto place = [](QWidget *widget, int x, int width) {
        widget->setGeometry(x, widget->y(), width, widget->height());
    };
    const int bytesRight = Twips::toPixelsX(*this, bytesX + bytesWidth);
    const int bytes = widthFor(m_receivedBytes, bytesWidth);
    place(m_receivedBytes, bytesRight - bytes, bytes);
    place(m_bytesLabel, m_receivedBytes->x() - Twips::toPixelsX(*this, bytesX - 7440),
          m_bytesLabel->width());
    const int packetsRight = std::min(Twips::toPixelsX(*this, packetsX + packetsWidth),
                                      m_bytesLabel->x() + Twips::toPixelsX(*this, 15));
    const int packets = widthFor(m_packetsReceived, packetsWidth);
    place(m_packetsReceived, packetsRight - packets, packets);
    place(m_packetsLabel, m_packetsReceived->x() - Twips::toPixelsX(*this, packetsX - 5160),
          m_packetsLabel->width());
    place(m_status, m_status->x(), std::max(0, m_packetsLabel->x() - m_status->x()));
    if (m_findBar)
        m_findBar->setGeometry(m_status->geometry());
}

void MainForm::takeTypedCounter(QLineEdit *field, void (DatagramReceiver::*set)(double),
                                double current)
{
    // Enter, or a click elsewhere, without typing must not set the count back to what was
    // last shown.
    if (!field->isModified())
        return;
    const std::optional<double> typed = counterFromText(field->text());
    (m_receiver.*set)(typed.value_or(current));
    field->setModified(false);
    updateCounters();
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

void MainForm::unloadOptions()
{
    delete m_options.data();
}

void MainForm::closeEvent(QCloseEvent *event)
{
    if (!m_unloading) {
        m_unloading = true;
        QCoreApplication::processEvents();
    }
    unloadOptions();
    m_receiver.close();
    event->accept();
}

void MainForm::applySizeLimits()
{
    // The limits hold for the outer size, frame and title bar included.
    const QSize frame = frameGeometry().size() - size();
    const QSize minimum = Twips::toPixels(*this, minimumWidth, minimumHeight) - frame;
    const QSize maximum = Twips::toPixels(*this, maximumWidth, maximumHeight) - frame;
    if (minimumSize() != minimum)
        setMinimumSize(minimum);
    if (maximumSize() != maximum)
        setMaximumSize(maximum);
}

void MainForm::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (isMinimized())
        return;
    applySizeLimits();
    const QSize outer = frameGeometry().size();
    const QSize allowed = outer.expandedTo(Twips::toPixels(*this, minimumWidth, minimumHeight))
                              .boundedTo(Twips::toPixels(*this, maximumWidth, maximumHeight));
    // Some window managers ignore size hints: set the size back, but only once for a given
    // size, so that one that insists does not start an endless exchange.
    if (allowed != outer && outer != m_refusedSize) {
        m_refusedSize = outer;
        QTimer::singleShot(0, this, [this] { resize(size()); });
    }
    const QPoint topLeft(
        Twips::toPixelsX(*this, 120),
        std::max(Twips::toPixelsY(*this, 240), m_packetsReceived->geometry().bottom() + 1));
    QSize grid = outer - Twips::toPixels(*this, tableWidthMargin, tableHeightMargin);
    // Where the platform's frame and menu bar are taller than the design allowed for, the
    // table is cut to what fits so that its scroll bars stay in view.
    const QWidget *client = centralWidget();
    grid = grid.boundedTo(QSize(client->width() - topLeft.x(), client->height() - topLeft.y()));
    m_grid->setGeometry(QRect(topLeft, grid.expandedTo(QSize(0, 0))));
}

void MainForm::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    applySizeLimits();
}

void MainForm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    applySizeLimits();
}
