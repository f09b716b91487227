#include "archivecost.h"

#include "processstats.h"

#include "engine/archive/archiveblocks.h"
#include "engine/archive/archivedatabase.h"
#include "engine/archive/archivewriter.h"
#include "engine/archive/historyarchive.h"
#include "engine/history/historystore.h"
#include "engine/reception/reading.h"
#include "engine/reception/readingstable.h"
#include "engine/reception/receiveclock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cmath>
#include <optional>

namespace {

constexpr qint64 startMs = 1772366400000; // on the hour

QString hostName(int host)
{
    return u"host%1"_qs.arg(host, 4, 10, QChar(u'0'));
}

// A host's readings wander each on a wave of its own, as sensors do.
float valueOf(int host, int reading, qint64 timeMs)
{
    return float(std::round(50 + 20 * std::sin(double(timeMs) / 6e5 + host + reading * 0.7)));
}

} // namespace

ArchiveCost::Writing ArchiveCost::writing(int hosts, int readings, int intervalSeconds, int hours)
{
    QTemporaryDir folder;
    const ArchiveSettings settings = ArchiveSettings::fromObject({}, folder.path(), folder.path());
    qint64 nowMs = startMs;
    ArchiveWriter writer(settings, [&nowMs] { return QDateTime::fromMSecsSinceEpoch(nowMs); });
    writer.openFile();
    Writing result{hosts, readings, intervalSeconds, double(hours) * 3600, 0, 0, 0, 0};
    qint64 cpu = 0;
    qint64 bytesAfterFirstHour = 0;
    for (qint64 second = 0; second < qint64(hours) * 3600; ++second) {
        nowMs = startMs + second * 1000;
        ArchiveBatch batch;
        for (int host = int(second % intervalSeconds); host < hosts; host += intervalSeconds) {
            for (int reading = 0; reading < readings; ++reading) {
                const auto series = quint32(host * readings + reading + 1);
                if (second < intervalSeconds)
                    batch.newSeries.push_back({series, hostName(host), u"R%1"_qs.arg(reading)});
                batch.points.push_back({nowMs, series, valueOf(host, reading, nowMs), false});
            }
        }
        const qint64 before = ProcessStats::threadCpuNanos();
        writer.write(std::move(batch));
        if (second % 60 == 0)
            writer.maintainNow();
        cpu += ProcessStats::threadCpuNanos() - before;
        if (second == 3600 - 1) {
            ArchiveDatabase database(settings.filePath());
            database.open(ArchiveDatabase::Access::ReadOnly);
            bytesAfterFirstHour = database.usedBytes();
        }
    }
    result.writerCpuShare = double(cpu) / 1e9 / result.simulatedSeconds;
    // One hour more, and the hours before the last are rolled up: what a rolled-up hour takes
    // is the file's growth over it, less the points let go.
    nowMs = startMs + qint64(hours + 1) * 3600 * 1000;
    writer.maintainNow();
    writer.finish();
    ArchiveDatabase database(settings.filePath());
    database.open(ArchiveDatabase::Access::ReadOnly);
    const qint64 rolled = database.usedBytes();
    result.pointBytesPerHour = bytesAfterFirstHour;
    // Minutes and hours of `hours` hours; hours are about a sixtieth of minutes and are
    // counted with them here, so the minutes' figure is a bound.
    result.minuteBytesPerDay = rolled * 24 / std::max(1, hours);
    result.hourBytesPerDay = result.minuteBytesPerDay / 60 + qint64(hosts) * readings * 40;
    return result;
}

