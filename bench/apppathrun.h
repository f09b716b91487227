#pragma once

#include "generator.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <limits>

// One run of the real receiving path against the generator: the window is shown, the
// event loop runs, and a 10 ms heartbeat timer measures how long the loop is held up
// and how far the on-screen counter trails the datagrams taken in.
class AppPathRun final
{
public:
    struct Result
    {
        bool ran = false;
        QString error;
        quint64 sent = 0;
        double sentRate = 0;
        quint64 received = 0;
        double seconds = 0;    // first datagram to last
        double cpuSeconds = 0; // the whole process, over the same span
        double longestGapMs = 0;
        double longestGapEndSeconds = 0; // when the longest gap ended, from the start
        double counterLag = 0;           // datagrams taken in but not yet on screen, at worst
        double longestRefreshMs = 0;     // between two counter refreshes while receiving
        // From the heartbeat that saw the last datagram to the refresh that showed the final
        // count (negative: it came before that heartbeat, which has a 10 ms grain); NaN: never.
        double settleMs = std::numeric_limits<double>::quiet_NaN();
        int hosts = 0;
        qint64 filledPairs = 0;
        QList<QPair<double, qint64>> residentSamples; // seconds since start, bytes

        double lossPercent() const;
        double cpuMicrosPerDatagram() const;
    };

    AppPathRun() = delete;

    struct Extras
    {
        bool countPairs = false;
        int residentSampleSeconds = 0; // 0: no samples
        QString hostFilter;            // shown while receiving; empty: every host
        QStringList allowedSenders;    // empty: every sender
        bool overview = false;         // open, sorted by the first reading heard
    };

    static Result run(const QString &generator, const Generator::Traffic &traffic,
                      const Extras &extras);
};
