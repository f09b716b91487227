#pragma once

#include "engine/reception/arrival.h"
#include "engine/reception/reading.h"
#include "literalgrid.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <memory>

class QAbstractItemModelTester;
class ReadingsTable;

// Feeds datagrams down the path a received one takes (decode, parse, post into one table
// that lives across inputs) and beside it through the literal parser and grid. Any
// difference, and any broken invariant, throws Broken.
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

    const Options m_options;
    std::unique_ptr<ReadingsTable> m_table;
    std::unique_ptr<LiteralGrid> m_grid;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    Reading m_reading;
    // Each input comes from one of a few senders, at a time of its own.
    QDateTime m_now;
    Arrival m_arrival{[this] { return m_now; }};
    qint64 m_inputs = 0;
};
