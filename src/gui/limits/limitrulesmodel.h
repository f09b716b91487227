#pragma once

#include "engine/limits/limitrule.h"

#include <QAbstractTableModel>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>

// The "limits" list as an editor shows it: one row per rule, in file order, one column per
// key, each cell the value as written (lists separated by commas). A cell that holds a
// mistake says so (background and tool tip) as soon as it is set; the keys of a rule that
// have no column are kept with its row.
class LimitRulesModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LimitRulesModel)

public:
    enum Column {
        Reading,
        Hosts,
        WarningAbove,
        CriticalAbove,
        WarningBelow,
        CriticalBelow,
        WarningText,
        CriticalText,
        After,
        Margin,
        ColumnCount
    };

    explicit LimitRulesModel(QObject *parent = nullptr);

    // The entries of a "limits" list, each value as the file writes it.
    void setRules(const QJsonArray &rules);
    // The rules as edited, ready for LimitRules; a row with a mistake gives what could be read.
    QList<LimitRule> rules() const;

    // What is wrong with a cell ("is not a number"); empty when nothing is.
    QString problem(int row, int column) const;
    // One line per cell with a mistake, naming its row as the view numbers it:
    // "Row 3, Warning above: \"abc\" is not a number."
    QStringList problems() const;

    // An empty rule at the end; its row.
    int appendRow();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool removeRows(int row, int count, const QModelIndex &parent = {}) override;
    // Rules with host patterns go first in file order, so their order is the user's to set.
    bool moveRows(const QModelIndex &sourceParent, int sourceRow, int count,
                  const QModelIndex &destinationParent, int destinationChild) override;

private:
    struct Row
    {
        std::array<QString, ColumnCount> texts;
        QJsonObject otherKeys; // keys without a column, written back as they were
    };

    QList<Row> m_rows;
};
