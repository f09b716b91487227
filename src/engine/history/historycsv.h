#pragma once

#include "historystore.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <vector>

// Readings' histories as a CSV file with the conventions of the table's own (RFC 4180, UTF-8
// with a byte-order mark, CRLF line ends): a header line "Time" and the readings' titles, then
// one line per moment any of them was heard, oldest first: the time in ISO 8601 with this
// machine's offset from UTC, then each reading's value heard then, or an empty field.
class HistoryCsv final
{
public:
    struct Column
    {
        QString title;
        std::vector<HistoryStore::Point> points; // oldest first
    };
    // This machine's date and time of a moment on the history's clock.
    using WallTime = std::function<QDateTime(HistoryStore::Tenths)>;

    HistoryCsv() = delete;

    static QByteArray write(const std::vector<Column> &columns, const WallTime &wallTime);
    // "2026-12-08T14:05:30.100+01:00".
    static QString isoTime(const QDateTime &time);
    // The digits a point's value holds as the sender wrote it: "45", "45.3", "3.2e+09".
    static QString number(float value);
};
