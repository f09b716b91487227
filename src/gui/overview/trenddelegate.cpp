#include "trenddelegate.h"

#include "engine/limits/limitwatch.h"
#include "engine/reception/valuenumber.h"
#include "engine/monitor/monitor.h"
#include "engine/overview/overviewmodel.h"
#include "engine/overview/overvieworder.h"
#include "engine/reception/displaytext.h"
#include "engine/reception/readingstable.h"
#include "gui/common/readingslook.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QSysInfo>
#include <QtMath>

namespace {

// Faint enough that the value stays readable on top; beyond a limit, plainer.
constexpr double normalOpacity = 0.3;
constexpr double limitOpacity = 0.6;

} // namespace

TrendDelegate::TrendDelegate(Monitor &monitor, const OverviewOrder &order, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_monitor(monitor)
    , m_order(order)
{
    // Rows numbered afresh: a kept line may now stand at another host's row.
    connect(&monitor.history(), &HistoryStore::rowsRenumbered, this, [this] {
        m_lines.clear();
        m_trendsRow = -1;
    });
}

void TrendDelegate::setPointsOf(PointsOf pointsOf)
{
    m_pointsOf = std::move(pointsOf);
    m_lines.clear();
    m_trendsRow = -1;
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
    if ((option.state & (QStyle::State_Selected | QStyle::State_HasFocus))
        || option.direction != Qt::LeftToRight || !option.widget
        || !paintsAsOwn(*option.widget->style())) {
        paintByStyle(painter, option, index, row, pair);
        return;
    }
    const Look look = lookOf(row, column);
    if (look.background.isValid())
        painter->fillRect(option.rect, look.background);
    if (pair >= 0) {
        // As the style would: the value's own colour, where it has one, makes the line's. Beneath
        // it the cell's own background, or the view's base that the viewport is filled with.
        const QBrush &base = option.palette.brush(QPalette::Base);
        const QColor under = look.background.isValid()          ? look.background
                             : base.style() == Qt::SolidPattern ? base.color()
                                                                : QColor();
        drawTrend(painter, option.rect,
                  look.foreground.isValid() ? look.foreground
                                            : option.palette.color(QPalette::Text),
                  under, row, pair);
    }
    // Where the style puts them: an icon centred in its own margins, the text after it,
    // in from the edge by the focus frame's margin.
    const int margin =
        option.widget->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option.widget)
        + 1;
    QRect text = option.rect;
    if (!look.icon.isNull()) {
        const QSize size = look.icon.deviceIndependentSize().toSize();
        const QRect slot(text.topLeft(), QSize(size.width() + 2 * margin, text.height()));
        painter->drawPixmap(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, slot),
                            look.icon);
        text.setLeft(slot.right() + 1);
    }
    text.adjust(margin, 0, -margin, 0);
    const QString shown = displayable(model.cellText(row, column));
    if (shown.isEmpty() || text.width() <= 0)
        return;
    QPalette::ColorGroup group =
        option.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    if (group == QPalette::Normal && !(option.state & QStyle::State_Active))
        group = QPalette::Inactive;
    const QColor colour =
        look.foreground.isValid() ? look.foreground : option.palette.color(group, QPalette::Text);
    const QStaticText &laid = textOf(shown, option, text.width());
    const QPen pen = painter->pen();
    painter->setPen(colour);
    painter->setFont(option.font);
    const int top = text.top() + (text.height() - qCeil(laid.size().height())) / 2;
    painter->drawStaticText(QPointF(text.left(), top), laid);
    painter->setPen(pen);
}

// Fusion paints a plain cell as its base style does, which the painting above copies;
// other styles (Windows themes, desktop themes) may paint it their own way. Windows' font
// engine draws a laid-out text a shade apart from the style's text, so there the style
// paints every cell.
bool TrendDelegate::paintsAsOwn(const QStyle &style)
{
    static const bool windows = QSysInfo::kernelType() == u"winnt";
    return !windows && style.name().compare(u"fusion", Qt::CaseInsensitive) == 0;
}

const QStaticText &TrendDelegate::textOf(const QString &text, const QStyleOptionViewItem &option,
                                         int width) const
{
    if (option.font != m_textFont) {
        m_texts.clear();
        m_textFont = option.font;
    }
    if (m_texts.size() >= maxTexts && !m_texts.contains(text))
        m_texts.clear();
    Text &kept = m_texts[text];
    if (kept.whole.text().isEmpty()) {
        kept.whole.setTextFormat(Qt::PlainText);
        kept.whole.setText(text);
        kept.whole.prepare(QTransform(), option.font);
    }
    if (kept.whole.size().width() <= width)
        return kept.whole;
    if (kept.cutTo != width) {
        kept.cutTo = width;
        kept.cut.setTextFormat(Qt::PlainText);
        kept.cut.setText(QFontMetrics(option.font).elidedText(text, option.textElideMode, width));
        kept.cut.prepare(QTransform(), option.font);
    }
    return kept.cut;
}

