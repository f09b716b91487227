#pragma once

#include <QtGlobal>

// What the readings' history costs: its memory after an hour of traffic fed on a clock of
// the benchmark's own, and the time to draw an hour of points in the history window.
class HistoryCost final
{
public:
    struct Memory
    {
        int hosts = 0;
        int readings = 0;
        int intervalSeconds = 0;
        qint64 bytesUsed = 0;      // as the store counts it
        qint64 residentGrowth = 0; // of the process, table and history, while they filled
        qint64 capBytes = 0;
        qint64 pointsKept = 0;  // of the first host's first reading
        qint64 pointsHeard = 0; // of the same
        double seconds = 0;
    };
    struct Drawing
    {
        int readings = 0;
        int points = 0;     // per reading
        double firstMs = 0; // the window's first paint, which also loads the fonts
        double meanMs = 0;  // of the redraws after it
        double longestMs = 0;
    };

    // Processor time of frames of one kind.
    struct Frames
    {
        int count = 0;
        double totalMs = 0;
        double fastestMs = 0;
        double longestMs = 0;

        void add(double ms);
        void add(const Frames &other);
        double meanMs() const { return count > 0 ? totalMs / count : 0; }
    };

    struct Trends
    {
        int width = 0; // of the window
        int height = 0;
        int rowsShown = 0;
        int cellsShown = 0; // reading cells
        int points = 0;     // per reading, in the hour drawn
        int keptPoints = 0; // per reading, kept
        Frames on;          // repainted with nothing changed since the frame before
        Frames onLater;     // a second later, every host heard: every line made afresh
        Frames off;
    };

    HistoryCost() = delete;

    // hosts x readings, each every intervalSeconds for an hour.
    static Memory memory(int hosts, int readings, int intervalSeconds);
    // An hour of 1-second points for each of readings, drawn frames times at width x height;
    // the processor time each frame takes.
    static Drawing drawing(int readings, int width, int height, int frames);
    // The overview width pixels wide and tall enough for rows rows, hosts x readings each
    // keeping hoursKept hours of points every intervalSeconds, of which the last is drawn; its
    // visible cells painted frames times with trends on, then off; every other frame a second
    // after the one before, every host heard again meanwhile.
    static Trends overviewTrends(int hosts, int readings, int intervalSeconds, int hoursKept,
                                 int width, int rows, int frames);
};
