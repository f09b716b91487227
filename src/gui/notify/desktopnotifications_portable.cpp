#include "desktopnotifications.h"

#include "nodesktopnotifications.h"

DesktopNotifications *DesktopNotifications::create(QObject *parent)
{
    return new NoDesktopNotifications(parent);
}
