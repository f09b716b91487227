#include "limitruledelegate.h"

#include "engine/reception/readingstable.h"
#include "limitrulesmodel.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QPainter>

namespace {

bool isReading(const QModelIndex &index)
{
    return index.column() == LimitRulesModel::Reading;
}

} // namespace

LimitRuleDelegate::LimitRuleDelegate(const ReadingsTable &table, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_table(table)
{
}

QStringList LimitRuleDelegate::namesHeard() const
{
    QStringList names;
    names.reserve(m_table.nameIdCount());
    for (int id = 0; id < m_table.nameIdCount(); ++id) {
        const QString name = m_table.nameText(id).trimmed();
        if (!name.isEmpty())
            names.append(name);
    }
    names.sort(Qt::CaseInsensitive);
    names.removeDuplicates();
    return names;
}

void LimitRuleDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    // The model tells a mistake in the cell's tool tip.
    if (index.data(Qt::ToolTipRole).toString().isEmpty())
        return;
    painter->save();
    painter->setPen(QPen(QColor(0xc0, 0, 0), 2));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(QRectF(option.rect).adjusted(1, 1, -1, -1));
    painter->restore();
}

QWidget *LimitRuleDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                         const QModelIndex &index) const
{
    if (!isReading(index))
        return QStyledItemDelegate::createEditor(parent, option, index);
    auto *editor = new QComboBox(parent);
    editor->setObjectName(u"readingEditor"_qs);
    editor->setEditable(true);
    // A name the table has not heard yet is a rule for readings still to come.
    editor->setInsertPolicy(QComboBox::NoInsert);
    editor->addItems(namesHeard());
    // Names are matched exactly, so the completion offered must be too.
    editor->completer()->setCaseSensitivity(Qt::CaseSensitive);
    editor->completer()->setCompletionMode(QCompleter::PopupCompletion);
    // The lists show names whole, however narrow the column.
    const int wide = editor->view()->sizeHintForColumn(0) + editor->fontMetrics().height() * 2;
    editor->view()->setMinimumWidth(wide);
    editor->completer()->popup()->setMinimumWidth(wide);
    return editor;
}

void LimitRuleDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *names = qobject_cast<QComboBox *>(editor);
    if (!names) {
        QStyledItemDelegate::setEditorData(editor, index);
        return;
    }
    const QString name = index.data(Qt::EditRole).toString();
    const int found = names->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (found >= 0)
        names->setCurrentIndex(found);
    else
        names->setEditText(name);
}

void LimitRuleDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                     const QModelIndex &index) const
{
    if (auto *names = qobject_cast<QComboBox *>(editor))
        model->setData(index, names->currentText().trimmed());
    else
        QStyledItemDelegate::setModelData(editor, model, index);
}
