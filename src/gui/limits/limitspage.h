#pragma once

#include "engine/limits/limitrules.h"
#include "gui/common/settingspage.h"

#include <QJsonArray>
#include <QSize>

class JsonSettings;
class LimitRulesModel;
class QPushButton;
class QTableView;
class ReadingsTable;

// The rules of Senvo-Net.json as a table to add to, remove from and edit in place. Applying
// writes the file, whole or not at all, and applies the rules to the whole table at once.
class LimitsPage final : public SettingsPage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LimitsPage)

public:
    // Edits rules, above note when it is not empty; the reading column offers the names heard
    // in table, which must outlive the page.
    LimitsPage(const QJsonArray &rules, const QString &note, const ReadingsTable &table,
               Apply<LimitRules> apply, QWidget *parent = nullptr);

    // Why the list starts empty when the file held something else, and what OK does to it.
    static QString startedEmptyNote(const JsonSettings &settings);

    LimitRulesModel *model() const { return m_model; }
    QTableView *view() const { return m_view; }
    QSize sizeHint() const override { return m_preferred; }

    void addRule();
    // The rules of every selected cell's row.
    void removeSelectedRules();
    // The current rule one place up (by -1) or down (by 1), staying current.
    void moveCurrentRule(int by);

    bool isChanged() override;
    // Names each row at fault.
    Outcome check() override;
    Outcome apply() override;

private:
    void updateButtons();

    const Apply<LimitRules> m_apply;
    LimitRulesModel *const m_model;
    QTableView *const m_view;
    QJsonArray m_inForce;
    QSize m_preferred;
    QPushButton *m_remove = nullptr;
    QPushButton *m_up = nullptr;
    QPushButton *m_down = nullptr;
};
