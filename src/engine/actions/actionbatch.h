#pragma once

#include "engine/notify/troubleevent.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QString>

// What one action is handed for one gathered batch: the hosts it is about, as JSON
//   {"program": "Senvo-Net", "receiver": "<this computer>", "time": "<ISO 8601 with offset>",
//    "summary": "2 hosts critical, 1 silent", "events": [{"host": ..., "reading": ...,
//    "state": "critical", "previous": "normal", "value": ..., "unit": ..., "time": ...}]}
// with the summary, the worst state and the hosts also for a program's environment.
class ActionBatch final
{
    Q_DECLARE_TR_FUNCTIONS(ActionBatch)

public:
    ActionBatch() = default;
    // time is when the batch is handed on; receiver, this computer's name.
    ActionBatch(TroubleEvents events, const QDateTime &time, const QString &receiver);
    // A batch to try an action with: one made-up host gone critical.
    static ActionBatch madeUp(const QDateTime &time, const QString &receiver);

    const TroubleEvents &events() const { return m_events; }
    QByteArray toJson() const;
    // "2 hosts critical, 1 silent, 1 recovered".
    QString summary() const;
    // The worst state among the events: critical, warning, silent, or normal for a batch of
    // recoveries alone.
    QString worstState() const;
    // The hosts, one space between them.
    QString hostList() const;

    static QString stateWord(Trouble state);
    // ISO 8601 to the second with the offset from UTC ("2024-05-02T14:02:11+02:00"); empty
    // for a null time.
    static QString timeText(const QDateTime &time);

private:
    TroubleEvents m_events;
    QDateTime m_time;
    QString m_receiver;
};
