#include "valuescale.h"

#include <algorithm>
#include <cmath>

namespace {

// The smallest of 1, 2 or 5 times a power of ten that is at least rough.
double roundStep(double rough)
{
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double mantissa : {1.0, 2.0, 5.0, 10.0}) {
        if (mantissa * power >= rough * (1 - 1e-9))
            return mantissa * power;
    }
    return 10 * power;
}

} // namespace

ValueScale::ValueScale(double lowest, double highest, const QString &unit, int maxTicks)
    : m_unit(unit)
{
    if (!(lowest <= highest) || !std::isfinite(lowest) || !std::isfinite(highest)) {
        lowest = 0;
        highest = 1;
    }
    if (lowest == highest) {
        // A flat line sits in the middle, a tenth of its size from either end.
        const double around = lowest == 0 ? 1 : std::abs(lowest) / 10;
        lowest -= around;
        highest += around;
    }
    m_step = roundStep((highest - lowest) / std::max(1, maxTicks));
    m_lower = std::floor(lowest / m_step + 1e-9) * m_step;
    m_upper = std::ceil(highest / m_step - 1e-9) * m_step;
    // A rounding in the last bit (some platforms' pow() gives 0.010000000000000002) must not
    // put a value outside the plot.
    m_lower = std::min(m_lower, lowest);
    m_upper = std::max(m_upper, highest);

    const double largest = std::max(std::abs(m_lower), std::abs(m_upper));
    static constexpr struct
    {
        double multiplier;
        char16_t suffix;
    } multipliers[] = {{1e12, u'T'}, {1e9, u'G'}, {1e6, u'M'}, {1e3, u'k'}};
    if (largest >= 1e4) {
        for (const auto &[multiplier, suffix] : multipliers) {
            if (largest >= multiplier) {
                m_multiplier = multiplier;
                m_suffix = QChar(suffix);
                break;
            }
        }
    }
    m_decimals = std::max(0, int(-std::floor(std::log10(m_step / m_multiplier) + 1e-9)));
    const auto count = qsizetype(std::llround((m_upper - m_lower) / m_step));
    for (qsizetype i = 0; i <= count; ++i) {
        double value = m_lower + double(i) * m_step;
        if (std::abs(value) < m_step * 1e-9)
            value = 0; // not "-0"
        m_ticks.push_back({value, label(value, 0)});
    }
}

double ValueScale::toPixel(double value, double top, double bottom) const
{
    return bottom - (value - m_lower) / (m_upper - m_lower) * (bottom - top);
}

QString ValueScale::label(double value, int extraDecimals) const
{
    QString text = QString::number(value / m_multiplier, 'f', m_decimals + extraDecimals);
    if (text.contains(u'.')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    if (text == u"-0")
        text = u"0"_qs;
    if (!m_suffix.isNull() && text != u"0")
        text += m_suffix;
    return text;
}

QString ValueScale::format(double value) const
{
    const QString number = label(value, 1);
    if (m_unit.isEmpty())
        return number;
    // "3.2GB" as it was sent, "45 C" as most senders write it.
    return m_suffix.isNull() || number == u"0" ? number + u' ' + m_unit : number + m_unit;
}
