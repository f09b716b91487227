#pragma once

#include <QAction>

#include <functional>
#include <utility>
#include <vector>

class QAbstractItemView;

// A host's row in the readings table and the pairs of its readings whose history is asked for.
using HistoryReadings = std::pair<int, std::vector<int>>;

// The columns selected in the current cell's row, the current cell's own first, once each.
// Ranges, not cells, are looked at, so that Select All stays cheap.
std::vector<int> selectedColumnsOfCurrentRow(const QAbstractItemView &view);

// "Show History": hands what readings() gives to request, when it names any reading.
QAction *newShowHistoryAction(QObject *parent, std::function<HistoryReadings()> readings,
                              std::function<void(int, const std::vector<int> &)> request);
