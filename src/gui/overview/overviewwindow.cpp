#include "overviewwindow.h"

#include "engine/monitor/monitor.h"
#include "engine/overview/overviewcopy.h"
#include "engine/overview/overviewcsv.h"
#include "engine/overview/overviewmodel.h"
#include "engine/overview/overvieworder.h"
#include "engine/reception/longesttexts.h"
#include "gui/common/applicationicon.h"
#include "gui/common/findbar.h"
#include "gui/common/historyselection.h"
#include "gui/common/menuaction.h"
#include "gui/common/notice.h"
#include "gui/tablefile/tablesaveflow.h"
#include "overviewactions.h"
#include "trenddelegate.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// No column grows wider than this by itself, whatever a sender puts in a name or a host.
constexpr int widestColumn = 320;

} // namespace

OverviewWindow::OverviewWindow(Monitor &monitor, QWidget *parent)
    : QMainWindow(parent)
    , m_monitor(monitor)
    , m_model(monitor.overview())
    , m_order(new OverviewOrder(&m_model, this))
    , m_view(new QTableView(this))
    , m_problemsButton(new QToolButton(this))
    , m_leftOut(new QLabel(this))
    , m_count(new QLabel(this))
    , m_find(new FindBar(this))
    , m_saveFlow(new TableSaveFlow(
          monitor.table(), monitor.receiver(), TableSaveFlow::Subject::Overview,
          [this] {
              return std::make_unique<OverviewCsv>(m_model, m_order->tableRows(),
                                                   m_model.shownColumns());
          },
          this))
{
    setObjectName(u"OverviewWindow"_qs);
    setWindowTitle(tr("Senvo-Net Overview"));
    setWindowIcon(applicationIcon());

    auto *client = new QWidget(this);
    setCentralWidget(client);
    auto *layout = new QVBoxLayout(client);
    auto *top = new QHBoxLayout;
    layout->addLayout(top);
    m_problemsButton->setObjectName(u"problemsFirstButton"_qs);
    m_problemsButton->setText(tr("Problems First"));
    m_problemsButton->setToolTip(tr("Critical hosts first, then warnings, then silent hosts"));
    m_problemsButton->setCheckable(true);
    top->addWidget(m_problemsButton);
    m_leftOut->setObjectName(u"leftOutNames"_qs);
    m_leftOut->hide();
    top->addWidget(m_leftOut);
    top->addStretch(1);
    layout->addWidget(m_view, 1);

    m_view->setObjectName(u"overviewTable"_qs);
    m_view->setAccessibleName(tr("Overview"));
    m_view->setModel(m_order);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setWordWrap(false);
    m_view->installEventFilter(this);
    m_view->setItemDelegate(new TrendDelegate(monitor, *m_order, m_view));
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    QHeaderView *rows = m_view->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    QHeaderView *columns = m_view->horizontalHeader();
    columns->setSectionsMovable(true);
    columns->setSectionsClickable(true);
    columns->setSortIndicatorShown(true);
    columns->setHighlightSections(false);
    columns->setContextMenuPolicy(Qt::CustomContextMenu);

    m_count->setObjectName(u"overviewHostCount"_qs);
    statusBar()->addPermanentWidget(m_count);
    statusBar()->addPermanentWidget(m_find, 1);
    m_find->hide();
    createMenus();

    connect(columns, &QHeaderView::sectionMoved, this, &OverviewWindow::readArrangement);
    connect(columns, &QWidget::customContextMenuRequested, this, &OverviewWindow::showHeaderMenu);
    connect(&m_model, &OverviewModel::columnsArranged, this, &OverviewWindow::applyArrangement);
    connect(&m_model, &OverviewModel::sortingChanged, this, &OverviewWindow::showSorting);
    connect(&m_model, &OverviewModel::leftOutNamesChanged, this, &OverviewWindow::updateLeftOut);
    connect(m_order, &QAbstractItemModel::columnsInserted, this,
            [this](const QModelIndex &, int first, int last) { fitNewColumns(first, last); });
    connect(m_order, &QAbstractItemModel::rowsInserted, this, &OverviewWindow::updateCount);
    connect(m_order, &QAbstractItemModel::rowsRemoved, this, &OverviewWindow::updateCount);
    connect(m_order, &QAbstractItemModel::layoutAboutToBeChanged, this,
            [this] { keepCurrentInView(true); });
    connect(m_order, &QAbstractItemModel::layoutChanged, this,
            [this] { keepCurrentInView(false); });
    const ReadingsTable *table = &monitor.table();
    connect(table, &ReadingsTable::textsPublished, this, [this](const LongestTexts &longest) {
        fitHostColumn(longest.text(OverviewModel::hostColumn));
    });
    // Only what is on screen is painted again: which cells are grey is decided as they are.
    connect(table, &ReadingsTable::timingChanged, m_view->viewport(),
            qOverload<>(&QWidget::update));
    connect(m_problemsButton, &QToolButton::toggled, this, &OverviewWindow::setProblemsFirst);
    connect(&m_model, &OverviewModel::trendsShownChanged, m_view->viewport(),
            qOverload<>(&QWidget::update));
    connect(m_view, &QWidget::customContextMenuRequested, this, &OverviewWindow::showCellMenu);
    connect(m_view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        const int row = m_order->mapToSource(index).row();
        if (const int pair = m_model.pairOf(row, index.column()); pair >= 0)
            Q_EMIT historyRequested(row, {pair});
    });

    connect(m_find, &FindBar::textChanged, this, &OverviewWindow::findHost);
    connect(m_find, &FindBar::problemsOnlyChanged, this, [this](bool problemsOnly) {
        m_order->setProblemsOnly(problemsOnly);
        updateCount();
    });
    connect(m_find, &FindBar::ended, this, &OverviewWindow::endFind);
    connect(m_find, &FindBar::toTable, this, [this] {
        if (!m_view->currentIndex().isValid() && m_order->rowCount() > 0)
            m_view->setCurrentIndex(m_order->index(0, 0));
        m_view->setFocus(Qt::ShortcutFocusReason);
    });

    connect(m_saveFlow, &TableSaveFlow::told, this,
            [this](const QString &text) { statusBar()->showMessage(text, toldMs); });
    connect(m_saveFlow, &TableSaveFlow::savingChanged, this, &OverviewWindow::updateSaving);
    connect(m_saveFlow, &TableSaveFlow::finished, this, [this](bool saved) {
        if (!saved)
            statusBar()->clearMessage();
        Q_EMIT saveFinished(saved);
    });
    connect(m_saveFlow, &TableSaveFlow::dialogClosed, m_view, [this] { m_view->setFocus(); });

    fitNewColumns(0, m_model.columnCount() - 1);
    QString longest;
    for (int row = 0; row < table->hostCount(); ++row) {
        if (const QString host = table->host(row); host.size() > longest.size())
            longest = host;
    }
    fitHostColumn(longest);
    applyArrangement();
    showSorting();
    // After the indicator shows the model's sorting, which the view then asks for again.
    m_view->setSortingEnabled(true);
    updateLeftOut();
    updateCount();
    resize(1000, 600);
    m_view->setFocus();
}

