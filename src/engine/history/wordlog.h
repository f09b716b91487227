#pragma once

#include "historystore.h"

#include <unordered_map>
#include <vector>

// The last changes of the readings whose values are words, each reading's within its share
// of the history's cap and at most HistoryStore::maxWordChanges; the latest always stays.
// Readings are known by row and pair, as the history's points are.
class WordLog final
{
public:
    using WordChange = HistoryStore::WordChange;
    using Tenths = HistoryStore::Tenths;

    // What a reading's log takes before its first change.
    static qint64 overheadBytes();

    // A change in the tenth of the last one takes its place; the same word again is none.
    void add(int row, int pair, Tenths time, const QString &text);
    std::vector<WordChange> changes(int row, int pair) const;
    void drop(int row, int pair);
    // newRow(old row) is the new row, or -1 for a row removed.
    template<typename NewRow> void renumber(NewRow &&newRow);
    // A reading's room from its next change on.
    void setShareBytes(qint64 bytes) { m_shareBytes = bytes; }
    // Trims the logs over their share now; hands changed(row) each row trimmed.
    template<typename Changed> void trimToShare(Changed &&changed);

    qint64 bytes() const { return m_bytes; }

private:
    struct Log
    {
        std::vector<WordChange> changes;
        qint64 bytes = 0;
    };
    static quint32 key(int row, int pair);
    void trim(Log &log);

    std::unordered_map<quint32, Log> m_logs; // by key()
    qint64 m_bytes = 0;
    qint64 m_shareBytes = 0;
};

template<typename NewRow> void WordLog::renumber(NewRow &&newRow)
{
    std::unordered_map<quint32, Log> logs;
    for (auto &[at, log] : m_logs) {
        if (const int now = newRow(int(at >> 6)); now >= 0)
            logs.emplace(key(now, int(at & 63)), std::move(log));
        else
            m_bytes -= log.bytes;
    }
    m_logs = std::move(logs);
}

template<typename Changed> void WordLog::trimToShare(Changed &&changed)
{
    for (auto &[at, log] : m_logs) {
        if (log.bytes > m_shareBytes) {
            trim(log);
            changed(int(at >> 6));
        }
    }
}
