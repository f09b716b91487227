#pragma once

#include <QByteArray>

// What a CSV file holds, in the pieces that a save in the background writes one after another:
// the byte-order mark and header line, then the lines of the rows, as UTF-8.
class CsvLines
{
public:
    CsvLines() = default;
    virtual ~CsvLines() = default;
    CsvLines(const CsvLines &) = delete;
    CsvLines &operator=(const CsvLines &) = delete;

    virtual int rowCount() const = 0;
    virtual QByteArray header() const = 0;
    // The lines of the rows [first, first + count).
    virtual QByteArray lines(int first, int count) const = 0;
    // The whole file.
    QByteArray all() const { return header() + lines(0, rowCount()); }
};
