#pragma once

#include "engine/archive/historyarchive.h"
#include "engine/archive/rollup.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <vector>

// Readings' histories as a CSV file with the conventions of the table's own (RFC 4180, UTF-8
// with a byte-order mark, CRLF line ends): a header line "Time" and the readings' titles, then
// one line per moment any of them has a value, oldest first: the time in ISO 8601 with this
// machine's offset from UTC, then each reading's value then, or empty fields.
//
// Points give one column per reading, the value heard. Roll-ups give three, "<title> lowest",
// "<title> highest" and "<title> average", on a line per minute or hour, at its start.
class HistoryCsv final
{
public:
    struct Column
    {
        QString title;
        std::vector<HistoryArchive::Point> points; // oldest first
    };
    struct RollupColumn
    {
        QString title;
        std::vector<Rollup> rollups; // oldest first
    };

    HistoryCsv() = delete;

    static QByteArray write(const std::vector<Column> &columns);
    static QByteArray writeRollups(const std::vector<RollupColumn> &columns);
    // "2026-12-08T14:05:30.100+01:00".
    static QString isoTime(const QDateTime &time);
    // The digits a point's value holds as the sender wrote it: "45", "45.3", "3.2e+09".
    static QString number(float value);
};
