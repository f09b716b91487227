#pragma once

#include "engine/history/historystore.h"
#include "engine/history/timescale.h"
#include "engine/history/valuescale.h"

#include <QColor>
#include <QList>
#include <QPointF>
#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

// Readings of one host drawn over time, one under another on a shared time axis: each with
// its value axis and unit, its limits as coloured lines, a break where it was silent, and
// below it the lowest, highest, average and latest value of what is shown. Hovering shows
// the time and value of the nearest point. Only the points in the range chosen are looked
// at; where more of them than pixels fall in it, each pixel column draws their extremes.
class HistoryPlot final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HistoryPlot)

public:
    enum class Range { TenMinutes, Hour, All };
    struct LimitLine
    {
        double value = 0;
        QColor colour;
    };
    struct Reading
    {
        QString name;
        QString unit;
        std::vector<HistoryStore::Point> points; // oldest first
        QList<LimitLine> limits;
    };

    explicit HistoryPlot(QWidget *parent = nullptr);

    // now: the history's clock at present; originMs: this machine's time, in milliseconds
    // since the epoch, when that clock read 0.
    void setReadings(std::vector<Reading> readings, HistoryStore::Tenths now, qint64 originMs);
    const std::vector<Reading> &readings() const { return m_readings; }
    void setRange(Range range);
    Range range() const { return m_range; }
    // The span shown, on the history's clock.
    HistoryStore::Tenths firstShown() const;
    // "Lowest 12 C · Highest 95 C · Average 45.3 C · Latest 47 C" over the points shown.
    QString summary(int reading) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    struct Panel
    {
        QRectF area; // where the line goes
        ValueScale scale;
        size_t first = 0; // the points shown: [first, last)
        size_t last = 0;
    };
    struct Hover
    {
        int panel = -1;
        size_t point = 0;
    };

    void layOut();
    // The time of a point in milliseconds since the epoch.
    qint64 msecs(HistoryStore::Tenths time) const { return m_originMs + qint64(time) * 100; }
    void drawPanel(QPainter &painter, int index) const;
    void drawLine(QPainter &painter, const Reading &reading, const Panel &panel) const;
    void drawHover(QPainter &painter) const;
    Hover hoverAt(QPointF at) const;

    std::vector<Reading> m_readings;
    HistoryStore::Tenths m_now = 0;
    qint64 m_originMs = 0;
    Range m_range = Range::Hour;
    std::vector<Panel> m_panels;
    TimeScale m_time;
    QRectF m_timeArea;
    Hover m_hover;
    std::optional<QPointF> m_mouse; // over the plot
};
