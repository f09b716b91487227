#pragma once

#include "desktopnotifications.h"

// A desktop without a notification service the program can call: the tray icon's
// message, where there is a tray, stands in for it.
class NoDesktopNotifications final : public DesktopNotifications
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NoDesktopNotifications)

public:
    explicit NoDesktopNotifications(QObject *parent)
        : DesktopNotifications(parent)
    {
    }

    bool isAvailable() const override { return false; }
    void show(const Notification &) override {}
};
