#pragma once

#include <QStringList>
#include <QtGlobal>

// What a list of allowed senders adds to each datagram: the receiver's whole path after the
// socket (count, check the sender, decode, parse, post) fed from memory, so that neither the
// network nor the generator blurs a difference of a few percent. Runs with and without the
// list alternate, and each keeps its best.
class FilterCost final
{
public:
    struct Result
    {
        int entries = 0;
        int hosts = 0;
        // One sender for everything, as the benchmark's traffic comes.
        double nanosOneSender = 0;
        double nanosOneSenderFiltered = 0;
        // Every host from an address of its own, in a fleet's order: the sender changes with
        // every datagram, so the verdict kept for the last one never serves.
        double nanosPerHost = 0;
        double nanosPerHostFiltered = 0;
    };

    FilterCost() = delete;

    // 100 entries, IPv4 and IPv6: prefixes that no sender falls in, and the two that hold
    // the loopback sender and the hosts' own addresses.
    static QStringList allowedSenders(int entries);
    static Result measure(int entries, int hosts, int readings, quint64 datagrams, int rounds);
};
