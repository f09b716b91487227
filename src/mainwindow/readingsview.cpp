#include "readingsview.h"

#include "host/twips.h"
#include "reception/copiedtext.h"
#include "reception/displaytext.h"
#include "reception/postedtexts.h"
#include "reception/readingstable.h"

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
    , m_copy(new QAction(tr("Copy"), this))
    , m_copyAll(new QAction(tr("Copy All"), this))
    , m_widthsSet(size_t(table->columnCount()))
    , m_userSized(size_t(table->columnCount()))
{
    setModel(table);
    m_copy->setObjectName(u"CopyMenu"_qs);
    m_copy->setShortcut(QKeySequence::Copy);
    m_copyAll->setObjectName(u"CopyAllMenu"_qs);
    connect(m_copy, &QAction::triggered, this, &ReadingsView::copySelection);
    connect(m_copyAll, &QAction::triggered, this, &ReadingsView::copyAll);
    connect(table, &ReadingsTable::textsPublished, this, &ReadingsView::widen);
    // Only what is on screen is painted again: which cells are grey is decided as they are.
    connect(table, &ReadingsTable::timingChanged, this, [this] {
        viewport()->update();
        verticalHeader()->viewport()->update();
    });
    verticalHeader()->setMaximumWidth(Twips::toPixelsX(*this, widestTwips));
}

void ReadingsView::copySelection() const
{
    if (!selectionModel()->hasSelection())
        return;
    QGuiApplication::clipboard()->setText(
        CopiedText::fromSelection(*m_table, selectionModel()->selection()));
}

void ReadingsView::copyAll() const
{
    QGuiApplication::clipboard()->setText(CopiedText::all(*m_table));
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
    m_copy->setEnabled(selectionModel()->hasSelection());
    menu->addAction(m_copy);
    menu->addAction(m_copyAll);
    menu->popup(event->globalPos());
    event->accept();
}

void ReadingsView::widen(const PostedTexts &longest)
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
