#include "troublefeed.h"

#include "engine/limits/limitwatch.h"
#include "engine/reception/readingstable.h"

TroubleFeed::TroubleFeed(ReadingsTable &table, const LimitWatch &limits, Notifier &notifier,
                         QObject *parent)
    : QObject(parent)
    , m_table(table)
    , m_limits(limits)
    , m_notifier(notifier)
{
    m_table.addListener(this);
    connect(&limits, &LimitWatch::hostsChanged, this, &TroubleFeed::limitsChanged);
    connect(&table.silence(), &SilenceWatch::hostsFellSilent, this,
            [this](const std::vector<int> &rows) { silenceChanged(rows, true); });
    connect(&table.silence(), &SilenceWatch::hostsHeardAgain, this,
            [this](const std::vector<int> &rows) { silenceChanged(rows, false); });
}

TroubleFeed::~TroubleFeed()
{
    m_table.removeListener(this);
}

void TroubleFeed::renumbered(const std::vector<int> &newRows, const std::vector<int> &)
{
    std::vector<Host> kept;
    for (std::size_t old = 0; old < m_hosts.size(); ++old) {
        Host &host = m_hosts[old];
        const int row = old < newRows.size() ? newRows[old] : -1;
        if (row < 0) {
            if (!host.name.isEmpty())
                m_notifier.forgetHost(host.name);
            continue;
        }
        if (std::size_t(row) >= kept.size())
            kept.resize(std::size_t(row) + 1);
        kept[std::size_t(row)] = std::move(host);
    }
    m_hosts = std::move(kept);
}

void TroubleFeed::limitsChanged(const std::vector<int> &rows)
{
    for (const int row : rows)
        tell(row);
}

void TroubleFeed::silenceChanged(const std::vector<int> &rows, bool silent)
{
    for (const int row : rows) {
        hostAt(row).silent = silent;
        tell(row);
    }
}

void TroubleFeed::tell(int row)
{
    using State = Notifier::HostState;
    Host &host = hostAt(row);
    State state = State::Normal;
    QString detail;
    TroubleReading reading;
    if (host.silent) {
        state = State::Silent;
    } else if (state = troubleOf(m_limits.hostLevel(row)); isTrouble(state)) {
        const int pair = m_limits.worstPair(row);
        const QString name = m_table.nameText(m_table.nameId(row, pair));
        const QString value = m_table.value(row, pair);
        detail = (name + u' ' + value.trimmed()).trimmed();
        reading = TroubleReading::split(name, value, {});
    }
    if (state == host.told)
        return;
    if (host.name.isEmpty())
        host.name = m_table.host(row);
    host.told = state;
    // The state a host was in before start-up is no news, whenever the grace ends: the notifier
    // hears only of what changes from there, and so never of a restored host falling silent.
    if (m_table.isRestoring())
        return;
    reading.time = m_table.lastHeard(row);
    m_notifier.hostChanged(host.name, state, detail, reading);
}

TroubleFeed::Host &TroubleFeed::hostAt(int row)
{
    if (std::size_t(row) >= m_hosts.size())
        m_hosts.resize(std::size_t(row) + 1);
    return m_hosts[std::size_t(row)];
}
