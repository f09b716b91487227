#include "tablefullnotice.h"

#include "engine/reception/readingstable.h"

#include <QCoreApplication>

TableFullNotice::TableFullNotice(const ReadingsTable &table)
    : m_table(table)
{
}

QString TableFullNotice::take()
{
    if (m_told || m_table.droppedHosts() == m_droppedBefore)
        return {};
    m_told = true;
    return QCoreApplication::translate(
               "TableFullNotice",
               "The table is full: it holds at most %1 hosts, so readings from further hosts are "
               "not shown. The hosts already in the table keep being updated.")
        .arg(m_table.hostLimit());
}

bool TableFullNotice::roomAgain()
{
    if (m_table.hostCount() >= m_table.hostLimit())
        return false;
    const bool wasTold = m_told;
    m_told = false;
    m_droppedBefore = m_table.droppedHosts();
    return wasTold;
}
