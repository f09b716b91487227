#pragma once

#include "engine/limits/limitstate.h"
#include "engine/limits/trouble.h"

#include <QCoreApplication>
#include <QPixmap>
#include <QVariant>

class ReadingsTable;

// How the readings table's cells look in a view beyond their text: which are grey, which
// blue, which amber or red with an arrow or a mark for a reading beyond its limits. Decided
// here alone, for every view of the table; rows are numbered as views see them. What their
// tooltips say is the table's own.
class ReadingsLook final
{
    Q_DECLARE_TR_FUNCTIONS(ReadingsLook)

public:
    explicit ReadingsLook(const ReadingsTable &table)
        : m_table(table)
    {
    }

    // The roles answered here: background, foreground and decoration.
    static bool isLookRole(int role)
    {
        return role == Qt::BackgroundRole || role == Qt::ForegroundRole
               || role == Qt::DecorationRole;
    }
    // The host's own cells: its row header (hostCell), which shows the host's worst state,
    // and its date and time.
    QVariant hostData(int row, int role, bool hostCell) const;
    // The name or value cell of a pair.
    QVariant readingData(int row, int pair, bool nameCell, int role) const;
    // A column's title.
    static QVariant titleData(int column, int role);

    // The mark drawn for a worst state, in the colours the table gives the same states;
    // invalid for None, which has no mark.
    static QColor markColour(Trouble worst);

    // Overdue readings and silent hosts: greyed, not alarming.
    static QColor overdueColour();
    static QColor nameColour();
    // A cell in warning or critical: its background, its text (greyed when overdue, still
    // readable on the background) and its icon, an arrow up or down for a bound, a mark for
    // a word. Invalid or null for any other level or direction.
    static QColor stateColour(LimitState::Level level);
    static QColor stateTextColour(LimitState::Level level, bool overdue);
    static QPixmap stateIcon(LimitState::Level level, LimitState::Direction direction);

private:
    // The look of a cell in this state, for the roles that show a state; null otherwise.
    static QVariant stateData(const LimitState &state, bool overdue, int role);

    const ReadingsTable &m_table;
};
