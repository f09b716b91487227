#pragma once

#include <QDateTime>
#include <QString>

// How a time a host or reading was heard is written wherever it is shown or saved.
inline constexpr QStringView lastHeardFormat = u"yyyy-MM-dd hh:mm:ss";

// This machine's local time; empty for a time never set.
inline QString lastHeardText(const QDateTime &heard)
{
    return heard.isValid() ? heard.toLocalTime().toString(lastHeardFormat) : QString();
}
