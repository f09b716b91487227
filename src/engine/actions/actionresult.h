#pragma once

#include <QCoreApplication>
#include <QDateTime>
#include <QString>

// How an action's last attempt went, as the Settings window and the log tell it.
class ActionResult final
{
    Q_DECLARE_TR_FUNCTIONS(ActionResult)

public:
    QDateTime at;
    bool ok = false;
    bool webhook = false;
    QString detail;
    QDateTime retryAt; // null when it is not tried again

    // "ran 14:02:11, exit 0", "sent 14:02:11, HTTP 204", "failed 14:02:11: connection
    // refused, tries again at 14:02:21".
    QString text() const;
};