OverviewWindow::~OverviewWindow()
{
    // A save under way stops with the window, before the view it reads goes.
    delete m_saveFlow;
}

void OverviewWindow::createMenus()
{
    const auto add = [this](QMenu *menu, const QString &text, const QString &name, auto slot) {
        return addMenuAction(menu, text, name, this, slot);
    };
    QMenu *file = menuBar()->addMenu(tr("&File"));
    m_saveAction =
        add(file, tr("&Save Overview As\u2026"), u"SaveOverviewMenu"_qs, &OverviewWindow::saveAs);
    m_saveAction->setShortcut(QKeySequence::Save);
    file->addSeparator();
    add(file, tr("&Close"), u"CloseOverviewMenu"_qs, &QWidget::close)
        ->setShortcut(QKeySequence::Close);

    QMenu *edit = menuBar()->addMenu(tr("&Edit"));
    add(edit, tr("&Copy"), u"CopyOverviewMenu"_qs, &OverviewWindow::copySelection)
        ->setShortcut(QKeySequence::Copy);
    add(edit, tr("&Find Host\u2026"), u"FindOverviewHostMenu"_qs, &OverviewWindow::showFindBar)
        ->setShortcut(QKeySequence::Find);

    QMenu *view = menuBar()->addMenu(tr("&View"));
    m_problemsAction = addProblemsFirstAction(view, m_model, u"ProblemsFirstOverviewMenu"_qs);
    add(view, tr("&Show All Columns"), u"ShowAllColumnsMenu"_qs, [this] {
        for (int column = 0; column < m_model.columnCount(); ++column)
            m_model.setColumnHidden(column, false);
    });
    addTrendsAction(view, m_model, u"TrendsOverviewMenu"_qs);

    m_showHistory = newShowHistoryAction(
        this, [this] { return historyReadings(); },
        [this](int row, const std::vector<int> &pairs) { Q_EMIT historyRequested(row, pairs); });
}

