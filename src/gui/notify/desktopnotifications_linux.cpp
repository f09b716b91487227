#include "desktopnotifications.h"

#include "linuxdesktopnotifications.h"

#include <QDBusConnection>

DesktopNotifications *DesktopNotifications::create(QObject *parent)
{
    return new LinuxDesktopNotifications(QDBusConnection::sessionBus(), parent);
}
