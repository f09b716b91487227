#include "limitwatch.h"

#include "trouble.h"

#include "engine/reception/readingstable.h"

#include <QElapsedTimer>

#include <algorithm>

LimitWatch::LimitWatch(ReadingsTable &table, QObject *parent)
    : QObject(parent)
    , m_table(table)
{
    m_sets.emplace_back();
    m_applyTimer.setSingleShot(true);
    m_applyTimer.setInterval(0);
    connect(&m_applyTimer, &QTimer::timeout, this, &LimitWatch::applySlice);
    m_table.setStates(this);
}

const LimitWatch *LimitWatch::of(const ReadingsTable &table)
{
    // A limit watch is the only one that sets the table's states.
    return static_cast<const LimitWatch *>(table.states());
}

LimitWatch::~LimitWatch()
{
    m_table.removeListener(this);
    if (m_table.states() == this)
        m_table.setStates(nullptr);
}

void LimitWatch::setRules(const LimitRules &rules)
{
    m_sets.back().nameLimits = std::move(m_nameLimits);
    m_nameLimits = {};
    m_sets.push_back({rules, {}});
    bool active = false;
    m_hostReadings.clear();
    for (qsizetype i = 0; i < rules.rules().size(); ++i) {
        if (!rules.isApplied(i))
            continue;
        active = true;
        if (!rules.rules()[i].hosts.isEmpty())
            m_hostReadings.insert(rules.rules()[i].reading);
    }
    m_effective.clear();
    // Heard only while a rule applies: without rules a posted reading costs nothing here.
    m_table.removeListener(this);
    if (!active) {
        clearAll();
        return;
    }
    m_table.addListener(this);
    // Started here, so that a small table follows the rules before this returns.
    m_applyRow = 0;
    applySlice();
}

// No rule applies anywhere: nothing is kept per row.
void LimitWatch::clearAll()
{
    for (size_t row = 0; row < m_rows.size(); ++row) {
        if (m_rows[row].worst == Level::Normal)
            continue;
        m_critical -= m_rows[row].worst == Level::Critical ? 1 : 0;
        m_warning -= m_rows[row].worst == Level::Warning ? 1 : 0;
        m_changed.push_back(int(row));
    }
    m_rows = {};
    m_effective = {};
    m_applyTimer.stop();
    m_applyRow = -1;
    m_firstGeneration += quint32(m_sets.size() - 1);
    m_sets.erase(m_sets.begin(), m_sets.end() - 1);
    if (const int shown = m_table.publishedHostCount(); shown > 0)
        Q_EMIT rowsJudged(0, shown - 1);
    tell();
    Q_EMIT applied();
}

void LimitWatch::applySlice()
{
    QElapsedTimer clock;
    clock.start();
    const int first = m_applyRow;
    const int hosts = m_table.hostCount();
    while (m_applyRow < hosts) {
        judgeRow(m_applyRow++);
        if (clock.elapsed() >= sliceMs)
            break;
    }
    const int shown = std::min(m_applyRow, m_table.publishedHostCount());
    if (first < shown)
        Q_EMIT rowsJudged(first, shown - 1);
    const bool done = m_applyRow >= hosts;
    if (done) {
        m_applyRow = -1;
        m_firstGeneration += quint32(m_sets.size() - 1);
        m_sets.erase(m_sets.begin(), m_sets.end() - 1);
    }
    tell();
    if (done)
        Q_EMIT applied();
    else
        m_applyTimer.start();
}

// Every reading of the row afresh under the last rules: a reading beyond a bound counts
// from one again.
void LimitWatch::judgeRow(int storedRow)
{
    std::vector<LimitState> states;
    std::vector<std::pair<int, int>> hostLimits;
    const int pairs = m_table.pairsInUse(storedRow);
    for (int pair = 0; pair < pairs; ++pair) {
        bool perHost = false;
        const int limits = limitsFor(storedRow, pair, perHost);
        if (limits == LimitRules::none)
            continue;
        if (perHost)
            hostLimits.emplace_back(pair, limits);
        states.resize(size_t(pair) + 1);
        states.back().update(*m_effective[size_t(limits)], m_table.value(storedRow, pair));
    }
    Row &row = grow(storedRow);
    row.states = std::move(states);
    row.hostLimits = std::move(hostLimits);
    row.generation = m_firstGeneration + quint32(m_sets.size() - 1);
    updateWorst(storedRow);
}

