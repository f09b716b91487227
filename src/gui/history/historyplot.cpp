#include "historyplot.h"

#include "engine/history/pointstatistics.h"
#include "engine/history/rollupgaps.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using Point = HistoryArchive::Point;

constexpr int gap = 6; // between panels, and around the text
constexpr int rightMargin = 12;

// The first of items (oldest first) at fromMs or later.
template<class Item> size_t firstFrom(const std::vector<Item> &items, qint64 fromMs)
{
    return size_t(std::partition_point(items.begin(), items.end(),
                                       [fromMs](const Item &item) { return item.timeMs < fromMs; })
                  - items.begin());
}

// The one of items [first, last) nearest in time to ms.
template<class Item>
size_t nearest(const std::vector<Item> &items, size_t first, size_t last, qint64 ms)
{
    const auto begin = items.begin() + qsizetype(first);
    const auto end = items.begin() + qsizetype(last);
    auto next =
        std::partition_point(begin, end, [ms](const Item &item) { return item.timeMs < ms; });
    if (next == end || (next != begin && ms - std::prev(next)->timeMs < next->timeMs - ms))
        --next;
    return size_t(next - items.begin());
}

} // namespace

HistoryPlot::HistoryPlot(QWidget *parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void HistoryPlot::setReadings(std::vector<Reading> readings, qint64 fromMs, qint64 toMs,
                              qint64 rollupStepMs)
{
    m_readings = std::move(readings);
    m_fromMs = fromMs;
    m_toMs = toMs;
    m_rollupGaps.clear();
    for (const Reading &reading : m_readings)
        m_rollupGaps.push_back(RollupGaps::of(reading.rollups, std::max<qint64>(1, rollupStepMs)));
    update();
}

void HistoryPlot::setMark(qint64 ms)
{
    if (ms == m_markMs)
        return;
    m_markMs = ms;
    update();
}

QSize HistoryPlot::sizeHint() const
{
    const int lines = fontMetrics().height();
    const int panels = std::max<int>(1, int(m_readings.size()));
    return {800, panels * (220 + 2 * lines) + lines + 2 * gap};
}

QSize HistoryPlot::minimumSizeHint() const
{
    const int lines = fontMetrics().height();
    const int panels = std::max<int>(1, int(m_readings.size()));
    return {320, panels * (60 + 2 * lines) + lines + 2 * gap};
}

void HistoryPlot::layOut()
{
    const QFontMetrics metrics = fontMetrics();
    const int line = metrics.height();
    m_time = TimeScale(m_fromMs, m_toMs, std::max(2, width() / 110));

    m_panels.assign(m_readings.size(), {});
    int axisWidth = metrics.horizontalAdvance(u"0000"_qs);
    for (size_t i = 0; i < m_readings.size(); ++i) {
        const Reading &reading = m_readings[i];
        Panel &panel = m_panels[i];
        double lowest = std::numeric_limits<double>::infinity();
        double highest = -lowest;
        if (!reading.rollups.empty()) {
            panel.first = firstFrom(reading.rollups, m_fromMs);
            panel.last = reading.rollups.size();
            for (size_t r = panel.first; r < panel.last; ++r) {
                lowest = std::min(lowest, double(reading.rollups[r].lowest));
                highest = std::max(highest, double(reading.rollups[r].highest));
            }
        } else {
            panel.first = firstFrom(reading.points, m_fromMs);
            panel.last = reading.points.size();
            for (size_t p = panel.first; p < panel.last; ++p) {
                lowest = std::min(lowest, double(reading.points[p].value));
                highest = std::max(highest, double(reading.points[p].value));
            }
        }
        // Limits near the values are brought into view; one far away would flatten them.
        if (lowest <= highest) {
            const double reach = std::max(highest - lowest, std::abs(highest) / 10);
            for (const LimitLine &limit : reading.limits) {
                if (limit.value >= lowest - reach && limit.value <= highest + reach) {
                    lowest = std::min(lowest, limit.value);
                    highest = std::max(highest, limit.value);
                }
            }
        }
        panel.scale = ValueScale(lowest, highest, reading.unit, 4);
        for (const ValueScale::Tick &tick : panel.scale.ticks())
            axisWidth = std::max(axisWidth, metrics.horizontalAdvance(tick.label));
    }

    const double left = axisWidth + 2 * gap;
    const double right = width() - rightMargin;
    const int panels = std::max<int>(1, int(m_readings.size()));
    // Each panel: its title, the plot, its summary; the time axis once, at the bottom.
    const double fixed = panels * (2 * line + 2 * gap) + line + gap;
    const double plotHeight = std::max(20.0, (height() - fixed) / panels);
    double top = gap;
    for (Panel &panel : m_panels) {
        top += line;
        panel.area = QRectF(left, top, std::max(10.0, right - left), plotHeight);
        top += plotHeight + line + 2 * gap;
    }
    m_timeArea = QRectF(left, top - gap, std::max(10.0, right - left), line);
}

void HistoryPlot::paintEvent(QPaintEvent *)
{
    // Laid out at each paint: the visible points are looked at anyway, and the size may
    // have changed. The hover follows new points under a mouse that stays still.
    layOut();
    m_hover = m_mouse ? hoverAt(*m_mouse) : Hover();
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    painter.setPen(palette().color(QPalette::Text));
    if (m_readings.empty()) {
        painter.drawText(rect(), Qt::AlignCenter, tr("No readings to show"));
        return;
    }
    for (int i = 0; i < int(m_panels.size()); ++i)
        drawPanel(painter, i);

    // The time axis, shared: its grid runs through every panel.
    QColor grid = palette().color(QPalette::Text);
    grid.setAlpha(40);
    for (const TimeScale::Tick &tick : m_time.ticks()) {
        const double x = m_time.toPixel(tick.msecs, m_timeArea.left(), m_timeArea.right());
        painter.setPen(grid);
        for (const Panel &panel : m_panels)
            painter.drawLine(QPointF(x, panel.area.top()), QPointF(x, panel.area.bottom()));
        painter.setPen(palette().color(QPalette::Text));
        const int half = fontMetrics().horizontalAdvance(tick.label) / 2;
        painter.drawText(QPointF(std::min(x - half, m_timeArea.right() - 2 * half),
                                 m_timeArea.top() + fontMetrics().ascent()),
                         tick.label);
    }
    if (m_markMs >= m_fromMs && m_markMs <= m_toMs) {
        const double x = m_time.toPixel(m_markMs, m_timeArea.left(), m_timeArea.right());
        painter.setPen(QPen(palette().color(QPalette::Text), 1, Qt::DotLine));
        for (const Panel &panel : m_panels)
            painter.drawLine(QPointF(x, panel.area.top()), QPointF(x, panel.area.bottom()));
    }
    drawHover(painter);
}

void HistoryPlot::drawPanel(QPainter &painter, int index) const
{
    const Reading &reading = m_readings[size_t(index)];
    const Panel &panel = m_panels[size_t(index)];
    const QFontMetrics metrics = fontMetrics();
    const QColor text = palette().color(QPalette::Text);
    QColor grid = text;
    grid.setAlpha(40);

    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(text);
    const QString title =
        reading.unit.isEmpty() ? reading.name : tr("%1 (%2)").arg(reading.name, reading.unit);
    painter.drawText(QPointF(gap, panel.area.top() - metrics.descent() - 2), title);
    painter.setFont(font());

    for (const ValueScale::Tick &tick : panel.scale.ticks()) {
        const double y = panel.scale.toPixel(tick.value, panel.area.top(), panel.area.bottom());
        painter.setPen(grid);
        painter.drawLine(QPointF(panel.area.left(), y), QPointF(panel.area.right(), y));
        painter.setPen(text);
        const int labelWidth = metrics.horizontalAdvance(tick.label);
        painter.drawText(
            QPointF(panel.area.left() - gap - labelWidth, y + metrics.ascent() / 2.0 - 1),
            tick.label);
    }
    painter.setPen(grid);
    painter.drawRect(panel.area);

    for (const LimitLine &limit : reading.limits) {
        if (limit.value < panel.scale.lower() || limit.value > panel.scale.upper())
            continue;
        const double y = panel.scale.toPixel(limit.value, panel.area.top(), panel.area.bottom());
        painter.setPen(QPen(limit.colour, 1.5, Qt::DashLine));
        painter.drawLine(QPointF(panel.area.left(), y), QPointF(panel.area.right(), y));
    }

    if (reading.rollups.empty())
        drawLine(painter, reading, panel);
    else
        drawBand(painter, index);

    painter.setPen(text);
    painter.drawText(QPointF(panel.area.left(), panel.area.bottom() + gap + metrics.ascent()),
                     summary(index));
}

void HistoryPlot::drawLine(QPainter &painter, const Reading &reading, const Panel &panel) const
{
    if (panel.first >= panel.last)
        return;
    painter.save();
    painter.setClipRect(panel.area.adjusted(-3, -3, 3, 3));
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = palette().color(QPalette::Highlight);
    const double left = panel.area.left();
    const double right = panel.area.right();
    const double top = panel.area.top();
    const double bottom = panel.area.bottom();

    // One polyline per stretch between gaps; more points than pixels are folded into each
    // pixel column's first, lowest, highest and last.
    QPolygonF line;
    const auto flush = [&] {
        if (line.size() == 1) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(colour);
            painter.drawEllipse(line.front(), 2.5, 2.5);
        } else if (line.size() > 1) {
            // A cosmetic pen: one pixel wide, drawn by the painter's fast line path.
            QPen pen(colour, 0);
            pen.setCosmetic(true);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            painter.drawPolyline(line);
        }
        line.clear();
    };
    int column = std::numeric_limits<int>::min();
    int inColumn = 0;
    double low = 0;
    double high = 0;
    QPointF latest;
    const auto closeColumn = [&] {
        if (inColumn > 1) {
            if (high != low) {
                line.append(QPointF(latest.x(), low));
                line.append(QPointF(latest.x(), high));
            }
            line.append(latest);
        }
        inColumn = 0;
        column = std::numeric_limits<int>::min();
    };
    for (size_t i = panel.first; i < panel.last; ++i) {
        const Point &point = reading.points[i];
        if (point.gapBefore && i > panel.first) {
            closeColumn();
            flush();
        }
        const QPointF at(m_time.toPixel(point.timeMs, left, right),
                         panel.scale.toPixel(point.value, top, bottom));
        if (const int x = int(std::floor(at.x())); x != column) {
            closeColumn();
            column = x;
            low = high = at.y();
            line.append(at);
        }
        low = std::min(low, at.y());
        high = std::max(high, at.y());
        latest = at;
        ++inColumn;
    }
    closeColumn();
    flush();
    painter.restore();
}

