#include "overviewcsv.h"

#include "engine/tablefile/csvtable.h"
#include "overviewmodel.h"

#include <algorithm>

OverviewCsv::OverviewCsv(const OverviewModel &model, std::vector<int> rows,
                         std::vector<int> columns)
    : m_model(model)
    , m_rows(std::move(rows))
    , m_columns(std::move(columns))
{
}

QByteArray OverviewCsv::header() const
{
    QString line;
    for (size_t column = 0; column < m_columns.size(); ++column) {
        if (column > 0)
            line += u',';
        CsvTable::appendField(line, m_model.columnTitle(m_columns[column]));
    }
    line += u"\r\n";
    return CsvTable::byteOrderMark + line.toUtf8();
}

QByteArray OverviewCsv::lines(int first, int count) const
{
    QString text;
    const int end = std::min(first + count, rowCount());
    for (int i = std::max(first, 0); i < end; ++i) {
        for (size_t column = 0; column < m_columns.size(); ++column) {
            if (column > 0)
                text += u',';
            CsvTable::appendField(text, m_model.cellText(m_rows[size_t(i)], m_columns[column]));
        }
        text += u"\r\n";
    }
    return text.toUtf8();
}
