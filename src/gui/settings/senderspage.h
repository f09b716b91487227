#pragma once

#include "engine/settings/senderssettings.h"
#include "engine/settings/streamsettings.h"
#include "gui/common/addresslistedit.h"
#include "gui/common/settingspage.h"

#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

// The address to listen on and the senders let through, one address or prefix a line, each
// checked as it is typed; below them syslog over TCP and over TLS. Refused while a line is not
// an address, a port is not one or TLS lacks its files; applying writes Senvo-Net.json, whole
// or not at all, and applies at once.
class SendersPage final : public SettingsPage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SendersPage)

public:
    SendersPage(const SendersSettings &inForce, Apply<SendersSettings> apply,
                const StreamSettings &streamsInForce, Apply<StreamSettings> applyStreams,
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
    // Off ports as 0; nothing while an on port is not a port.
    std::optional<StreamSettings> editedStreams() const;
    bool sendersChanged() const;
    bool streamsChanged() const;

    const Apply<SendersSettings> m_apply;
    const Apply<StreamSettings> m_applyStreams;
    SendersSettings m_inForce;
    StreamSettings m_streamsInForce;
    QComboBox *const m_address;
    AddressListEdit *const m_senders;
    QLabel *const m_problem;
    QCheckBox *const m_tcpOn;
    QLineEdit *const m_tcpPort;
    QCheckBox *const m_tlsOn;
    QLineEdit *const m_tlsPort;
    QLineEdit *const m_certificate;
    QLineEdit *const m_privateKey;
    QLineEdit *const m_clientCA;
    QPlainTextEdit *const m_allowedClients;
};
