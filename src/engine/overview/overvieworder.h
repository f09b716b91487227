#pragma once

#include "overviewmodel.h"

#include <QAbstractProxyModel>
#include <QString>
#include <QTimer>

#include <vector>

// The overview's rows as shown: the hosts found (as the main window finds them), in the
// order the model's sorting asks for. By a column: values that are numbers by their number
// (multipliers understood, as limits read them), then other values by their text, empty cells
// last; the reverse order reverses all but the empty cells. Problems first: critical, warning,
// silent, then the rest. Ties go by host name. Unsorted: the table's order.
//
// Sorting every time a reading changes would cost as much as the readings themselves: the
// order follows them once every resortIntervalMs, and at once when the sorting changes;
// views hear of changed values every refreshIntervalMs.
// Selections and the current cell are persistent indexes, and so stay with their hosts. A
// proxy of its own rather than the library's sorting one: with the rows in an order of their
// own, a change to every row is told as one range, and a sort is one plain sort of the rows.
class OverviewOrder final : public QAbstractProxyModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OverviewOrder)

public:
    static constexpr int resortIntervalMs = 1000;
    // How often views are told that values changed.
    static constexpr int refreshIntervalMs = 200;
    // The sort that follows the readings reads its keys a slice at a time, so that a large
    // table's sort never holds up the window: how long a slice may take, in milliseconds, and
    // how many rows go between two looks at the clock.
    static constexpr int sliceMs = 5;
    static constexpr int rowsPerCheck = 256;

    explicit OverviewOrder(OverviewModel *model, QObject *parent = nullptr);

    OverviewModel *overview() const { return m_model; }

    // Shows only the hosts that contain text, ignoring case; empty: every host.
    void setFindText(const QString &text);
    // Only the hosts with a problem among those found; a host that gets one is shown within
    // resortIntervalMs, one that recovers stays until the find changes, so that the row the
    // user is on does not vanish.
    void setProblemsOnly(bool problemsOnly);
    bool problemsOnly() const { return m_problemsOnly; }
    // "12 of 5,000 hosts", or "5,000 hosts" without a find text.
    QString countText() const;
    // The table's rows shown, in order.
    const std::vector<int> &tableRows() const { return m_shown; }

    // Puts the rows in order now, at one go.
    void resort();
    // A view's own sorting (a click on a column's title) becomes the model's, so that it
    // lasts beyond the view.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QModelIndex mapToSource(const QModelIndex &proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex &sourceIndex) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    // What a row is sorted by, read once per sort rather than once per comparison.
    struct Key
    {
        enum Group : quint8 { Number, Text, Empty };
        quint8 group = Empty; // or the problem's rank, problems first
        double number = 0;
        QString text; // of a value that is no number
        int hostRank = 0;
    };

    bool accepts(int row) const;
    void refilter();
    Key keyOf(int row, const OverviewModel::Sorting &sorting) const;
    void prepareSlice();
    // The hosts' names of the rows up to end, folded for comparing.
    void foldHosts(int end);
    // The place of every row's host among the hosts by name, from the folded names; kept
    // while no host comes or goes.
    void rankHosts();
    // The keys of the rows shown up to end.
    void readKeys(size_t end, const OverviewModel::Sorting &sorting);
    void finishSort(const OverviewModel::Sorting &sorting);
    // Shows the rows in this order, the persistent indexes following their hosts.
    void placeRows(std::vector<int> order);
    void sourceRowsInserted(int first, int last);
    void sourceRowsAboutToBeRemoved(int first, int last);
    void sourceRowsRemoved(int first, int last);
    // Takes away these rows shown, a run at a time from the bottom up.
    void removeShown(std::vector<int> rows);
    void appendAccepted(int first, int last);
    void rebuildPositions();

    OverviewModel *const m_model;
    QString m_find;
    std::vector<int> m_shown;     // the model's row of each row shown
    std::vector<int> m_position;  // the row shown of each of the model's rows, or -1
    std::vector<int> m_hostRanks; // by the model's rows; empty until needed
    // While a sort is prepared: the folded names, then the keys of the rows shown so far.
    std::vector<QString> m_folded;
    std::vector<Key> m_keys;
    // Counts the changes of which rows are shown where; keys read before one are of no use.
    quint64 m_generation = 0;
    quint64 m_preparedFor = 0;
    QTimer m_resort;
    QTimer m_slices;
    QTimer m_refresh;
    bool m_changed = false;
    bool m_problemsOnly = false;
    bool m_problemsChanged = false;
};
