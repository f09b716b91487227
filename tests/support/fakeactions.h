#pragma once

#include "engine/actions/actionrunner.h"

#include <QList>
#include <QPointer>

// Stands in for the programs and webhooks: records what each action is handed, and ends each
// attempt at once with the next outcome given (ok beyond them), or, while held, when told.
class FakeActions final
{
public:
    class Attempt final : public ActionAttempt
    {
    public:
        Attempt(FakeActions &owner, QObject *parent)
            : ActionAttempt(parent)
            , m_owner(owner)
        {
        }
        void start() override
        {
            if (!m_owner.hold)
                end(m_owner.outcomes.isEmpty() ? Outcome{true, false, u"exit 0"_qs}
                                               : m_owner.outcomes.takeFirst());
        }
        void end(const Outcome &outcome) { Q_EMIT finished(outcome); }

    private:
        FakeActions &m_owner;
    };

    struct Launched
    {
        QString name;
        ActionBatch batch;
        QPointer<Attempt> attempt;
    };

    QList<ActionAttempt::Outcome> outcomes;
    bool hold = false;
    QList<Launched> launched;

    ActionRunner::Launch launch()
    {
        return [this](const ActionRule &rule, const ActionBatch &batch, QObject *parent) {
            auto *attempt = new Attempt(*this, parent);
            launched.append({rule.name, batch, attempt});
            return attempt;
        };
    }

    // "pager: db01 critical, db02 silent" for each batch launched.
    QStringList said() const
    {
        QStringList said;
        for (const Launched &one : launched) {
            QStringList events;
            for (const TroubleEvent &event : one.batch.events())
                events.append(event.host + u' ' + ActionBatch::stateWord(event.state));
            said.append(one.name + u": "_qs + events.join(u", "_qs));
        }
        return said;
    }
};