void LimitWatch::readingPosted(int row, int pair, bool newName)
{
    if (m_applyRow >= 0 && row >= m_applyRow)
        return; // judged when the apply reaches it
    if (!newName) {
        if (size_t(row) >= m_rows.size())
            return;
        Row &known = m_rows[size_t(row)];
        if (size_t(pair) >= known.states.size())
            return;
        // Rows under older rules wait for the apply, above: these follow the last ones.
        const auto nameId = size_t(m_table.postedNameId());
        int limits = nameId < m_nameLimits.size() ? m_nameLimits[nameId] : LimitRules::none;
        if (limits == byHost)
            limits = limitsOf(known, pair, int(nameId));
        if (limits < 0)
            return;
        LimitState &state = known.states[size_t(pair)];
        const LimitJudge &judge = *m_effective[size_t(limits)];
        // Most values are inside their bounds, as the ones before were: nothing to count.
        if (state.isClear()) {
            const ReadingsTable::PostedNumber &number = m_table.postedNumber();
            if (judge.keepsNormal(number.ok, number.value))
                return;
        }
        if (state.update(judge, m_table.postedValue()))
            updateWorst(row);
        return;
    }
    nameTaken(row, pair);
}

// A pair that takes a name starts with no history, whatever it held before. Kept apart from the
// readings that go on, so that this rare path does not weigh on them.
Q_NEVER_INLINE void LimitWatch::nameTaken(int row, int pair)
{
    bool perHost = false;
    const int limits = limitsFor(row, pair, perHost);
    Row &target = grow(row);
    std::erase_if(target.hostLimits, [pair](const auto &entry) { return entry.first == pair; });
    if (limits == LimitRules::none) {
        if (size_t(pair) < target.states.size()) {
            const bool wasTrouble = isTrouble(target.states[size_t(pair)].level());
            target.states[size_t(pair)] = {};
            if (wasTrouble)
                updateWorst(row);
        }
        return;
    }
    if (perHost)
        target.hostLimits.emplace_back(pair, limits);
    if (size_t(pair) >= target.states.size())
        target.states.resize(size_t(pair) + 1);
    LimitState &state = target.states[size_t(pair)];
    const bool wasTrouble = isTrouble(state.level());
    state = {};
    const LimitJudge &judge = *m_effective[size_t(limits)];
    // A restored value is the host's last word: it shows the state it is in, however many
    // readings in a row "after" asks for.
    bool changed = false;
    for (int times = m_table.isRestoring() ? std::max(1, judge.after()) : 1; times > 0; --times)
        changed = state.update(judge, m_table.postedValue()) || changed;
    if (changed || wasTrouble)
        updateWorst(row);
}

// The limits of a pair under the last rules. Most readings' limits are the same for every
// host, and are found once per name; only a reading with host patterns asks per host.
int LimitWatch::limitsFor(int storedRow, int pair, bool &perHost)
{
    const int id = m_table.nameId(storedRow, pair);
    if (id < 0)
        return LimitRules::none;
    std::vector<int> &names = m_nameLimits;
    if (size_t(id) >= names.size())
        names.resize(size_t(m_table.nameIdCount()), unresolved);
    int &limits = names[size_t(id)];
    LimitRules &rules = m_sets.back().rules;
    if (limits == unresolved) {
        const QString name = m_table.nameText(id);
        limits = !rules.covers(name)             ? LimitRules::none
                 : m_hostReadings.contains(name) ? byHost
                                                 : rules.resolve({}, name);
    }
    perHost = limits == byHost;
    const int found =
        limits != byHost ? limits : rules.resolve(m_table.host(storedRow), m_table.nameText(id));
    if (found != LimitRules::none && size_t(found) >= m_effective.size())
        m_effective.resize(size_t(found) + 1);
    if (found != LimitRules::none && !m_effective[size_t(found)])
        m_effective[size_t(found)] = &rules.judge(found);
    return found;
}

int LimitWatch::limitsOf(const Row &row, int pair, int nameId) const
{
    const bool last = row.generation == m_firstGeneration + quint32(m_sets.size() - 1);
    const std::vector<int> &names = last ? m_nameLimits : generationOf(row).nameLimits;
    const int limits =
        nameId >= 0 && size_t(nameId) < names.size() ? names[size_t(nameId)] : LimitRules::none;
    if (limits != byHost)
        return limits == unresolved ? LimitRules::none : limits;
    for (const auto &[hostPair, hostLimits] : row.hostLimits) {
        if (hostPair == pair)
            return hostLimits;
    }
    return LimitRules::none;
}

LimitWatch::Row &LimitWatch::grow(int storedRow)
{
    if (size_t(storedRow) >= m_rows.size()) {
        const size_t before = m_rows.size();
        m_rows.resize(size_t(storedRow) + 1);
        const quint32 generation = m_firstGeneration + quint32(m_sets.size() - 1);
        for (size_t row = before; row < m_rows.size(); ++row)
            m_rows[row].generation = generation;
    }
    return m_rows[size_t(storedRow)];
}

const LimitWatch::Generation &LimitWatch::generationOf(const Row &row) const
{
    return m_sets[size_t(row.generation - m_firstGeneration)];
}

