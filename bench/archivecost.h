#pragma once

#include <QtGlobal>

// What keeping the history on disk costs: the writer's processor time and the file's growth
// under steady traffic, fed on a clock of the benchmark's own, and how long the first things
// a restarted program asks of the file take.
class ArchiveCost final
{
public:
    struct Writing
    {
        int hosts = 0;
        int readings = 0;
        int intervalSeconds = 0;
        double simulatedSeconds = 0;
        double writerCpuShare = 0;    // of one core, over the simulated time
        qint64 minuteBytesPerDay = 0; // the per-minute roll-ups, from the hours rolled up
        qint64 hourBytesPerDay = 0;
        qint64 pointBytesPerHour = 0; // kept for an hour or two only
    };
    struct Reading
    {
        double keptHostsMs = 0; // the hosts of the last day, for the table at start-up
        double sevenDaysMs = 0; // a host's 10 readings' minutes of 7 days
        qint64 rollups = 0;
    };

    struct FullTable
    {
        int hosts = 0;
        int readings = 0;
        double longestTickMs = 0; // the table's tick, with the batch it hands to the writer
        // The longest tick's processor time: on a shared machine the time between two
        // readings of the clock also holds what other programs ran.
        double longestTickCpuMs = 0;
        double meanTickMs = 0;
        qint64 pointsWritten = 0; // of the first host, over the minutes fed
        qint64 pointsHeard = 0;
    };

    ArchiveCost() = delete;

    static Writing writing(int hosts, int readings, int intervalSeconds, int hours);
    static Reading reading(int hosts, int readings);
    // A full table, each host reporting every reading once a minute, spread over the minute,
    // for minutes minutes, with the history in memory and, when onDisk, the file following it.
    static FullTable fullTable(int hosts, int readings, int minutes, bool onDisk = true);
};
