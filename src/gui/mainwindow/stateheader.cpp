#include "stateheader.h"

#include <QPainter>
#include <QStyleOptionHeader>

StateHeader::StateHeader(Qt::Orientation orientation, QWidget *parent)
    : QHeaderView(orientation, parent)
{
    // As the table view's own header is.
    setSectionsClickable(true);
    setHighlightSections(true);
}

void StateHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    // The base leaves its clip behind.
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    const QVariant background =
        model()->headerData(logicalIndex, orientation(), Qt::BackgroundRole);
    QBrush brush;
    if (background.typeId() == QMetaType::QBrush)
        brush = background.value<QBrush>();
    else if (background.typeId() == QMetaType::QColor)
        brush = background.value<QColor>();
    else
        return;
    // The style's section stays around the edges, where it draws the lines between sections.
    painter->save();
    painter->fillRect(rect.adjusted(0, 0, -1, -1), brush);
    QStyleOptionHeader option;
    initStyleOption(&option);
    initStyleOptionForIndex(&option, logicalIndex);
    option.rect = rect;
    if (option.state & QStyle::State_On) {
        QFont bold = painter->font();
        bold.setBold(true);
        painter->setFont(bold);
    }
    style()->drawControl(QStyle::CE_HeaderLabel, &option, painter, this);
    painter->restore();
}
