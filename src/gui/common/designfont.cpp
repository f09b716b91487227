#include "designfont.h"

#include <QFontInfo>
#include <QStringList>

namespace {

bool installedAsNamed(const QFont &font)
{
    return QFontInfo(font).family().compare(font.family(), Qt::CaseInsensitive) == 0;
}

} // namespace

QFont withInstalledFace(QFont font)
{
    if (installedAsNamed(font))
        return font;
    // Windows' own dialog faces first, then those of Linux desktops.
    static constexpr QLatin1StringView sansSerif[] = {
        QLatin1StringView("Microsoft Sans Serif"),
        QLatin1StringView("Tahoma"),
        QLatin1StringView("Segoe UI"),
        QLatin1StringView("DejaVu Sans"),
        QLatin1StringView("Liberation Sans"),
        QLatin1StringView("Nimbus Sans"),
        QLatin1StringView("Arial"),
    };
    for (const QLatin1StringView face : sansSerif) {
        QFont candidate = font;
        candidate.setFamilies({QString(face)});
        if (installedAsNamed(candidate))
            return candidate;
    }
    return font;
}

QFont designFont(QFont platformFont, bool bold)
{
    platformFont.setPointSizeF(8.25);
    platformFont.setBold(bold);
    return withInstalledFace(platformFont);
}
