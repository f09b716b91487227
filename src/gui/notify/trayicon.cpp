#include "trayicon.h"

#include "engine/notify/notifier.h"
#include "gui/common/applicationicon.h"
#include "gui/common/readingslook.h"

#include <QActionGroup>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>

#include <limits>

namespace {

constexpr qint64 minuteMs = 60'000;
// Marks a choice as muting until unmuted.
constexpr qint64 untilUnmuted = std::numeric_limits<qint64>::max();

} // namespace

TrayIcon::TrayIcon(Notifier &notifier, QObject *parent)
    : QObject(parent)
    , m_notifier(notifier)
    , m_menu(std::make_unique<QMenu>())
    , m_tray(new QSystemTrayIcon(markedIcon(m_worst), this))
{
    m_menu->setObjectName(u"TrayMenu"_qs);
    auto add = [this](QMenu *menu, const QString &text, const QString &name) {
        QAction *action = menu->addAction(text);
        action->setObjectName(name);
        return action;
    };
    connect(add(m_menu.get(), tr("&Show"), u"TrayShow"_qs), &QAction::triggered, this,
            &TrayIcon::showRequested);
    connect(add(m_menu.get(), tr("&Problems Only"), u"TrayProblemsOnly"_qs), &QAction::triggered,
            this, &TrayIcon::problemsOnlyRequested);
    QMenu *mute = m_menu->addMenu(tr("&Mute Notifications"));
    mute->setObjectName(u"TrayMute"_qs);
    m_muteChoices = new QActionGroup(mute);
    m_muteChoices->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    addMuteChoice(mute, tr("For &15 Minutes"), u"TrayMute15"_qs, 15 * minuteMs);
    addMuteChoice(mute, tr("For 1 &Hour"), u"TrayMute60"_qs, 60 * minuteMs);
    addMuteChoice(mute, tr("For &4 Hours"), u"TrayMute240"_qs, 240 * minuteMs);
    addMuteChoice(mute, tr("&Until Unmuted"), u"TrayMuteUntilUnmuted"_qs, untilUnmuted);
    mute->addSeparator();
    m_unmute = add(mute, tr("U&nmute"), u"TrayUnmute"_qs);
    connect(m_unmute, &QAction::triggered, this, [this] {
        m_notifier.unmute();
        showMuting();
    });
    // A mute for a while ends on its own: the menu shows what is in force when it opens.
    connect(m_menu.get(), &QMenu::aboutToShow, this, &TrayIcon::showMuting);
    connect(mute, &QMenu::aboutToShow, this, &TrayIcon::showMuting);
    m_menu->addSeparator();
    connect(add(m_menu.get(), tr("E&xit"), u"TrayExit"_qs), &QAction::triggered, this,
            &TrayIcon::exitRequested);
    showMuting();

    m_tray->setContextMenu(m_menu.get());
    m_tray->setToolTip(toolTip({}));
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick)
                    Q_EMIT showRequested();
            });
    connect(m_tray, &QSystemTrayIcon::messageClicked, this, &TrayIcon::messageClicked);
    m_tray->show();
}

// The menu goes with the icon it belongs to.
TrayIcon::~TrayIcon()
{
    delete m_tray;
}

QString TrayIcon::toolTip(const TroubleSummary &summary)
{
    return u"Senvo-Net"_qs + summary.text();
}

QIcon TrayIcon::markedIcon(Trouble worst)
{
    const QIcon plain = applicationIcon();
    const QColor colour = ReadingsLook::markColour(worst);
    if (!colour.isValid())
        return plain;
    QIcon marked;
    for (const int side : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap = plain.pixmap(side, side);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        // A dot in the lower right corner, ringed so that it shows on any icon and panel.
        const qreal dot = side * 0.5;
        const QRectF where(side - dot, side - dot, dot, dot);
        painter.setPen(QPen(Qt::white, std::max(1.0, side / 16.0)));
        painter.setBrush(colour);
        painter.drawEllipse(where.adjusted(0.5, 0.5, -0.5, -0.5));
        painter.end();
        marked.addPixmap(pixmap);
    }
    return marked;
}

void TrayIcon::setSummary(const TroubleSummary &summary)
{
    m_tray->setToolTip(toolTip(summary));
    // Drawn again only when the colour changes, not with every count.
    if (const Trouble worst = summary.worst(); worst != m_worst) {
        m_worst = worst;
        m_tray->setIcon(markedIcon(worst));
    }
}

QString TrayIcon::toolTip() const
{
    return m_tray->toolTip();
}

void TrayIcon::showMessage(const QString &title, const QString &body, bool sound, bool critical)
{
    const QSystemTrayIcon::MessageIcon icon =
        !sound ? QSystemTrayIcon::NoIcon
               : (critical ? QSystemTrayIcon::Critical : QSystemTrayIcon::Information);
    m_tray->showMessage(title, body, icon);
}

void TrayIcon::addMuteChoice(QMenu *menu, const QString &text, const QString &name, qint64 ms)
{
    QAction *action = menu->addAction(text);
    action->setObjectName(name);
    action->setCheckable(true);
    action->setData(ms);
    m_muteChoices->addAction(action);
    connect(action, &QAction::triggered, this, [this, ms] {
        if (ms == untilUnmuted)
            m_notifier.muteUntilUnmuted();
        else
            m_notifier.muteFor(ms);
        showMuting();
    });
}

void TrayIcon::showMuting()
{
    const bool muted = m_notifier.isMuted();
    if (!muted) {
        if (QAction *checked = m_muteChoices->checkedAction())
            checked->setChecked(false);
    }
    m_unmute->setEnabled(muted);
}
