// Feeds a byte stream to the syslog framer in pieces of sizes drawn from the input's first
// bytes, and compares what comes out with what the whole stream in one piece gives; any
// difference, and any message larger than a frame may be, aborts.

#include "engine/reception/syslogframer.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

struct Framed
{
    QList<QByteArray> messages;
    SyslogFramer::Status status = SyslogFramer::Status::Ok;
};

void take(Framed &framed, QByteArrayView message)
{
    if (message.size() > SyslogFramer::maxFrameSize) {
        std::fprintf(stderr, "a message of %lld bytes\n", static_cast<long long>(message.size()));
        std::abort();
    }
    framed.messages.append(message.toByteArray());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::uint32_t seed = 0;
    if (size < sizeof seed)
        return -1;
    std::memcpy(&seed, data, sizeof seed);
    const QByteArrayView stream(reinterpret_cast<const char *>(data + sizeof seed),
                                qsizetype(size - sizeof seed));

    Framed whole;
    SyslogFramer one;
    whole.status = one.feed(stream, [&whole](QByteArrayView m) { take(whole, m); });

    Framed pieces;
    SyslogFramer many;
    std::minstd_rand random(seed);
    // Mostly short pieces, now and then a long one, as reads from a socket come.
    std::uniform_int_distribution<qsizetype> shortPiece(0, 16);
    std::uniform_int_distribution<qsizetype> longPiece(0, 4096);
    for (qsizetype at = 0; at < stream.size();) {
        const qsizetype length = std::min(
            stream.size() - at, random() % 8 == 0 ? longPiece(random) : shortPiece(random));
        pieces.status =
            many.feed(stream.sliced(at, length), [&pieces](QByteArrayView m) { take(pieces, m); });
        at += length;
    }
    if (pieces.messages != whole.messages || (!stream.isEmpty() && pieces.status != whole.status)) {
        std::fprintf(stderr, "pieces gave %lld messages, the whole stream %lld\n",
                     static_cast<long long>(pieces.messages.size()),
                     static_cast<long long>(whole.messages.size()));
        std::abort();
    }
    return 0;
}
