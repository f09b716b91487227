#pragma once

#include "engine/settings/senderssettings.h"
#include "gui/common/addresslistedit.h"
#include "gui/common/settingspage.h"

class QComboBox;
class QLabel;

// The address to listen on and the senders let through, one address or prefix a line, each
// checked as it is typed. Refused while a line is not an address; applying writes
// Senvo-Net.json, whole or not at all, and applies at once.
class SendersPage final : public SettingsPage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SendersPage)

public:
    SendersPage(const SendersSettings &inForce, Apply<SendersSettings> apply,
                QWidget *parent = nullptr);

    QComboBox *addressChoice() const { return m_address; }
    AddressListEdit *sendersEdit() const { return m_senders; }
    // What is said under the list about its mistakes; empty when there are none.
    QString problemText() const;

    bool isChanged() override;
    Outcome check() override;
    Outcome apply() override;

private:
    SendersSettings edited() const;

    const Apply<SendersSettings> m_apply;
    SendersSettings m_inForce;
    QComboBox *const m_address;
    AddressListEdit *const m_senders;
    QLabel *const m_problem;
};
