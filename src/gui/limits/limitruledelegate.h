#pragma once

#include <QStyledItemDelegate>

class ReadingsTable;

// Draws and edits the cells of the rules' table. A cell that holds a mistake gets a red
// frame, which shows on a selected cell too, where its background does not. A reading's
// name is edited in an editable list of the names the table has heard, so that a rule
// names a reading exactly as the table shows it; any other name may still be typed.
class LimitRuleDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LimitRuleDelegate)

public:
    // table must outlive the delegate.
    explicit LimitRuleDelegate(const ReadingsTable &table, QObject *parent = nullptr);

    // The names heard so far, without their surrounding spaces, each once, in order.
    QStringList namesHeard() const;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;

private:
    const ReadingsTable &m_table;
};
