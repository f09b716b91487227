#include "limitwatch.h"

#include "reception/readingstable.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {

bool isTrouble(LimitState::Level level)
{
    return level == LimitState::Level::Warning || level == LimitState::Level::Critical;
}

} // namespace

LimitWatch::LimitWatch(ReadingsTable &table, QObject *parent)
    : QObject(parent)
    , m_table(table)
{
    m_sets.emplace_back();
    m_applyTimer.setSingleShot(true);
    m_applyTimer.setInterval(0);
    connect(&m_applyTimer, &QTimer::timeout, this, &LimitWatch::applySlice);
    m_table.setLimits(this);
}

LimitWatch::~LimitWatch()
{
    m_table.removeListener(this);
    if (m_table.limits() == this)
        m_table.setLimits(nullptr);
}

void LimitWatch::setRules(const LimitRules &rules)
{
    m_sets.push_back(rules);
    bool active = false;
    m_hostReadings.clear();
    for (qsizetype i = 0; i < rules.rules().size(); ++i) {
        if (!rules.isApplied(i))
            continue;
        active = true;
        if (!rules.rules()[i].hosts.isEmpty())
            m_hostReadings.insert(rules.rules()[i].reading);
    }
    m_nameLimits.clear();
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
    m_nameLimits = {};
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
    std::vector<Entry> entries;
    const int pairs = m_table.pairsInUse(storedRow);
    for (int pair = 0; pair < pairs; ++pair) {
        const int limits = limitsFor(storedRow, pair);
        if (limits == LimitRules::none)
            continue;
        entries.resize(size_t(pair) + 1);
        Entry &entry = entries.back();
        entry.limits = limits;
        entry.state.update(*m_effective[size_t(limits)], m_table.value(storedRow, pair));
    }
    Row &row = grow(storedRow);
    row.pairs = std::move(entries);
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
        if (size_t(pair) >= known.pairs.size())
            return;
        Entry &entry = known.pairs[size_t(pair)];
        // Rows under older rules wait for the apply, above: these follow the last ones.
        if (entry.limits != LimitRules::none
            && entry.state.update(*m_effective[size_t(entry.limits)], m_table.postedValue())) {
            updateWorst(row);
        }
        return;
    }
    // A pair that takes a name starts with no history, whatever it held before.
    const int limits = limitsFor(row, pair);
    Row &target = grow(row);
    if (limits == LimitRules::none) {
        if (size_t(pair) < target.pairs.size()
            && target.pairs[size_t(pair)].limits != LimitRules::none) {
            target.pairs[size_t(pair)] = {};
            updateWorst(row);
        }
        return;
    }
    if (size_t(pair) >= target.pairs.size())
        target.pairs.resize(size_t(pair) + 1);
    Entry &entry = target.pairs[size_t(pair)];
    entry = {limits, {}};
    if (entry.state.update(*m_effective[size_t(limits)], m_table.postedValue()))
        updateWorst(row);
}

// The limits of a pair under the last rules. Most readings' limits are the same for every
// host, and are found once per name; only a reading with host patterns asks per host.
int LimitWatch::limitsFor(int storedRow, int pair)
{
    const int id = m_table.nameId(storedRow, pair);
    if (id < 0)
        return LimitRules::none;
    if (size_t(id) >= m_nameLimits.size())
        m_nameLimits.resize(size_t(m_table.nameIdCount()), unresolved);
    int &limits = m_nameLimits[size_t(id)];
    LimitRules &rules = m_sets.back();
    if (limits == unresolved) {
        const QString name = m_table.nameText(id);
        limits = !rules.covers(name)             ? LimitRules::none
                 : m_hostReadings.contains(name) ? byHost
                                                 : rules.resolve({}, name);
    }
    const int found =
        limits != byHost ? limits : rules.resolve(m_table.host(storedRow), m_table.nameText(id));
    if (found != LimitRules::none && size_t(found) >= m_effective.size())
        m_effective.resize(size_t(found) + 1);
    if (found != LimitRules::none && !m_effective[size_t(found)])
        m_effective[size_t(found)] = &rules.effective(found);
    return found;
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

const LimitRules &LimitWatch::rulesOf(const Row &row) const
{
    return m_sets[size_t(row.generation - m_firstGeneration)];
}

void LimitWatch::updateWorst(int storedRow)
{
    Row &row = m_rows[size_t(storedRow)];
    Level worst = Level::Normal;
    for (const Entry &entry : row.pairs) {
        const Level level = entry.state.level();
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
    if (!m_nameLimits.empty()) {
        std::vector<int> names;
        for (size_t id = 0; id < m_nameLimits.size() && id < newNames.size(); ++id) {
            const int newId = newNames[id];
            if (newId < 0)
                continue;
            if (size_t(newId) >= names.size())
                names.resize(size_t(newId) + 1, unresolved);
            names[size_t(newId)] = m_nameLimits[id];
        }
        m_nameLimits = std::move(names);
    }
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
    if (!known || pair < 0 || size_t(pair) >= known->pairs.size())
        return nullptr;
    const Entry &entry = known->pairs[size_t(pair)];
    return entry.limits == LimitRules::none ? nullptr : &entry.state;
}

const LimitRule *LimitWatch::limits(int row, int pair) const
{
    if (!state(row, pair))
        return nullptr;
    const Row &known = *rowAt(row);
    return &rulesOf(known).effective(known.pairs[size_t(pair)].limits);
}

QString LimitWatch::description(int row, int pair) const
{
    const LimitState *const judged = state(row, pair);
    if (!judged)
        return {};
    const Row &known = *rowAt(row);
    const int limits = known.pairs[size_t(pair)].limits;
    return judged->description(rulesOf(known).effective(limits), m_table.value(row, pair));
}

LimitWatch::Level LimitWatch::hostLevel(int row) const
{
    const Row *const known = rowAt(row);
    return known ? known->worst : Level::Normal;
}

int LimitWatch::worstPair(int row) const
{
    const Row *const known = rowAt(row);
    if (!known || known->worst == Level::Normal)
        return -1;
    for (size_t pair = 0; pair < known->pairs.size(); ++pair) {
        if (known->pairs[pair].limits != LimitRules::none
            && known->pairs[pair].state.level() == known->worst)
            return int(pair);
    }
    return -1;
}
