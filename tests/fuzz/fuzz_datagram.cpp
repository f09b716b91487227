// Feeds arbitrary bytes down the path a received datagram takes, beside the literal
// models of the parser and the grid (DatagramCheck), and on through the limit watch, the
// history and the overview that follow the table; any difference, and any broken
// invariant, aborts so that the fuzzer keeps the input. A byte 0x1E separates datagrams.

#include "engine/reception/datagramsocket.h"
#include "oracle.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// The engine's timers (rules applied in slices, thinning spread out) need an application.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Nothing larger can arrive in one UDP datagram; a sequence is kept as short.
    if (size > std::size_t(DatagramSocket::maxDatagramSize))
        return -1;
    static DatagramCheck check;
    try {
        check.runEach(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    } catch (const DatagramCheck::Broken &broken) {
        std::fprintf(stderr, "invariant broken: %s\n", qUtf8Printable(broken.what));
        std::abort();
    }
    return 0;
}
