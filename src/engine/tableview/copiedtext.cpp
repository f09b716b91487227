#include "copiedtext.h"

#include "engine/reception/readingstable.h"

#include <QItemSelection>

#include <algorithm>
#include <map>
#include <vector>

QString CopiedText::fromSelection(const QAbstractItemModel &table, const QItemSelection &selection)
{
    constexpr int firstCell = ReadingsTable::firstNameColumn;
    // The selected cells of each row; host, date and time start every line anyway.
    std::map<int, std::vector<bool>> rows;
    int left = table.columnCount();
    int right = firstCell - 1;
    for (const QItemSelectionRange &range : selection) {
        if (!range.isValid() || range.model() != &table)
            continue;
        const int first = std::max(range.left(), firstCell);
        for (int row = range.top(); row <= range.bottom(); ++row) {
            std::vector<bool> &cells = rows[row];
            cells.resize(size_t(table.columnCount()));
            for (int column = first; column <= range.right(); ++column)
                cells[size_t(column)] = true;
        }
        if (first <= range.right()) {
            left = std::min(left, first);
            right = std::max(right, range.right());
        }
    }

    QString text;
    const auto cell = [&table](int row, int column) {
        return table.data(table.index(row, column)).toString();
    };
    for (const auto &[row, cells] : rows) {
        // The empty rows shown before the first host have no host to copy.
        const QVariant host = table.headerData(row, Qt::Vertical);
        if (!host.isValid())
            continue;
        text += host.toString() + u'\t' + cell(row, 1) + u'\t' + cell(row, 2);
        QString pending; // tabs and empty fields, written only if a field follows them
        for (int column = left; column <= right; ++column) {
            pending += u'\t';
            if (!cells[size_t(column)])
                continue;
            const QString field = cell(row, column);
            if (field.isEmpty())
                continue;
            text += pending + field;
            pending.clear();
        }
        text += u'\n';
    }
    return text;
}

QString CopiedText::all(const QAbstractItemModel &table)
{
    if (table.rowCount() == 0)
        return {};
    return fromSelection(
        table, QItemSelection(table.index(0, 0),
                              table.index(table.rowCount() - 1, table.columnCount() - 1)));
}
