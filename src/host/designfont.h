#pragma once

#include <QFont>

// The windows were laid out for a small 8.25-point face. The platform's own family at that
// size keeps the look of the platform while the texts still fit their places.
inline QFont designFont(QFont platformFont, bool bold)
{
    platformFont.setPointSizeF(8.25);
    platformFont.setBold(bold);
    return platformFont;
}
