#include "trendline.h"

#include "engine/limits/limitrule.h"

#include <algorithm>
#include <cstdlib>

TrendLine::Limits TrendLine::Limits::of(const LimitRule &rule, QStringView unit)
{
    const auto take = [unit](const std::optional<LimitRule::Bound> &bound) {
        return bound && bound->ok && bound->appliesTo(unit) ? std::optional(bound->value)
                                                            : std::nullopt;
    };
    return {take(rule.warningAbove), take(rule.criticalAbove), take(rule.warningBelow),
            take(rule.criticalBelow)};
}

TrendLine::Level TrendLine::Limits::levelOf(double value) const
{
    if ((criticalAbove && value > *criticalAbove) || (criticalBelow && value < *criticalBelow))
        return Level::Critical;
    if ((warningAbove && value > *warningAbove) || (warningBelow && value < *warningBelow))
        return Level::Warning;
    return Level::Normal;
}

TrendLine::TrendLine(Tenths first, Tenths last, int columns)
    : m_first(first)
    , m_last(std::max(first, last))
    , m_columns(size_t(std::max(columns, 1)))
{
}

void TrendLine::restart(Tenths first, Tenths last, int columns)
{
    m_first = first;
    m_last = std::max(first, last);
    m_columns.assign(size_t(std::max(columns, 1)), Column());
    m_used = 0;
    m_column = 0;
    m_columnStart = m_nextStart = 0;
}

std::vector<TrendLine::Point> TrendLine::points() const
{
    std::vector<Point> kept;
    pointsInto(kept);
    return kept;
}

void TrendLine::pointsInto(std::vector<Point> &kept) const
{
    kept.clear();
    kept.reserve(size_t(m_used) * 2);
    for (const Column &column : m_columns) {
        if (!column.used)
            continue;
        // The first kept stands for the column's start: it breaks the line where the
        // column's first point did, the second where any later point did.
        const bool lowFirst = column.low.time() <= column.high.time();
        const Point &early = lowFirst ? column.low : column.high;
        const Point &late = lowFirst ? column.high : column.low;
        kept.emplace_back(early.time(), early.value(), column.gapFirst);
        if (late.time() != early.time() || late.value() != early.value())
            kept.emplace_back(late.time(), late.value(), column.gapInside);
    }
}

void TrendLine::pixelsInto(const QSize &size, const Limits &limits, std::vector<QPoint> &pixels,
                           std::vector<Run> &runs) const
{
    pixels.clear();
    runs.clear();
    std::vector<Point> &kept = m_kept;
    pointsInto(kept);
    if (kept.empty() || size.isEmpty())
        return;
    // Time across from the first pixel to the last, value up from the lowest to the highest (a
    // flat line across the middle).
    const auto [low, high] =
        std::minmax_element(kept.begin(), kept.end(),
                            [](const Point &a, const Point &b) { return a.value() < b.value(); });
    const double lowest = low->value();
    const double range = double(high->value()) - lowest;
    const double span = double(m_last - m_first);
    const double height = size.height() - 1;
    // Pixels per tenth and per unit of value, worked out once.
    const double across = span > 0 ? (size.width() - 1) / span : 0;
    const double up = range > 0 ? height / range : 0;
    const double flat = range > 0 ? height : height / 2;
    const auto place = [&](const Point &point) {
        return QPoint(qRound(double(point.time() - m_first) * across),
                      qRound(flat - (double(point.value()) - lowest) * up));
    };
    const auto stroke = [&pixels, &runs](QPoint from, QPoint to, Level level) {
        // Each pixel once: a piece's first is mostly the one before's last.
        const bool joined = !pixels.empty() && pixels.back() == from;
        if (runs.empty() || runs.back().level != level) {
            if (joined && from == to)
                return;
            runs.push_back({level, qsizetype(pixels.size()), 0});
        }
        // Bresenham's: the pixels a one pixel wide line without smoothing covers.
        const int dx = std::abs(to.x() - from.x());
        const int dy = -std::abs(to.y() - from.y());
        const int stepX = from.x() < to.x() ? 1 : -1;
        const int stepY = from.y() < to.y() ? 1 : -1;
        int error = dx + dy;
        if (!joined)
            pixels.push_back(from);
        while (from != to) {
            const int twice = 2 * error;
            if (twice >= dy) {
                error += dy;
                from.rx() += stepX;
            }
            if (twice <= dx) {
                error += dx;
                from.ry() += stepY;
            }
            pixels.push_back(from);
        }
        runs.back().count = qsizetype(pixels.size()) - runs.back().first;
    };
    QPoint at = place(kept[0]);
    Level level = limits.levelOf(kept[0].value());
    for (size_t i = 0; i < kept.size(); ++i) {
        const bool joinedBefore = i > 0 && !kept[i].gapBefore();
        const bool joinedAfter = i + 1 < kept.size() && !kept[i + 1].gapBefore();
        QPoint next;
        Level nextLevel = Level::Normal;
        if (i + 1 < kept.size()) {
            next = place(kept[i + 1]);
            nextLevel = limits.levelOf(kept[i + 1].value());
        }
        if (joinedAfter)
            stroke(at, next, std::max(level, nextLevel));
        else if (!joinedBefore)
            stroke(at, at, level);
        at = next;
        level = nextLevel;
    }
}
