#include "limitspage.h"

#include "engine/settings/jsonsettings.h"
#include "limitruledelegate.h"
#include "limitrulesmodel.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include <set>

QString LimitsPage::startedEmptyNote(const JsonSettings &settings)
{
    const QString file = QDir::toNativeSeparators(settings.path());
    if (!settings.readError().isEmpty())
        return tr("%1 could not be read when Senvo-Net started (%2), so no rules are shown. OK "
                  "writes the file anew with the rules below; whatever else it held is lost.")
            .arg(file, settings.readError());
    const QJsonValue limits = settings.object().value(LimitRules::key);
    if (!limits.isUndefined() && !limits.isNull() && !limits.isArray())
        return tr("\"limits\" in %1 is not a list, so no rules are shown. OK replaces it with "
                  "the rules below.")
            .arg(file);
    return {};
}

LimitsPage::LimitsPage(const QJsonArray &rules, const QString &note, const ReadingsTable &table,
                       Apply<LimitRules> apply, QWidget *parent)
    : SettingsPage(tr("Limits"), parent)
    , m_apply(std::move(apply))
    , m_model(new LimitRulesModel(this))
    , m_view(new QTableView(this))
{
    setObjectName(u"limitsPage"_qs);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins({});
    if (!note.isEmpty()) {
        auto *label = new QLabel(note, this);
        label->setObjectName(u"limitsNote"_qs);
        label->setWordWrap(true);
        layout->addWidget(label);
    }

    m_model->setRules(rules);
    m_inForce = LimitRules(m_model->rules()).toJson();
    m_view->setObjectName(u"limitsTable"_qs);
    m_view->setAccessibleName(tr("Limits"));
    m_view->setModel(m_model);
    m_view->setItemDelegate(new LimitRuleDelegate(table, m_view));
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
    buttons->addWidget(add);
    buttons->addWidget(m_remove);
    buttons->addWidget(m_up);
    buttons->addWidget(m_down);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    connect(add, &QPushButton::clicked, this, &LimitsPage::addRule);
    connect(m_remove, &QPushButton::clicked, this, &LimitsPage::removeSelectedRules);
    connect(m_up, &QPushButton::clicked, this, [this] { moveCurrentRule(-1); });
    connect(m_down, &QPushButton::clicked, this, [this] { moveCurrentRule(1); });
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &LimitsPage::updateButtons);
    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &LimitsPage::updateButtons);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &LimitsPage::updateButtons);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &LimitsPage::updateButtons);
    connect(m_model, &QAbstractItemModel::rowsMoved, this, &LimitsPage::updateButtons);
    updateButtons();

    // Every column in view where the screen has room for them.
    const int tableWidth = columns->length() + m_view->verticalHeader()->sizeHint().width()
                           + m_view->verticalScrollBar()->sizeHint().width()
                           + 2 * m_view->frameWidth();
    m_preferred = QSize(tableWidth, 20 * m_view->fontMetrics().height())
                      .boundedTo(screen()->availableSize() * 8 / 10)
                      .expandedTo(QWidget::sizeHint());
}

void LimitsPage::addRule()
{
    const QModelIndex reading = m_model->index(m_model->appendRow(), LimitRulesModel::Reading);
    m_view->setCurrentIndex(reading);
    m_view->scrollTo(reading);
    m_view->setFocus();
    m_view->edit(reading);
}

void LimitsPage::removeSelectedRules()
{
    std::set<int, std::greater<>> rows;
    for (const QModelIndex &index : m_view->selectionModel()->selectedIndexes())
        rows.insert(index.row());
    for (const int row : rows)
        m_model->removeRow(row);
    m_view->setFocus();
}

void LimitsPage::moveCurrentRule(int by)
{
    const QModelIndex current = m_view->currentIndex();
    const int row = current.row();
    if (!current.isValid() || !m_model->moveRow({}, row, {}, by < 0 ? row - 1 : row + 2))
        return;
    m_view->setCurrentIndex(m_model->index(row + by, current.column()));
    m_view->setFocus();
}

void LimitsPage::updateButtons()
{
    m_remove->setEnabled(m_view->selectionModel()->hasSelection());
    const int row = m_view->currentIndex().row();
    m_up->setEnabled(row > 0);
    m_down->setEnabled(row >= 0 && row < m_model->rowCount() - 1);
}

bool LimitsPage::isChanged()
{
    // A cell still being edited counts: moving the current cell commits what it holds, with
    // or without the focus (a click on OK may not have taken it from the editor).
    QItemSelectionModel *selection = m_view->selectionModel();
    const QModelIndex current = selection->currentIndex();
    selection->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
    selection->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
    return !m_model->problems().isEmpty() || LimitRules(m_model->rules()).toJson() != m_inForce;
}

SettingsPage::Outcome LimitsPage::check()
{
    const LimitRules rules(m_model->rules());
    // The rules' own check backs up the cells': both name the row.
    const QStringList problems =
        m_model->problems().isEmpty() ? rules.errors() : m_model->problems();
    if (problems.isEmpty())
        return {};
    return {tr("The limits are not saved, as some rules hold a mistake:") + u"\n\n"_qs
                + problems.join(u'\n'),
            u"limitsNotValid"_qs};
}

SettingsPage::Outcome LimitsPage::apply()
{
    const LimitRules rules(m_model->rules());
    if (const QString error = m_apply(rules); !error.isEmpty())
        return {tr("The limits could not be saved, so they are not applied:") + u"\n\n"_qs + error,
                u"limitsNotSaved"_qs};
    m_inForce = rules.toJson();
    return {};
}