ArchiveCost::Reading ArchiveCost::reading(int hosts, int readings)
{
    QTemporaryDir folder;
    const ArchiveSettings settings = ArchiveSettings::fromObject({}, folder.path(), folder.path());
    qint64 nowMs = startMs + 7 * ArchiveDatabase::dayMs;
    {
        ArchiveWriter writer(settings, [&nowMs] { return QDateTime::fromMSecsSinceEpoch(nowMs); });
        writer.openFile();
        // Every host once, so that the file has them all; then the first host's 7 days of
        // minutes, as roll-ups of points every 10 s.
        ArchiveBatch batch;
        for (int host = 0; host < hosts; ++host) {
            KeptHost kept{hostName(host), nowMs - 1000, {}};
            for (int reading = 0; reading < readings; ++reading)
                kept.readings.append({u"R%1"_qs.arg(reading), u" 45 C "_qs});
            batch.hosts.push_back(std::move(kept));
        }
        writer.write(std::move(batch));
        for (int reading = 0; reading < readings; ++reading) {
            ArchiveBatch points;
            points.newSeries.push_back({quint32(reading + 1), hostName(0), u"R%1"_qs.arg(reading)});
            for (qint64 t = startMs; t < nowMs - 2 * ArchiveDatabase::hourMs; t += 10'000)
                points.points.push_back({t, quint32(reading + 1), valueOf(0, reading, t), false});
            writer.write(std::move(points));
        }
        writer.maintainNow();
        writer.finish();
    }
    ArchiveDatabase database(settings.filePath());
    database.open(ArchiveDatabase::Access::ReadOnly);
    Reading result;
    QElapsedTimer timer;
    timer.start();
    const std::vector<KeptHost> kept = database.keptHosts(nowMs - ArchiveDatabase::dayMs);
    result.keptHostsMs = double(timer.nsecsElapsed()) / 1e6;
    Q_ASSERT(int(kept.size()) == hosts);
    timer.restart();
    for (int reading = 0; reading < readings; ++reading) {
        result.rollups += qint64(database
                                     .minutes(hostName(0), u"R%1"_qs.arg(reading),
                                              nowMs - 7 * ArchiveDatabase::dayMs, nowMs)
                                     .size());
    }
    result.sevenDaysMs = double(timer.nsecsElapsed()) / 1e6;
    return result;
}

namespace {

// Time moves as the benchmark says.
class SteppedWallClock final : public ReceiveClock
{
public:
    qint64 elapsedMs() const override { return ms; }
    QDateTime wallTime() const override { return QDateTime::fromMSecsSinceEpoch(startMs + ms); }
    qint64 ms = 0;
};

} // namespace

ArchiveCost::FullTable ArchiveCost::fullTable(int hosts, int readings, int minutes, bool onDisk)
{
    QTemporaryDir folder;
    const ArchiveSettings settings = ArchiveSettings::fromObject({}, folder.path(), folder.path());
    SteppedWallClock clock;
    FullTable result;
    result.hosts = hosts;
    result.readings = readings;
    result.pointsHeard = minutes;
    {
        ReadingsTable table(nullptr, ReadingsTable::defaultHostLimit, &clock);
        HistoryStore store(table);
        std::optional<HistoryArchive> archive;
        if (onDisk)
            archive.emplace(table, nullptr, settings, nullptr,
                            [&clock] { return clock.wallTime(); });
        std::vector<QString> hostNames;
        std::vector<QString> names;
        for (int h = 0; h < hosts; ++h)
            hostNames.push_back(hostName(h));
        for (int r = 0; r < readings; ++r)
            names.push_back(u" R%1"_qs.arg(r));
        ::Reading reading;
        reading.date = u"Jun 10"_qs;
        reading.time = u"19:35:00"_qs;
        const qint64 total = qint64(hosts) * readings;
        double tickMs = 0;
        int ticks = 0;
        for (int second = 0; second < minutes * 60; ++second) {
            // A sixtieth of the hosts each second.
            const qint64 first = total * (second % 60) / 60;
            const qint64 last = total * (second % 60 + 1) / 60;
            for (qint64 n = first; n < last; ++n) {
                if (n % 64 == 0) {
                    clock.ms = qint64(second) * 1000 + (n - first) * 1000 / (last - first);
                    table.beginBatch();
                }
                reading.host = hostNames[size_t(n / readings)];
                reading.name = names[size_t(n % readings)];
                reading.value = u" %1 C "_qs.arg(second + n % 97);
                table.fillgrid(reading);
            }
            clock.ms = qint64(second + 1) * 1000;
            table.publish();
            QElapsedTimer timer;
            const qint64 cpuBefore = ProcessStats::threadCpuNanos();
            timer.start();
            table.tick();
            const double ms = double(timer.nsecsElapsed()) / 1e6;
            result.longestTickMs = std::max(result.longestTickMs, ms);
            result.longestTickCpuMs = std::max(
                result.longestTickCpuMs, double(ProcessStats::threadCpuNanos() - cpuBefore) / 1e6);
            tickMs += ms;
            ++ticks;
        }
        result.meanTickMs = tickMs / std::max(1, ticks);
        if (!archive)
            return result;
        archive->flush();
        result.pointsWritten = qint64(
            archive->points(hostName(0), u"R0"_qs, startMs, startMs + qint64(minutes + 1) * 60'000)
                .size());
    }
    return result;
}
