#include "actionbatch.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>
#include <array>

ActionBatch::ActionBatch(TroubleEvents events, const QDateTime &time, const QString &receiver)
    : m_events(std::move(events))
    , m_time(time)
    , m_receiver(receiver)
{
}

ActionBatch ActionBatch::madeUp(const QDateTime &time, const QString &receiver)
{
    TroubleEvent event;
    event.host = tr("test-host");
    event.state = Trouble::Critical;
    event.worst = {tr("Test reading"), u"99"_qs, u"%"_qs, time};
    return ActionBatch({event}, time, receiver);
}

QString ActionBatch::stateWord(Trouble state)
{
    switch (state) {
    case Trouble::Critical:
        return u"critical"_qs;
    case Trouble::Warning:
        return u"warning"_qs;
    case Trouble::Silent:
        return u"silent"_qs;
    case Trouble::Normal:
        break;
    }
    return u"normal"_qs;
}

QString ActionBatch::timeText(const QDateTime &time)
{
    if (!time.isValid())
        return {};
    // Local time is written with its offset, never as a bare local time or as UTC's Z.
    const QDateTime withOffset = time.toOffsetFromUtc(time.offsetFromUtc());
    QString text = withOffset.toString(Qt::ISODate);
    if (text.endsWith(u'Z'))
        text.replace(text.size() - 1, 1, u"+00:00"_qs);
    return text;
}

QByteArray ActionBatch::toJson() const
{
    QJsonArray events;
    for (const TroubleEvent &event : m_events) {
        events.append(QJsonObject{
            {u"host"_qs, event.host},
            {u"reading"_qs, event.worst.name},
            {u"state"_qs, stateWord(event.state)},
            {u"previous"_qs, stateWord(event.previous)},
            {u"value"_qs, event.worst.value},
            {u"unit"_qs, event.worst.unit},
            {u"time"_qs, timeText(event.worst.time)},
        });
    }
    const QJsonObject batch{
        {u"program"_qs, u"Senvo-Net"_qs}, {u"receiver"_qs, m_receiver},
        {u"time"_qs, timeText(m_time)},   {u"summary"_qs, summary()},
        {u"events"_qs, events},
    };
    return QJsonDocument(batch).toJson(QJsonDocument::Compact);
}

QString ActionBatch::summary() const
{
    // Worst first, recoveries last, as the notifications say it.
    constexpr std::array order{Trouble::Critical, Trouble::Warning, Trouble::Silent,
                               Trouble::Normal};
    QStringList parts;
    for (const Trouble state : order) {
        const auto count =
            std::count_if(m_events.begin(), m_events.end(),
                          [state](const TroubleEvent &e) { return e.state == state; });
        if (count == 0)
            continue;
        const QString word = state == Trouble::Normal ? tr("recovered") : stateWord(state);
        if (parts.isEmpty())
            parts.append(count == 1 ? tr("1 host %1").arg(word)
                                    : tr("%1 hosts %2").arg(count).arg(word));
        else
            parts.append(tr("%1 %2").arg(count).arg(word));
    }
    return parts.join(u", "_qs);
}

QString ActionBatch::worstState() const
{
    Trouble worst = Trouble::Normal;
    for (const TroubleEvent &event : m_events)
        worst = std::max(worst, event.state);
    return stateWord(worst);
}

QString ActionBatch::hostList() const
{
    QStringList hosts;
    for (const TroubleEvent &event : m_events)
        hosts.append(event.host);
    return hosts.join(u' ');
}
