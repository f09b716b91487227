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
    // Rows numbered afresh: a kept line may now stand at another host's row.
    connect(&monitor.history(), &HistoryStore::rowsRenumbered, this, [this] { m_lines.clear(); });
}

void TrendDelegate::setPointsOf(PointsOf pointsOf)
{
    m_pointsOf = std::move(pointsOf);
    m_lines.clear();
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
    const QRectF area = QRectF(option.rect).adjusted(2, 3, -2, -3);
    if (area.width() < 2 || area.height() < 2)
        return;
    const Line &line = lineOf(row, pair, area.size());
    if (line.runs.empty())
        return;
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
    painter->translate(area.topLeft());
    auto level = TrendLine::Level::NoState;
    for (const Run &run : line.runs) {
        if (run.level != level) {
            level = run.level;
            painter->setPen(QPen(colourOf(level), 0));
        }
        if (run.points.size() == 1)
            painter->drawPoint(run.points.front());
        else
            painter->drawPolyline(run.points);
    }
    painter->translate(-area.topLeft());
    painter->setPen(pen);
}

const TrendDelegate::Line &TrendDelegate::lineOf(int row, int pair, const QSizeF &size) const
{
    const ReadingsTable &table = m_monitor.table();
    const auto now = HistoryStore::Tenths(table.silence().tenthsSince(0));
    const quint32 version = m_monitor.history().version(row);
    TrendLine::Limits limits;
    if (const LimitRule *const rule = m_monitor.limits().limits(row, pair))
        limits = TrendLine::Limits::of(*rule, ValueNumber::read(table.value(row, pair)).unit);
    const quint64 key = quint64(quint32(row)) << 32 | quint32(pair);
    auto found = m_lines.find(key);
    if (found != m_lines.end()) {
        const Line &kept = found->second;
        if (kept.version == version && kept.second == now / 10 && kept.size == size
            && kept.limits == limits)
            return kept;
    } else {
        if (m_lines.size() >= maxLines)
            m_lines.clear();
        found = m_lines.emplace(key, Line()).first;
    }
    Line &line = found->second;
    line = {version, now / 10, size, limits, {}};
    const HistoryStore::Tenths first =
        now > HistoryStore::hourTenths ? now - HistoryStore::hourTenths : HistoryStore::Tenths(0);
    TrendLine trend(first, now, int(size.width()) / pixelsPerColumn);
    m_pointsOf(row, pair, trend);
    if (trend.isEmpty())
        return line;
    // Joined pieces of one colour go as one polyline: hundreds of cells are drawn per frame.
    for (const TrendLine::Segment &segment : trend.segments(QRectF(QPointF(), size), limits)) {
        if (line.runs.empty() || segment.level != line.runs.back().level
            || line.runs.back().points.back() != segment.line.p1())
            line.runs.push_back({segment.level, {segment.line.p1()}});
        if (segment.line.p2() != segment.line.p1())
            line.runs.back().points.append(segment.line.p2());
    }
    return line;
}
