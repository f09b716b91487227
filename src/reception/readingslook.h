#pragma once

#include <QCoreApplication>
#include <QVariant>

class ReadingsTable;

// How the readings table's cells look in a view beyond their text: which are grey, which
// blue, and what their tooltips and accessible descriptions say. Decided here alone, for
// every view of the table; rows are numbered as views see them.
class ReadingsLook final
{
    Q_DECLARE_TR_FUNCTIONS(ReadingsLook)

public:
    explicit ReadingsLook(const ReadingsTable &table)
        : m_table(table)
    {
    }

    // The host's own cells: its row header, date and time.
    QVariant hostData(int row, int role) const;
    // The name or value cell of a pair.
    QVariant readingData(int row, int pair, bool nameCell, int role) const;
    // A column's title.
    static QVariant titleData(int column, int role);

    // Overdue readings and silent hosts: greyed, not alarming.
    static QColor overdueColour();
    static QColor nameColour();

    // When the host was heard, on this machine's clock; empty outside the rows there are.
    QString hostDescription(int row) const;
    // When the reading was heard and how often it reports; empty for a pair never written.
    QString readingDescription(int row, int pair) const;

private:
    static QVariant describe(const QString &text, int role);

    const ReadingsTable &m_table;
};
