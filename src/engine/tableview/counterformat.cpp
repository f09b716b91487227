#include "counterformat.h"

#include <cmath>

QString generalNumber(double value)
{
    return QString::number(value, 'G', 15);
}

std::optional<double> counterFromText(const QString &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0)
        return std::nullopt;
    return value;
}
