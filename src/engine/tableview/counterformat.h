#pragma once

#include <QString>

#include <optional>

// Counters are shown in the general number format: no thousands separators, whole
// numbers without a decimal point, at most 15 significant digits, exponent form from 1E15.
QString generalNumber(double value);

// A counter's field may be typed into; only a finite, non-negative number is taken.
std::optional<double> counterFromText(const QString &text);