// Roll-ups, folded into pixel columns where they are more than pixels: the band spans the
// column's lowest to highest, and the line goes through the average of its points.
void HistoryPlot::drawBand(QPainter &painter, int index) const
{
    const Reading &reading = m_readings[size_t(index)];
    const Panel &panel = m_panels[size_t(index)];
    const std::vector<bool> &gaps = m_rollupGaps[size_t(index)];
    if (panel.first >= panel.last)
        return;
    painter.save();
    painter.setClipRect(panel.area.adjusted(-3, -3, 3, 3));
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = palette().color(QPalette::Highlight);
    QColor fill = colour;
    fill.setAlpha(70);
    const double left = panel.area.left();
    const double right = panel.area.right();
    const double top = panel.area.top();
    const double bottom = panel.area.bottom();

    struct Column
    {
        double x = 0;
        double lowest = 0;
        double highest = 0;
        double sum = 0; // of the averages, each times its count
        double count = 0;
    };
    std::vector<Column> stretch;
    const auto flush = [&] {
        if (stretch.empty())
            return;
        QPolygonF band;
        QPolygonF line;
        for (const Column &column : stretch) {
            band.append(QPointF(column.x, panel.scale.toPixel(column.highest, top, bottom)));
            line.append(
                QPointF(column.x, panel.scale.toPixel(column.sum / column.count, top, bottom)));
        }
        for (auto column = stretch.rbegin(); column != stretch.rend(); ++column)
            band.append(QPointF(column->x, panel.scale.toPixel(column->lowest, top, bottom)));
        QPen pen(colour, 0);
        pen.setCosmetic(true);
        if (stretch.size() == 1) {
            // A lone roll-up: its spread upright, its average a dot.
            painter.setPen(pen);
            painter.drawLine(band.front(), band.back());
            painter.setPen(Qt::NoPen);
            painter.setBrush(colour);
            painter.drawEllipse(line.front(), 2.5, 2.5);
        } else {
            painter.setPen(Qt::NoPen);
            painter.setBrush(fill);
            const double span = stretch.back().x - stretch.front().x;
            if (2 * double(stretch.size()) > span) {
                // A column a pixel: upright strips, each up to the next, tile the band where
                // a polygon that jumps from top to bottom at every pixel takes the
                // rasterizer a hundred times as long.
                QList<QRectF> strips;
                strips.reserve(qsizetype(stretch.size()));
                for (size_t c = 0; c < stretch.size(); ++c) {
                    const double x = stretch[c].x;
                    const double next = c + 1 < stretch.size() ? stretch[c + 1].x : x + 1;
                    const double high = panel.scale.toPixel(stretch[c].highest, top, bottom);
                    const double low = panel.scale.toPixel(stretch[c].lowest, top, bottom);
                    strips.append(QRectF(x, high, next - x, std::max(1.0, low - high)));
                }
                painter.setRenderHint(QPainter::Antialiasing, false);
                painter.drawRects(strips);
                painter.setRenderHint(QPainter::Antialiasing);
            } else {
                painter.drawPolygon(band);
            }
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            painter.drawPolyline(line);
        }
        stretch.clear();
    };
    int columnAt = std::numeric_limits<int>::min();
    for (size_t i = panel.first; i < panel.last; ++i) {
        const Rollup &rollup = reading.rollups[i];
        if (gaps[i] && i > panel.first) {
            flush();
            columnAt = std::numeric_limits<int>::min();
        }
        const double x = m_time.toPixel(rollup.timeMs, left, right);
        const double weight = std::max<quint32>(rollup.count, 1);
        if (const int column = int(std::floor(x)); column != columnAt || stretch.empty()) {
            columnAt = column;
            stretch.push_back({x, rollup.lowest, rollup.highest, 0, 0});
        }
        Column &column = stretch.back();
        column.lowest = std::min(column.lowest, double(rollup.lowest));
        column.highest = std::max(column.highest, double(rollup.highest));
        column.sum += double(rollup.average) * weight;
        column.count += weight;
    }
    flush();
    painter.restore();
}

