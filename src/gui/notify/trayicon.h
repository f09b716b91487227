#pragma once

#include "engine/notify/troublesummary.h"

#include <QIcon>
#include <QObject>
#include <QString>

#include <memory>

class QAction;
class QActionGroup;
class QMenu;
class QSystemTrayIcon;
class Notifier;

// The program's icon in the desktop's tray: a mark in the colour of the worst state, a
// tooltip that counts the hosts in trouble, and a menu to show the window, show the
// problems, mute notifications and exit. Made only where the desktop has a tray.
class TrayIcon final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrayIcon)

public:
    // Mutes notifier from its menu; notifier must outlive the icon.
    explicit TrayIcon(Notifier &notifier, QObject *parent = nullptr);
    ~TrayIcon() override;

    // "Senvo-Net · 2 critical · 5 warning · 3 of 120 hosts silent".
    static QString toolTip(const TroubleSummary &summary);
    // The application's icon with the mark of worst, none for None.
    static QIcon markedIcon(Trouble worst);

    void setSummary(const TroubleSummary &summary);
    QString toolTip() const;
    // The balloon, where the desktop has no notification service of its own. Without the sound
    // it goes without an icon, but Windows may play its sound all the same: the tray gives no
    // way to ask for quiet.
    void showMessage(const QString &title, const QString &body, bool sound, bool critical);

Q_SIGNALS:
    void showRequested();
    void problemsOnlyRequested();
    void exitRequested();
    // The user clicked a balloon.
    void messageClicked();

private:
    void addMuteChoice(QMenu *menu, const QString &text, const QString &name, qint64 ms);
    void showMuting();

    Notifier &m_notifier;
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon *m_tray = nullptr;
    QActionGroup *m_muteChoices = nullptr;
    QAction *m_unmute = nullptr;
    Trouble m_worst = Trouble::Normal;
};
