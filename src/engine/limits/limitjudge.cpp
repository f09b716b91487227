#include "limitjudge.h"

#include "limitrule.h"

#include "engine/reception/valuenumber.h"

#include <algorithm>
#include <limits>
#include <optional>

LimitJudge::LimitJudge(const LimitRule &limits)
    : m_criticalWords(limits.criticalText.value_or(QStringList()))
    , m_warningWords(limits.warningText.value_or(QStringList()))
    , m_hasWords(!m_criticalWords.isEmpty() || !m_warningWords.isEmpty())
    , m_after(limits.afterOrDefault())
{
    const auto add = [&](const std::optional<LimitRule::Bound> &bound, Level level,
                         Direction direction) {
        if (!bound)
            return;
        const double margin = limits.marginFor(*bound);
        Bound &added = m_bounds[size_t(m_boundCount++)];
        added.strict = bound->value;
        added.held = direction == Direction::Above ? bound->value - margin : bound->value + margin;
        added.unit = bound->unit;
        m_anyUnit = m_anyUnit && bound->unit.isEmpty();
        added.level = level;
        added.direction = direction;
    };
    add(limits.criticalAbove, Level::Critical, Direction::Above);
    add(limits.criticalBelow, Level::Critical, Direction::Below);
    add(limits.warningAbove, Level::Warning, Direction::Above);
    add(limits.warningBelow, Level::Warning, Direction::Below);
    m_numbersOnly = !m_hasWords && m_anyUnit && m_boundCount > 0;
    m_normalLow = -std::numeric_limits<double>::infinity();
    m_normalHigh = std::numeric_limits<double>::infinity();
    for (int i = 0; i < m_boundCount; ++i) {
        const Bound &bound = m_bounds[size_t(i)];
        if (bound.direction == Direction::Above)
            m_normalHigh = std::min(m_normalHigh, bound.strict);
        else
            m_normalLow = std::max(m_normalLow, bound.strict);
    }
}

std::optional<LimitJudge::Verdict> LimitJudge::judgeWords(QStringView value) const
{
    const QStringView trimmed = ValueNumber::trimmed(value);
    const auto matches = [trimmed](const QStringList &words) {
        return std::any_of(words.begin(), words.end(), [trimmed](const QString &word) {
            return trimmed.compare(word, Qt::CaseInsensitive) == 0;
        });
    };
    if (matches(m_criticalWords))
        return Verdict{Level::Critical, Direction::Word};
    if (matches(m_warningWords))
        return Verdict{Level::Warning, Direction::Word};
    return std::nullopt;
}