std::pair<QPointF, QString> HistoryPlot::hovered(const Hover &hover) const
{
    const Reading &reading = m_readings[size_t(hover.panel)];
    const Panel &panel = m_panels[size_t(hover.panel)];
    const auto at = [&](qint64 ms, double value) {
        return QPointF(m_time.toPixel(ms, panel.area.left(), panel.area.right()),
                       panel.scale.toPixel(value, panel.area.top(), panel.area.bottom()));
    };
    if (!reading.rollups.empty()) {
        const Rollup &rollup = reading.rollups[hover.item];
        return {at(rollup.timeMs, rollup.average),
                tr("%1  %2 (%3 \u2013 %4)")
                    .arg(m_time.format(rollup.timeMs), panel.scale.format(rollup.average),
                         panel.scale.format(rollup.lowest), panel.scale.format(rollup.highest))};
    }
    const Point &point = reading.points[hover.item];
    return {at(point.timeMs, point.value),
            tr("%1  %2").arg(m_time.format(point.timeMs), panel.scale.format(point.value))};
}

void HistoryPlot::drawHover(QPainter &painter) const
{
    if (m_hover.panel < 0 || size_t(m_hover.panel) >= m_panels.size())
        return;
    const auto [at, text] = hovered(m_hover);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::Text), 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(at, 4, 4);

    const QFontMetrics metrics = fontMetrics();
    QRectF box(0, 0, metrics.horizontalAdvance(text) + 2 * gap, metrics.height() + gap);
    box.moveBottomLeft(at + QPointF(gap, -gap));
    if (box.right() > width())
        box.moveRight(at.x() - gap);
    if (box.top() < 0)
        box.moveTop(at.y() + gap);
    painter.setPen(palette().color(QPalette::ToolTipText));
    painter.setBrush(palette().color(QPalette::ToolTipBase));
    painter.drawRect(box);
    painter.drawText(box, Qt::AlignCenter, text);
}

