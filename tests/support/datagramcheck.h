#pragma once

#include "engine/reception/arrival.h"
#include "engine/reception/reading.h"
#include "fakereceiveclock.h"
#include "literalgrid.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <memory>

class HistoryStore;
class LimitWatch;
class OverviewModel;
class QAbstractItemModelTester;
class ReadingsTable;

// Feeds datagrams down the path a received one takes (decode, parse, post into one table
// that lives across inputs) and beside it through the literal parser and grid. The rest of
// the engine follows the table as it does in the program: a limit watch with rules for the
// names heard, a history under a small cap, and the overview's columns. Any difference, and
// any broken invariant, throws Broken. Timers of the engine run only where there is an
// application whose events publishing processes.
class DatagramCheck final
{
public:
    struct Broken
    {
        QString what;
    };

    struct Options
    {
        // Small enough that a fuzzer reaches it; the table is started afresh now and then
        // so that filling it up is explored as much as a full table.
        int hostLimit = 300;
        int inputsPerTable = 100000;
        int inputsPerPublish = 64;
        // Small, so that thinning and trimming the word log run often.
        qint64 historyCapBytes = qint64(1) << 20;
    };

    DatagramCheck();
    explicit DatagramCheck(const Options &options);
    ~DatagramCheck();
    Q_DISABLE_COPY_MOVE(DatagramCheck)

    void run(QByteArrayView bytes);
    // Runs each datagram of input, where datagrams are separated by the byte 0x1E, so that
    // one input can hold a sequence from several hosts.
    void runEach(QByteArrayView input);
    const ReadingsTable &table() const { return *m_table; }

private:
    void restart();
    void compareRow(int row);
    void publishAndSpotCheck(QByteArrayView bytes);
    void checkShown(int row);
    void updateRules();
    void checkLimitCounts();
    void checkLimits(int row);
    void checkOverview(int row);
    void checkHistory(int row);

    const Options m_options;
    // Moved by each input, so that the history and the silence watch see time pass.
    std::unique_ptr<FakeReceiveClock> m_clock;
    std::unique_ptr<ReadingsTable> m_table;
    std::unique_ptr<LiteralGrid> m_grid;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    // Listeners of the table, so gone before it.
    std::unique_ptr<LimitWatch> m_limits;
    std::unique_ptr<HistoryStore> m_history;
    std::unique_ptr<OverviewModel> m_overview;
    int m_namesRuled = 0;
    int m_publishesSinceRules = 0;
    Reading m_reading;
    // Each input comes from one of a few senders, at a time of its own.
    QDateTime m_now;
    Arrival m_arrival{[this] { return m_now; }};
    qint64 m_inputs = 0;
};