TrendDelegate::Look TrendDelegate::lookOf(int row, int column) const
{
    const OverviewModel &model = *m_order.overview();
    const ReadingsLook look(model.table());
    const bool hostCells = column < OverviewModel::firstReadingColumn;
    const int pair = hostCells ? -1 : model.pairOf(row, column);
    if (!hostCells && pair < 0)
        return {};
    const auto of = [&](int role) {
        return hostCells ? look.hostData(row, role, column == OverviewModel::hostColumn)
                         : look.readingData(row, pair, false, role);
    };
    return {of(Qt::BackgroundRole).value<QColor>(), of(Qt::ForegroundRole).value<QColor>(),
            of(Qt::DecorationRole).value<QPixmap>()};
}

void TrendDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    applyLook(option, lookOf(m_order.mapToSource(index).row(), index.column()));
}

// As QStyledItemDelegate takes these roles from the model.
void TrendDelegate::applyLook(QStyleOptionViewItem *option, const Look &look)
{
    if (look.foreground.isValid())
        option->palette.setBrush(QPalette::Text, look.foreground);
    if (look.background.isValid())
        option->backgroundBrush = look.background;
    if (!look.icon.isNull()) {
        option->features |= QStyleOptionViewItem::HasDecoration;
        option->icon = QIcon(look.icon);
        option->decorationSize = look.icon.deviceIndependentSize().toSize();
    }
}

