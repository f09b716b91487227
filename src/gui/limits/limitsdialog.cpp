#include "limitsdialog.h"

#include "engine/monitor/monitor.h"
#include "gui/common/notice.h"
#include "limitruledelegate.h"
#include "limitrulesmodel.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include <set>

namespace {

// Why the list starts empty when the file held something else, and what OK does to it.
QString startedEmptyNote(const JsonSettings &settings)
{
    const QString file = QDir::toNativeSeparators(settings.path());
    if (!settings.readError().isEmpty())
        return LimitsDialog::tr("%1 could not be read when Senvo-Net started (%2), so no rules "
                                "are shown. OK writes the file anew with the rules below; "
                                "whatever else it held is lost.")
            .arg(file, settings.readError());
    const QJsonValue limits = settings.object().value(LimitRules::key);
    if (!limits.isUndefined() && !limits.isNull() && !limits.isArray())
        return LimitsDialog::tr("\"limits\" in %1 is not a list, so no rules are shown. OK "
                                "replaces it with the rules below.")
            .arg(file);
    return {};
}

} // namespace

LimitsDialog::LimitsDialog(Monitor &monitor, QWidget *parent)
    : QDialog(parent)
    , m_monitor(monitor)
    , m_model(new LimitRulesModel(this))
    , m_view(new QTableView(this))
{
    setObjectName(u"LimitsDialog"_qs);
    setWindowTitle(tr("Senvo-Net Limits"));
    setSizeGripEnabled(true);

    auto *layout = new QVBoxLayout(this);
    if (const QString note = startedEmptyNote(m_monitor.jsonSettings()); !note.isEmpty()) {
        auto *label = new QLabel(note, this);
        label->setObjectName(u"limitsNote"_qs);
        label->setWordWrap(true);
        layout->addWidget(label);
    }

    m_model->setRules(m_monitor.jsonSettings().object().value(LimitRules::key).toArray());
    m_view->setObjectName(u"limitsTable"_qs);
    m_view->setAccessibleName(tr("Limits"));
    m_view->setModel(m_model);
    m_view->setItemDelegate(new LimitRuleDelegate(m_monitor.table(), m_view));
    m_view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                            | QAbstractItemView::AnyKeyPressed
                            | QAbstractItemView::SelectedClicked);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 8);
    QHeaderView *columns = m_view->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    m_view->resizeColumnsToContents();
    // Room to type a name, a few host patterns or words without widening the column first.
    const int wide = m_view->fontMetrics().averageCharWidth();
    for (const int column :
         {LimitRulesModel::Reading, LimitRulesModel::Hosts, LimitRulesModel::WarningText}) {
        columns->resizeSection(column, std::max(columns->sectionSize(column), 14 * wide));
    }
    columns->setStretchLastSection(true);
    layout->addWidget(m_view, 1);

    auto *hint = new QLabel(tr("Bounds are numbers, with a unit where the values have one "
                               "(95, 20%, 3.2G); host patterns and words are separated by "
                               "commas. Hover a column's title for what it holds."),
                            this);
    hint->setWordWrap(true);
    layout->addWidget(hint);

    auto *buttons = new QHBoxLayout;
    auto *add = new QPushButton(tr("&Add Rule"), this);
    add->setObjectName(u"addRule"_qs);
    m_remove = new QPushButton(tr("&Remove Rule"), this);
    m_remove->setObjectName(u"removeRule"_qs);
    m_up = new QPushButton(tr("Move &Up"), this);
    m_up->setObjectName(u"moveRuleUp"_qs);
    m_down = new QPushButton(tr("Move &Down"), this);
    m_down->setObjectName(u"moveRuleDown"_qs);
    auto *box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    box->setObjectName(u"limitsButtons"_qs);
    buttons->addWidget(add);
    buttons->addWidget(m_remove);
    buttons->addWidget(m_up);
    buttons->addWidget(m_down);
    buttons->addStretch(1);
    buttons->addWidget(box);
    layout->addLayout(buttons);
    // Enter ends the edit of a cell; it must not also press OK.
    for (QPushButton *button : findChildren<QPushButton *>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    connect(add, &QPushButton::clicked, this, &LimitsDialog::addRule);
    connect(m_remove, &QPushButton::clicked, this, &LimitsDialog::removeSelectedRules);
    connect(m_up, &QPushButton::clicked, this, [this] { moveCurrentRule(-1); });
    connect(m_down, &QPushButton::clicked, this, [this] { moveCurrentRule(1); });
    connect(box, &QDialogButtonBox::accepted, this, &LimitsDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &LimitsDialog::reject);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &LimitsDialog::updateButtons);
    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &LimitsDialog::updateButtons);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &LimitsDialog::updateButtons);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &LimitsDialog::updateButtons);
    connect(m_model, &QAbstractItemModel::rowsMoved, this, &LimitsDialog::updateButtons);
    updateButtons();

    // Every column in view where the screen has room for them.
    const int tableWidth = columns->length() + m_view->verticalHeader()->sizeHint().width()
                           + m_view->verticalScrollBar()->sizeHint().width()
                           + 2 * m_view->frameWidth();
    const QMargins margins = layout->contentsMargins();
    QSize size(tableWidth + margins.left() + margins.right(), 20 * m_view->fontMetrics().height());
    size = size.boundedTo(screen()->availableSize() * 9 / 10);
    resize(size.expandedTo(sizeHint()));
}

