#pragma once

#include "engine/limits/limitrule.h"
#include "historyplot.h"

#include <QMainWindow>
#include <QString>
#include <QTimer>

#include <optional>
#include <vector>

class Monitor;
class QTreeWidget;

// "CPU on host0007 · Senvo-Net History": readings of one host over time, as the history
// store keeps them. Readings with numbers are plotted one under another; a reading that
// reports words lists its last changes instead. New points are drawn as the table publishes
// them, a few times a second at most, and the time axis moves on at each tick. The window
// follows its host when rows are removed above it, and says so when the host itself goes.
class HistoryWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HistoryWindow)

public:
    // Drawn at most this often as readings arrive.
    static constexpr int redrawMs = 250;

    // Shows pairs of row of monitor's table; monitor must outlive the window.
    HistoryWindow(Monitor &monitor, int row, std::vector<int> pairs, QWidget *parent = nullptr);

    int row() const { return m_row; }
    const std::vector<int> &pairs() const { return m_pairs; }
    HistoryPlot *plot() const { return m_plot; }

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

    Monitor &m_monitor;
    int m_row;
    const std::vector<int> m_pairs;
    QString m_host;
    std::vector<QString> m_units;                   // the last unit each reading had, by m_pairs
    std::vector<std::optional<LimitRule>> m_limits; // by m_pairs
    HistoryPlot *const m_plot;
    QTreeWidget *const m_words;
    QAction *m_save = nullptr;
    QTimer m_redraw;
    quint32 m_version = ~quint32(0); // of the host's history, as last shown
    QString m_folder;
};
