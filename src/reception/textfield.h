#pragma once

#include <QString>
#include <QStringView>

#include <algorithm>

// Replaces field's text, keeping its storage when it is not shared and large enough:
// the per-datagram path then allocates nothing.
inline void assignText(QString &field, QStringView text)
{
    field.resize(text.size());
    std::copy(text.begin(), text.end(), field.data());
}
