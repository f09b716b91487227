#include "eventswindow.h"

#include "engine/archive/historyarchive.h"
#include "engine/events/eventscsv.h"
#include "engine/events/eventsmodel.h"
#include "engine/monitor/monitor.h"
#include "gui/common/applicationicon.h"
#include "gui/common/findbar.h"
#include "gui/common/menuaction.h"
#include "gui/common/notice.h"
#include "gui/tablefile/csvsavedialog.h"

#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QSaveFile>
#include <QStatusBar>
#include <QTableView>
#include <QVBoxLayout>

EventsWindow::EventsWindow(Monitor &monitor, QWidget *parent)
    : QMainWindow(parent)
    , m_monitor(monitor)
    , m_model(new EventsModel(this))
    , m_view(new QTableView(this))
    , m_day(new QDateEdit(QDate::currentDate(), this))
    , m_find(new FindBar(this))
{
    setObjectName(u"EventsWindow"_qs);
    setWindowTitle(tr("Senvo-Net Events"));
    setWindowIcon(applicationIcon());

    auto *client = new QWidget(this);
    setCentralWidget(client);
    auto *layout = new QVBoxLayout(client);
    auto *top = new QHBoxLayout;
    layout->addLayout(top);
    auto *dayLabel = new QLabel(tr("&Day:"), client);
    dayLabel->setBuddy(m_day);
    top->addWidget(dayLabel);
    m_day->setObjectName(u"eventsDay"_qs);
    m_day->setCalendarPopup(true);
    m_day->setMaximumDate(QDate::currentDate().addDays(1));
    top->addWidget(m_day);
    top->addSpacing(fontMetrics().averageCharWidth() * 2);
    m_find->setPrompt(tr("Find host, reading, state or value"),
                      tr("Only events into warning, critical or silent"));
    top->addWidget(m_find, 1);
    layout->addWidget(m_view, 1);

    m_view->setObjectName(u"eventsTable"_qs);
    m_view->setAccessibleName(tr("Events"));
    m_view->setModel(m_model);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    QHeaderView *columns = m_view->horizontalHeader();
    columns->setHighlightSections(false);
    columns->setStretchLastSection(true);
    const QFontMetrics metrics = m_view->fontMetrics();
    const int pad = 3 * metrics.averageCharWidth();
    columns->resizeSection(EventsModel::TimeColumn,
                           metrics.horizontalAdvance(u"2026-12-08 14:05:30"_qs) + pad);
    columns->resizeSection(EventsModel::HostColumn,
                           metrics.horizontalAdvance(u"host-0000.example"_qs) + pad);
    columns->resizeSection(EventsModel::ReadingColumn,
                           metrics.horizontalAdvance(u"Temperature"_qs) + pad);
    for (const int state : {EventsModel::FromColumn, EventsModel::ToColumn})
        columns->resizeSection(state, metrics.horizontalAdvance(u"first heard"_qs) + pad);
    statusBar();
    createMenus();

    connect(m_day, &QDateEdit::dateChanged, this, &EventsWindow::reload);
    connect(m_find, &FindBar::textChanged, this, &EventsWindow::updateFilter);
    connect(m_find, &FindBar::problemsOnlyChanged, this, &EventsWindow::updateFilter);
    connect(m_find, &FindBar::ended, m_view, [this] { m_view->setFocus(Qt::ShortcutFocusReason); });
    connect(m_find, &FindBar::toTable, this, [this] {
        if (!m_view->currentIndex().isValid() && m_model->rowCount() > 0)
            m_view->setCurrentIndex(m_model->index(0, 0));
        m_view->setFocus(Qt::ShortcutFocusReason);
    });
    connect(m_view, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex &index) { openHistory(index.row()); });
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &EventsWindow::updateCount);
    connect(m_model, &QAbstractItemModel::modelReset, this, &EventsWindow::updateCount);
    if (const HistoryArchive *archive = m_monitor.archive()) {
        connect(archive, &HistoryArchive::eventsWritten, this, [this] {
            // Only today gets new events.
            if (day() >= QDate::currentDate())
                reload();
        });
    }
    reload();
    resize(900, 560);
    m_view->setFocus();
}

