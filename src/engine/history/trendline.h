#pragma once

#include "engine/limits/limitstate.h"
#include "historystore.h"

#include <QPoint>
#include <QSize>
#include <QStringView>

#include <optional>
#include <vector>

struct LimitRule;

// A reading's recent points made small enough to draw in a table cell. Points are taken one
// at a time, oldest first, straight from the store; only the lowest and the highest of each
// column of time are kept, in the order they were heard, so that a cell holds at most two
// points per column whatever the history holds, and a short peak still shows.
//
// Drawn, the line spans the cell's width from first to last and its height from the lowest
// to the highest point kept in that cell (a flat line across the middle); a gap in the
// reading breaks the line. A piece touching a point beyond a limit takes that limit's level.
class TrendLine final
{
public:
    using Level = LimitState::Level;
    using Point = HistoryStore::Point;
    using Tenths = HistoryStore::Tenths;

    // The bounds that colour a line; one absent is never crossed.
    struct Limits
    {
        std::optional<double> warningAbove;
        std::optional<double> criticalAbove;
        std::optional<double> warningBelow;
        std::optional<double> criticalBelow;

        // The bounds of rule that apply to a value in unit.
        static Limits of(const LimitRule &rule, QStringView unit);
        // Strictly beyond a bound, critical before warning, as a cell's state is judged.
        Level levelOf(double value) const;

        bool operator==(const Limits &) const = default;
    };
    // Pixels of one level, joined: count of them from first.
    struct Run
    {
        Level level = Level::Normal;
        qsizetype first = 0;
        qsizetype count = 0;
    };

    // The time from first to last, both heard, cut into columns (at least one).
    TrendLine(Tenths first, Tenths last, int columns);
    // As a line made afresh, keeping the room taken: what draws many lines reuses one.
    void restart(Tenths first, Tenths last, int columns);

    // Takes points in the order heard; those outside the time are left out.
    void add(const Point &point);
    bool isEmpty() const { return m_used == 0; }
    // The points kept, oldest first.
    std::vector<Point> points() const;
    // The line one pixel wide in an area of size with its top left pixel at 0,0: the pixels
    // its pieces pass through, each pixel once, in runs of one level. Handed to a painter as
    // points, these cost far less to draw than the pieces stroked as lines.
    void pixelsInto(const QSize &size, const Limits &limits, std::vector<QPoint> &pixels,
                    std::vector<Run> &runs) const;
    int columns() const { return int(m_columns.size()); }

private:
    struct Column
    {
        Point low;
        Point high;
        bool used = false;
        bool gapFirst = false;  // the column's first point followed a gap
        bool gapInside = false; // a point after the column's first one followed a gap
    };

    void pointsInto(std::vector<Point> &kept) const;

    Tenths m_first;
    Tenths m_last;
    std::vector<Column> m_columns;
    int m_used = 0;
    // The column the last point went to, and the offsets from first where it starts and
    // the next one does; none at first.
    size_t m_column = 0;
    quint64 m_columnStart = 0;
    quint64 m_nextStart = 0;
    mutable std::vector<Point> m_kept; // room for pixelsInto()
};

// Inline: a frame that makes every line afresh adds some hundred thousand points.
inline void TrendLine::add(const Point &point)
{
    const Tenths time = point.time();
    if (time < m_first || time > m_last)
        return;
    // Points come oldest first, mostly several to a column: the column's bounds are worked
    // out when a point leaves them, not divided out for each point.
    const quint64 offset = quint64(time - m_first);
    if (offset < m_columnStart || offset >= m_nextStart) {
        const quint64 span = quint64(m_last - m_first) + 1;
        const quint64 columns = m_columns.size();
        m_column = size_t(offset * columns / span);
        m_columnStart = (m_column * span + columns - 1) / columns;
        m_nextStart = ((m_column + 1) * span + columns - 1) / columns;
    }
    Column &column = m_columns[m_column];
    if (!column.used) {
        column.low = column.high = point;
        column.used = true;
        column.gapFirst = point.gapBefore();
        ++m_used;
        return;
    }
    column.gapInside = column.gapInside || point.gapBefore();
    if (point.value() < column.low.value())
        column.low = point;
    if (point.value() > column.high.value())
        column.high = point;
}
