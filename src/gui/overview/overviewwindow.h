#pragma once

#include <QMainWindow>

#include <utility>
#include <vector>

class FindBar;
class Monitor;
class OverviewModel;
class OverviewOrder;
class QAction;
class QLabel;
class QTableView;
class QToolButton;
class TableSaveFlow;

// Senvo-Net Overview: every host against every reading, as large as the screen allows. It
// shows the monitor's overview model, sorted and found as the user asks; what the user
// arranges is kept in the model, so that it holds when the window is opened again.
class OverviewWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OverviewWindow)

public:
    // monitor must outlive the window.
    explicit OverviewWindow(Monitor &monitor, QWidget *parent = nullptr);
    ~OverviewWindow() override;

    QTableView *view() const { return m_view; }
    OverviewOrder *order() const { return m_order; }

    void showFindBar();
    void endFind();
    // Shows only the hosts that contain text, ignoring case; empty: every host.
    void findHost(const QString &text);
    void setProblemsFirst(bool problemsFirst);
    // The selected cells, with their column titles, as tab-separated lines.
    void copySelection() const;
    // Asks how to name the file, then saves.
    void saveAs();
    // Saves what is shown, in the background; false, having told the user why, when it cannot
    // start. saveFinished() follows a start.
    bool save(const QString &path);

    // The readings Show History opens: the current cell's host, with its selected readings.
    std::pair<int, std::vector<int>> historyReadings() const;

Q_SIGNALS:
    void saveFinished(bool saved);
    // Show History, or a double-click on a reading; tableRow as the readings table counts.
    void historyRequested(int tableRow, const std::vector<int> &pairs);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createMenus();
    void applyArrangement();
    void readArrangement();
    void showSorting();
    void showHeaderMenu(const QPoint &position);
    void showCellMenu(const QPoint &position);
    void fitNewColumns(int first, int last);
    void fitHostColumn(const QString &longest);
    void updateLeftOut();
    void updateCount();
    void updateSaving();
    void keepCurrentInView(bool before);

    Monitor &m_monitor;
    OverviewModel &m_model;
    OverviewOrder *const m_order;
    QTableView *const m_view;
    QToolButton *const m_problemsButton;
    QLabel *const m_leftOut;
    QLabel *const m_count;
    FindBar *const m_find;
    TableSaveFlow *const m_saveFlow;
    QAction *m_saveAction = nullptr;
    QAction *m_problemsAction = nullptr;
    QAction *m_showHistory = nullptr;
    bool m_arranging = false;
    bool m_currentWasInView = false;
};
