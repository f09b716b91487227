#include "notificationspage.h"

#include <QCheckBox>
#include <QLabel>
#include <QVBoxLayout>

NotificationsPage::NotificationsPage(const NotifyChoices &inForce, Apply<NotifyChoices> apply,
                                     QWidget *parent)
    : SettingsPage(tr("Notifications"), parent)
    , m_apply(std::move(apply))
    , m_inForce(inForce)
{
    setObjectName(u"notificationsPage"_qs);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins({});
    layout->addWidget(new QLabel(tr("Tell me when hosts newly become:"), this));
    m_critical = addBox(tr("&Critical"), u"NotifyCritical"_qs, inForce.critical);
    m_silent = addBox(tr("&Silent"), u"NotifySilent"_qs, inForce.silent);
    m_warning = addBox(tr("&Warning"), u"NotifyWarning"_qs, inForce.warning);
    m_recovery =
        addBox(tr("&Back to normal, once told of"), u"NotifyRecovery"_qs, inForce.recovery);
    layout->addSpacing(layout->spacing());
    m_sound =
        addBox(tr("Play the desktop's notification s&ound"), u"NotifySound"_qs, inForce.sound);
    layout->addStretch(1);
}

NotifyChoices NotificationsPage::choices() const
{
    NotifyChoices choices;
    choices.critical = m_critical->isChecked();
    choices.silent = m_silent->isChecked();
    choices.warning = m_warning->isChecked();
    choices.recovery = m_recovery->isChecked();
    choices.sound = m_sound->isChecked();
    return choices;
}

bool NotificationsPage::isChanged()
{
    return choices() != m_inForce;
}

SettingsPage::Outcome NotificationsPage::apply()
{
    const NotifyChoices now = choices();
    if (const QString error = m_apply(now); !error.isEmpty())
        return {tr("The notification choices could not be saved, so they are not applied:")
                    + u"\n\n"_qs + error,
                u"notificationsNotSaved"_qs};
    m_inForce = now;
    return {};
}

QCheckBox *NotificationsPage::addBox(const QString &text, const QString &name, bool checked)
{
    auto *box = new QCheckBox(text, this);
    box->setObjectName(name);
    box->setChecked(checked);
    layout()->addWidget(box);
    return box;
}
