#include "tablefullnotice.h"

#include "readingstable.h"

#include <QCoreApplication>

TableFullNotice::TableFullNotice(const ReadingsTable &table)
    : m_table(table)
{
}

QString TableFullNotice::take()
{
    if (m_told || m_table.droppedHosts() == 0)
        return {};
    m_told = true;
    return QCoreApplication::translate(
               "TableFullNotice",
               "The table is full: it holds at most %1 hosts, so readings from further hosts are "
               "not shown. The hosts already in the table keep being updated.")
        .arg(m_table.hostLimit());
}
