#pragma once

#include "limitstate.h"

#include "engine/reception/valuenumber.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <optional>

struct LimitRule;

// The limits of one reading made ready for its values: the bounds that are set, in the order
// they are tried, with the margins worked out, and the words, so that judging a value reads
// no optional key and allocates nothing. Made once per set of rules, not per value.
class LimitJudge final
{
public:
    using Level = LimitState::Level;
    using Direction = LimitState::Direction;
    using Reason = LimitState::Reason;

    struct Verdict
    {
        Level level = Level::Normal;
        Direction direction = Direction::None;
        Reason reason = Reason::None;
    };

    explicit LimitJudge(const LimitRule &limits);

    // The state of one value on its own. A bound the shown state is already beyond holds
    // until the value comes back inside it by the margin; any other is crossed only strictly.
    // Inline, as every value a rule names comes this way.
    Verdict judge(QStringView value, Level shown, Direction shownDirection) const;
    // Whether a value leaves a reading shown normal, with nothing counted, as it is: a number
    // inside every bound. Decided from the number alone, so false wherever words or units
    // take part; judge() then decides. isNumber and number as ValueNumber reads the value.
    bool keepsNormal(bool isNumber, double number) const;
    int after() const { return m_after; }

private:
    // A word of the rule's, ignoring case and surrounding blanks.
    std::optional<Verdict> judgeWords(QStringView value) const;

    struct Bound
    {
        double strict = 0; // crossed beyond this while not shown
        double held = 0;   // while shown, until back inside this
        QString unit;      // empty: any unit
        Level level = Level::Normal;
        Direction direction = Direction::None;
    };

    std::array<Bound, 4> m_bounds; // critical before warning, above before below
    int m_boundCount = 0;
    bool m_anyUnit = true; // no bound names a unit
    QStringList m_criticalWords;
    QStringList m_warningWords;
    bool m_hasWords = false;
    bool m_numbersOnly = false; // bounds without units, and no words
    double m_normalLow = 0;     // the highest bound below, or -infinity
    double m_normalHigh = 0;    // the lowest bound above, or infinity
    int m_after = 1;
};

Q_ALWAYS_INLINE bool LimitJudge::keepsNormal(bool isNumber, double number) const
{
    return m_numbersOnly && isNumber && number >= m_normalLow && number <= m_normalHigh;
}

Q_ALWAYS_INLINE LimitJudge::Verdict LimitJudge::judge(QStringView value, Level shown,
                                                      Direction shownDirection) const
{
    if (m_hasWords) {
        if (const std::optional<Verdict> word = judgeWords(value))
            return *word;
    }
    if (m_boundCount == 0)
        return {};
    // Read as it stands, which skips blanks; trimmed first only where that fails, as other
    // spaces may lead.
    double number = 0;
    QStringView rest;
    if (!ValueNumber::readValue(value, number, rest)
        && !ValueNumber::readValue(ValueNumber::trimmed(value), number, rest))
        return {Level::NoState, Direction::None, Reason::NotANumber};
    // The unit only where a bound asks for one.
    const QStringView unit = m_anyUnit ? QStringView() : ValueNumber::trimmed(rest);

    bool judged = false;
    for (int i = 0; i < m_boundCount; ++i) {
        const Bound &bound = m_bounds[size_t(i)];
        if (!bound.unit.isEmpty() && unit.compare(bound.unit, Qt::CaseInsensitive) != 0)
            continue;
        judged = true;
        const bool held =
            shown != Level::NoState && shown >= bound.level && shownDirection == bound.direction;
        const double limit = held ? bound.held : bound.strict;
        if (bound.direction == Direction::Above ? number > limit : number < limit)
            return {bound.level, bound.direction};
    }
    if (!judged)
        return {Level::NoState, Direction::None, Reason::OtherUnit};
    return {};
}
