#pragma once

#include <QStringView>
#include <QtGlobal>

#include <array>

// The number a value starts with, as senders write values ("45 C", "97%", "3.2G", "1200rpm").
//
// After any leading blanks: an optional sign, digits, optionally "." and more digits, then a
// multiplier when it follows the last digit directly (k or K a thousand, M a million, G and T
// a thousand times more each), then the unit: whatever is left, without its surrounding
// blanks. So "5MB" is 5,000,000 with unit "B" while "5 MB" is 5 with unit "MB", as a word
// after a space is far more often a unit ("5 min", "3 Threads") than a multiplier; "1200rpm"
// is 1200 rpm, as r is no multiplier. There is no exponent: "1e3" is 1 with unit "e3".
//
// Inline, as every value a rule names is read through here.
struct ValueNumber
{
    // As QStringView::trimmed().
    static QStringView trimmed(QStringView text) noexcept
    {
        const QChar *begin = text.begin();
        const QChar *end = text.end();
        while (begin < end && begin->isSpace())
            ++begin;
        while (begin < end && end[-1].isSpace())
            --end;
        return QStringView(begin, end);
    }

    double value = 0;
    QStringView unit; // part of the text read, so valid as long as that text is
    bool ok = false;  // false when the text does not start with a number

    static ValueNumber read(QStringView text) noexcept
    {
        ValueNumber result;
        QStringView rest;
        result.ok = readValue(text, result.value, rest);
        if (result.ok)
            result.unit = trimmed(rest);
        return result;
    }
    // As read(), but leaves what follows the number as it is, for a caller that may not need
    // the unit; false, and value and rest untouched, where the text starts with no number.
    static bool readValue(QStringView text, double &value, QStringView &rest) noexcept;

private:
    // Powers of ten that a double holds exactly: a mantissa of up to 15 digits times or
    // divided by one of them is rounded once, so "0.1" and "3.2G" read as exactly as a full
    // parser would.
    static constexpr std::array<double, 23> exactPowers{
        1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    static constexpr int maxExactDigits = 15;

    static bool isDigit(char16_t c) noexcept { return c >= u'0' && c <= u'9'; }
    static int multiplierPower(char16_t c) noexcept
    {
        switch (c) {
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
            return 0;
        }
    }
    // Every digit goes into the mantissa, which is used only while the significant ones,
    // leading zeros left out, fit in a double exactly.
    static const char16_t *takeDigits(const char16_t *p, const char16_t *end, quint64 &mantissa,
                                      int &digits) noexcept
    {
        if (mantissa == 0) {
            while (p < end && *p == u'0')
                ++p;
        }
        const char16_t *const significant = p;
        for (; p < end; ++p) {
            const auto digit = quint64(*p) - u'0';
            if (digit > 9)
                break;
            mantissa = mantissa * 10 + digit;
        }
        digits += int(p - significant);
        return p;
    }
    // More digits than a double holds: rounded twice, which is close enough.
    static bool readLong(QStringView number, int power, double &value) noexcept;
};

Q_ALWAYS_INLINE bool ValueNumber::readValue(QStringView text, double &value,
                                            QStringView &rest) noexcept
{
    const char16_t *p = text.utf16();
    const char16_t *const end = p + text.size();
    while (p < end && (*p == u' ' || *p == u'\t'))
        ++p;
    const char16_t *const numberStart = p;
    bool negative = false;
    if (p < end && (*p == u'+' || *p == u'-')) {
        negative = *p == u'-';
        ++p;
    }
    quint64 mantissa = 0;
    int digits = 0;
    const char16_t *const integerStart = p;
    p = takeDigits(p, end, mantissa, digits);
    if (p == integerStart)
        return false;
    int decimals = 0;
    if (end - p > 1 && p[0] == u'.' && isDigit(p[1])) {
        const char16_t *const fraction = ++p;
        p = takeDigits(p, end, mantissa, digits);
        decimals = int(p - fraction);
    }
    const char16_t *const numberEnd = p;
    const int power = p < end ? multiplierPower(*p) : 0;
    if (power > 0)
        ++p;

    const int exponent = power - decimals;
    if (digits > maxExactDigits || -exponent >= int(exactPowers.size())) {
        if (!readLong(QStringView(numberStart, numberEnd), power, value))
            return false;
    } else {
        const double magnitude = exponent >= 0 ? double(mantissa) * exactPowers[size_t(exponent)]
                                               : double(mantissa) / exactPowers[size_t(-exponent)];
        value = negative ? -magnitude : magnitude;
    }
    rest = QStringView(p, end);
    return true;
}
