#pragma once

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

    WorstCase() = delete;

    // nameLength: how much of the room goes to the name; the value takes the rest.
    static Result measure(int hosts, int nameLength, Names names);
    // The most that name and value can hold together beside a host of hostLength.
    static int room(int hostLength);
};
