#include "desktopintegration.h"

#include "engine/monitor/monitor.h"
#include "gui/common/raiseorcreate.h"
#include "gui/notify/desktopnotifications.h"
#include "gui/notify/trayicon.h"
#include "mainform.h"

#include <QSystemTrayIcon>

DesktopIntegration::DesktopIntegration(Monitor &monitor, MainForm &window, QObject *parent)
    : QObject(parent)
    , m_monitor(monitor)
    , m_window(&window)
    , m_desktop(DesktopNotifications::create(this))
{
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = new TrayIcon(monitor.notifier(), this);
        connect(m_tray, &TrayIcon::showRequested, this, &DesktopIntegration::showWindow);
        connect(m_tray, &TrayIcon::problemsOnlyRequested, this, &DesktopIntegration::showProblems);
        connect(m_tray, &TrayIcon::messageClicked, this, &DesktopIntegration::showProblems);
        connect(m_tray, &TrayIcon::exitRequested, &window, &QWidget::close);
        connect(&monitor.limits(), &LimitWatch::countsChanged, this,
                &DesktopIntegration::updateSummary);
        connect(&monitor.table().silence(), &SilenceWatch::silentHostsChanged, this,
                &DesktopIntegration::updateSummary);
        updateSummary();
    }
    connect(&monitor.notifier(), &Notifier::notify, this, &DesktopIntegration::show);
    connect(m_desktop, &DesktopNotifications::activated, this, &DesktopIntegration::showProblems);
    connect(m_desktop, &DesktopNotifications::closed, &monitor.notifier(),
            &Notifier::notificationClosed);
}

// The icon leaves the tray before the window it shows is gone.
DesktopIntegration::~DesktopIntegration()
{
    delete m_tray;
}

void DesktopIntegration::show(const Notification &notification)
{
    // Never a window raised or activated here: only the user's click does that.
    if (m_desktop->isAvailable())
        m_desktop->show(notification);
    else if (m_tray)
        m_tray->showMessage(notification.title, notification.body, notification.sound,
                            notification.critical);
}

void DesktopIntegration::updateSummary()
{
    m_tray->setSummary(m_monitor.troubleSummary());
}

void DesktopIntegration::showWindow()
{
    if (m_window)
        bringForward(m_window);
}

void DesktopIntegration::showProblems()
{
    showWindow();
    if (m_window)
        m_window->showProblemsOnly();
}
