#include "valuenumber.h"

#include <QLocale>

#include <cmath>

bool ValueNumber::readLong(QStringView number, int power, double &value) noexcept
{
    bool parsed = false;
    const double read = QLocale::c().toDouble(number, &parsed) * std::pow(10.0, power);
    if (!parsed || !std::isfinite(read))
        return false;
    value = read;
    return true;
}
