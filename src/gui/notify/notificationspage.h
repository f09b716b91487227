#pragma once

#include "engine/notify/notifychoices.h"
#include "gui/common/settingspage.h"

class QCheckBox;

// Which news reaches the desktop, and with a sound or not. Applying writes the choices to
// Senvo-Net.json, every other key kept, and they apply at once.
class NotificationsPage final : public SettingsPage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NotificationsPage)

public:
    NotificationsPage(const NotifyChoices &inForce, Apply<NotifyChoices> apply,
                      QWidget *parent = nullptr);

    NotifyChoices choices() const;

    bool isChanged() override;
    Outcome apply() override;

private:
    QCheckBox *addBox(const QString &text, const QString &name, bool checked);

    const Apply<NotifyChoices> m_apply;
    NotifyChoices m_inForce;
    QCheckBox *m_critical = nullptr;
    QCheckBox *m_silent = nullptr;
    QCheckBox *m_warning = nullptr;
    QCheckBox *m_recovery = nullptr;
    QCheckBox *m_sound = nullptr;
};
