#pragma once

#include "engine/notify/notifychoices.h"

#include <QDialog>

class Monitor;
class QCheckBox;

// Which news reaches the desktop, and with a sound or not. OK writes the choices to
// Senvo-Net.json, every other key kept, and they apply at once.
class NotificationsDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NotificationsDialog)

public:
    // Shows the choices in force; monitor must outlive the dialog.
    explicit NotificationsDialog(Monitor &monitor, QWidget *parent = nullptr);

    NotifyChoices choices() const;

    void accept() override;

private:
    QCheckBox *addBox(const QString &text, const QString &name, bool checked);

    Monitor &m_monitor;
    QCheckBox *m_critical = nullptr;
    QCheckBox *m_silent = nullptr;
    QCheckBox *m_warning = nullptr;
    QCheckBox *m_recovery = nullptr;
    QCheckBox *m_sound = nullptr;
};
