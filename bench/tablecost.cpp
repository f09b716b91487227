#include "tablecost.h"

#include "datagramformatter.h"
#include "engine/archive/historyarchive.h"
#include "engine/history/historystore.h"
#include "engine/limits/limitrules.h"
#include "engine/limits/limitwatch.h"
#include "engine/reception/arrival.h"
#include "engine/reception/datagramreceiver.h"
#include "engine/reception/datagramsocket.h"
#include "engine/reception/reading.h"
#include "engine/reception/readingparser.h"
#include "engine/reception/readingstable.h"
#include "engine/reception/receiveclock.h"
#include "processstats.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>

#include <QTemporaryDir>
#include <array>

#include <optional>

namespace {

// The receive clock moved on by the datagrams posted, at about the rate the table takes
// them, not by the time taken: a reading is then heard as often in each tenth of a second
// under a profiler, which runs fifty times slower, as at full speed.
class PacedClock final : public ReceiveClock
{
public:
    static constexpr quint64 datagramsPerMs = 5000;

    qint64 elapsedMs() const override { return qint64(datagrams / datagramsPerMs); }
    QDateTime wallTime() const override { return start.addMSecs(elapsedMs()); }

    quint64 datagrams = 0;
    QDateTime start = QDateTime::currentDateTime();
};

// Datagrams of one round, laid end to end, so that formatting is not measured.
struct Round
{
    QByteArray bytes;
    QList<qsizetype> ends;
};

Round formatRound(const DatagramFormatter &formatter, quint64 round)
{
    Round result;
    result.bytes.reserve(qsizetype(formatter.roundLength()) * 64);
    std::array<char, DatagramFormatter::maxDatagramSize> storage{};
    const quint64 first = round * formatter.roundLength();
    for (quint64 sequence = first; sequence < first + formatter.roundLength(); ++sequence) {
        result.bytes.append(storage.data(), formatter.format(sequence, storage.data()));
        result.ends.append(result.bytes.size());
    }
    return result;
}

qint64 post(const Round &round, quint64 count, ReadingsTable &table, PacedClock &clock,
            Reading &reading)
{
    // As the receiver does it: a new batch every batchSize datagrams, a sender with each.
    Arrival arrival;
    const quint8 loopback[4] = {127, 0, 0, 1};
    const SenderAddress sender = SenderAddress::fromIPv4(loopback);
    const qint64 start = ProcessStats::threadCpuNanos();
    qsizetype begin = 0;
    qsizetype index = 0;
    for (quint64 n = 0; n < count; ++n) {
        // As the receiver reads its clocks: once per batch the socket hands over.
        if (n % DatagramSocket::batchSize == 0) {
            const qint64 before = clock.elapsedMs();
            clock.datagrams += DatagramSocket::batchSize;
            // Published as the receiver's timer does, and the table's tick once a second,
            // where what follows it hands on its work.
            const qint64 now = clock.elapsedMs();
            if (now / DatagramReceiver::defaultPublishIntervalMs
                != before / DatagramReceiver::defaultPublishIntervalMs)
                table.publish();
            if (now / 1000 != before / 1000)
                table.tick();
            arrival.startBatch();
            table.beginBatch();
        }
        const qsizetype end = round.ends[index];
        decodeDatagram(QByteArrayView(round.bytes).sliced(begin, end - begin), reading);
        arrival.setSender(sender);
        if (parseudp(reading, arrival))
            table.fillgrid(reading);
        begin = end;
        if (++index == round.ends.size())
            index = begin = 0;
    }
    return ProcessStats::threadCpuNanos() - start;
}

// A warning and a critical bound near the top of each reading's range, where values pass
// now and then.
LimitRules everyReading(int readings)
{
    QJsonArray limits;
    for (int reading = 0; reading < readings; ++reading) {
        const DatagramFormatter::Range range = DatagramFormatter::range(reading);
        const double span = range.high - range.low;
        limits.append(QJsonObject{
            {u"reading"_qs, QString::fromLatin1(DatagramFormatter::readingName(reading))},
            {u"warningAbove"_qs, range.low + 0.8 * span},
            {u"criticalAbove"_qs, range.low + 0.95 * span}});
    }
    return LimitRules(QJsonObject{{LimitRules::key, limits}});
}

} // namespace

TableCost::Result TableCost::measure(int hosts, int readings, quint64 datagrams, bool limits,
                                     Following following)
{
    const DatagramFormatter formatter(hosts, readings);
    const Round first = formatRound(formatter, 0);
    const Round later = formatRound(formatter, 1);
    PacedClock clock;
    ReadingsTable table(nullptr, ReadingsTable::defaultHostLimit, &clock);
    LimitWatch watch(table);
    if (limits)
        watch.setRules(everyReading(readings));
    std::optional<HistoryStore> history;
    if (following != Following::Nothing)
        history.emplace(table);
    QTemporaryDir folder;
    std::optional<HistoryArchive> archive;
    if (following == Following::HistoryAndArchive)
        archive.emplace(table, &watch,
                        ArchiveSettings::fromObject({}, folder.path(), folder.path()));
    Reading reading;
    Result result;
    const quint64 roundLength = formatter.roundLength();
    result.nanosPerFirstRound =
        double(post(first, roundLength, table, clock, reading)) / double(roundLength);
    result.nanosPerDatagram =
        double(post(later, datagrams, table, clock, reading)) / double(datagrams);
    table.publish();
    result.hosts = table.hostCount();
    return result;
}
