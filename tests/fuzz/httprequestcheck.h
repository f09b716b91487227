#pragma once

#include "engine/metrics/httprequestreader.h"

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

// One input for the reader of a request's head: its first byte says how many of the bytes
// after it give piece sizes (1 to 16 of them), and the rest is the request, fed in pieces of
// those sizes in turn (1 to 256 bytes each). The reader must make of the pieces what it
// makes of the whole, decide by the time a head could be complete, and keep no more than a
// head holds. Empty when it does; else what went wrong.
inline QByteArray httpRequestFault(QByteArrayView input)
{
    if (input.isEmpty())
        return {};
    const auto sizeCount = qsizetype(static_cast<quint8>(input[0]) % 16 + 1);
    const QByteArrayView sizes = input.sliced(1).first(std::min(sizeCount, input.size() - 1));
    const QByteArrayView request = input.sliced(1 + sizes.size());

    HttpRequestReader whole;
    whole.feed(request);
    HttpRequestReader pieces;
    qsizetype at = 0;
    for (qsizetype i = 0; at < request.size(); ++i) {
        const qsizetype size =
            sizes.isEmpty() ? 1 : qsizetype(static_cast<quint8>(sizes[i % sizes.size()])) + 1;
        pieces.feed(request.sliced(at, std::min(size, request.size() - at)));
        at += size;
    }

    const auto seen = [](const HttpRequestReader &reader) {
        return QByteArray::number(int(reader.status())) + ' ' + reader.method() + ' '
               + reader.target() + " ?" + reader.query() + ' '
               + QByteArray::number(reader.minorVersion()) + " accept=" + reader.header("Accept")
               + " host=" + reader.header("host");
    };
    if (seen(whole) != seen(pieces))
        return "whole: " + seen(whole) + "\npieces: " + seen(pieces);
    using Status = HttpRequestReader::Status;
    if (whole.status() == Status::Complete
        && (whole.method().isEmpty() || whole.target().isEmpty()))
        return "complete without a method or a target";
    if (whole.status() == Status::TooLarge && request.size() <= HttpRequestReader::maxHeadSize)
        return "too large at " + QByteArray::number(request.size()) + " bytes";
    if (whole.status() == Status::NeedMore && request.size() > HttpRequestReader::maxHeadSize)
        return "still reading past the largest head";
    if (whole.method().size() + whole.target().size() + whole.query().size()
            + whole.header("Accept").size()
        > HttpRequestReader::maxHeadSize)
        return "more kept than a head holds";
    return {};
}
