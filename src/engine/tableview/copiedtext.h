#pragma once

#include <QString>

class QAbstractItemModel;
class QItemSelection;

// The table's cells as text for the clipboard: one line per row, fields separated by tabs,
// each line starting with the row's host, date and time, so that a paste into a spreadsheet
// gives one host per row. Cells are copied as shown: characters that could carry control
// sequences, or split a field or a line (tabs, line breaks), arrive as U+FFFD. The model is
// the readings table or a view of some of its rows, with the table's columns.
class CopiedText final
{
public:
    CopiedText() = delete;

    // The selected cells, rows in the table's order. Cells between selected ones are kept
    // as empty fields so that columns line up; empty fields at the end of a line are left out.
    static QString fromSelection(const QAbstractItemModel &table, const QItemSelection &selection);
    static QString all(const QAbstractItemModel &table);
};
