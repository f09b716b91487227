#pragma once

#include "engine/notify/notification.h"

#include <QObject>

// The desktop's own notifications, where it has them. Implementations never raise or
// activate a window: a click is reported, and the program decides what to show.
class DesktopNotifications : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopNotifications)

public:
    // The implementation that suits this platform; CMake chooses the file that defines it.
    static DesktopNotifications *create(QObject *parent);

    // Whether the desktop can show notifications now. Where it cannot, show() does nothing
    // and fails nowhere, and the program may fall back to its tray icon.
    virtual bool isAvailable() const = 0;
    virtual void show(const Notification &notification) = 0;

Q_SIGNALS:
    // The user clicked the notification last shown.
    void activated();
    // The notification last shown is gone, so the next one cannot replace it.
    void closed();

protected:
    explicit DesktopNotifications(QObject *parent)
        : QObject(parent)
    {
    }
};
