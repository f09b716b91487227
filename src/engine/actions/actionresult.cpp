#include "actionresult.h"

QString ActionResult::text() const
{
    const QString time = at.toString(u"HH:mm:ss"_qs);
    if (ok)
        return (webhook ? tr("sent %1, %2") : tr("ran %1, %2")).arg(time, detail);
    QString text = tr("failed %1: %2").arg(time, detail);
    if (retryAt.isValid())
        text += tr(", tries again at %1").arg(retryAt.toString(u"HH:mm:ss"_qs));
    return text;
}