QString HistoryPlot::hoverText(QPointF at)
{
    layOut();
    const Hover hover = hoverAt(at);
    return hover.panel < 0 ? QString() : hovered(hover).second;
}

QString HistoryPlot::summary(int index) const
{
    if (index < 0 || size_t(index) >= m_readings.size())
        return {};
    const Reading &reading = m_readings[size_t(index)];
    const PointStatistics statistics = reading.rollups.empty()
                                           ? PointStatistics::of(reading.points, m_fromMs)
                                           : PointStatistics::of(reading.rollups, m_fromMs);
    if (statistics.isEmpty())
        return tr("No values in this time");
    const ValueScale scale(statistics.lowest(), statistics.highest(), reading.unit);
    return tr("Lowest %1 \u00b7 Highest %2 \u00b7 Average %3 \u00b7 Latest %4")
        .arg(scale.format(statistics.lowest()), scale.format(statistics.highest()),
             scale.format(statistics.average()), scale.format(statistics.latest()));
}

// The point or roll-up nearest in time to where the mouse is, in the panel it is over.
HistoryPlot::Hover HistoryPlot::hoverAt(QPointF at) const
{
    Hover hover;
    for (size_t i = 0; i < m_panels.size(); ++i) {
        const Panel &panel = m_panels[i];
        const Reading &reading = m_readings[i];
        if (at.y() < panel.area.top() || at.y() > panel.area.bottom() || panel.first >= panel.last)
            continue;
        const qint64 wanted = m_time.fromPixel(at.x(), panel.area.left(), panel.area.right());
        hover = {int(i), reading.rollups.empty()
                             ? nearest(reading.points, panel.first, panel.last, wanted)
                             : nearest(reading.rollups, panel.first, panel.last, wanted)};
    }
    return hover;
}

void HistoryPlot::mouseMoveEvent(QMouseEvent *event)
{
    m_mouse = event->position();
    update();
}

void HistoryPlot::leaveEvent(QEvent *)
{
    m_mouse.reset();
    update();
}
