#pragma once

#include <QString>
#include <QtGlobal>

// The memory the table needs at its worst: every host it can hold fills all its pairs
// with the longest name and value that one datagram can carry, posted through decode,
// parse and post in this process.
class WorstCase final
{
public:
    struct Result
    {
        qint64 residentBefore = 0;
        qint64 peakResident = 0; // 0 where unknown
        int hosts = 0;
        int nameLength = 0;  // characters between the brackets
        int valueLength = 0; // characters between "=" and the space
        int datagramSize = 0;
        bool filled = false; // every host holds every pair
    };

    // Whether every host reports the same 64 names, or each host names its own.
    enum class Names { Shared, PerHost };

    struct Churn
    {
        int rounds = 0;
        qint64 firstPeak = 0; // resident at the end of the first round's filling
        qint64 peak = 0;      // over every round
        bool filled = false;  // every round filled every pair
    };

    struct Save
    {
        int hosts = 0;
        int pairs = 0;
        qint64 bytes = 0;
        double seconds = 0;      // from choosing to save to the file's commit
        double longestGapMs = 0; // the longest the event loop was held up meanwhile
        bool saved = false;
        QString error;
    };

    struct Apply
    {
        int hosts = 0;
        int pairs = 0;
        double seconds = 0;      // from setting the rules to the last row judged
        double longestGapMs = 0; // the longest the event loop was held up meanwhile
        int slices = 0;
        quint64 postedMeanwhile = 0; // readings that arrived while the rules were applied
        int criticalHosts = 0;
        int warningHosts = 0;
        bool applied = false;
    };

    WorstCase() = delete;

    // nameLength: how much of the room goes to the name; the value takes the rest. With
    // limits, a limit for every name (only names shared by every host have them). With
    // overview, the overview's model follows the table as it fills, and its rows are then
    // sorted by the first reading, as with the overview open.
    static Result measure(int hosts, int nameLength, Names names, bool limits = false,
                          bool overview = false);
    // Fills the table as measure() does with names of each host's own, new in each round,
    // and clears it, rounds times.
    static Churn churn(int hosts, int nameLength, int rounds);
    // Saves a table of hosts x 64 pairs, names and values of these lengths, to a CSV file
    // in folder, with the event loop running.
    static Save save(int hosts, int nameLength, int valueLength, const QString &folder);
    // Fills a table of hosts x 64 pairs with short names, then applies a limit for every
    // name with the event loop running and readings arriving.
    static Apply applyLimits(int hosts);
    // The most that name and value can hold together beside a host of hostLength.
    static int room(int hostLength);
};
