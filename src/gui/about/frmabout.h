#pragma once

#include <QDialog>

#include <memory>

class ProgramLauncher;
class QLabel;
class QPushButton;
class Registry;

// The About box: title, version, description, and a button that starts the system's
// System Information tool. Modeless; it deletes itself when closed.
class frmAbout final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmAbout)

public:
    explicit frmAbout(QWidget *parent = nullptr);
    ~frmAbout() override;

    // "Version major.minor.patch" from the application's version text; the version the
    // program was built as where that text is empty or not a version.
    static QString versionText(const QString &applicationVersion);

    static QString unavailableMessage();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void Form_Load();
    void cmdSysInfo_Click();
    void showUnavailable();
    QRect twips(int x, int y, int width, int height) const;

    std::unique_ptr<Registry> m_registry;
    std::unique_ptr<ProgramLauncher> m_launcher;
    QLabel *m_picIcon;
    QLabel *m_lblTitle;
    QLabel *m_lblVersion;
    QLabel *m_lblDescription;
    QLabel *m_lblCredits;
    QLabel *m_lblDisclaimer;
    QPushButton *m_cmdOK;
    QPushButton *m_cmdSysInfo;
};
