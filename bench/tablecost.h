#pragma once

#include <QtGlobal>

// The cost of decoding, parsing and posting one datagram, with no socket in the way:
// what the table adds per datagram as the number of hosts grows. The table is judged by a
// limit watch, as the program's is, with no rules or with a limit for every reading name.
class TableCost final
{
public:
    struct Result
    {
        double nanosPerDatagram = 0;   // once every host has its row
        double nanosPerFirstRound = 0; // the round that creates the rows
        int hosts = 0;
    };

    TableCost() = delete;

    enum class Following { Nothing, History, HistoryAndArchive };

    // limits: a limit for every reading name. following: the readings' history in memory, and
    // on disk, following the table as the program has them.
    static Result measure(int hosts, int readings, quint64 datagrams, bool limits = false,
                          Following following = Following::Nothing);
};