std::pair<int, std::vector<int>> OverviewWindow::historyReadings() const
{
    // Another selected host's readings are left out. The readings are plotted in the order
    // their columns show.
    const QModelIndex current = m_view->currentIndex();
    if (!current.isValid())
        return {-1, {}};
    const QHeaderView *const header = m_view->horizontalHeader();
    std::vector<int> columns = selectedColumnsOfCurrentRow(*m_view);
    std::sort(columns.begin(), columns.end(),
              [header](int a, int b) { return header->visualIndex(a) < header->visualIndex(b); });
    columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
    const int row = m_order->mapToSource(current).row();
    std::vector<int> pairs;
    for (const int column : columns) {
        const int pair = m_view->isColumnHidden(column) ? -1 : m_model.pairOf(row, column);
        if (pair >= 0)
            pairs.push_back(pair);
    }
    return {row, pairs};
}

void OverviewWindow::showCellMenu(const QPoint &position)
{
    auto *menu = new QMenu(this);
    menu->setObjectName(u"overviewCellMenu"_qs);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(findChild<QAction *>(u"CopyOverviewMenu"_qs));
    menu->addSeparator();
    m_showHistory->setEnabled(!historyReadings().second.empty());
    menu->addAction(m_showHistory);
    menu->popup(m_view->viewport()->mapToGlobal(position));
}

void OverviewWindow::showFindBar()
{
    m_count->hide();
    m_find->start();
    updateCount();
}

void OverviewWindow::endFind()
{
    findHost({});
    m_find->setProblemsOnly(false);
    m_find->hide();
    m_count->show();
    m_view->setFocus(Qt::ShortcutFocusReason);
    if (m_view->currentIndex().isValid())
        m_view->scrollTo(m_view->currentIndex());
}

void OverviewWindow::findHost(const QString &text)
{
    m_order->setFindText(text);
    updateCount();
}

void OverviewWindow::updateCount()
{
    const QString count = m_order->countText();
    m_count->setText(count);
    if (!m_find->isHidden())
        m_find->setCount(count);
}

void OverviewWindow::setProblemsFirst(bool problemsFirst)
{
    if (m_arranging || problemsFirst == m_model.sorting().problemsFirst)
        return;
    m_model.setSorting(problemsFirst ? OverviewModel::Sorting{-1, Qt::AscendingOrder, true}
                                     : OverviewModel::Sorting{});
}

// The header, the button and the menu show the model's sorting, wherever it was chosen; a
// click on a title reaches the model through the view's own sorting.
void OverviewWindow::showSorting()
{
    const OverviewModel::Sorting sorting = m_model.sorting();
    m_arranging = true;
    m_view->horizontalHeader()->setSortIndicator(sorting.problemsFirst ? -1 : sorting.column,
                                                 sorting.order);
    m_problemsButton->setChecked(sorting.problemsFirst);
    m_problemsAction->setChecked(sorting.problemsFirst);
    m_arranging = false;
}

void OverviewWindow::applyArrangement()
{
    if (m_arranging)
        return;
    QHeaderView *const header = m_view->horizontalHeader();
    const std::vector<int> &order = m_model.columnOrder();
    if (int(order.size()) != header->count())
        return;
    m_arranging = true;
    for (int visual = 0; visual < int(order.size()); ++visual) {
        const int from = header->visualIndex(order[size_t(visual)]);
        if (from != visual)
            header->moveSection(from, visual);
    }
    for (int column = 0; column < header->count(); ++column)
        header->setSectionHidden(column, m_model.isColumnHidden(column));
    m_arranging = false;
}

