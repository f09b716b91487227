#include "readingsview.h"

#include "placeholderrows.h"
#include "stateheader.h"

#include "engine/limits/limitwatch.h"
#include "engine/reception/displaytext.h"
#include "engine/reception/longesttexts.h"
#include "engine/reception/readingstable.h"
#include "engine/tableview/copiedtext.h"
#include "engine/tableview/hostfilter.h"
#include "gui/common/historyselection.h"
#include "gui/common/twips.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QStyleOptionHeader>

ReadingsView::ReadingsView(ReadingsTable *table, QWidget *parent)
    : QTableView(parent)
    , m_table(table)
    , m_filter(new HostFilter(table, this))
    , m_rows(new PlaceholderRows(table, this))
    , m_hadHosts(table->rowCount() > 0)
    , m_copy(new QAction(tr("&Copy"), this))
    , m_copyAll(new QAction(tr("Copy &All"), this))
    , m_remove(new QAction(tr("&Remove Host"), this))
    , m_showHistory(newShowHistoryAction(
          this, [this] { return historyReadings(); },
          [this](int row, const std::vector<int> &pairs) { Q_EMIT historyRequested(row, pairs); }))
    , m_widthsSet(size_t(table->columnCount()))
    , m_userSized(size_t(table->columnCount()))
{
    setVerticalHeader(new StateHeader(Qt::Vertical, this));
    m_rows->setSourceModel(m_filter);
    setModel(m_rows);
    updatePlaceholders();
    connect(table, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        m_hadHosts = true;
        updatePlaceholders();
    });
    connect(m_filter, &HostFilter::textChanged, this, &ReadingsView::updatePlaceholders);
    connect(m_filter, &HostFilter::problemsOnlyChanged, this, &ReadingsView::updatePlaceholders);
    m_copy->setObjectName(u"CopyMenu"_qs);
    m_copy->setShortcut(QKeySequence::Copy);
    m_copyAll->setObjectName(u"CopyAllMenu"_qs);
    m_copyAll->setShortcut(Qt::CTRL | Qt::SHIFT | Qt::Key_C);
    m_remove->setObjectName(u"RemoveHostMenu"_qs);
    m_remove->setShortcut(QKeySequence::Delete);
    connect(m_copy, &QAction::triggered, this, &ReadingsView::copySelection);
    connect(m_copyAll, &QAction::triggered, this, &ReadingsView::copyAll);
    connect(m_remove, &QAction::triggered, this, &ReadingsView::removeSelectedHosts);
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        const QModelIndex shown = m_rows->mapToSource(index);
        const int column = index.column() - ReadingsTable::firstNameColumn;
        if (!shown.isValid() || column < 0)
            return;
        const int row = m_filter->tableRow(shown.row());
        if (m_table->nameId(row, column / 2) >= 0)
            Q_EMIT historyRequested(row, {column / 2});
    });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ReadingsView::updateActions);
    connect(table, &ReadingsTable::textsPublished, this, &ReadingsView::widen);
    // Only what is on screen is painted again: which cells are grey is decided as they are.
    connect(table, &ReadingsTable::timingChanged, this, [this] {
        viewport()->update();
        verticalHeader()->viewport()->update();
    });
    // A host's state shows in its row header, which is not among the cells that changed;
    // new rules change any cell.
    if (const LimitWatch *const limits = LimitWatch::of(*table)) {
        connect(limits, &LimitWatch::hostsChanged, this,
                [this] { verticalHeader()->viewport()->update(); });
        connect(limits, &LimitWatch::rowsJudged, this, [this] {
            viewport()->update();
            verticalHeader()->viewport()->update();
        });
    }
    verticalHeader()->setMaximumWidth(Twips::toPixelsX(*this, widestTwips));
    updateActions();
}

void ReadingsView::copySelection() const
{
    if (!selectionModel()->hasSelection())
        return;
    QGuiApplication::clipboard()->setText(CopiedText::fromSelection(
        *m_filter, m_rows->mapSelectionToSource(selectionModel()->selection())));
}

void ReadingsView::copyAll() const
{
    QGuiApplication::clipboard()->setText(CopiedText::all(*m_filter));
}

std::vector<int> ReadingsView::selectedTableRows() const
{
    const int shown = m_filter->matchingHostCount();
    std::vector<bool> selected(static_cast<size_t>(shown));
    for (const QItemSelectionRange &range :
         m_rows->mapSelectionToSource(selectionModel()->selection())) {
        if (!range.isValid())
            continue;
        for (int row = range.top(); row <= range.bottom() && row < shown; ++row)
            selected[size_t(row)] = true;
    }
    std::vector<int> rows;
    for (int row = 0; row < shown; ++row) {
        if (selected[size_t(row)])
            rows.push_back(m_filter->tableRow(row));
    }
    return rows;
}

