#pragma once

#include <QString>

#include <vector>

class QAbstractItemModel;
class QItemSelection;

// The overview's selected cells as text for the clipboard: a line of the titles of the columns
// that hold a selected cell, then one line per row that does, fields separated by tabs, rows
// and columns as shown. A cell between selected ones is an empty field, so that columns line
// up. Cells are copied as shown: characters that could split a field or a line arrive as
// U+FFFD.
class OverviewCopy final
{
public:
    OverviewCopy() = delete;

    // columns: those shown, in their order; selected cells elsewhere are left out.
    static QString cells(const QAbstractItemModel &shown, const QItemSelection &selection,
                         const std::vector<int> &columns);
};
