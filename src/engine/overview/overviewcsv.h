#pragma once

#include "engine/tablefile/csvlines.h"

#include <vector>

class OverviewModel;

// The overview as shown, as a CSV file with the conventions of the table's own (RFC 4180,
// UTF-8 with a byte-order mark, CRLF line ends): a header line of the column titles, then one
// line per host; cells as received, values trimmed, Last heard in this machine's local time.
class OverviewCsv final : public CsvLines
{
public:
    // rows: the model's rows, in the order shown; columns: those shown, in their order.
    OverviewCsv(const OverviewModel &model, std::vector<int> rows, std::vector<int> columns);

    int rowCount() const override { return int(m_rows.size()); }
    QByteArray header() const override;
    QByteArray lines(int first, int count) const override;

private:
    const OverviewModel &m_model;
    const std::vector<int> m_rows;
    const std::vector<int> m_columns;
};
