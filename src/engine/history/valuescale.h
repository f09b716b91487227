#pragma once

#include <QString>

#include <vector>

// The value axis of a plot: a range that holds the values shown, its ends on round steps
// (1, 2 or 5 times a power of ten), the ticks on those steps with their labels, and the
// unit the values were read with. Large numbers are labelled with the multipliers senders
// write (k, M, G, T), so that "3.2G" reads as it was sent.
//
// A flat line, or a single point, gets a range around it rather than none; no values at all
// give 0 to 1.
class ValueScale final
{
public:
    struct Tick
    {
        double value = 0;
        QString label; // without the unit
    };

    ValueScale() = default;
    // lowest > highest means no values.
    ValueScale(double lowest, double highest, const QString &unit, int maxTicks = 5);

    double lower() const { return m_lower; }
    double upper() const { return m_upper; }
    double step() const { return m_step; }
    const QString &unit() const { return m_unit; }
    const std::vector<Tick> &ticks() const { return m_ticks; }

    // Where value goes between bottom (at lower()) and top (at upper()), in pixels.
    double toPixel(double value, double top, double bottom) const;
    // A value as the axis labels it, to one more decimal, with the unit: "45.5 C", "3.2GB".
    QString format(double value) const;

private:
    QString label(double value, int extraDecimals) const;

    double m_lower = 0;
    double m_upper = 1;
    double m_step = 0.2;
    double m_multiplier = 1; // of the labels: 1, 1e3, 1e6, 1e9 or 1e12
    QChar m_suffix;          // k, M, G or T; null for none
    int m_decimals = 1;
    QString m_unit;
    std::vector<Tick> m_ticks;
};
