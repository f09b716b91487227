#pragma once

#include <QString>

class ReadingsTable;

// The table addressed as the grid it stands for: row 0 is the header row and host rows
// follow from row 1 on; before the first host, empty rows stand under the header. The
// model itself counts host rows from 0; this is the one place that translates.
class GridAddress final
{
public:
    static constexpr int headerRow = 0;

    explicit GridAddress(const ReadingsTable &table)
        : m_table(table)
    {
    }

    static int modelRow(int gridRow) { return gridRow - 1; }
    static int gridRow(int modelRow) { return modelRow + 1; }

    int rowCount() const;
    QString cellText(int gridRow, int column) const;

private:
    const ReadingsTable &m_table;
};
