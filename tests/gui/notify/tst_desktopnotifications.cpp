#include "gui/notify/linuxdesktopnotifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

const QString service = u"org.freedesktop.Notifications"_qs;
const QString path = u"/org/freedesktop/Notifications"_qs;

// The desktop's side: keeps each call's arguments and gives each new notification an id.
class NotificationService final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QList<QVariantList> calls;
    QList<uint> closedIds;
    uint lastId = 40;

public Q_SLOTS:
    uint Notify(const QString &app, uint replacesId, const QString &icon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints,
                int timeout)
    {
        calls.append({app, replacesId, icon, summary, body, actions, hints, timeout});
        return replacesId != 0 ? replacesId : ++lastId;
    }
    void CloseNotification(uint id) { closedIds.append(id); }
};

class TestDesktopNotifications final : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    // The service's signals, as the program's connection receives them.
    void heard() { ++m_heard; }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void notify_data();
    void notify();
    void closedWhenGone_data();
    void closedWhenGone();

private:
    void sendSignal(const QString &name, uint id, const QVariant &second);

    QTemporaryDir m_busFolder;
    QProcess m_daemon;
    NotificationService m_service;
    int m_sent = 0;
    int m_heard = 0;
};

void TestDesktopNotifications::initTestCase()
{
    const QString daemon = QStandardPaths::findExecutable(u"dbus-daemon"_qs);
    if (daemon.isEmpty())
        QSKIP("dbus-daemon is not installed (Debian package dbus-daemon)");
    // A bus of the test's own that starts no service: the user's session bus is never
    // touched, nor a notification service installed on this machine.
    QFile config(m_busFolder.filePath(u"bus.conf"_qs));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("<busconfig><type>session</type><listen>unix:dir=" + m_busFolder.path().toUtf8()
                 + "</listen><policy context=\"default\"><allow send_destination=\"*\"/><allow "
                   "receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>\n");
    config.close();
    m_daemon.start(
        daemon, {u"--nofork"_qs, u"--print-address"_qs, u"--config-file="_qs + config.fileName()});
    QVERIFY(m_daemon.waitForReadyRead(10'000));
    const QString address = QString::fromUtf8(m_daemon.readLine().trimmed());
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    QDBusConnection desktop = QDBusConnection::connectToBus(address, u"desktop"_qs);
    QDBusConnection program = QDBusConnection::connectToBus(address, u"program"_qs);
    QVERIFY(!LinuxDesktopNotifications(program, nullptr).isAvailable());
    QVERIFY(desktop.registerObject(path, &m_service, QDBusConnection::ExportAllSlots));
    QVERIFY(desktop.registerService(service));
    for (const QString &name : {u"NotificationClosed"_qs, u"ActionInvoked"_qs})
        QVERIFY(program.connect(service, path, service, name, this, SLOT(heard())));
}

void TestDesktopNotifications::cleanupTestCase()
{
    m_daemon.terminate();
    m_daemon.waitForFinished();
}

// Returns once the program has the signal, and with it whatever the service sent before:
// a connection's messages arrive in the order they were sent.
void TestDesktopNotifications::sendSignal(const QString &name, uint id, const QVariant &second)
{
    QVERIFY(QDBusConnection(u"desktop"_qs)
                .send(QDBusMessage::createSignal(path, service, name) << id << second));
    ++m_sent;
    QTRY_COMPARE(m_heard, m_sent);
}

void TestDesktopNotifications::notify_data()
{
    QTest::addColumn<QString>("signal");
    QTest::addColumn<bool>("ours");
    QTest::addColumn<bool>("replace");
    QTest::addColumn<bool>("replaced");
    QTest::addColumn<QString>("reported");

    const QString closed = u"NotificationClosed"_qs;
    const QString clicked = u"ActionInvoked"_qs;
    QTest::newRow("still shown: replaced") << QString() << true << true << true << QString();
    QTest::newRow("not asked to replace") << QString() << true << false << false << QString();
    QTest::newRow("closed") << closed << true << true << false << u"closed"_qs;
    QTest::newRow("another's closed") << closed << false << true << true << QString();
    QTest::newRow("clicked") << clicked << true << true << true << u"activated"_qs;
    QTest::newRow("another's clicked") << clicked << false << true << true << QString();
}

void TestDesktopNotifications::notify()
{
    QFETCH(QString, signal);
    QFETCH(bool, ours);
    QFETCH(bool, replace);
    QFETCH(bool, replaced);
    QFETCH(QString, reported);

    LinuxDesktopNotifications notifications(QDBusConnection(u"program"_qs), nullptr);
    QSignalSpy activatedSpy(&notifications, &DesktopNotifications::activated);
    QSignalSpy closedSpy(&notifications, &DesktopNotifications::closed);
    m_service.calls.clear();
    QVERIFY(notifications.isAvailable());
    // Nothing is shown yet to be replaced.
    notifications.show({u"1 host critical"_qs, u"<db01> & co critical"_qs, true, false, true});
    QTRY_COMPARE(m_service.calls.size(), 1);
    const QVariantMap hints{{u"category"_qs, u"device"_qs},
                            {u"desktop-entry"_qs, u"senvo-net"_qs},
                            {u"urgency"_qs, QVariant::fromValue<uchar>(2)},
                            {u"suppress-sound"_qs, true}};
    QCOMPARE(m_service.calls.front(),
             QVariantList({u"Senvo-Net"_qs, 0u, u"senvo-net"_qs, u"1 host critical"_qs,
                           u"&lt;db01&gt; &amp; co critical"_qs,
                           QStringList{u"default"_qs, u"Show"_qs}, hints, -1}));
    const uint id = m_service.lastId;
    sendSignal(u"NotificationClosed"_qs, 0, 0u);
    if (!signal.isEmpty())
        sendSignal(signal, ours ? id : id + 100,
                   signal == u"ActionInvoked" ? QVariant(u"default"_qs) : QVariant(2u));
    notifications.show({u"1 host silent"_qs, u"web3 silent"_qs, replace, true, false});
    QTRY_COMPARE(m_service.calls.size(), 2);
    const QVariantMap second = m_service.calls.back().at(6).toMap();
    QCOMPARE(m_service.calls.back().at(1), QVariant(replaced ? id : 0u));
    QCOMPARE(second.value(u"urgency"_qs), QVariant::fromValue<uchar>(1));
    QCOMPARE(second.value(u"suppress-sound"_qs), QVariant(false));
    QCOMPARE(second.value(u"sound-name"_qs), QVariant(u"message-new-instant"_qs));
    QCOMPARE(activatedSpy.size(), reported == u"activated" ? 1 : 0);
    QCOMPARE(closedSpy.size(), reported == u"closed" ? 1 : 0);
}

void TestDesktopNotifications::closedWhenGone_data()
{
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("closedByDesktop");
    QTest::addColumn<bool>("takenBack");

    QTest::newRow("still shown") << true << false << true;
    QTest::newRow("closed by the desktop") << true << true << false;
    QTest::newRow("never shown") << false << false << false;
}

void TestDesktopNotifications::closedWhenGone()
{
    QFETCH(bool, shown);
    QFETCH(bool, closedByDesktop);
    QFETCH(bool, takenBack);

    m_service.calls.clear();
    m_service.closedIds.clear();
    {
        LinuxDesktopNotifications notifications(QDBusConnection(u"program"_qs), nullptr);
        QSignalSpy closedSpy(&notifications, &DesktopNotifications::closed);
        if (shown) {
            notifications.show({u"1 host critical"_qs, u"db01 critical"_qs, false, true, false});
            QTRY_COMPARE(m_service.calls.size(), 1);
            // The reply carrying the id has arrived once a later signal has.
            sendSignal(u"NotificationClosed"_qs, closedByDesktop ? m_service.lastId : 0, 2u);
            QCOMPARE(closedSpy.size(), closedByDesktop ? 1 : 0);
        }
    }
    // The program's call has been answered by the time its object is gone.
    QCOMPARE(m_service.closedIds, takenBack ? QList<uint>{m_service.lastId} : QList<uint>{});
}

QTEST_GUILESS_MAIN(TestDesktopNotifications)
#include "tst_desktopnotifications.moc"
