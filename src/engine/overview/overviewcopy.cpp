#include "overviewcopy.h"

#include <QAbstractItemModel>
#include <QItemSelection>

#include <algorithm>
#include <set>

QString OverviewCopy::cells(const QAbstractItemModel &shown, const QItemSelection &selection,
                            const std::vector<int> &columns)
{
    // Ranges, not indexes: a selection of every cell of a full overview is one range.
    std::set<int> rows;
    std::vector<bool> used(size_t(shown.columnCount()));
    for (const QItemSelectionRange &range : selection) {
        if (!range.isValid() || range.model() != &shown)
            continue;
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.insert(row);
        for (int column = range.left(); column <= range.right(); ++column)
            used[size_t(column)] = true;
    }
    std::vector<int> copied;
    std::copy_if(columns.begin(), columns.end(), std::back_inserter(copied), [&used](int column) {
        return size_t(column) < used.size() && used[size_t(column)];
    });
    if (copied.empty())
        return {};
    QStringList fields;
    for (const int column : copied)
        fields << shown.headerData(column, Qt::Horizontal).toString();
    QString text = fields.join(u'\t') + u'\n';
    for (const int row : rows) {
        fields.clear();
        for (const int column : copied) {
            const QModelIndex cell = shown.index(row, column);
            fields << (selection.contains(cell) ? cell.data().toString() : QString());
        }
        text += fields.join(u'\t') + u'\n';
    }
    return text;
}
