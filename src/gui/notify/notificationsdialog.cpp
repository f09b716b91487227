#include "notificationsdialog.h"

#include "engine/monitor/monitor.h"
#include "gui/common/notice.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

NotificationsDialog::NotificationsDialog(Monitor &monitor, QWidget *parent)
    : QDialog(parent)
    , m_monitor(monitor)
{
    setObjectName(u"NotificationsDialog"_qs);
    setWindowTitle(tr("Senvo-Net Notifications"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Tell me when hosts newly become:"), this));
    const NotifyChoices current = monitor.notifier().choices();
    m_critical = addBox(tr("&Critical"), u"NotifyCritical"_qs, current.critical);
    m_silent = addBox(tr("&Silent"), u"NotifySilent"_qs, current.silent);
    m_warning = addBox(tr("&Warning"), u"NotifyWarning"_qs, current.warning);
    m_recovery =
        addBox(tr("&Back to normal, once told of"), u"NotifyRecovery"_qs, current.recovery);
    layout->addSpacing(layout->spacing());
    m_sound =
        addBox(tr("Play the desktop's notification s&ound"), u"NotifySound"_qs, current.sound);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &NotificationsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &NotificationsDialog::reject);
    layout->addWidget(buttons);
}

NotifyChoices NotificationsDialog::choices() const
{
    NotifyChoices choices;
    choices.critical = m_critical->isChecked();
    choices.silent = m_silent->isChecked();
    choices.warning = m_warning->isChecked();
    choices.recovery = m_recovery->isChecked();
    choices.sound = m_sound->isChecked();
    return choices;
}

void NotificationsDialog::accept()
{
    const SettingsFile::SaveResult saved = m_monitor.applyNotifyChoices(choices());
    if (!saved.saved) {
        showNotice(this, QMessageBox::Warning,
                   tr("The notification choices could not be saved, so they are not applied:")
                       + u"\n\n"_qs + saved.error,
                   u"notificationsNotSaved"_qs);
        return;
    }
    QDialog::accept();
}

QCheckBox *NotificationsDialog::addBox(const QString &text, const QString &name, bool checked)
{
    auto *box = new QCheckBox(text, this);
    box->setObjectName(name);
    box->setChecked(checked);
    layout()->addWidget(box);
    return box;
}
