#pragma once

#include <QString>

class ReadingsTable;

// Decides when the user hears that the table is full: once, after the first host the
// table had to turn away, and once more each time it fills again after rows were removed.
class TableFullNotice final
{
public:
    explicit TableFullNotice(const ReadingsTable &table);

    // The message, the first time it is asked for once the table has turned a host away;
    // empty before that and until the table has had room again.
    QString take();
    bool told() const { return m_told; }
    // To be called after rows were removed. Where the table has room again, the notice is
    // over: hosts turned away so far are not told again. True when the notice was on.
    bool roomAgain();

private:
    const ReadingsTable &m_table;
    qint64 m_droppedBefore = 0; // hosts turned away before the table last had room
    bool m_told = false;
};
