#pragma once

#include <QDialog>

class LimitRulesModel;
class Monitor;
class QLabel;
class QPushButton;
class QTableView;

// "Senvo-Net Limits": the rules of Senvo-Net.json as a table to add to, remove from and edit
// in place. OK writes the file, whole or not at all, and applies the rules to the whole table
// at once; Cancel changes nothing. Modeless: readings keep arriving while it is open.
class LimitsDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LimitsDialog)

public:
    // monitor must outlive the dialog.
    explicit LimitsDialog(Monitor &monitor, QWidget *parent = nullptr);

    LimitRulesModel *model() const { return m_model; }
    QTableView *view() const { return m_view; }

    void addRule();
    // The rules of every selected cell's row.
    void removeSelectedRules();
    // The current rule one place up (by -1) or down (by 1), staying current.
    void moveCurrentRule(int by);

    // Refused, with a message naming each row at fault, while a cell holds a mistake; the
    // dialog stays open when the file cannot be written.
    void accept() override;

private:
    void updateButtons();

    Monitor &m_monitor;
    LimitRulesModel *const m_model;
    QTableView *const m_view;
    QPushButton *m_remove = nullptr;
    QPushButton *m_up = nullptr;
    QPushButton *m_down = nullptr;
};
