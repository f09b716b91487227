#pragma once

#include "limits/limitstate.h"

#include <QCoreApplication>
#include <QPixmap>
#include <QVariant>

class ReadingsTable;

// How the readings table's cells look in a view beyond their text: which are grey, which
// blue, which amber or red with an arrow or a mark for a reading beyond its limits, and
// what their tooltips and accessible descriptions say. Decided here alone, for every view
// of the table; rows are numbered as views see them.
class ReadingsLook final
{
    Q_DECLARE_TR_FUNCTIONS(ReadingsLook)

public:
    explicit ReadingsLook(const ReadingsTable &table)
        : m_table(table)
    {
    }

    // The host's own cells: its row header (hostCell), which shows the host's worst state,
    // and its date and time.
    QVariant hostData(int row, int role, bool hostCell) const;
    // The name or value cell of a pair.
    QVariant readingData(int row, int pair, bool nameCell, int role) const;
    // A column's title.
    static QVariant titleData(int column, int role);

    // Overdue readings and silent hosts: greyed, not alarming.
    static QColor overdueColour();
    static QColor nameColour();
    // A cell in warning or critical: its background, its text (greyed when overdue, still
    // readable on the background) and its icon, an arrow up or down for a bound, a mark for
    // a word. Invalid or null for any other level or direction.
    static QColor stateColour(LimitState::Level level);
    static QColor stateTextColour(LimitState::Level level, bool overdue);
    static QPixmap stateIcon(LimitState::Level level, LimitState::Direction direction);

    // The host's worst reading and when the host was heard, on this machine's clock; empty
    // outside the rows there are.
    QString hostDescription(int row) const;
    // The reading's state, when it was heard and how often it reports; empty for a pair
    // never written.
    QString readingDescription(int row, int pair) const;

private:
    static QVariant describe(const QString &text, int role);
    // The look of a cell in this state, for the roles that show a state; null otherwise.
    static QVariant stateData(const LimitState &state, bool overdue, int role);
    QString readingName(int row, int pair) const;

    const ReadingsTable &m_table;
};
