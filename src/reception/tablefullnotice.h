#pragma once

#include <QString>

class ReadingsTable;

// Decides when the user hears that the table is full: once, after the first host the
// table had to turn away.
class TableFullNotice final
{
public:
    explicit TableFullNotice(const ReadingsTable &table);

    // The message, the first time it is asked for once the table has turned a host away;
    // empty before that and ever after.
    QString take();
    bool told() const { return m_told; }

private:
    const ReadingsTable &m_table;
    bool m_told = false;
};
