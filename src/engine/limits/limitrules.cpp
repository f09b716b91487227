#include "limitrules.h"

#include <QCoreApplication>

LimitRules::LimitRules(const QJsonObject &settings)
{
    const QJsonValue list = settings.value(key);
    if (list.isUndefined() || list.isNull())
        return;
    if (!list.isArray()) {
        m_errors.append(
            QCoreApplication::translate("LimitRules", "\"%1\" is not a list ([ ... ])").arg(key));
        return;
    }
    const QJsonArray array = list.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        const qsizetype errors = m_errors.size();
        m_rules.append(LimitRule::fromJson(array[i], int(i + 1), m_errors));
        const bool sound = m_errors.size() == errors;
        m_sound.append(sound);
        m_asRead.append(sound ? QJsonValue() : array[i]);
    }
    prepare();
}

LimitRules::LimitRules(const QList<LimitRule> &rules)
{
    QJsonArray array;
    for (const LimitRule &rule : rules)
        array.append(rule.toJson());
    *this = LimitRules(QJsonObject{{key, array}});
}

QJsonArray LimitRules::toJson() const
{
    QJsonArray array;
    for (qsizetype i = 0; i < m_rules.size(); ++i)
        array.append(m_sound[i] ? QJsonValue(m_rules[i].toJson()) : m_asRead[i]);
    return array;
}

void LimitRules::writeTo(QJsonObject &settings) const
{
    settings.insert(key, toJson());
}

bool LimitRules::covers(QStringView reading) const
{
    return m_readings.find(reading.trimmed()) != m_readings.end();
}

void LimitRules::prepare()
{
    for (qsizetype i = 0; i < m_rules.size(); ++i) {
        if (!m_sound[i])
            continue;
        const LimitRule &rule = m_rules[i];
        ReadingLimits &reading = m_readings[rule.reading];
        if (rule.hosts.isEmpty()) {
            if (reading.withoutHosts == none) {
                LimitRule limits = rule;
                limits.otherKeys = {};
                reading.withoutHosts = addEffective(std::move(limits));
            } else {
                m_effective[size_t(reading.withoutHosts)].fillFrom(rule);
            }
            continue;
        }
        HostRule hostRule;
        hostRule.rule = i;
        for (const QString &pattern : rule.hosts)
            hostRule.patterns.emplace_back(pattern);
        reading.hostRules.push_back(std::move(hostRule));
    }
    // Only now: a rule without hosts may have added keys to an earlier one's limits.
    for (const LimitRule &limits : m_effective)
        m_judges.emplace_back(limits);
}

int LimitRules::addEffective(LimitRule rule)
{
    rule.hosts.clear();
    m_effective.push_back(std::move(rule));
    return int(m_effective.size() - 1);
}

int LimitRules::resolve(QStringView host, QStringView reading)
{
    const auto found = m_readings.find(reading.trimmed());
    if (found == m_readings.end())
        return none;
    ReadingLimits &limits = found->second;
    if (limits.hostRules.empty())
        return limits.withoutHosts;
    std::vector<qsizetype> matched;
    for (const HostRule &hostRule : limits.hostRules) {
        for (const HostPattern &pattern : hostRule.patterns) {
            if (pattern.matches(host)) {
                matched.push_back(hostRule.rule);
                break;
            }
        }
    }
    if (matched.empty())
        return limits.withoutHosts;
    for (const auto &[rules, id] : limits.merged) {
        if (rules == matched)
            return id;
    }
    LimitRule merged = m_rules[matched.front()];
    merged.otherKeys = {};
    for (size_t i = 1; i < matched.size(); ++i)
        merged.fillFrom(m_rules[matched[i]]);
    if (limits.withoutHosts != none)
        merged.fillFrom(m_effective[size_t(limits.withoutHosts)]);
    const int id = addEffective(std::move(merged));
    m_judges.emplace_back(m_effective.back());
    limits.merged.emplace_back(std::move(matched), id);
    return id;
}
