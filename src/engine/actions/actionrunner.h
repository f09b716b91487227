#pragma once

#include "actionattempt.h"
#include "actionbatch.h"
#include "actionresult.h"
#include "actionrule.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSet>
#include <QString>

#include <deque>
#include <functional>
#include <optional>

// Runs the actions in force on each gathered batch: one attempt per batch per action, with
// the hosts that the action's "when" and "hosts" choose, on the event loop and never in the
// way of reception. A few run at once and the rest wait their turn; beyond a hundred waiting
// the oldest is dropped. A webhook that fails in a way that may pass is tried again, later
// and later, a few times. Each action's last result is kept.
class ActionRunner final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ActionRunner)

public:
    struct Timing
    {
        int programTimeoutMs = 30'000;
        int webhookTimeoutMs = 10'000;
        // After the first failure, the second and so on; one more try for each.
        QList<int> retryDelaysMs{10'000, 60'000, 300'000};
    };
    using WallClock = std::function<QDateTime()>;
    // Makes, without starting it, the attempt of rule with batch, owned by parent.
    using Launch = std::function<ActionAttempt *(const ActionRule &rule, const ActionBatch &batch,
                                                 QObject *parent)>;

    static constexpr int maxRunning = 4;
    static constexpr int maxWaiting = 100;

    // Real programs and webhooks, on the local clock, for this computer.
    explicit ActionRunner(QObject *parent = nullptr);
    // receiver names this computer in the batches.
    ActionRunner(const Timing &timing, WallClock clock, const QString &receiver,
                 QObject *parent = nullptr);

    // Instead of real programs and webhooks.
    void setLaunch(Launch launch) { m_launch = std::move(launch); }

    // The sound actions to run from now on; batches waiting for an action no longer among them
    // are dropped, and one that keeps its name runs as it is now set.
    void setRules(const QList<ActionRule> &rules);
    const QList<ActionRule> &rules() const { return m_rules; }

    // A gathered batch: hands each action the hosts it wants.
    void take(const TroubleEvents &events);
    // Sends a made-up batch to rule, in force or not, once.
    void tryRule(const ActionRule &rule);

    // The last attempt of the action of that name, a try included.
    std::optional<ActionResult> lastResult(const QString &name) const;
    // Actions in force whose last attempt failed.
    int failedCount() const;
    // Each of them, "pager failed 14:02:11: exit 3".
    QStringList failures() const;
    int runningCount() const { return m_running; }
    int waitingCount() const { return int(m_waiting.size()); }
    // Batches dropped because too many were waiting.
    qint64 droppedCount() const { return m_dropped; }

Q_SIGNALS:
    // An attempt of the action of that name ended.
    void attempted(const QString &name, const ActionResult &result);
    // A batch for that action was dropped to make room.
    void dropped(const QString &name);
    // Other actions are in force, or an attempt ended: failedCount() may differ.
    void changed();

private:
    struct Job
    {
        QString name;
        std::optional<ActionRule> tried; // a try, of this rule rather than the one in force
        ActionBatch batch;
        int attempt = 0;
    };

    ActionAttempt *launchReal(const ActionRule &rule, const ActionBatch &batch, QObject *parent);
    const ActionRule *ruleNamed(const QString &name) const;
    void enqueue(Job job);
    void startWaiting();
    void ended(const Job &job, bool webhook, const ActionAttempt::Outcome &outcome);

    Timing m_timing;
    WallClock m_clock;
    QString m_receiver;
    Launch m_launch;
    QNetworkAccessManager m_network;
    QList<ActionRule> m_rules;
    // By action, the hosts it was told are in trouble and not yet told are back.
    QHash<QString, QSet<QString>> m_told;
    QHash<QString, ActionResult> m_results;
    std::deque<Job> m_waiting;
    int m_running = 0;
    qint64 m_dropped = 0;
};
