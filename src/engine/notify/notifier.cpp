#include "notifier.h"

#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <array>
#include <chrono>
#include <limits>

namespace {

using HostState = Notifier::HostState;

// The order of the lines in a notification, worst first; a host back to normal is last.
constexpr std::array lineOrder{HostState::Critical, HostState::Warning, HostState::Silent,
                               HostState::Normal};

QString stateWord(HostState state)
{
    switch (state) {
    case HostState::Critical:
        return u"critical"_qs;
    case HostState::Warning:
        return u"warning"_qs;
    case HostState::Silent:
        return u"silent"_qs;
    case HostState::Normal:
        break;
    }
    return u"back to normal"_qs;
}

// "3 hosts critical", or "2 warning" after another part.
QString titlePart(HostState kind, qsizetype count, bool first)
{
    if (!first)
        return u"%1 %2"_qs.arg(count).arg(stateWord(kind));
    return u"%1 %2 %3"_qs.arg(count).arg(count == 1 ? u"host"_qs : u"hosts"_qs, stateWord(kind));
}

} // namespace

Notifier::Clock Notifier::steadyClock()
{
    QElapsedTimer started;
    started.start();
    return [started] { return started.elapsed(); };
}

Notifier::Notifier(QObject *parent)
    : Notifier(steadyClock(), parent)
{
}

Notifier::Notifier(Clock clock, QObject *parent)
    : QObject(parent)
    , m_clock(std::move(clock))
    , m_graceEndsMs(m_clock() + graceMs)
{
    m_timer.setSingleShot(true);
    // A coarse timer may wake before the batch is due.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Notifier::poll);
}

void Notifier::hostChanged(const QString &host, HostState state, const QString &detail,
                           const TroubleReading &reading)
{
    const qint64 now = m_clock();
    if (now < m_graceEndsMs || isMuted()) {
        settle(host, state);
        return;
    }
    const auto found = m_gatheredIndex.constFind(host);
    if (found != m_gatheredIndex.cend()) {
        News &news = m_gathered[*found];
        news.state = state;
        news.detail = detail;
        news.reading = reading;
        return;
    }
    m_gatheredIndex.insert(host, m_gathered.size());
    m_gathered.append({host, state, detail, reading});
    if (m_dueMs < 0) {
        m_dueMs = now + gatheringMs;
        armTimer(now);
    }
}

void Notifier::restartGrace()
{
    m_gathered.clear();
    m_gatheredIndex.clear();
    m_known.clear();
    m_dueMs = -1;
    m_timer.stop();
    m_graceEndsMs = m_clock() + graceMs;
}

void Notifier::forgetHost(const QString &host)
{
    m_known.remove(host);
    const auto found = m_gatheredIndex.constFind(host);
    if (found == m_gatheredIndex.cend())
        return;
    m_gathered.removeAt(*found);
    m_gatheredIndex.clear();
    for (qsizetype i = 0; i < m_gathered.size(); ++i)
        m_gatheredIndex.insert(m_gathered[i].host, i);
}

void Notifier::muteFor(qint64 ms)
{
    dropGathered();
    m_mutedUntilMs = m_clock() + ms;
}

void Notifier::muteUntilUnmuted()
{
    dropGathered();
    m_mutedUntilMs = std::numeric_limits<qint64>::max();
}

void Notifier::unmute()
{
    m_mutedUntilMs = 0;
}

bool Notifier::isMuted() const
{
    return m_clock() < m_mutedUntilMs;
}

void Notifier::poll()
{
    if (m_dueMs < 0)
        return;
    const qint64 now = m_clock();
    if (now < m_dueMs) {
        armTimer(now);
        return;
    }
    std::array<QList<News>, lineOrder.size()> said;
    TroubleEvents events;
    for (const News &news : std::as_const(m_gathered)) {
        const Known known = m_known.value(news.host);
        // A host back where it was when last told of (critical and recovered within one
        // batch, say) has nothing new to say.
        if (news.state == known.state)
            continue;
        events.append({news.host, news.state, known.state, news.reading});
        const bool recovered = news.state == HostState::Normal;
        const bool says = recovered ? known.told && m_choices.recovery : chosen(news.state);
        settle(news.host, news.state);
        if (!says)
            continue;
        said[std::find(lineOrder.begin(), lineOrder.end(), news.state) - lineOrder.begin()].append(
            news);
        if (!recovered)
            m_known[news.host].told = true;
    }
    m_gathered.clear();
    m_gatheredIndex.clear();
    m_dueMs = -1;

    QStringList title;
    QStringList body;
    for (std::size_t kind = 0; kind < lineOrder.size(); ++kind) {
        if (said[kind].isEmpty())
            continue;
        title.append(titlePart(lineOrder[kind], said[kind].size(), title.isEmpty()));
        body.append(bodyLine(lineOrder[kind], said[kind]));
    }
    if (!events.isEmpty())
        Q_EMIT gathered(events);
    if (body.isEmpty())
        return;
    Notification notification;
    notification.title = title.join(u", "_qs);
    notification.body = body.join(u'\n');
    notification.replace = m_shown;
    notification.sound = m_choices.sound;
    notification.critical = !said.front().isEmpty();
    m_shown = true;
    Q_EMIT notify(notification);
}

// "db01 critical: CPU 97", or "3 hosts critical: db01 CPU 97, db02 CPU 99, web7 Temp 88".
QString Notifier::bodyLine(HostState kind, const QList<News> &said)
{
    const bool recovered = kind == HostState::Normal;
    const QString word = stateWord(kind);
    if (said.size() == 1) {
        const News &only = said.front();
        if (recovered)
            return u"%1 is back to normal"_qs.arg(only.host);
        return only.detail.isEmpty() ? u"%1 %2"_qs.arg(only.host, word)
                                     : u"%1 %2: %3"_qs.arg(only.host, word, only.detail);
    }
    QStringList named;
    for (const News &news : said.first(std::min<qsizetype>(said.size(), namesPerLine)))
        named.append(recovered || news.detail.isEmpty() ? news.host
                                                        : news.host + u' ' + news.detail);
    QString list = named.join(u", "_qs);
    if (said.size() > namesPerLine)
        list += u" \u2026 and %1 more"_qs.arg(said.size() - namesPerLine);
    if (recovered)
        return u"%1 hosts are back to normal: %2"_qs.arg(said.size()).arg(list);
    return u"%1 hosts %2: %3"_qs.arg(said.size()).arg(word, list);
}

void Notifier::settle(const QString &host, HostState state)
{
    Known known = m_known.value(host);
    known.state = state;
    if (state == HostState::Normal)
        known.told = false;
    // Only hosts in trouble, or told of, are remembered: a table of thousands of quiet
    // hosts costs nothing here.
    if (state == HostState::Normal && !known.told)
        m_known.remove(host);
    else
        m_known.insert(host, known);
}

void Notifier::dropGathered()
{
    for (const News &news : std::as_const(m_gathered))
        settle(news.host, news.state);
    m_gathered.clear();
    m_gatheredIndex.clear();
    m_dueMs = -1;
    m_timer.stop();
}

bool Notifier::chosen(HostState state) const
{
    switch (state) {
    case HostState::Critical:
        return m_choices.critical;
    case HostState::Warning:
        return m_choices.warning;
    case HostState::Silent:
        return m_choices.silent;
    case HostState::Normal:
        break;
    }
    return m_choices.recovery;
}

void Notifier::armTimer(qint64 now)
{
    m_timer.start(std::chrono::milliseconds(m_dueMs - now));
}
