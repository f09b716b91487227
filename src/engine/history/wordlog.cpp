#include "wordlog.h"

#include "engine/reception/readingstable.h"

namespace {

// What the allocator adds to each block, counted so that the cap holds for the process too.
constexpr qint64 blockOverhead = 16;
constexpr qint64 wordOverhead = qint64(sizeof(WordLog::WordChange)) + 2 * blockOverhead;

qint64 wordBytes(const QString &text)
{
    return wordOverhead + text.size() * qint64(sizeof(char16_t));
}

} // namespace

static_assert(ReadingsTable::pairCount <= 64);

qint64 WordLog::overheadBytes()
{
    return wordOverhead;
}

quint32 WordLog::key(int row, int pair)
{
    return (quint32(row) << 6) | quint32(pair);
}

void WordLog::add(int row, int pair, Tenths time, const QString &text)
{
    const auto found = m_logs.find(key(row, pair));
    Log *const existing = found == m_logs.end() ? nullptr : &found->second;
    if (existing && !existing->changes.empty() && existing->changes.back().time == time) {
        const qint64 bytes = wordBytes(existing->changes.back().text);
        existing->bytes -= bytes;
        m_bytes -= bytes;
        existing->changes.pop_back();
    }
    if (existing && !existing->changes.empty() && existing->changes.back().text == text)
        return;
    Log &log = existing ? *existing : m_logs[key(row, pair)];
    if (!existing) {
        log.bytes = wordOverhead;
        m_bytes += wordOverhead;
    }
    const WordChange &change = log.changes.emplace_back(WordChange{time, text});
    const qint64 bytes = wordBytes(change.text);
    log.bytes += bytes;
    m_bytes += bytes;
    trim(log);
}

std::vector<WordLog::WordChange> WordLog::changes(int row, int pair) const
{
    const auto log = m_logs.find(key(row, pair));
    return log == m_logs.end() ? std::vector<WordChange>() : log->second.changes;
}

void WordLog::drop(int row, int pair)
{
    if (const auto log = m_logs.find(key(row, pair)); log != m_logs.end()) {
        m_bytes -= log->second.bytes;
        m_logs.erase(log);
    }
}

// At most maxWordChanges, and within the reading's share; the latest always stays.
void WordLog::trim(Log &log)
{
    size_t drop = 0;
    qint64 bytes = log.bytes;
    while (log.changes.size() - drop > 1
           && (log.changes.size() - drop > size_t(HistoryStore::maxWordChanges)
               || bytes > m_shareBytes)) {
        bytes -= wordBytes(log.changes[drop].text);
        ++drop;
    }
    if (drop == 0)
        return;
    log.changes.erase(log.changes.begin(), log.changes.begin() + qsizetype(drop));
    m_bytes -= log.bytes - bytes;
    log.bytes = bytes;
}
