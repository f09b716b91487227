#include "engine/monitor/monitor.h"
#include "fakedatagramsocket.h"
#include "gui/limits/limitrulesmodel.h"
#include "gui/limits/limitspage.h"
#include "gui/common/settingspage.h"
#include "gui/settings/settingswindow.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

// One window over every page: OK applies the pages that changed, or none while one holds a
// mistake.
class TestSettingsWindow final : public QObject
{
    Q_OBJECT

private slots:
    void okAppliesTheChangedPagesOrNone_data();
    void okAppliesTheChangedPagesOrNone();
    void opensAtAPage_data();
    void opensAtAPage();
};

void TestSettingsWindow::okAppliesTheChangedPagesOrNone_data()
{
    QTest::addColumn<QString>("senders"); // typed; null: left alone
    QTest::addColumn<bool>("warning");    // Notify Warning ticked
    QTest::addColumn<QString>("rule");    // the reading of a rule added; empty: none
    QTest::addColumn<QString>("refused"); // the page shown with its mistake; empty: applied

    QTest::newRow("one page changed") << QString() << true << QString() << QString();
    QTest::newRow("three pages changed") << u"10.0.0.0/8"_qs << true << u"CPU"_qs << QString();
    QTest::newRow("a mistake on one page, none applied")
        << u"server.lan"_qs << true << u"CPU"_qs << u"sendersPage"_qs;
}

void TestSettingsWindow::okAppliesTheChangedPagesOrNone()
{
    QFETCH(QString, senders);
    QFETCH(bool, warning);
    QFETCH(QString, rule);
    QFETCH(QString, refused);
    const QTemporaryDir program;
    const QTemporaryDir user;
    const QString file = program.filePath(u"Senvo-Net.json"_qs);
    const QByteArray before = R"({"other":1})";
    QVERIFY(writeBytes(file, before));
    Monitor monitor(SettingsFile(program.path(), user.path()), nullptr, new FakeDatagramSocket);
    SettingsWindow window(monitor);
    window.show();
    if (!senders.isNull())
        window.findChild<QPlainTextEdit *>(u"allowedSenders"_qs)->setPlainText(senders);
    window.findChild<QCheckBox *>(u"NotifyWarning"_qs)->setChecked(warning);
    if (!rule.isEmpty()) {
        LimitRulesModel *rules = window.page<LimitsPage>()->model();
        rules->setData(rules->index(rules->appendRow(), LimitRulesModel::Reading), rule);
    }
    window.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();

    if (!refused.isEmpty()) {
        QCOMPARE(window.currentPage()->objectName(), refused);
        auto *told = window.findChild<QMessageBox *>(u"sendersRefused"_qs);
        QVERIFY(told && told->text().contains(window.currentPage()->title()));
        QVERIFY(window.isVisible());
        QCOMPARE(readBytes(file), before);
        QVERIFY(!monitor.notifier().choices().warning);
        QVERIFY(monitor.limits().rules().rules().isEmpty());
        return;
    }
    QVERIFY(!window.isVisible());
    const QJsonObject written = QJsonDocument::fromJson(readBytes(file)).object();
    QCOMPARE(written.value(u"other"_qs), QJsonValue(1));
    QCOMPARE(written.value(u"allowedSenders"_qs).toVariant().toStringList(),
             senders.isNull() ? QStringList() : QStringList{senders});
    QCOMPARE(monitor.limits().rules().rules().size(), rule.isEmpty() ? 0 : 1);
    QCOMPARE(monitor.notifier().choices().warning, warning);
}

void TestSettingsWindow::opensAtAPage_data()
{
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QString>("shown");
    QTest::newRow("Senders") << u"sendersPage"_qs << u"sendersPage"_qs;
    QTest::newRow("Notifications") << u"notificationsPage"_qs << u"notificationsPage"_qs;
    QTest::newRow("none: the first") << QString() << u"limitsPage"_qs;
}

void TestSettingsWindow::opensAtAPage()
{
    QFETCH(QString, asked);
    QFETCH(QString, shown);
    const QTemporaryDir folder;
    Monitor monitor(SettingsFile(folder.path(), folder.path()), nullptr, new FakeDatagramSocket);
    SettingsWindow window(monitor);
    window.showPage(asked);
    QCOMPARE(window.currentPage()->objectName(), shown);
    QCOMPARE(window.findChild<QListWidget *>(u"settingsPages"_qs)->currentItem()->text(),
             window.currentPage()->title());
}

QTEST_MAIN(TestSettingsWindow)
#include "tst_settingswindow.moc"
