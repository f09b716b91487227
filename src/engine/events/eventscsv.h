#pragma once

#include "engine/archive/archivebatch.h"

#include <QByteArray>

#include <vector>

// Events as a CSV file with the conventions of the table's and the history's (RFC 4180, UTF-8
// with a byte-order mark, CRLF line ends): a header line "Time,Host,Reading,From,To,Value",
// then one line per event in the order given, the time in ISO 8601 with this machine's offset
// from UTC, the rest as kept, quoted where they hold a comma, a quote or a line break.
class EventsCsv final
{
public:
    EventsCsv() = delete;

    static QByteArray write(const std::vector<ArchiveEvent> &events);
};
