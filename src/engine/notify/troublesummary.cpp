#include "troublesummary.h"

#include <QCoreApplication>

QString TroubleSummary::text() const
{
    auto tr = [](const char *text) { return QCoreApplication::translate("TroubleSummary", text); };
    QString text;
    if (critical > 0)
        text += tr(" \u00b7 %1 critical").arg(critical);
    if (warning > 0)
        text += tr(" \u00b7 %1 warning").arg(warning);
    if (silent > 0)
        text += tr(" \u00b7 %1 of %2 hosts silent").arg(silent).arg(hosts);
    return text;
}

Trouble TroubleSummary::worst() const
{
    if (critical > 0)
        return Trouble::Critical;
    if (warning > 0)
        return Trouble::Warning;
    return silent > 0 ? Trouble::Silent : Trouble::Normal;
}
