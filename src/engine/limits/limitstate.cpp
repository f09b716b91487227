#include "limitstate.h"

#include "limitjudge.h"
#include "limitrule.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

using Level = LimitState::Level;
using Direction = LimitState::Direction;
using Reason = LimitState::Reason;

QString tr(const char *text)
{
    return QCoreApplication::translate("LimitState", text);
}

const QString *matchingWord(const std::optional<QStringList> &words, QStringView value)
{
    if (!words)
        return nullptr;
    const auto found = std::find_if(words->begin(), words->end(), [value](const QString &word) {
        return value.compare(word, Qt::CaseInsensitive) == 0;
    });
    return found == words->end() ? nullptr : &*found;
}

const LimitRule::Bound *boundOf(const LimitRule &limits, Level level, Direction direction)
{
    const std::optional<LimitRule::Bound> &bound =
        level == Level::Critical
            ? (direction == Direction::Above ? limits.criticalAbove : limits.criticalBelow)
            : (direction == Direction::Above ? limits.warningAbove : limits.warningBelow);
    return bound ? &*bound : nullptr;
}

QString expectedUnit(const LimitRule &limits)
{
    for (const auto *bound : {&limits.criticalAbove, &limits.criticalBelow, &limits.warningAbove,
                              &limits.warningBelow}) {
        if (*bound && !(*bound)->unit.isEmpty())
            return (*bound)->unit;
    }
    return {};
}

} // namespace

bool LimitState::update(const LimitJudge &limits, QStringView value)
{
    const Level shownLevel = level();
    const Direction shownDirection = direction();
    const Reason shownReason = reason();
    const LimitJudge::Verdict verdict = limits.judge(value, shownLevel, shownDirection);
    // Most values are normal, and were before: nothing to count.
    if (verdict.level == Level::Normal && verdict.reason == Reason::None && m_level == 0
        && m_reason == 0 && m_warningHits == 0 && m_direction == 0)
        return false;

    if (verdict.level == Level::NoState || verdict.level == Level::Normal) {
        m_direction = std::uint32_t(Direction::None);
        m_warningHits = 0;
        m_criticalHits = 0;
        m_level = std::uint32_t(verdict.level);
    } else {
        // Readings beyond one bound and then its opposite are not one run.
        if (Direction(m_direction) != verdict.direction) {
            m_warningHits = 0;
            m_criticalHits = 0;
            m_direction = std::uint32_t(verdict.direction);
        }
        m_warningHits = std::min<std::uint32_t>(m_warningHits + 1, maxHits);
        m_criticalHits = verdict.level == Level::Critical
                             ? std::min<std::uint32_t>(m_criticalHits + 1, maxHits)
                             : 0;
        const auto after = std::uint32_t(limits.after());
        m_level = std::uint32_t(m_criticalHits >= after  ? Level::Critical
                                : m_warningHits >= after ? Level::Warning
                                                         : Level::Normal);
    }
    m_reason = std::uint32_t(verdict.reason);
    return level() != shownLevel || direction() != shownDirection || reason() != shownReason;
}

QString LimitState::description(const LimitRule &limits, QStringView value) const
{
    switch (level()) {
    case Level::Normal:
        return {};
    case Level::NoState:
        if (reason() == Reason::OtherUnit)
            return tr("no state: unit %1 expected").arg(expectedUnit(limits));
        return tr("no state: not a number");
    case Level::Warning:
    case Level::Critical:
        break;
    }
    const QString state = level() == Level::Critical ? tr("critical") : tr("warning");
    if (direction() == Direction::Word) {
        const QStringView trimmed = value.trimmed();
        const QString *word = matchingWord(
            level() == Level::Critical ? limits.criticalText : limits.warningText, trimmed);
        return tr("%1, \"%2\"").arg(state, word ? *word : trimmed.toString());
    }
    const LimitRule::Bound *bound = boundOf(limits, level(), direction());
    const QString text = bound ? bound->text : QString();
    return direction() == Direction::Above ? tr("%1, above %2").arg(state, text)
                                           : tr("%1, below %2").arg(state, text);
}
