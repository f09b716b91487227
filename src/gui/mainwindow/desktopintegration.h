#pragma once

#include <QObject>
#include <QPointer>

class DesktopNotifications;
class MainForm;
class Monitor;
class TrayIcon;
struct Notification;

// The program's place on the desktop beside its window: the tray icon, where the desktop has
// a tray, and the notifications the monitor's notifier decides on, through the desktop's
// notification service or, without one, the tray's balloon. main() makes it after the window;
// closing the window still ends the program, and the icon goes with it.
class DesktopIntegration final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopIntegration)

public:
    // Both must outlive it.
    DesktopIntegration(Monitor &monitor, MainForm &window, QObject *parent = nullptr);
    ~DesktopIntegration() override;

    // Null where the desktop has no tray.
    TrayIcon *trayIcon() const { return m_tray; }

private:
    void show(const Notification &notification);
    void updateSummary();
    // The user asked for the window: it comes forward, taking the focus.
    void showWindow();
    void showProblems();

    Monitor &m_monitor;
    QPointer<MainForm> m_window;
    TrayIcon *m_tray = nullptr;
    DesktopNotifications *m_desktop = nullptr;
};
