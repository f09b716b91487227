#pragma once

#include "history/trendline.h"

#include <QStyledItemDelegate>

#include <functional>

class Monitor;
class OverviewOrder;

// Draws a faint line of each reading's last hour behind its value in the overview, scaled to
// the lowest and highest points drawn in that cell, amber or red where they were beyond the
// reading's limits. Only cells being painted read the store, each keeping at most two points
// per three pixels of its width; while the overview's trends are off nothing is read.
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
    void drawTrend(QPainter *painter, const QStyleOptionViewItem &option, int row, int pair) const;

    Monitor &m_monitor;
    const OverviewOrder &m_order;
    PointsOf m_pointsOf;
};
