#pragma once

#include "engine/archive/historyarchive.h"
#include "engine/archive/rollup.h"
#include "engine/history/timescale.h"
#include "engine/history/valuescale.h"

#include <QColor>
#include <QList>
#include <QPointF>
#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

// Readings of one host drawn over a span of time, one under another on a shared time axis:
// each with its value axis and unit, its limits as coloured lines, and below it the lowest,
// highest, average and latest value of what is shown. A reading is drawn either point by
// point, with a break where it was silent, or from roll-ups, as a light band from their
// lowest to their highest with their average as the line, broken where roll-ups are missing.
// Hovering shows the time and value of the nearest point or roll-up. Where more of them than
// pixels fall in the span, each pixel column draws their extremes.
class HistoryPlot final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HistoryPlot)

public:
    struct LimitLine
    {
        double value = 0;
        QColor colour;
    };
    struct Reading
    {
        QString name;
        QString unit;
        // Oldest first, times in milliseconds since the epoch. The roll-ups, when there are
        // any, are drawn in place of the points.
        std::vector<HistoryArchive::Point> points;
        std::vector<Rollup> rollups;
        QList<LimitLine> limits;
    };

    explicit HistoryPlot(QWidget *parent = nullptr);

    // Shows readings from fromMs to toMs, in milliseconds since the epoch; roll-ups are
    // rollupStepMs apart at the closest.
    void setReadings(std::vector<Reading> readings, qint64 fromMs, qint64 toMs,
                     qint64 rollupStepMs = 0);
    const std::vector<Reading> &readings() const { return m_readings; }
    qint64 fromMs() const { return m_fromMs; }
    qint64 toMs() const { return m_toMs; }
    // A moment marked with an upright line, such as the event the window was opened for;
    // 0 for none.
    void setMark(qint64 ms);
    qint64 mark() const { return m_markMs; }
    // "Lowest 12 C · Highest 95 C · Average 45.3 C · Latest 47 C" over what is shown.
    QString summary(int reading) const;
    // What hovering at a place shows, empty where nothing is near: for tests.
    QString hoverText(QPointF at);

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
        size_t first = 0; // the points or roll-ups shown: [first, last)
        size_t last = 0;
    };
    struct Hover
    {
        int panel = -1;
        size_t item = 0; // a point, or a roll-up
    };

    void layOut();
    void drawPanel(QPainter &painter, int index) const;
    void drawLine(QPainter &painter, const Reading &reading, const Panel &panel) const;
    void drawBand(QPainter &painter, int index) const;
    void drawHover(QPainter &painter) const;
    Hover hoverAt(QPointF at) const;
    // Where the hovered point or roll-up is drawn, and what it says.
    std::pair<QPointF, QString> hovered(const Hover &hover) const;

    std::vector<Reading> m_readings;
    std::vector<std::vector<bool>> m_rollupGaps; // by reading: a break before each roll-up
    qint64 m_fromMs = 0;
    qint64 m_toMs = 0;
    qint64 m_markMs = 0;
    std::vector<Panel> m_panels;
    TimeScale m_time;
    QRectF m_timeArea;
    Hover m_hover;
    std::optional<QPointF> m_mouse; // over the plot
};
