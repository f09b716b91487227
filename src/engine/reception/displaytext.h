#pragma once

#include <QString>

#include <algorithm>

// Anyone on the network can send us text: control and direction-override characters
// must not garble or reorder what the operator sees or pastes, so they are shown as U+FFFD.
inline bool isUnsafeForDisplay(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x061c || c == 0x200e || c == 0x200f
           || (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

inline QString displayable(const QString &text)
{
    if (std::none_of(text.cbegin(), text.cend(),
                     [](QChar c) { return isUnsafeForDisplay(c.unicode()); }))
        return text;
    QString shown = text;
    for (QChar &c : shown) {
        if (isUnsafeForDisplay(c.unicode()))
            c = QChar::ReplacementCharacter;
    }
    return shown;
}
