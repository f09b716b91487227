#include "literalgrid.h"

#include "engine/reception/reading.h"
#include "oracle.h"

LiteralGrid::LiteralGrid(int hostLimit)
    : m_hostLimit(hostLimit)
{
    m_header[1] = u"Date"_qs;
    m_header[2] = u"Time"_qs;
    for (int j = 3; j <= 130; j += 2) {
        m_header[j] = u"Name"_qs;
        m_header[j + 1] = u"Value"_qs;
    }
}

void LiteralGrid::fillgrid(const Reading &reading)
{
    int row = m_rowOfHost.value(reading.host, -1);
    if (row < 0) {
        if (m_rows.size() >= m_hostLimit) {
            ++m_dropped;
            return;
        }
        // A new host's row starts empty and then takes the reading like any other.
        Cells cells;
        cells[0] = deepCopy(reading.host);
        row = int(m_rows.size());
        m_rowOfHost.insert(cells[0], row);
        m_rows.append(cells);
    }
    Cells &cells = m_rows[row];
    const QStringView name = literalTrim(reading.name);
    int column = 0;
    for (int j = 3; j <= 130; j += 2) {
        const QStringView cell = literalTrim(cells[j]);
        if (cell == name)
            column = j;
        if (cell.isEmpty() && column == 0)
            column = j;
    }
    if (column == 0)
        return;
    cells[column] = deepCopy(reading.name);
    cells[column + 1] = deepCopy(reading.value);
    cells[1] = deepCopy(reading.date);
    cells[2] = deepCopy(reading.time);
}

QString LiteralGrid::cell(int gridRow, int column) const
{
    if (column < 0 || column >= ReadingsTable::columnCountTotal)
        return {};
    if (gridRow == 0)
        return m_header[column];
    if (gridRow < 1 || gridRow > hostCount())
        return {};
    return m_rows[gridRow - 1][column];
}
