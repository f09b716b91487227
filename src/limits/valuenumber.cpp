#include "valuenumber.h"

#include <QLocale>

#include <array>
#include <cmath>
#include <type_traits>

bool ValueNumber::readLong(QStringView number, int power, double &value) noexcept
{
    bool parsed = false;
    const double read = QLocale::c().toDouble(number, &parsed) * std::pow(10.0, power);
    if (!parsed || !std::isfinite(read))
        return false;
    value = read;
    return true;
}

std::optional<double> ValueNumber::numberOf(QAnyStringView text) noexcept
{
    return text.visit([](auto view) -> std::optional<double> {
        double value = 0;
        QStringView rest;
        if constexpr (std::is_same_v<decltype(view), QStringView>) {
            if (readValue(view, value, rest))
                return value;
            return std::nullopt;
        } else {
            // A number is ASCII whatever the text is kept as: widened where it fits a buffer
            // on the stack, as every value the table keeps does.
            std::array<char16_t, 512> wide;
            if (size_t(view.size()) > wide.size())
                return numberOf(QAnyStringView(view).toString());
            const auto *const bytes = reinterpret_cast<const uchar *>(view.data());
            for (qsizetype i = 0; i < view.size(); ++i)
                wide[size_t(i)] = bytes[i];
            if (readValue(QStringView(wide.data(), view.size()), value, rest))
                return value;
            return std::nullopt;
        }
    });
}
