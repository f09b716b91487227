#pragma once

#include "hostpattern.h"
#include "limitjudge.h"
#include "limitrule.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QStringList>
#include <QStringView>

#include <deque>
#include <unordered_map>
#include <vector>

// The "limits" list of Senvo-Net.json, and the limits that follow from it for each reading
// of each host.
//
// A rule with hosts goes before the rule without hosts for the same reading, key by key;
// among several rules with hosts that match, the first in the file goes first, key by key
// the same way. A rule with an error is kept (to be shown and written back as it was) but
// not applied.
class LimitRules final
{
public:
    static constexpr QLatin1StringView key{"limits"};
    static constexpr int none = -1;

    LimitRules() = default;
    // The "limits" of a whole settings object; the other keys are left alone.
    explicit LimitRules(const QJsonObject &settings);
    // Rules as an editor holds them, checked as if read from the file.
    explicit LimitRules(const QList<LimitRule> &rules);

    const QList<LimitRule> &rules() const { return m_rules; } // every rule, in file order
    bool isApplied(qsizetype index) const { return m_sound.value(index); }
    // One message per mistake: "rule 3: "warningAbove" is not a number: "abc"".
    const QStringList &errors() const { return m_errors; }

    // Rules with an error as they were read, the others as they are held.
    QJsonArray toJson() const;
    // Replaces "limits" in a whole settings object and keeps every other key.
    void writeTo(QJsonObject &settings) const;

    // Whether any applied rule names this reading: a single hash lookup.
    bool covers(QStringView reading) const;
    // An id of the limits for this reading of this host (for effective()), the same id for
    // the same limits; none when no rule names the reading. A reading's name is matched
    // exactly, apart from surrounding spaces. Costs one hash lookup for a reading no rule
    // names; otherwise each host pattern of the reading is matched once.
    int resolve(QStringView host, QStringView reading);
    // Valid, at the same address, as long as this object is.
    const LimitRule &effective(int id) const { return m_effective[size_t(id)]; }
    // The same limits made ready for judging values; valid as effective() is.
    const LimitJudge &judge(int id) const { return m_judges[size_t(id)]; }

private:
    struct NameHash
    {
        using is_transparent = void;
        size_t operator()(QStringView name) const noexcept { return qHash(name); }
    };
    struct NameEqual
    {
        using is_transparent = void;
        bool operator()(QStringView a, QStringView b) const noexcept { return a == b; }
    };
    struct HostRule
    {
        qsizetype rule = 0; // in m_rules
        std::vector<HostPattern> patterns;
    };
    struct ReadingLimits
    {
        int withoutHosts = none; // the limits for a host that no pattern matches
        std::vector<HostRule> hostRules;
        // Which host rules matched, in order, and the id merged from them.
        std::vector<std::pair<std::vector<qsizetype>, int>> merged;
    };

    void prepare();
    int addEffective(LimitRule rule);

    QList<LimitRule> m_rules;
    QList<bool> m_sound;
    QList<QJsonValue> m_asRead; // where a rule has an error
    QStringList m_errors;
    std::unordered_map<QString, ReadingLimits, NameHash, NameEqual> m_readings;
    std::deque<LimitRule> m_effective;
    std::deque<LimitJudge> m_judges; // one per effective rule, once it is complete
};
