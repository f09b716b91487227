#pragma once

#include "engine/tableview/tablefullnotice.h"
#include "gui/events/eventswindow.h"
#include "gui/overview/overviewwindow.h"
#include "gui/settings/frmoptions.h"
#include "gui/settings/settingswindow.h"

#include <QDialog>
#include <QMainWindow>
#include <QPointer>

#include <vector>

class CounterFields;
class HistoryWindow;
class HostFind;
class Monitor;
class QAction;
class ReadingsView;
class StatusLine;
class TableSaveFlow;

// The one main window: counters, the readings table and the menus, over the monitor that
// receives the readings.
class MainForm final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainForm)

public:
    // Limits of the window's outer size, and the margins the table leaves, in twips.
    static constexpr double minimumWidth = 5000;
    static constexpr double maximumWidth = 10575;
    static constexpr double minimumHeight = 1000;
    static constexpr double maximumHeight = 5000;
    static constexpr double tableWidthMargin = 325;
    static constexpr double tableHeightMargin = 900;

    // Shows what monitor receives; monitor must outlive the window.
    explicit MainForm(Monitor &monitor, QWidget *parent = nullptr);
    ~MainForm() override;

    frmOptions *options() const { return m_options; }
    QDialog *about() const { return m_about; }
    OverviewWindow *overview() const { return m_overview; }
    EventsWindow *events() const { return m_events; }
    SettingsWindow *settings() const { return m_settings; }
    // What the status line tells about the receiver.
    QString listeningStatus() const;
    QString listeningStatusTip() const;

    void showOptions();
    void showAbout();
    // Opens the overview, or brings it forward when it is open.
    void showOverview();
    // The same for the events.
    void showEvents();
    // One Settings window at a time, at the page of that objectName when there is one.
    void showSettings(const QString &page = {});

    // Shows only the hosts that contain text, ignoring case; empty: every host.
    void findHost(const QString &text);
    void showFindBar();
    // Opens the find bar showing only the hosts in trouble.
    void showProblemsOnly();
    void endFind();
    // Asks how to name the file, then saves.
    void saveTableAs();
    // Saves the hosts shown to a CSV file, in the background; false, having told the user
    // why, when it cannot start. saveFinished() follows a start.
    bool saveTable(const QString &path);
    // Asks first; the counters stay.
    void clearTable();
    // Opens the history of these readings of the table's row, or raises the window that
    // shows them.
    HistoryWindow *showHistory(int tableRow, const std::vector<int> &pairs);

Q_SIGNALS:
    void saveFinished(bool saved);

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void Form_Load();
    void createMenus();
    void createViewMenu();
    void createOptions();
    void afterRemoval();
    void updateSaving();
    void updateCounters();
    void placeStatus();
    void unloadOptions();

    Monitor &m_monitor;
    TableFullNotice m_tableFull;
    QPointer<frmOptions> m_options;
    QPointer<QDialog> m_about;
    QPointer<OverviewWindow> m_overview;
    QPointer<EventsWindow> m_events;
    QPointer<SettingsWindow> m_settings;
    StatusLine *m_status = nullptr;
    CounterFields *m_counters = nullptr;
    ReadingsView *m_grid = nullptr;
    HostFind *m_find = nullptr;
    QAction *m_saveAction = nullptr;
    QAction *m_clearAction = nullptr;
    TableSaveFlow *m_saveFlow = nullptr;
    bool m_unloading = false;
};
