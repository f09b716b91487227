#pragma once

#include <QSortFilterProxyModel>
#include <QString>
#include <QTimer>

#include <vector>

class OverviewModel;

// The overview's rows as shown: the hosts found (by the main window's matching), in the
// order the model's sorting asks for. By a column: values that are numbers by their number
// (multipliers understood, as limits read them), then other values by their text, empty cells
// last; the reverse order reverses all but the empty cells. Problems first: critical, warning,
// silent, then the rest. Ties go by host name.
//
// Sorting every time a reading changes would cost as much as the readings themselves: the
// order follows them once every resortIntervalMs, and at once when the sorting changes.
// Selections and the current cell are persistent indexes, and so stay with their hosts.
class OverviewOrder final : public QSortFilterProxyModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OverviewOrder)

public:
    static constexpr int resortIntervalMs = 1000;

    explicit OverviewOrder(OverviewModel *model, QObject *parent = nullptr);

    OverviewModel *overview() const { return m_model; }

    // Shows only the hosts that contain text, ignoring case; empty: every host.
    void setFindText(const QString &text);
    QString findText() const { return m_find; }
    // "12 of 5,000 hosts", or "5,000 hosts" without a find text.
    QString countText() const;
    // The table's rows shown, in order.
    std::vector<int> tableRows() const;

    // Puts the rows in order now.
    void resort();
    // A view's own sorting (a click on a column's title) becomes the model's, so that it
    // lasts beyond the view.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    // What a row is sorted by, read once per sort rather than once per comparison.
    struct Key
    {
        enum Group : quint8 { Number, Text, Empty };
        quint8 group = Empty; // or the problem's rank, problems first
        double number = 0;
        QString text;
        QString host;
    };

    Key keyOf(int row) const;
    bool before(const Key &first, const Key &second) const;

    OverviewModel *const m_model;
    QString m_find;
    std::vector<Key> m_keys; // by the model's rows, while sorting
    QTimer m_resort;
    bool m_changed = false;
};
