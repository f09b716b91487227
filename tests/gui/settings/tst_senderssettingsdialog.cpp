#include "engine/monitor/monitor.h"
#include "engine/settings/jsonsettingsfile.h"
#include "engine/settings/settingsfile.h"
#include "fakedatagramsocket.h"
#include "gui/settings/senderspage.h"
#include "gui/settings/settingswindow.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QJsonDocument>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// "Senvo-Net Senders": every line checked as it is typed, OK refused while one is not an
// address, and the file written and applied when all are.
class TestSendersSettingsDialog final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void linesAreChecked_data();
    void linesAreChecked();
    void tcpTurnedOnThroughTheWindow();

private:
    std::unique_ptr<QTemporaryDir> m_program;
    std::unique_ptr<QTemporaryDir> m_user;
};

void TestSendersSettingsDialog::init()
{
    m_program = std::make_unique<QTemporaryDir>();
    m_user = std::make_unique<QTemporaryDir>();
}

void TestSendersSettingsDialog::linesAreChecked_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("named"); // the line at fault; empty when OK is taken
    QTest::addColumn<QStringList>("written");

    QTest::newRow("sound lines, blank ones skipped")
        << u"192.168.1.0/24\n\n  ::1  \nfd00::/8"_qs << QString()
        << QStringList{u"192.168.1.0/24"_qs, u"::1"_qs, u"fd00::/8"_qs};
    QTest::newRow("empty: every sender") << QString() << QString() << QStringList();
    QTest::newRow("a name, not an address")
        << u"10.0.0.5\nserver.lan"_qs << u"Line 2: \"server.lan\""_qs << QStringList();
    QTest::newRow("a prefix too long")
        << u"10.0.0.0/33"_qs << u"Line 1: \"10.0.0.0/33\""_qs << QStringList();
    QTest::newRow("two at fault, the first named")
        << u"::1\n300.1.1.1\nfd00::/129"_qs << u"Line 2: \"300.1.1.1\""_qs << QStringList();
}

void TestSendersSettingsDialog::linesAreChecked()
{
    QFETCH(QString, typed);
    QFETCH(QString, named);
    QFETCH(QStringList, written);

    const QString json = m_program->filePath(JsonSettingsFile::fileName);
    QVERIFY(writeBytes(json, R"({"other": true})"));
    QVERIFY(writeBytes(m_program->filePath(SettingsFile::fileName), "5140"));
    auto *socket = new FakeDatagramSocket;
    Monitor monitor(SettingsFile(m_program->path(), m_user->path()), nullptr, socket);
    monitor.listenAtStartUp();
    QVERIFY(monitor.listenProblem().isEmpty());

    SettingsWindow dialog(monitor);
    dialog.showPage(u"sendersPage"_qs);
    dialog.show();
    SendersPage &page = *dialog.page<SendersPage>();
    QCOMPARE(dialog.currentPage(), &page);
    QCOMPARE(page.addressChoice()->currentData().toString(), QString());
    page.sendersEdit()->setPlainText(typed);
    QCOMPARE(page.problemText().startsWith(named), true);
    QCOMPARE(page.problemText().isEmpty(), named.isEmpty());
    QCOMPARE(page.sendersEdit()->extraSelections().isEmpty(), named.isEmpty());

    dialog.accept();
    auto *refused = dialog.findChild<QMessageBox *>(u"sendersRefused"_qs);
    if (!named.isEmpty()) {
        QVERIFY(refused);
        QVERIFY(refused->text().contains(named));
        QVERIFY(dialog.isVisible());
        QCOMPARE(readBytes(json), QByteArray(R"({"other": true})"));
        return;
    }
    QVERIFY(!refused);
    QVERIFY(!dialog.isVisible());
    const QJsonObject object = QJsonDocument::fromJson(readBytes(json)).object();
    QCOMPARE(object.value(u"other"_qs), QJsonValue(true));
    QCOMPARE(object.value(u"allowedSenders"_qs).toVariant().toStringList(), written);
    QCOMPARE(monitor.receiver().senderFilter().entries(), written);
    // The address did not change: bound once, at start-up.
    QCOMPARE(socket->boundAddresses.size(), 1);
}

// OK puts TCP in force through the monitor: listened on and saved, the senders left alone.
void TestSendersSettingsDialog::tcpTurnedOnThroughTheWindow()
{
    const QString json = m_program->filePath(JsonSettingsFile::fileName);
    QVERIFY(writeBytes(json, R"({"other": true})"));
    QVERIFY(writeBytes(m_program->filePath(SettingsFile::fileName), "5140"));
    auto *socket = new FakeDatagramSocket;
    Monitor monitor(SettingsFile(m_program->path(), m_user->path()), nullptr, socket);
    monitor.listenAtStartUp();
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::Any, 0));
    const quint16 port = probe.serverPort();
    probe.close();

    SettingsWindow dialog(monitor);
    dialog.showPage(u"sendersPage"_qs);
    dialog.show();
    dialog.findChild<QCheckBox *>(u"tcpOn"_qs)->setChecked(true);
    dialog.findChild<QLineEdit *>(u"tcpPort"_qs)->setText(QString::number(port));
    dialog.accept();

    QVERIFY(!dialog.isVisible());
    QVERIFY(monitor.tcp().isListening());
    QCOMPARE(monitor.tcp().serverPort(), port);
    const QJsonObject object = QJsonDocument::fromJson(readBytes(json)).object();
    QCOMPARE(object.value(u"other"_qs), QJsonValue(true));
    QCOMPARE(object.value(u"tcp"_qs).toObject().value(u"port"_qs).toInt(), int(port));
    QVERIFY(!object.contains(u"allowedSenders"_qs));
}

QTEST_MAIN(TestSendersSettingsDialog)
#include "tst_senderssettingsdialog.moc"
