#pragma once

#include "desktopnotifications.h"

#include <QDBusConnection>

// The freedesktop.org notification service on a D-Bus session bus, which GNOME, KDE and
// the lighter desktops all provide, with or without a tray.
class LinuxDesktopNotifications final : public DesktopNotifications
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LinuxDesktopNotifications)

public:
    LinuxDesktopNotifications(const QDBusConnection &bus, QObject *parent);
    // Takes back the notification still shown: its click would lead to a window that is gone.
    ~LinuxDesktopNotifications() override;

    bool isAvailable() const override;
    void show(const Notification &notification) override;

private Q_SLOTS:
    void onNotificationClosed(uint id, uint reason);
    void onActionInvoked(uint id, const QString &actionKey);

private:
    QDBusConnection m_bus;
    // The id the service gave the notification still shown, 0 when none is.
    uint m_shownId = 0;
};
