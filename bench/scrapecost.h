#pragma once

#include <QtGlobal>

// One scrape of the metrics endpoint over loopback with a full-sized table, read whole by a
// client in a second thread: how long it takes, the longest the serving thread's event loop
// is held up meanwhile, and the memory it costs.
class ScrapeCost final
{
public:
    struct Result
    {
        bool ran = false;
        int hosts = 0;
        int readings = 0;
        qint64 series = 0; // samples in the answer
        qint64 bytes = 0;  // read by the client, headers and chunk sizes included
        double seconds = 0;
        double longestGapMs = 0;
        qint64 residentBefore = 0;
        qint64 peakExtra = 0; // above residentBefore, at the peak during the scrape
        // The answer written into memory alone, a piece at a time, with no socket.
        double writeSeconds = 0;
        double longestPieceMs = 0;
    };

    ScrapeCost() = delete;

    static Result measure(int hosts, int readings);
};
