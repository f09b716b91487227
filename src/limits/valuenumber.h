#pragma once

#include <QAnyStringView>
#include <QStringView>

#include <optional>

// The number a value starts with, as senders write values ("45 C", "97%", "3.2G", "1200rpm").
//
// After any leading blanks: an optional sign, digits, optionally "." and more digits, then a
// multiplier when it follows the last digit directly (k or K a thousand, M a million, G and T
// a thousand times more each), then the unit: whatever is left, without its surrounding
// blanks. So "5MB" is 5,000,000 with unit "B" while "5 MB" is 5 with unit "MB", as a word
// after a space is far more often a unit ("5 min", "3 Threads") than a multiplier; "1200rpm"
// is 1200 rpm, as r is no multiplier. There is no exponent: "1e3" is 1 with unit "e3".
struct ValueNumber
{
    // As QStringView::trimmed(), inline: every value a rule names is read through here.
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

    static ValueNumber read(QStringView text) noexcept;
    // The number alone, read the same way from text kept as Latin-1 or UTF-16, without a
    // copy: for what reads every value as it arrives.
    static std::optional<double> numberOf(QAnyStringView text) noexcept;
};
