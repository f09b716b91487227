#include "actionrunner.h"

#include "programaction.h"
#include "webhookaction.h"

#include "engine/host/module1.h"

#include <QTimer>

ActionRunner::ActionRunner(QObject *parent)
    : ActionRunner(
        Timing(), [] { return QDateTime::currentDateTime(); }, Module1::ComputerNameText(), parent)
{
}

ActionRunner::ActionRunner(const Timing &timing, WallClock clock, const QString &receiver,
                           QObject *parent)
    : QObject(parent)
    , m_timing(timing)
    , m_clock(std::move(clock))
    , m_receiver(receiver)
{
}

ActionAttempt *ActionRunner::launchReal(const ActionRule &rule, const ActionBatch &batch,
                                        QObject *parent)
{
    if (rule.isWebhook())
        return new WebhookAction(m_network, rule.webhook, rule.headers, batch.toJson(),
                                 m_timing.webhookTimeoutMs, parent);
    return new ProgramAction(rule.run, batch, m_timing.programTimeoutMs, parent);
}

void ActionRunner::setRules(const QList<ActionRule> &rules)
{
    m_rules = rules;
    QHash<QString, QSet<QString>> told;
    for (const ActionRule &rule : rules)
        told.insert(rule.name, m_told.value(rule.name));
    m_told = std::move(told);
    std::erase_if(m_waiting, [this](const Job &job) { return !job.tried && !ruleNamed(job.name); });
    Q_EMIT changed();
}

const ActionRule *ActionRunner::ruleNamed(const QString &name) const
{
    for (const ActionRule &rule : m_rules) {
        if (rule.name == name)
            return &rule;
    }
    return nullptr;
}

void ActionRunner::take(const TroubleEvents &events)
{
    for (const ActionRule &rule : std::as_const(m_rules)) {
        QSet<QString> &told = m_told[rule.name];
        TroubleEvents chosen;
        for (const TroubleEvent &event : events) {
            if (!rule.matchesHost(event.host))
                continue;
            // Back to normal is news only to an action that was told of the trouble.
            if (event.state == Trouble::Normal) {
                if (told.remove(event.host) && rule.wants(event.state))
                    chosen.append(event);
            } else if (rule.wants(event.state)) {
                told.insert(event.host);
                chosen.append(event);
            }
        }
        if (!chosen.isEmpty())
            enqueue({rule.name, std::nullopt, ActionBatch(chosen, m_clock(), m_receiver), 0});
    }
}

void ActionRunner::tryRule(const ActionRule &rule)
{
    enqueue({rule.name, rule, ActionBatch::madeUp(m_clock(), m_receiver), 0});
}

void ActionRunner::enqueue(Job job)
{
    if (m_waiting.size() >= std::size_t(maxWaiting)) {
        const QString name = m_waiting.front().name;
        m_waiting.pop_front();
        ++m_dropped;
        Q_EMIT dropped(name);
    }
    m_waiting.push_back(std::move(job));
    startWaiting();
}

void ActionRunner::startWaiting()
{
    while (m_running < maxRunning && !m_waiting.empty()) {
        const Job job = std::move(m_waiting.front());
        m_waiting.pop_front();
        const ActionRule *const rule = job.tried ? &*job.tried : ruleNamed(job.name);
        if (!rule)
            continue;
        ActionAttempt *const attempt =
            m_launch ? m_launch(*rule, job.batch, this) : launchReal(*rule, job.batch, this);
        const bool webhook = rule->isWebhook();
        ++m_running;
        connect(attempt, &ActionAttempt::finished, this,
                [this, attempt, job, webhook](const ActionAttempt::Outcome &outcome) {
                    attempt->disconnect(this);
                    attempt->deleteLater();
                    --m_running;
                    ended(job, webhook, outcome);
                    startWaiting();
                });
        attempt->start();
    }
}

void ActionRunner::ended(const Job &job, bool webhook, const ActionAttempt::Outcome &outcome)
{
    ActionResult result;
    result.at = m_clock();
    result.ok = outcome.ok;
    result.webhook = webhook;
    result.detail = outcome.detail;
    const bool again =
        !outcome.ok && outcome.retry && !job.tried && job.attempt < m_timing.retryDelaysMs.size();
    if (again) {
        const int delay = m_timing.retryDelaysMs.at(job.attempt);
        result.retryAt = result.at.addMSecs(delay);
        Job next = job;
        ++next.attempt;
        QTimer::singleShot(delay, this, [this, next] {
            // An action taken out of force meanwhile is not tried again.
            if (ruleNamed(next.name))
                enqueue(next);
        });
    }
    m_results.insert(job.name, result);
    Q_EMIT attempted(job.name, result);
    Q_EMIT changed();
}

std::optional<ActionResult> ActionRunner::lastResult(const QString &name) const
{
    const auto found = m_results.constFind(name);
    return found == m_results.cend() ? std::nullopt : std::optional(*found);
}

int ActionRunner::failedCount() const
{
    return int(failures().size());
}

QStringList ActionRunner::failures() const
{
    QStringList failures;
    for (const ActionRule &rule : m_rules) {
        const auto found = m_results.constFind(rule.name);
        if (found != m_results.cend() && !found->ok)
            failures.append(rule.name + u' ' + found->text());
    }
    return failures;
}