void LimitWatch::updateWorst(int storedRow)
{
    Row &row = m_rows[size_t(storedRow)];
    Level worst = Level::Normal;
    for (const LimitState &state : row.states) {
        const Level level = state.level();
        if (isTrouble(level) && level > worst)
            worst = level;
    }
    if (worst == row.worst)
        return;
    m_critical += (worst == Level::Critical) - (row.worst == Level::Critical);
    m_warning += (worst == Level::Warning) - (row.worst == Level::Warning);
    row.worst = worst;
    if (!row.queued) {
        row.queued = true;
        m_changed.push_back(storedRow);
    }
}

void LimitWatch::renumbered(const std::vector<int> &newRows, const std::vector<int> &newNames)
{
    const auto isKept = [&newRows](int row) {
        return size_t(row) < newRows.size() && newRows[size_t(row)] >= 0;
    };
    if (m_applyRow >= 0)
        m_applyRow = int(std::count_if(
            newRows.begin(), newRows.begin() + std::min<size_t>(size_t(m_applyRow), newRows.size()),
            [](int row) { return row >= 0; }));
    std::vector<int> changed;
    for (const int row : m_changed) {
        if (isKept(row))
            changed.push_back(newRows[size_t(row)]);
    }
    m_changed = std::move(changed);

    if (!m_rows.empty()) {
        std::vector<Row> rows;
        for (size_t row = 0; row < m_rows.size(); ++row) {
            if (isKept(int(row))) {
                rows.push_back(std::move(m_rows[row]));
                continue;
            }
            m_critical -= m_rows[row].worst == Level::Critical ? 1 : 0;
            m_warning -= m_rows[row].worst == Level::Warning ? 1 : 0;
        }
        m_rows = std::move(rows);
    }
    const auto renumber = [&newNames](std::vector<int> &nameLimits) {
        std::vector<int> names;
        for (size_t id = 0; id < nameLimits.size() && id < newNames.size(); ++id) {
            const int newId = newNames[id];
            if (newId < 0)
                continue;
            if (size_t(newId) >= names.size())
                names.resize(size_t(newId) + 1, unresolved);
            names[size_t(newId)] = nameLimits[id];
        }
        nameLimits = std::move(names);
    };
    renumber(m_nameLimits);
    for (Generation &generation : m_sets)
        renumber(generation.nameLimits);
    tell();
}

void LimitWatch::published()
{
    tell();
}

void LimitWatch::tell()
{
    if (!m_changed.empty()) {
        std::sort(m_changed.begin(), m_changed.end());
        const int shown = m_table.publishedHostCount();
        std::vector<int> rows;
        for (const int row : m_changed) {
            if (size_t(row) < m_rows.size())
                m_rows[size_t(row)].queued = false;
            if (row < shown)
                rows.push_back(row);
        }
        m_changed.clear();
        if (!rows.empty())
            Q_EMIT hostsChanged(rows);
    }
    if (m_critical != m_toldCritical || m_warning != m_toldWarning) {
        m_toldCritical = m_critical;
        m_toldWarning = m_warning;
        Q_EMIT countsChanged(m_critical, m_warning);
    }
}

const LimitWatch::Row *LimitWatch::rowAt(int row) const
{
    const int stored = m_table.storedRow(row);
    return stored >= 0 && size_t(stored) < m_rows.size() ? &m_rows[size_t(stored)] : nullptr;
}

const LimitState *LimitWatch::state(int row, int pair) const
{
    const Row *const known = rowAt(row);
    if (!known || pair < 0 || size_t(pair) >= known->states.size()
        || limitsOf(*known, pair, m_table.nameId(row, pair)) == LimitRules::none)
        return nullptr;
    return &known->states[size_t(pair)];
}

const LimitRule *LimitWatch::limits(int row, int pair) const
{
    if (!state(row, pair))
        return nullptr;
    const Row &known = *rowAt(row);
    return &generationOf(known).rules.effective(limitsOf(known, pair, m_table.nameId(row, pair)));
}

QString LimitWatch::description(int row, int pair) const
{
    const LimitState *const judged = state(row, pair);
    if (!judged)
        return {};
    const Row &known = *rowAt(row);
    const int limits = limitsOf(known, pair, m_table.nameId(row, pair));
    return judged->description(generationOf(known).rules.effective(limits),
                               m_table.value(row, pair));
}

LimitWatch::Level LimitWatch::hostLevel(int row) const
{
    const Row *const known = rowAt(row);
    return known ? known->worst : Level::Normal;
}

// A pair no rule applies to is normal, so the first in the worst state is the one.
int LimitWatch::worstPair(int row) const
{
    const Row *const known = rowAt(row);
    if (!known || known->worst == Level::Normal)
        return -1;
    for (size_t pair = 0; pair < known->states.size(); ++pair) {
        if (known->states[pair].level() == known->worst)
            return int(pair);
    }
    return -1;
}
