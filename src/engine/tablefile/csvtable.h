#pragma once

#include "csvlines.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringView>

#include <functional>
#include <vector>

class ReadingsTable;

// Rows of the readings table as a CSV file (RFC 4180) that spreadsheets open as they are:
// UTF-8 with a byte-order mark, CRLF line ends, a header line
// "Host,Date,Time,Last heard,Name 1,Value 1,…" as wide as the widest row, then one line per
// row in the order given, names and values trimmed; "Last heard" is when this machine last
// heard the row's host, in local time. Cells are written as received: quoting keeps commas,
// quotes and line breaks inside their cell.
class CsvTable final : public CsvLines
{
public:
    // When a row's host was last heard; an invalid time leaves the cell empty.
    using LastHeard = std::function<QDateTime(int row)>;

    // Without lastHeard, the file has no "Last heard" column.
    CsvTable(const ReadingsTable &table, std::vector<int> rows, LastHeard lastHeard = {});

    static constexpr char byteOrderMark[] = "\xEF\xBB\xBF";
    static constexpr int lastHeardLength = 19; // "YYYY-MM-DD hh:mm:ss"

    // A field as written: quoted where it holds a comma, a quote or a line break.
    static void appendField(QString &line, QStringView text);

    int rowCount() const override { return int(m_rows.size()); }
    QByteArray header() const override;
    QByteArray lines(int first, int count) const override;

private:
    void appendLine(QString &text, int row) const;

    const ReadingsTable &m_table;
    const std::vector<int> m_rows;
    const LastHeard m_lastHeard;
    int m_pairs = 0;
};
