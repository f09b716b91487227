#pragma once

#include <QStringView>

// The English month abbreviations of a syslog timestamp, whatever the user's language.
inline QStringView monthName(int month)
{
    static constexpr char16_t names[] = u"JanFebMarAprMayJunJulAugSepOctNovDec";
    return month >= 1 && month <= 12 ? QStringView(names + 3 * (month - 1), 3) : QStringView();
}

// 1 to 12 for an abbreviation spelt exactly as monthName gives it, 0 for anything else.
inline int monthNumber(QStringView text)
{
    for (int month = 1; month <= 12; ++month) {
        if (text == monthName(month))
            return month;
    }
    return 0;
}
