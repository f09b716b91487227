#include "trenddelegate.h"

#include "app/monitor.h"
#include "limits/limitwatch.h"
#include "limits/valuenumber.h"
#include "overview/overviewmodel.h"
#include "overview/overvieworder.h"
#include "reception/readingslook.h"
#include "reception/readingstable.h"

#include <QApplication>
#include <QPainter>
#include <QPolygonF>
#include <QStyle>

namespace {

// Faint enough that the value stays readable on top; beyond a limit, plainer.
constexpr double normalOpacity = 0.3;
constexpr double limitOpacity = 0.6;

} // namespace

TrendDelegate::TrendDelegate(Monitor &monitor, const OverviewOrder &order, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_monitor(monitor)
    , m_order(order)
    , m_pointsOf([store = &monitor.history()](int row, int pair, TrendLine &line) {
        store->forEachPoint(row, pair,
                            [&line](const HistoryStore::Point &point) { line.add(point); });
    })
{
}

void TrendDelegate::setPointsOf(PointsOf pointsOf)
{
    m_pointsOf = std::move(pointsOf);
}

void TrendDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const
{
    const OverviewModel &model = *m_order.overview();
    const int column = index.column();
    const int row = m_order.mapToSource(index).row();
    const int pair = model.trendsShown() && column >= OverviewModel::firstReadingColumn
                         ? model.pairOf(row, column)
                         : -1;
    if (pair < 0) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const QWidget *const widget = option.widget;
    QStyle *const style = widget ? widget->style() : QApplication::style();
    // The background and the selection first, the line over them, the value on top.
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &cell, painter, widget);
    drawTrend(painter, cell, row, pair);
    cell.backgroundBrush = Qt::NoBrush;
    cell.state &= ~QStyle::State_MouseOver;
    if (cell.state & QStyle::State_Selected) {
        const QPalette::ColorGroup group =
            cell.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
        cell.palette.setColor(QPalette::Text, cell.palette.color(group, QPalette::HighlightedText));
        cell.state &= ~QStyle::State_Selected;
    }
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
}

void TrendDelegate::drawTrend(QPainter *painter, const QStyleOptionViewItem &option, int row,
                              int pair) const
{
    const ReadingsTable &table = m_monitor.table();
    const auto now = HistoryStore::Tenths(table.silence().tenthsSince(0));
    const HistoryStore::Tenths first =
        now > HistoryStore::hourTenths ? now - HistoryStore::hourTenths : HistoryStore::Tenths(0);
    const QRectF area = QRectF(option.rect).adjusted(2, 3, -2, -3);
    if (area.width() < 2 || area.height() < 2)
        return;
    TrendLine line(first, now, int(area.width()) / pixelsPerColumn);
    m_pointsOf(row, pair, line);
    if (line.isEmpty())
        return;
    TrendLine::Limits limits;
    if (const LimitRule *const rule = m_monitor.limits().limits(row, pair))
        limits = TrendLine::Limits::of(*rule, ValueNumber::read(table.value(row, pair)).unit);

    QColor normal = option.palette.color(QPalette::Text);
    normal.setAlphaF(normalOpacity);
    const auto colourOf = [&normal](TrendLine::Level level) {
        if (level == TrendLine::Level::Normal)
            return normal;
        QColor colour = ReadingsLook::stateColour(level);
        colour.setAlphaF(limitOpacity);
        return colour;
    };
    const QPen pen = painter->pen();
    // Joined pieces of one colour go as one polyline: hundreds of cells are drawn per frame.
    QPolygonF run;
    auto level = TrendLine::Level::NoState;
    const auto flush = [&] {
        if (run.size() == 1)
            painter->drawPoint(run.front());
        else if (run.size() > 1)
            painter->drawPolyline(run);
        run.clear();
    };
    for (const TrendLine::Segment &segment : line.segments(area, limits)) {
        if (segment.level != level || run.isEmpty() || run.back() != segment.line.p1()) {
            flush();
            if (segment.level != level) {
                level = segment.level;
                painter->setPen(QPen(colourOf(level), 0));
            }
            run.append(segment.line.p1());
        }
        if (segment.line.p2() != segment.line.p1())
            run.append(segment.line.p2());
    }
    flush();
    painter->setPen(pen);
}
