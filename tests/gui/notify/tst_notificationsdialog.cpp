#include "engine/monitor/monitor.h"
#include "fakedatagramsocket.h"
#include "gui/notify/notificationspage.h"
#include "gui/settings/settingswindow.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The dialog's boxes, in the order the rows give their states.
const QStringList boxes{u"NotifyCritical"_qs, u"NotifySilent"_qs, u"NotifyWarning"_qs,
                        u"NotifyRecovery"_qs, u"NotifySound"_qs};

NotifyChoices choicesOf(const QList<bool> &ticked)
{
    return {ticked[0], ticked[1], ticked[2], ticked[3], ticked[4]};
}

} // namespace

// The Notifications dialog shows the choices in force, and OK keeps what the user ticked.
class TestNotificationsDialog final : public QObject
{
    Q_OBJECT

private slots:
    void showsAndKeepsTheChoices_data();
    void showsAndKeepsTheChoices();
};

void TestNotificationsDialog::showsAndKeepsTheChoices_data()
{
    QTest::addColumn<QByteArray>("stored"); // the "notifications" object in the file
    QTest::addColumn<QList<bool>>("shown");
    QTest::addColumn<QStringList>("clicked");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QList<bool>>("kept");

    const QByteArray some = R"({"notifyCritical":false,"notifyRecovery":true,"later":3})";
    QTest::newRow("defaults, OK unchanged")
        << QByteArray("{}") << QList{true, true, false, false, false} << QStringList{} << true
        << QList{true, true, false, false, false};
    QTest::newRow("stored, three ticked, OK")
        << some << QList{false, true, false, true, false}
        << QStringList{u"NotifyWarning"_qs, u"NotifySound"_qs, u"NotifySilent"_qs} << true
        << QList{false, false, true, true, true};
    QTest::newRow("Cancel keeps the file")
        << some << QList{false, true, false, true, false} << QStringList{u"NotifyCritical"_qs}
        << false << QList{false, true, false, true, false};
}

void TestNotificationsDialog::showsAndKeepsTheChoices()
{
    QFETCH(const QByteArray, stored);
    QFETCH(const QList<bool>, shown);
    QFETCH(const QStringList, clicked);
    QFETCH(const bool, ok);
    QFETCH(const QList<bool>, kept);

    const QTemporaryDir program;
    const QTemporaryDir user;
    const QString file = program.filePath(u"Senvo-Net.json"_qs);
    const QByteArray before = R"({"limits":[{"reading":"CPU","criticalAbove":95}],"other":"kept",)"
                              R"("notifications":)"
                              + stored + '}';
    QVERIFY(writeBytes(file, before));
    Monitor monitor(SettingsFile(program.path(), user.path()), nullptr, new FakeDatagramSocket);
    SettingsWindow dialog(monitor);
    dialog.showPage(u"notificationsPage"_qs);
    QVERIFY(dialog.currentPage() == dialog.page<NotificationsPage>());
    QList<bool> ticked;
    for (const QString &name : boxes)
        ticked.append(dialog.findChild<QCheckBox *>(name)->isChecked());
    QCOMPARE(ticked, shown);

    for (const QString &name : clicked)
        dialog.findChild<QCheckBox *>(name)->click();
    dialog.findChild<QDialogButtonBox *>()
        ->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)
        ->click();
    QCOMPARE(dialog.result(), ok ? QDialog::Accepted : QDialog::Rejected);
    QCOMPARE(monitor.notifier().choices(), choicesOf(kept));
    if (!ok) {
        QCOMPARE(readBytes(file), before);
        return;
    }
    const QJsonObject written = QJsonDocument::fromJson(readBytes(file)).object();
    const QJsonObject notifications = written.value(u"notifications"_qs).toObject();
    QCOMPARE(NotifyChoices::fromJson(notifications), choicesOf(kept));
    QCOMPARE(notifications.value(u"later"_qs), QJsonDocument::fromJson(stored)[u"later"_qs]);
    QCOMPARE(written.value(u"other"_qs).toString(), u"kept"_qs);
    QCOMPARE(written.value(u"limits"_qs), QJsonDocument::fromJson(before)[u"limits"_qs]);
}

QTEST_MAIN(TestNotificationsDialog)
#include "tst_notificationsdialog.moc"
