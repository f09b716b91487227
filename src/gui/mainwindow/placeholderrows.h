#pragma once

#include <QIdentityProxyModel>

class ReadingsTable;

// The readings as the view shows them: before the first host, a few empty rows stand under
// the header, as an empty grid would show; from then on, the rows of the model beneath, in
// the colours ReadingsLook gives the cells of table, which the models beneath lead to. The
// rows are the view's alone: nothing that counts, copies or saves hosts sees them.
class PlaceholderRows final : public QIdentityProxyModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlaceholderRows)

public:
    static constexpr int count = 3;

    // table, where given, must outlive the rows.
    explicit PlaceholderRows(const ReadingsTable *table = nullptr, QObject *parent = nullptr);

    // Whether the empty rows are wanted; they are shown only while the model beneath has
    // no rows.
    void setShown(bool shown);

    void setSourceModel(QAbstractItemModel *model) override;
    int rowCount(const QModelIndex &parent = {}) const override;
    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex &index) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QModelIndex mapToSource(const QModelIndex &proxyIndex) const override;
    QModelIndex buddy(const QModelIndex &index) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    bool isPlaceholder(const QModelIndex &index) const
    {
        return m_shown && index.isValid() && index.model() == this;
    }

    // The table's own cell beneath a cell of these rows; invalid for a placeholder.
    QModelIndex tableIndex(const QModelIndex &index) const;
    QVariant look(const QModelIndex &index, int role) const;

    const ReadingsTable *const m_table;
    bool m_shown = false;
    QMetaObject::Connection m_arrivals;
};
