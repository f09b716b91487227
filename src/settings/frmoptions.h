#pragma once

#include "settings/settingsfile.h"

#include <QDialog>

class DatagramReceiver;
class QLineEdit;
class QPushButton;

// Edits the port the receiver listens on. The port field is the one copy of the
// setting while the program runs; the settings file keeps it between runs.
class frmOptions final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmOptions)

public:
    static constexpr QLatin1StringView defaultPort{"514"};

    frmOptions(const SettingsFile &settings, DatagramReceiver *receiver, QWidget *parent = nullptr);

    // Reads the stored port into the field; an empty or missing file leaves it as it is.
    SettingsFile::LoadResult LoadConfig();
    SettingsFile::SaveResult SaveConfig();

    QString portText() const;
    void setPortText(const QString &text);

Q_SIGNALS:
    // The receiver moved to the port in the field (whether or not it could be saved).
    void portApplied();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void cmdOK_Click();

    const SettingsFile m_settings;
    DatagramReceiver *const m_receiver;
    QLineEdit *const m_portvalue;
    QPushButton *const m_cmdOK;
};
