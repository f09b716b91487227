#include "tickcost.h"

#include "engine/reception/reading.h"
#include "engine/reception/readingstable.h"
#include "engine/reception/receiveclock.h"
#include "processstats.h"

namespace {

// Time stands still between the steps of the run, so that every deadline is the same.
class SetClock final : public ReceiveClock
{
public:
    qint64 elapsedMs() const override { return ms; }
    qint64 ms = 0;
};

void hearEveryPair(ReadingsTable &table, int hosts)
{
    Reading reading;
    reading.date = u"Jun 10"_qs;
    reading.time = u"19:35:00"_qs;
    reading.value = u" 1 "_qs;
    table.beginBatch();
    for (int host = 0; host < hosts; ++host) {
        reading.host = u"h%1"_qs.arg(host, 5, 10, QChar(u'0'));
        for (int pair = 0; pair < ReadingsTable::pairCount; ++pair) {
            reading.name = u" n%1"_qs.arg(pair);
            table.fillgrid(reading);
        }
    }
    table.publish();
}

double tickMs(ReadingsTable &table)
{
    const qint64 start = ProcessStats::threadCpuNanos();
    table.tick();
    return double(ProcessStats::threadCpuNanos() - start) / 1e6;
}

} // namespace

TickCost::Result TickCost::measure(int hosts)
{
    SetClock clock;
    ReadingsTable table(nullptr, hosts, &clock);
    // Heard once at 0 s, each host is due at 300 s; heard again at 100 s, it is due at
    // 400 s instead, which the tick at 300 s finds out for every host.
    hearEveryPair(table, hosts);
    clock.ms = 100'000;
    hearEveryPair(table, hosts);
    Result result;
    result.hosts = table.hostCount();
    result.pairs = ReadingsTable::pairCount;
    clock.ms = 300'100;
    result.requeuedMs = tickMs(table);
    clock.ms = 400'100;
    result.silencedMs = tickMs(table);
    result.silentHosts = table.silence().silentHosts();
    return result;
}
