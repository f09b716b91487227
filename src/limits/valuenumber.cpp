#include "valuenumber.h"

#include <array>
#include <cmath>
#include <type_traits>

#include <QLocale>

namespace {

// Powers of ten that a double holds exactly: a mantissa of up to 15 digits times or divided
// by one of them is rounded once, so "0.1" and "3.2G" read as exactly as a full parser would.
constexpr std::array<double, 23> exactPowers{1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                             1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int maxExactDigits = 15;

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

int multiplierPower(QChar c)
{
    switch (c.unicode()) {
    case u'k':
    case u'K':
        return 3;
    case u'M':
        return 6;
    case u'G':
        return 9;
    case u'T':
        return 12;
    default:
        return -1;
    }
}

// A character of a view of any of the kinds QAnyStringView holds; numbers are ASCII in all.
template<typename View> QChar at(View text, qsizetype i)
{
    if constexpr (std::is_same_v<View, QStringView>)
        return text[i];
    else
        return QChar(char16_t(uchar(text.data()[i])));
}

struct Parsed
{
    double value = 0;
    qsizetype unitStart = 0; // where what follows the number starts
    bool ok = false;
};

template<typename View> Parsed parse(View text) noexcept
{
    Parsed result;
    const qsizetype size = text.size();
    qsizetype i = 0;
    while (i < size && (at(text, i) == u' ' || at(text, i) == u'\t'))
        ++i;
    const qsizetype numberStart = i;
    bool negative = false;
    if (i < size && (at(text, i) == u'+' || at(text, i) == u'-')) {
        negative = at(text, i) == u'-';
        ++i;
    }
    quint64 mantissa = 0;
    int digits = 0; // significant ones, leading zeros left out
    bool exact = true;
    const auto take = [&](QChar c) {
        const auto digit = quint64(c.unicode() - u'0');
        if (mantissa == 0 && digit == 0)
            return;
        if (++digits > maxExactDigits)
            exact = false;
        else
            mantissa = mantissa * 10 + digit;
    };
    const qsizetype integerStart = i;
    while (i < size && isDigit(at(text, i)))
        take(at(text, i++));
    if (i == integerStart)
        return result;
    int decimals = 0;
    if (i + 1 < size && at(text, i) == u'.' && isDigit(at(text, i + 1))) {
        ++i;
        while (i < size && isDigit(at(text, i))) {
            take(at(text, i++));
            if (exact)
                ++decimals;
        }
    }
    const qsizetype numberEnd = i;
    int power = 0;
    if (i < size && multiplierPower(at(text, i)) >= 0)
        power = multiplierPower(at(text, i++));

    double value = 0;
    const int exponent = exact ? power - decimals : 0;
    if (exact && exponent >= 0 && exponent < int(exactPowers.size())) {
        value = double(mantissa) * exactPowers[size_t(exponent)];
    } else if (exact && -exponent < int(exactPowers.size())) {
        value = double(mantissa) / exactPowers[size_t(-exponent)];
    } else {
        // Rare: more digits than a double holds; rounded twice, which is close enough.
        bool parsed = false;
        const QString digits =
            QAnyStringView(text).toString().sliced(numberStart, numberEnd - numberStart);
        value = QLocale::c().toDouble(digits, &parsed) * std::pow(10.0, power);
        if (!parsed || !std::isfinite(value))
            return result;
        negative = false;
    }
    result.value = negative ? -value : value;
    result.unitStart = i;
    result.ok = true;
    return result;
}

} // namespace

ValueNumber ValueNumber::read(QStringView text) noexcept
{
    ValueNumber result;
    const Parsed parsed = parse(text);
    if (!parsed.ok)
        return result;
    result.value = parsed.value;
    result.unit = trimmed(text.sliced(parsed.unitStart));
    result.ok = true;
    return result;
}

std::optional<double> ValueNumber::numberOf(QAnyStringView text) noexcept
{
    const Parsed parsed = text.visit([](auto view) { return parse(view); });
    return parsed.ok ? std::optional(parsed.value) : std::nullopt;
}
