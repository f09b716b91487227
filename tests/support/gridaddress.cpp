#include "gridaddress.h"

#include "engine/reception/readingstable.h"

#include "gui/mainwindow/placeholderrows.h"

int GridAddress::rowCount() const
{
    const int hosts = m_table.hostCount();
    return 1 + (hosts == 0 ? PlaceholderRows::count : hosts);
}

QString GridAddress::cellText(int gridRow, int column) const
{
    if (gridRow == headerRow)
        return ReadingsTable::headerText(column);
    return m_table.text(modelRow(gridRow), column);
}
