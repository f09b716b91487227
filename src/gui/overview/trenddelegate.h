#pragma once

#include "engine/history/trendline.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QStaticText>
#include <QStyledItemDelegate>

#include <array>
#include <functional>
#include <unordered_map>
#include <vector>

class Monitor;
class OverviewOrder;

// Paints the overview's cells, and a faint line of each reading's last hour behind its value,
// scaled to the lowest and highest points drawn in that cell, amber or red where they were
// beyond the reading's limits. Only cells being painted read the store, each keeping at most
// two points per three pixels of its width; while the overview's trends are off nothing is
// read.
//
// A frame paints hundreds of cells, so under Fusion (not on Windows) the plain ones (neither
// selected nor current) are painted here rather than by the style, as it would paint them:
// background, icon, text, each text laid out once and kept while it is shown. Elsewhere the
// style paints them. A cell's line is kept once drawn, as the pixels it covers painted into a
// small image of its own (4 bytes a pixel of the cell: some 5 kB for a cell 100 pixels wide),
// and that image is drawn again until its host is heard, the cell changes size, the hour
// moves on by a pixel or its limits change; a row's points are read in one pass that makes
// the lines of all its cells.
class TrendDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrendDelegate)

public:
    using Points = std::vector<HistoryStore::Point>;
    // Hands byPair[pair] the points of each reading of the table's row, oldest first; byPair
    // comes empty and may be grown. Unset, the monitor's history is read directly.
    using PointsOf = std::function<void(int row, std::vector<Points> &byPair)>;
    // How many pixels of a cell's width share one column of time.
    static constexpr int pixelsPerColumn = 3;

    // Draws the cells of order, from monitor's history; both must outlive the delegate.
    TrendDelegate(Monitor &monitor, const OverviewOrder &order, QObject *parent = nullptr);

    // Reads the points from elsewhere than the monitor's history.
    void setPointsOf(PointsOf pointsOf);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

    // How a cell of the overview's row and column looks beyond its text; invalid or null
    // where the view's own is taken.
    struct Look
    {
        QColor background;
        QColor foreground;
        QPixmap icon;
    };
    Look lookOf(int row, int column) const;
    // Gives option a look as QStyledItemDelegate gives it the model's colours and icon.
    static void applyLook(QStyleOptionViewItem *option, const Look &look);

protected:
    // The cell's colours and icon, as ReadingsLook gives them, for the style to paint.
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    struct Line
    {
        quint32 version = 0;
        qint64 step = 0; // where the hour ends, in pixels of the line's width
        QSizeF size;
        QString unit; // of the value when drawn, for the limits that apply to it
        TrendLine::Limits limits;
        std::vector<QPoint> pixels; // of all runs, in the coordinates of the line's area
        std::vector<TrendLine::Run> runs;
        // The pixels painted in colours, by level, on a clear ground; not painted until drawn.
        QImage image;
        std::array<QRgb, 3> colours{};
        bool painted = false;
    };
    // A text laid out, and as cut to fit the width it was last shown in.
    struct Text
    {
        QStaticText whole;
        int cutTo = -1;
        QStaticText cut;
    };
    // Past this many, the kept lines and texts are dropped: those no longer in view go too.
    static constexpr size_t maxLines = 4096;
    static constexpr qsizetype maxTexts = 4096;

    // Selected, current or right to left: as the style paints it.
    void paintByStyle(QPainter *painter, const QStyleOptionViewItem &option,
                      const QModelIndex &index, int row, int pair) const;
    // The line of the reading in rect; text is the colour of the value it stands behind, under
    // the plain colour beneath, if known.
    void drawTrend(QPainter *painter, const QRect &rect, const QColor &text, const QColor &under,
                   int row, int pair) const;
    Line &lineOf(int row, int pair, const QSizeF &size) const;
    static void paintImage(Line &line, const std::array<QRgb, 3> &colours);
    // The reading's points of the hour up to now, in columns; those of all the row's readings
    // are made in one pass while the row's history and now stay as they are.
    const TrendLine &trendOf(int row, int pair, quint32 version, HistoryStore::Tenths now,
                             int columns) const;
    // Adds the row's points heard at from or later to m_trends, of only that pair where it is
    // not negative.
    void readRow(int row, HistoryStore::Tenths from, int only) const;
    static quint64 keyOf(int row, int pair) { return quint64(quint32(row)) << 32 | quint32(pair); }
    const QStaticText &textOf(const QString &text, const QStyleOptionViewItem &option,
                              int width) const;
    // Whether plain cells may be painted here rather than by style.
    static bool paintsAsOwn(const QStyle &style);

    Monitor &m_monitor;
    const OverviewOrder &m_order;
    PointsOf m_pointsOf;
    mutable std::unordered_map<quint64, Line> m_lines; // by row and pair
    // The lines of the row last read, by pair, their room kept from one row to the next.
    mutable std::vector<TrendLine> m_trends;
    mutable int m_trendsRow = -1;
    mutable quint32 m_trendsVersion = 0;
    mutable HistoryStore::Tenths m_trendsNow = 0;
    mutable std::vector<Points> m_points; // room for m_pointsOf
    mutable QFont m_textFont;
    mutable QHash<QString, Text> m_texts;
};
