#pragma once

#include "engine/reception/tablelistener.h"
#include "notifier.h"

#include <QObject>
#include <QString>

#include <vector>

class LimitWatch;
class ReadingsTable;

// Tells the notifier of each host's trouble as the table sees it: its worst limit state,
// with the reading behind it ("CPU 97"), and whether it fell silent. A silent host counts
// as silent whatever its last values said. A host the table drops is forgotten, not
// announced as recovered. Hosts the table restores are silent from the start, which is not
// told: a host silent before start-up is not newly silent, and its return is no recovery.
class TroubleFeed final : public QObject, public TableListener
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TroubleFeed)

public:
    // All three must outlive the feed.
    TroubleFeed(ReadingsTable &table, const LimitWatch &limits, Notifier &notifier,
                QObject *parent = nullptr);
    ~TroubleFeed() override;

private:
    struct Host
    {
        QString name; // empty until the host is first in trouble
        Notifier::HostState told = Notifier::HostState::Normal;
        bool silent = false;
    };

    void readingPosted(int, int, bool) override {}
    void renumbered(const std::vector<int> &newRows, const std::vector<int> &newNames) override;

    void limitsChanged(const std::vector<int> &rows);
    void silenceChanged(const std::vector<int> &rows, bool silent);
    void tell(int row);
    Host &hostAt(int row);

    ReadingsTable &m_table;
    const LimitWatch &m_limits;
    Notifier &m_notifier;
    std::vector<Host> m_hosts; // by row, up to the last row ever in trouble
};
