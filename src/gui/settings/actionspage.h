#pragma once

#include "engine/actions/actionsettings.h"
#include "gui/common/settingspage.h"

#include <QJsonObject>
#include <QList>

class ActionRunner;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;

// The actions taken when hosts get into trouble: a list of them, and for the one selected its
// name, when it runs, for which hosts, and the program with its arguments or the webhook's
// address with its headers. Try sends it a made-up batch at once; each action's last result
// is shown beside its name. Refused while an action holds a mistake.
class ActionsPage final : public SettingsPage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ActionsPage)

public:
    // refused: why the actions of the file do not run, empty when they do. runner must
    // outlive the page.
    ActionsPage(const ActionSettings &inForce, const QString &refused, ActionRunner &runner,
                Apply<ActionSettings> apply, QWidget *parent = nullptr);

    QListWidget *actionList() const { return m_list; }
    QPushButton *addButton() const { return m_add; }
    QPushButton *tryButton() const { return m_try; }
    QLineEdit *nameEdit() const { return m_name; }
    QCheckBox *whenBox(ActionRule::WhenFlag flag) const;
    QLineEdit *hostsEdit() const { return m_hosts; }
    QRadioButton *webhookChoice() const { return m_webhookChoice; }
    QLineEdit *programEdit() const { return m_program; }
    QPlainTextEdit *argumentsEdit() const { return m_arguments; }
    QLineEdit *webhookEdit() const { return m_url; }
    QPlainTextEdit *headersEdit() const { return m_headers; }
    // The mistakes of the action selected; empty when it has none.
    QString problemText() const;
    // How the action selected last went.
    QString resultText() const;

    bool isChanged() override;
    Outcome check() override;
    Outcome apply() override;

private:
    void showAction(int row);
    void takeFields();
    void showResults();
    QString headerLineProblem() const;
    ActionSettings edited() const;
    QWidget *programFields();
    QWidget *webhookFields();

    const Apply<ActionSettings> m_apply;
    ActionRunner &m_runner;
    ActionSettings m_inForce;
    // Each action as Senvo-Net.json would hold it, as edited; the page's own model.
    QList<QJsonObject> m_edited;
    bool m_showing = false;

    QListWidget *const m_list;
    QPushButton *const m_add;
    QPushButton *const m_remove;
    QWidget *const m_fields;
    QLineEdit *const m_name;
    QList<QCheckBox *> m_when;
    QLineEdit *const m_hosts;
    QRadioButton *const m_runChoice;
    QRadioButton *const m_webhookChoice;
    QStackedWidget *const m_kind;
    QLineEdit *m_program = nullptr;
    QPlainTextEdit *m_arguments = nullptr;
    QLineEdit *m_url = nullptr;
    QPlainTextEdit *m_headers = nullptr;
    QPushButton *const m_try;
    QLabel *const m_result;
    QLabel *const m_problem;
};
