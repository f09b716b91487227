#include "historyselection.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>

#include <algorithm>

std::vector<int> selectedColumnsOfCurrentRow(const QAbstractItemView &view)
{
    const QModelIndex current = view.currentIndex();
    if (!current.isValid())
        return {};
    std::vector<int> columns{current.column()};
    for (const QItemSelectionRange &range : view.selectionModel()->selection()) {
        if (range.top() <= current.row() && current.row() <= range.bottom()) {
            for (int column = range.left(); column <= range.right(); ++column) {
                if (column != current.column())
                    columns.push_back(column);
            }
        }
    }
    std::sort(columns.begin() + 1, columns.end());
    columns.erase(std::unique(columns.begin() + 1, columns.end()), columns.end());
    return columns;
}

QAction *newShowHistoryAction(QObject *parent, std::function<HistoryReadings()> readings,
                              std::function<void(int, const std::vector<int> &)> request)
{
    auto *action = new QAction(QObject::tr("Show &History"), parent);
    action->setObjectName(u"ShowHistoryMenu"_qs);
    QObject::connect(action, &QAction::triggered, parent, [readings, request] {
        if (const auto [row, pairs] = readings(); !pairs.empty())
            request(row, pairs);
    });
    return action;
}
