#include "linuxdesktopnotifications.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace {

const QString service = u"org.freedesktop.Notifications"_qs;
const QString path = u"/org/freedesktop/Notifications"_qs;
const QString interface = u"org.freedesktop.Notifications"_qs;
constexpr int closeTimeoutMs = 1000;

// Services that read the body as markup would otherwise take a host's or a value's "<" or
// "&" for a tag; a quote needs nothing, and one escaped would show as "&quot;" where the
// body is plain text.
QString bodyText(QString body)
{
    return body.replace(u'&', u"&amp;"_qs).replace(u'<', u"&lt;"_qs).replace(u'>', u"&gt;"_qs);
}

} // namespace

LinuxDesktopNotifications::LinuxDesktopNotifications(const QDBusConnection &bus, QObject *parent)
    : DesktopNotifications(parent)
    , m_bus(bus)
{
    m_bus.connect(service, path, interface, u"NotificationClosed"_qs, this,
                  SLOT(onNotificationClosed(uint, uint)));
    m_bus.connect(service, path, interface, u"ActionInvoked"_qs, this,
                  SLOT(onActionInvoked(uint, QString)));
}

LinuxDesktopNotifications::~LinuxDesktopNotifications()
{
    if (m_shownId == 0)
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, interface, u"CloseNotification"_qs);
    call << m_shownId;
    // Waited for, briefly: a message merely queued is lost when the program ends right after.
    m_bus.call(call, QDBus::BlockWithGui, closeTimeoutMs);
}

bool LinuxDesktopNotifications::isAvailable() const
{
    const QDBusConnectionInterface *daemon = m_bus.isConnected() ? m_bus.interface() : nullptr;
    // A service the bus starts on the first call counts as there.
    return daemon
           && (daemon->isServiceRegistered(service).value()
               || daemon->activatableServiceNames().value().contains(service));
}

void LinuxDesktopNotifications::show(const Notification &notification)
{
    QVariantMap hints{
        {u"category"_qs, u"device"_qs},
        {u"desktop-entry"_qs, u"senvo-net"_qs},
        {u"urgency"_qs, QVariant::fromValue<uchar>(notification.critical ? 2 : 1)},
        {u"suppress-sound"_qs, !notification.sound},
    };
    // Most services play nothing unless told which sound: this is the sound theme's own
    // for news that just arrived.
    if (notification.sound)
        hints.insert(u"sound-name"_qs, u"message-new-instant"_qs);
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, u"Notify"_qs);
    call << u"Senvo-Net"_qs << (notification.replace ? m_shownId : 0u) << u"senvo-net"_qs
         << notification.title << bodyText(notification.body)
         << QStringList{u"default"_qs, u"Show"_qs} << hints << -1;
    // Asynchronous: a slow or absent service never holds up the window.
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *finished) {
                const QDBusPendingReply<uint> reply = *finished;
                m_shownId = reply.isValid() ? reply.value() : 0;
                finished->deleteLater();
            });
}

void LinuxDesktopNotifications::onNotificationClosed(uint id, uint reason)
{
    Q_UNUSED(reason)
    // Every program's notifications are announced to all; only this one's concern it.
    if (id == 0 || id != m_shownId)
        return;
    m_shownId = 0;
    Q_EMIT closed();
}

void LinuxDesktopNotifications::onActionInvoked(uint id, const QString &actionKey)
{
    if (id != 0 && id == m_shownId && actionKey == u"default")
        Q_EMIT activated();
}
