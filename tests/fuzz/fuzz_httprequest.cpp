// Feeds arbitrary bytes to the reader of a request's head, in pieces whose sizes the input
// itself gives, beside the same bytes fed whole (httprequestcheck.h); any difference, and any
// broken invariant, aborts so that the fuzzer keeps the input.

#include "httprequestcheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Sizes, and two heads' worth: enough to cross the limit every way.
    if (size > 17 + 2 * std::size_t(HttpRequestReader::maxHeadSize))
        return -1;
    const QByteArray fault =
        httpRequestFault(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!fault.isEmpty()) {
        std::fprintf(stderr, "reader broken: %s\n", fault.constData());
        std::abort();
    }
    return 0;
}
