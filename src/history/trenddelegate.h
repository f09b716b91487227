#pragma once

#include "history/trendline.h"

#include <QStyledItemDelegate>

#include <QPolygonF>

#include <functional>
#include <unordered_map>
#include <vector>

class Monitor;
class OverviewOrder;

// Draws a faint line of each reading's last hour behind its value in the overview, scaled to
// the lowest and highest points drawn in that cell, amber or red where they were beyond the
// reading's limits. Only cells being painted read the store, each keeping at most two points
// per three pixels of its width; while the overview's trends are off nothing is read.
// A cell's line is kept once drawn and drawn again as it is until its host is heard, the
// cell changes size, a second passes or its limits change: most frames repaint a table
// whose histories did not change.
class TrendDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrendDelegate)

public:
    // Hands line the points of a reading of the table's row.
    using PointsOf = std::function<void(int row, int pair, TrendLine &line)>;
    // How many pixels of a cell's width share one column of time.
    static constexpr int pixelsPerColumn = 3;

    // Draws the cells of order, from monitor's history; both must outlive the delegate.
    TrendDelegate(Monitor &monitor, const OverviewOrder &order, QObject *parent = nullptr);

    // Reads the points from elsewhere than the monitor's history.
    void setPointsOf(PointsOf pointsOf);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

private:
    // The pieces of one colour, joined, in the coordinates of the line's area.
    struct Run
    {
        TrendLine::Level level = TrendLine::Level::Normal;
        QPolygonF points;
    };
    struct Line
    {
        quint32 version = 0;
        HistoryStore::Tenths second = 0;
        QSizeF size;
        TrendLine::Limits limits;
        std::vector<Run> runs;
    };
    // Past this many, the kept lines are dropped: those of cells no longer in view go too.
    static constexpr size_t maxLines = 4096;

    void drawTrend(QPainter *painter, const QStyleOptionViewItem &option, int row, int pair) const;
    const Line &lineOf(int row, int pair, const QSizeF &size) const;

    Monitor &m_monitor;
    const OverviewOrder &m_order;
    PointsOf m_pointsOf;
    mutable std::unordered_map<quint64, Line> m_lines; // by row and pair
};