void ReadingsView::removeSelectedHosts()
{
    if (!m_removable)
        return;
    const std::vector<int> rows = selectedTableRows();
    if (rows.empty())
        return;
    int top = m_filter->rowCount();
    for (const QItemSelectionRange &range : selectionModel()->selection())
        top = std::min(top, range.top());
    const int column = std::max(currentIndex().column(), 1);
    m_table->removeHosts(rows);
    // The row that moved up into the first removed one's place becomes the current one,
    // unselected, so that a second Delete removes nothing by surprise.
    if (const int left = m_filter->rowCount(); left > 0) {
        selectionModel()->setCurrentIndex(model()->index(std::min(top, left - 1), column),
                                          QItemSelectionModel::NoUpdate);
    }
    updateActions();
    Q_EMIT hostsRemoved();
}

std::pair<int, std::vector<int>> ReadingsView::historyReadings() const
{
    // The current cell's host; another selected host's readings are left out.
    const QModelIndex shown = m_rows->mapToSource(currentIndex());
    if (!shown.isValid())
        return {-1, {}};
    const int row = m_filter->tableRow(shown.row());
    std::vector<bool> chosen(ReadingsTable::pairCount);
    for (const int column : selectedColumnsOfCurrentRow(*this)) {
        if (column >= ReadingsTable::firstNameColumn)
            chosen[size_t((column - ReadingsTable::firstNameColumn) / 2)] = true;
    }
    std::vector<int> pairs;
    for (int pair = 0; pair < ReadingsTable::pairCount; ++pair) {
        if (chosen[size_t(pair)] && m_table->nameId(row, pair) >= 0)
            pairs.push_back(pair);
    }
    return {row, pairs};
}

void ReadingsView::setRemovable(bool removable)
{
    m_removable = removable;
    updateActions();
}

void ReadingsView::updateActions()
{
    const bool selected = selectionModel()->hasSelection() && m_filter->matchingHostCount() > 0;
    m_copy->setEnabled(selected);
    const auto rows = selected ? selectedTableRows().size() : 0;
    m_remove->setEnabled(rows > 0 && m_removable);
    m_remove->setText(rows > 1 ? tr("&Remove Hosts") : tr("&Remove Host"));
    m_showHistory->setEnabled(!historyReadings().second.empty());
}

// Shown before the first host only, and not while a find leaves no row to show.
void ReadingsView::updatePlaceholders()
{
    m_rows->setShown(!m_hadHosts && !m_filter->isFiltering());
}

void ReadingsView::keyPressEvent(QKeyEvent *event)
{
    // The view's own copy takes the current cell alone.
    if (event->matches(QKeySequence::Copy)) {
        copySelection();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void ReadingsView::contextMenuEvent(QContextMenuEvent *event)
{
    // Shown without a loop of its own, like every other window here.
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    updateActions();
    menu->addAction(m_copy);
    menu->addAction(m_copyAll);
    menu->addSeparator();
    menu->addAction(m_showHistory);
    menu->addSeparator();
    menu->addAction(m_remove);
    menu->popup(event->globalPos());
    event->accept();
}

void ReadingsView::widen(const LongestTexts &longest)
{
    const int widest = Twips::toPixelsX(*this, widestTwips);
    QHeaderView *const columns = horizontalHeader();
    for (int column = 1; column < longest.columnCount(); ++column) {
        const QString &text = longest.text(column);
        if (text.isEmpty() || m_userSized[size_t(column)])
            continue;
        const int width = columnWidth(column);
        const int expected = m_widthsSet[size_t(column)] > 0 ? m_widthsSet[size_t(column)]
                                                             : columns->defaultSectionSize();
        if (width != expected) {
            // Sized by hand since we last looked: the user's width stays.
            m_userSized[size_t(column)] = true;
            continue;
        }
        if (width >= widest)
            continue;
        const int wanted = std::min(widthOfCell(text), widest);
        if (wanted > width) {
            setColumnWidth(column, wanted);
            m_widthsSet[size_t(column)] = columnWidth(column);
        }
    }

    const QString &host = longest.text(0);
    QHeaderView *const rows = verticalHeader();
    if (!host.isEmpty() && rows->minimumWidth() < widest) {
        const int wanted = std::min(widthOfHost(host), widest);
        if (wanted > rows->minimumWidth()) {
            rows->setMinimumWidth(wanted);
            updateGeometries();
        }
    }
}

int ReadingsView::widthOfCell(const QString &text) const
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.features |= QStyleOptionViewItem::HasDisplay;
    option.text = displayable(text);
    const int gridLine = showGrid() ? 1 : 0;
    return style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).width()
           + gridLine;
}

int ReadingsView::widthOfHost(const QString &text) const
{
    const QHeaderView *const rows = verticalHeader();
    QStyleOptionHeader option;
    option.initFrom(rows);
    option.orientation = Qt::Vertical;
    // As the header measures its sections: in bold, the face of a selected row.
    QFont bold = rows->font();
    bold.setBold(true);
    option.fontMetrics = QFontMetrics(bold);
    option.text = displayable(text);
    return rows->style()
        ->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), rows)
        .width();
}
