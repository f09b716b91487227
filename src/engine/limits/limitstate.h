#pragma once

#include <QString>
#include <QStringView>

#include <bit>
#include <cstdint>

class LimitJudge;
struct LimitRule;

// The state of one reading of one host under its limits, kept small enough for one per
// cell of a full table.
//
// A value strictly beyond a bound is in that state, critical before warning; a value in
// a rule's words (ignoring case and surrounding blanks) is in that word's state. The state
// shows once "after" readings in a row are in it, and clears at once when a value comes
// back inside its bound by the margin. A value that the rule's bounds cannot judge (not a
// number, or another unit) has no state.
class LimitState final
{
public:
    enum class Level : std::uint8_t { Normal, Warning, Critical, NoState };
    enum class Direction : std::uint8_t { None, Above, Below, Word };
    enum class Reason : std::uint8_t { None, NotANumber, OtherUnit };

    Level level() const { return Level(m_level); }
    // None unless the level is Warning or Critical.
    Direction direction() const
    {
        return level() == Level::Warning || level() == Level::Critical ? Direction(m_direction)
                                                                       : Direction::None;
    }
    // None unless the level is NoState.
    Reason reason() const { return Reason(m_reason); }

    // Normal, with no reading beyond a bound counted: what most readings are most of the time.
    bool isClear() const { return std::bit_cast<std::uint32_t>(*this) == 0; }

    // Takes the reading's next value; true when what is shown (level, direction or reason)
    // changed.
    bool update(const LimitJudge &limits, QStringView value);

    // "critical, above 95", "warning, below 20%", "critical, "down"", "no state: not a
    // number", "no state: unit % expected"; empty when the level is Normal. value is the
    // reading's latest, for the word it matched.
    QString description(const LimitRule &limits, QStringView value) const;

private:
    static constexpr std::uint32_t maxHits = (1u << 13) - 1;

    std::uint32_t m_level : 2 = 0;
    std::uint32_t m_direction : 2 = 0; // of the readings in a row beyond a bound
    std::uint32_t m_reason : 2 = 0;
    std::uint32_t m_warningHits : 13 = 0; // readings in a row in warning or critical
    std::uint32_t m_criticalHits : 13 = 0;
};

static_assert(sizeof(LimitState) == 4);
