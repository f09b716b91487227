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

TroubleSummary::Worst TroubleSummary::worst() const
{
    if (critical > 0)
        return Worst::Critical;
    if (warning > 0)
        return Worst::Warning;
    return silent > 0 ? Worst::Silent : Worst::None;
}