// A column dragged elsewhere: the model keeps the order for the next window.
void OverviewWindow::readArrangement()
{
    if (m_arranging)
        return;
    const QHeaderView *const header = m_view->horizontalHeader();
    std::vector<int> order(size_t(header->count()));
    for (int visual = 0; visual < header->count(); ++visual)
        order[size_t(visual)] = header->logicalIndex(visual);
    m_arranging = true;
    m_model.setColumnOrder(order);
    m_arranging = false;
}

void OverviewWindow::showHeaderMenu(const QPoint &position)
{
    // Shown without a loop of its own, like every other menu here.
    auto *menu = new QMenu(this);
    menu->setObjectName(u"columnsMenu"_qs);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const int column : m_model.columnOrder()) {
        if (column == OverviewModel::hostColumn)
            continue;
        QAction *action = menu->addAction(m_model.headerData(column, Qt::Horizontal).toString());
        action->setCheckable(true);
        action->setChecked(!m_model.isColumnHidden(column));
        connect(action, &QAction::toggled, this,
                [this, column](bool shown) { m_model.setColumnHidden(column, !shown); });
    }
    menu->popup(m_view->horizontalHeader()->viewport()->mapToGlobal(position));
}

void OverviewWindow::fitNewColumns(int first, int last)
{
    const QFontMetrics metrics = m_view->horizontalHeader()->fontMetrics();
    // Room for the margins and the sort indicator beside the title.
    const int chrome = 2 * metrics.horizontalAdvance(u'M') + 16;
    const int narrowest = metrics.horizontalAdvance(u"00000000"_qs) + chrome;
    for (int column = std::max(first, 0); column <= last; ++column) {
        if (column == OverviewModel::hostColumn)
            continue;
        const QString title = column == OverviewModel::lastHeardColumn
                                  ? u"0000-00-00 00:00:00"_qs
                                  : m_model.headerData(column, Qt::Horizontal).toString();
        m_view->setColumnWidth(
            column, std::clamp(metrics.horizontalAdvance(title) + chrome, narrowest, widestColumn));
    }
}

// The host column widens to the longest host heard, up to a limit; it never narrows itself.
void OverviewWindow::fitHostColumn(const QString &longest)
{
    if (longest.isEmpty())
        return;
    const int wanted =
        std::min(m_view->fontMetrics().horizontalAdvance(longest) + 24, widestColumn);
    if (wanted > m_view->columnWidth(OverviewModel::hostColumn))
        m_view->setColumnWidth(OverviewModel::hostColumn, wanted);
}

void OverviewWindow::updateLeftOut()
{
    const int names = m_model.leftOutNames();
    m_leftOut->setVisible(names > 0);
    if (names > 0) {
        const QLocale locale;
        m_leftOut->setText(
            tr("%1 more reading names are left out: the overview shows the "
               "first %2 names heard.")
                .arg(locale.toString(names), locale.toString(OverviewModel::maxReadingColumns)));
    }
}

void OverviewWindow::updateSaving()
{
    const bool saving = m_saveFlow->isSaving();
    m_saveAction->setEnabled(!saving);
    if (saving)
        statusBar()->showMessage(
            tr("Saving the overview\u2026 %1%").arg(m_saveFlow->percentWritten()));
}

void OverviewWindow::saveAs()
{
    m_saveFlow->saveAs();
}

bool OverviewWindow::save(const QString &path)
{
    return m_saveFlow->save(path);
}

void OverviewWindow::copySelection() const
{
    const QString text = OverviewCopy::cells(*m_order, m_view->selectionModel()->selection(),
                                             m_model.shownColumns());
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

// The host the user selected stays in view when the rows change their order under it; the
// view's own current cell, never chosen, does not pull the view along.
void OverviewWindow::keepCurrentInView(bool before)
{
    const QModelIndex current = m_view->currentIndex();
    if (before) {
        m_currentWasInView = current.isValid() && m_view->selectionModel()->isSelected(current)
                             && m_view->viewport()->rect().intersects(m_view->visualRect(current));
    } else if (m_currentWasInView && current.isValid()) {
        m_view->scrollTo(current);
    }
}

bool OverviewWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The view's own copy takes the current cell alone, without the titles.
    if (watched == m_view && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
        copySelection();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}