void LimitsDialog::addRule()
{
    const QModelIndex reading = m_model->index(m_model->appendRow(), LimitRulesModel::Reading);
    m_view->setCurrentIndex(reading);
    m_view->scrollTo(reading);
    m_view->setFocus();
    m_view->edit(reading);
}

void LimitsDialog::removeSelectedRules()
{
    std::set<int, std::greater<>> rows;
    for (const QModelIndex &index : m_view->selectionModel()->selectedIndexes())
        rows.insert(index.row());
    for (const int row : rows)
        m_model->removeRow(row);
    m_view->setFocus();
}

void LimitsDialog::moveCurrentRule(int by)
{
    const QModelIndex current = m_view->currentIndex();
    const int row = current.row();
    if (!current.isValid() || !m_model->moveRow({}, row, {}, by < 0 ? row - 1 : row + 2))
        return;
    m_view->setCurrentIndex(m_model->index(row + by, current.column()));
    m_view->setFocus();
}

void LimitsDialog::updateButtons()
{
    m_remove->setEnabled(m_view->selectionModel()->hasSelection());
    const int row = m_view->currentIndex().row();
    m_up->setEnabled(row > 0);
    m_down->setEnabled(row >= 0 && row < m_model->rowCount() - 1);
}

void LimitsDialog::accept()
{
    // A cell still being edited counts: moving the current cell commits what it holds, with
    // or without the focus (a click on OK may not have taken it from the editor).
    QItemSelectionModel *selection = m_view->selectionModel();
    const QModelIndex current = selection->currentIndex();
    selection->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
    selection->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
    // One message at a time: the latest says what is still wrong.
    for (QMessageBox *told : findChildren<QMessageBox *>())
        told->close();
    const LimitRules rules(m_model->rules());
    // The rules' own check backs up the cells': both name the row.
    const QStringList problems =
        m_model->problems().isEmpty() ? rules.errors() : m_model->problems();
    if (!problems.isEmpty()) {
        showNotice(this, QMessageBox::Warning,
                   tr("The limits are not saved, as some rules hold a mistake:") + u"\n\n"_qs
                       + problems.join(u'\n'),
                   u"limitsNotValid"_qs);
        return;
    }
    const SettingsFile::SaveResult saved = m_monitor.applyLimits(rules);
    if (!saved.saved) {
        showNotice(this, QMessageBox::Warning,
                   tr("The limits could not be saved, so they are not applied:") + u"\n\n"_qs
                       + saved.error,
                   u"limitsNotSaved"_qs);
        return;
    }
    QDialog::accept();
}