void EventsWindow::createMenus()
{
    QMenu *file = menuBar()->addMenu(tr("&File"));
    m_save = addMenuAction(file, tr("&Save Events As\u2026"), u"SaveEventsMenu"_qs, this,
                           &EventsWindow::saveAs);
    m_save->setShortcut(QKeySequence::Save);
    file->addSeparator();
    addMenuAction(file, tr("&Close"), u"CloseEventsMenu"_qs, this, &QWidget::close)
        ->setShortcut(QKeySequence::Close);
    QMenu *edit = menuBar()->addMenu(tr("&Edit"));
    addMenuAction(edit, tr("&Find\u2026"), u"FindEventsMenu"_qs, m_find, &FindBar::start)
        ->setShortcut(QKeySequence::Find);
}

QDate EventsWindow::day() const
{
    return m_day->date();
}

void EventsWindow::setDay(QDate day)
{
    m_day->setDate(day);
}

void EventsWindow::reload()
{
    const HistoryArchive *const archive = m_monitor.archive();
    if (!archive)
        return;
    const QDate shown = day();
    m_model->setEvents(archive->events(shown.startOfDay().toMSecsSinceEpoch(),
                                       shown.addDays(1).startOfDay().toMSecsSinceEpoch()));
    if (const QString &problem = archive->problem(); !problem.isEmpty())
        statusBar()->showMessage(problem);
}

void EventsWindow::updateFilter()
{
    m_model->setFilter(EventFilter(m_find->text(), m_find->problemsOnly()));
}

void EventsWindow::updateCount()
{
    m_find->setCount(m_model->countText());
    const int shown = m_model->rowCount();
    m_save->setEnabled(shown > 0);
}

void EventsWindow::openHistory(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    const ArchiveEvent &event = m_model->event(row);
    const ReadingsTable &table = m_monitor.table();
    int tableRow = -1;
    for (int candidate = 0; candidate < table.hostCount() && tableRow < 0; ++candidate) {
        if (table.host(candidate) == event.host)
            tableRow = candidate;
    }
    if (tableRow < 0) {
        statusBar()->showMessage(
            tr("%1 is no longer in the table: its history cannot be shown.").arg(event.host),
            toldMs);
        return;
    }
    std::vector<int> pairs;
    for (int pair = 0; pair < table.pairsInUse(tableRow); ++pair) {
        const QString name = table.nameText(table.nameId(tableRow, pair));
        // A host's own event shows all its readings.
        if (!name.isEmpty() && (event.reading.isEmpty() || name == event.reading))
            pairs.push_back(pair);
    }
    if (pairs.empty()) {
        statusBar()->showMessage(
            tr("%1 on %2 is no longer in the table: its history cannot be shown.")
                .arg(event.reading, event.host),
            toldMs);
        return;
    }
    Q_EMIT historyRequested(tableRow, pairs, event.timeMs);
}

void EventsWindow::saveAs()
{
    QFileDialog *const dialog =
        CsvSaveDialog::create(this, tr("Save Events As"), u"saveEventsDialog"_qs, m_folder,
                              u"senvo-net-events-%1.csv"_qs.arg(day().toString(Qt::ISODate)));
    connect(dialog, &QFileDialog::fileSelected, this, &EventsWindow::saveEvents);
    dialog->open();
}

bool EventsWindow::saveEvents(const QString &path)
{
    m_folder = QFileInfo(path).absolutePath();
    const std::vector<ArchiveEvent> events = m_model->shownEvents();
    const QByteArray csv = EventsCsv::write(events);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit()) {
        showNotice(this, QMessageBox::Warning,
                   tr("The events could not be saved to %1:\n%2\n\nNo file was written; an "
                      "earlier file of that name is as it was.")
                       .arg(QDir::toNativeSeparators(path), file.errorString()),
                   u"eventsNotSaved"_qs);
        return false;
    }
    statusBar()->showMessage(
        tr("Saved %1 events to %2")
            .arg(QLocale().toString(qsizetype(events.size())), QDir::toNativeSeparators(path)),
        toldMs);
    return true;
}
