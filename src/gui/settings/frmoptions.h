#pragma once

#include "engine/settings/portsetting.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

// Edits the port the receiver listens on. The field shows the port setting and holds the
// user's edit until OK hands it over.
class frmOptions final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmOptions)

public:
    explicit frmOptions(PortSetting *setting, QWidget *parent = nullptr);

    // Reads the stored port into the field; an empty or missing file leaves it as it is.
    PortSetting::ReadResult LoadConfig();

    QString portText() const;
    void setPortText(const QString &text);

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void cmdOK_Click();

    PortSetting *const m_setting;
    QLineEdit *const m_portvalue;
    QPushButton *const m_cmdOK;
};