void TrendDelegate::paintByStyle(QPainter *painter, const QStyleOptionViewItem &option,
                                 const QModelIndex &index, int row, int pair) const
{
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
    // Under a selection or a style's own panel the colour beneath is not known.
    drawTrend(painter, cell.rect, cell.palette.color(QPalette::Text), QColor(), row, pair);
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

void TrendDelegate::drawTrend(QPainter *painter, const QRect &rect, const QColor &text,
                              const QColor &under, int row, int pair) const
{
    const QRectF area = QRectF(rect).adjusted(2, 3, -2, -3);
    if (area.width() < 2 || area.height() < 2)
        return;
    Line &line = lineOf(row, pair, area.size());
    if (line.runs.empty())
        return;
    // Over a known plain colour the faint colour is mixed beforehand, as blending would: where
    // the painter scales and the line is stroked, an opaque pen takes the raster engine's
    // plain fill rather than blending pixel by pixel; in an image it makes no difference.
    const bool mixed = under.isValid() && under.alpha() == 255;
    const auto faint = [&under, mixed](QColor colour, double opacity) {
        if (!mixed) {
            colour.setAlphaF(float(opacity));
            return colour;
        }
        const auto mix = [opacity](int over, int below) {
            return qRound(over * opacity + below * (1 - opacity));
        };
        return QColor(mix(colour.red(), under.red()), mix(colour.green(), under.green()),
                      mix(colour.blue(), under.blue()));
    };
    const QColor normal = faint(text, normalOpacity);
    const auto colourOf = [&](TrendLine::Level level) {
        return level == TrendLine::Level::Normal
                   ? normal
                   : faint(ReadingsLook::stateColour(level), limitOpacity);
    };
    const QPoint origin = area.topLeft().toPoint();
    if (painter->deviceTransform().type() <= QTransform::TxTranslate) {
        // Pixel for pixel: the line is painted once into an image of its own, which the raster
        // engine then blends whole, far faster than it draws a line's pixels one by one.
        std::array<QRgb, 3> colours;
        for (size_t level = 0; level < colours.size(); ++level)
            colours[level] = qPremultiply(colourOf(TrendLine::Level(level)).rgba());
        if (!line.painted || line.colours != colours)
            paintImage(line, colours);
        painter->drawImage(origin, line.image);
        return;
    }
    // Where the painter scales (a display of several pixels a point), the pixels are joined
    // as lines, which it scales as it does any other.
    const QPen pen = painter->pen();
    painter->translate(origin);
    auto level = TrendLine::Level::NoState;
    for (const TrendLine::Run &run : line.runs) {
        if (run.level != level) {
            level = run.level;
            painter->setPen(QPen(colourOf(level), 0));
        }
        const QPoint *const pixels = line.pixels.data() + run.first;
        if (run.count == 1)
            painter->drawPoint(*pixels);
        else
            painter->drawPolyline(pixels, int(run.count));
    }
    painter->translate(-origin);
    painter->setPen(pen);
}

void TrendDelegate::paintImage(Line &line, const std::array<QRgb, 3> &colours)
{
    if (line.image.size() != line.size.toSize())
        line.image = QImage(line.size.toSize(), QImage::Format_ARGB32_Premultiplied);
    line.image.fill(Qt::transparent);
    uchar *const bits = line.image.bits();
    const qsizetype stride = line.image.bytesPerLine();
    const auto width = quint32(line.image.width());
    const auto height = quint32(line.image.height());
    for (const TrendLine::Run &run : line.runs) {
        const QRgb colour = colours[std::min(size_t(run.level), colours.size() - 1)];
        const auto first = line.pixels.begin() + run.first;
        for (auto pixel = first; pixel != first + run.count; ++pixel) {
            if (quint32(pixel->x()) < width && quint32(pixel->y()) < height)
                reinterpret_cast<QRgb *>(bits + pixel->y() * stride)[pixel->x()] = colour;
        }
    }
    line.colours = colours;
    line.painted = true;
}

TrendDelegate::Line &TrendDelegate::lineOf(int row, int pair, const QSizeF &size) const
{
    const ReadingsTable &table = m_monitor.table();
    const auto now = HistoryStore::Tenths(table.silence().tenthsSince(0));
    const quint32 version = m_monitor.history().version(row);
    // The line moves by a pixel every hour / width; until then the one kept is as good.
    const qint64 step = qint64(now) * qint64(size.width()) / HistoryStore::hourTenths;
    const LimitRule *const rule = m_monitor.limits().limits(row, pair);
    const quint64 key = keyOf(row, pair);
    auto found = m_lines.find(key);
    if (found != m_lines.end()) {
        Line &kept = found->second;
        // The value's unit changes only with a value heard, which the version counts.
        if (kept.version == version && kept.step == step && kept.size == size
            && kept.limits
                   == (rule ? TrendLine::Limits::of(*rule, kept.unit) : TrendLine::Limits()))
            return kept;
    } else {
        if (m_lines.size() >= maxLines)
            m_lines.clear();
        found = m_lines.emplace(key, Line()).first;
    }
    Line &line = found->second;
    line.version = version;
    line.step = step;
    line.size = size;
    line.unit = rule ? ValueNumber::read(table.value(row, pair)).unit.toString() : QString();
    line.limits = rule ? TrendLine::Limits::of(*rule, line.unit) : TrendLine::Limits();
    line.pixels.clear();
    line.runs.clear();
    line.painted = false;
    const TrendLine &trend =
        trendOf(row, pair, version, now, std::max(1, int(size.width()) / pixelsPerColumn));
    if (!trend.isEmpty())
        trend.pixelsInto(size.toSize(), line.limits, line.pixels, line.runs);
    return line;
}

const TrendLine &TrendDelegate::trendOf(int row, int pair, quint32 version,
                                        HistoryStore::Tenths now, int columns) const
{
    const bool rowRead = row == m_trendsRow && version == m_trendsVersion && now == m_trendsNow;
    if (rowRead && size_t(pair) < m_trends.size() && m_trends[size_t(pair)].columns() == columns)
        return m_trends[size_t(pair)];
    const HistoryStore::Tenths first =
        now > HistoryStore::hourTenths ? now - HistoryStore::hourTenths : HistoryStore::Tenths(0);
    const size_t pairs = size_t(std::max(m_monitor.table().pairsInUse(row), pair + 1));
    if (m_trends.size() < pairs)
        m_trends.resize(pairs, TrendLine(0, 0, 1));
    if (rowRead) {
        // Its cell is not as wide as when last drawn: this reading alone again.
        m_trends[size_t(pair)].restart(first, now, columns);
        readRow(row, first, pair);
        return m_trends[size_t(pair)];
    }
    // The view paints a row's cells one after another: one pass over the row makes all their
    // lines, each as wide as its cell was when last drawn.
    for (size_t other = 0; other < m_trends.size(); ++other) {
        const auto kept = int(other) == pair ? m_lines.end() : m_lines.find(keyOf(row, int(other)));
        m_trends[other].restart(
            first, now,
            kept == m_lines.end() ? columns
                                  : std::max(1, int(kept->second.size.width()) / pixelsPerColumn));
    }
    m_trendsRow = row;
    m_trendsVersion = version;
    m_trendsNow = now;
    readRow(row, first, -1);
    return m_trends[size_t(pair)];
}

void TrendDelegate::readRow(int row, HistoryStore::Tenths from, int only) const
{
    // Some hundred thousand points a frame where every host was heard: the lines' place and
    // count taken once, not for each point.
    TrendLine *const trends = m_trends.data();
    const auto pairs = quint32(m_trends.size());
    const auto addAll = [trends, pairs](int pair, const HistoryStore::Point &point) {
        if (quint32(pair) < pairs)
            trends[pair].add(point);
    };
    const auto addOnly = [trends, only](int pair, const HistoryStore::Point &point) {
        if (pair == only)
            trends[pair].add(point);
    };
    if (!m_pointsOf) {
        if (only < 0)
            m_monitor.history().forEachPointOfRow(row, from, addAll);
        else
            m_monitor.history().forEachPointOfRow(row, from, addOnly);
        return;
    }
    for (Points &points : m_points)
        points.clear();
    m_pointsOf(row, m_points);
    for (size_t pair = 0; pair < m_points.size(); ++pair) {
        for (const HistoryStore::Point &point : m_points[pair]) {
            if (only < 0)
                addAll(int(pair), point);
            else
                addOnly(int(pair), point);
        }
    }
}
