#pragma once

#include "engine/metrics/metricssettings.h"
#include "gui/common/addresslistedit.h"
#include "gui/common/settingspage.h"

class QCheckBox;
class QLabel;
class QLineEdit;

// Whether readings are served to Prometheus, on which address and port, and to whom. Off
// until the user turns it on; applying listens on the new address before writing
// Senvo-Net.json, and changes nothing when either fails.
class MetricsPage final : public SettingsPage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MetricsPage)

public:
    MetricsPage(const MetricsSettings &inForce, Apply<MetricsSettings> apply,
                QWidget *parent = nullptr);

    QCheckBox *serveChoice() const { return m_serve; }
    QLineEdit *listenEdit() const { return m_listen; }
    AddressListEdit *allowedEdit() const { return m_allowed; }
    // What is said under the fields about their mistakes; empty when there are none.
    QString problemText() const;

    bool isChanged() override;
    Outcome check() override;
    Outcome apply() override;

private:
    QString checkFields();
    MetricsSettings edited() const;

    const Apply<MetricsSettings> m_apply;
    MetricsSettings m_inForce;
    QCheckBox *const m_serve;
    QLineEdit *const m_listen;
    AddressListEdit *const m_allowed;
    QLabel *const m_problem;
};
