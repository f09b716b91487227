#pragma once

#include "engine/archive/historyarchive.h"
#include "engine/archive/rollup.h"
#include "engine/history/historyrange.h"
#include "engine/limits/limitrule.h"
#include "historyplot.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>
#include <QTimer>

#include <optional>
#include <vector>

class Monitor;
class QButtonGroup;
class QTreeWidget;

// "CPU on host0007 · Senvo-Net History": readings of one host over time. Readings with
// numbers are plotted one under another; a reading that reports words lists its last changes
// instead. The last ten minutes and the last hour come from the history store in memory, with
// the hour's points from before start-up read from the archive; the last day, week, month and
// all that is kept come from the archive's roll-ups, or from memory when it has none. New
// points are drawn as the table publishes them, a few times a second at most, and the time
// axis moves on at each tick. The window follows its host when rows are removed above it,
// and says so when the host itself goes.
class HistoryWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HistoryWindow)

public:
    // Drawn at most this often as readings arrive.
    static constexpr int redrawMs = 250;
    // Roll-ups are read again at most this often while time moves on: a pixel of a day is
    // about two minutes.
    static constexpr qint64 rollupsReadMs = 10'000;

    // Shows pairs of row of monitor's table; monitor must outlive the window.
    HistoryWindow(Monitor &monitor, int row, std::vector<int> pairs, QWidget *parent = nullptr);

    int row() const { return m_row; }
    const std::vector<int> &pairs() const { return m_pairs; }
    HistoryPlot *plot() const { return m_plot; }
    HistoryRange::Choice range() const { return m_range; }
    void setRange(HistoryRange::Choice range);
    // Shows a range that holds the moment ms (since the epoch) and marks it.
    void showMoment(qint64 ms);

    // Writes what is plotted, over the range shown, to path, whole or not at all; false,
    // having told the user why, when it cannot.
    bool saveHistory(const QString &path);

private:
    void refresh();
    void refreshSoon(const QModelIndex &topLeft, const QModelIndex &bottomRight);
    void followRows(const std::vector<int> &newRows);
    void saveAs();
    // The limits that apply to each reading, as the rules now say.
    void updateLimits();
    QList<HistoryPlot::LimitLine> limitLines(size_t index) const;
    // This machine's time now, as the history's clock reads it.
    qint64 nowMs() const;
    // The roll-ups of each reading from fromMs, read again when they are old.
    void readRollups(qint64 fromMs, qint64 toMs);
    // The points of each reading from before start-up, read once.
    void readEarlier();

    Monitor &m_monitor;
    int m_row;
    const std::vector<int> m_pairs;
    QString m_host;
    std::vector<QString> m_units;                   // the last unit each reading had, by m_pairs
    std::vector<std::optional<LimitRule>> m_limits; // by m_pairs
    HistoryPlot *const m_plot;
    QTreeWidget *const m_words;
    QButtonGroup *const m_ranges;
    QAction *m_save = nullptr;
    QTimer m_redraw;
    quint32 m_version = ~quint32(0); // of the host's history, as last shown
    QString m_folder;
    HistoryRange::Choice m_range = HistoryRange::Hour;
    std::vector<std::vector<HistoryArchive::Point>> m_earlier; // by m_pairs, once read
    bool m_earlierRead = false;
    std::vector<std::vector<Rollup>> m_rollups; // by m_pairs, of m_rollupsRange
    std::optional<HistoryRange::Choice> m_rollupsRange;
    QElapsedTimer m_rollupsAge;
};
