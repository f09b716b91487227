#include "engine/reception/datagramreceiver.h"
#include "engine/reception/readingstable.h"
#include "engine/settings/portsetting.h"
#include "gui/common/designfont.h"
#include "gui/settings/frmoptions.h"
#include "testsupport.h"

#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

class TestOptionsDialog final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void layout();
    void okRebindsAndSaves();
    void closeBoxDiscardsTheEdit();
    void keysDoNotConfirm_data();
    void keysDoNotConfirm();
    void portThatCannotBeSavedIsReported();
    void unusablePortKeepsTheOldOne_data();
    void unusablePortKeepsTheOldOne();
    void missingFaceGivesWayToAnInstalledOne();

private:
    void typePort(const QString &port);
    QString iniPath() const { return m_program->filePath(u"Senvo-Net.ini"_qs); }

    std::unique_ptr<QTemporaryDir> m_program;
    std::unique_ptr<QTemporaryDir> m_user;
    std::unique_ptr<ReadingsTable> m_table;
    std::unique_ptr<DatagramReceiver> m_receiver;
    std::unique_ptr<PortSetting> m_setting;
    std::unique_ptr<frmOptions> m_dialog;
    quint16 m_startPort = 0;
};

void TestOptionsDialog::init()
{
    m_program = std::make_unique<QTemporaryDir>();
    m_user = std::make_unique<QTemporaryDir>();
    m_table = std::make_unique<ReadingsTable>();
    m_receiver = std::make_unique<DatagramReceiver>(m_table.get());
    m_setting = std::make_unique<PortSetting>(SettingsFile(m_program->path(), m_user->path()),
                                              m_receiver.get());
    m_dialog = std::make_unique<frmOptions>(m_setting.get());
    m_startPort = freePort();
    QVERIFY(m_receiver->bind(QString::number(m_startPort)));
    m_dialog->setPortText(QString::number(m_startPort));
}

void TestOptionsDialog::cleanup()
{
    m_dialog.reset();
    m_setting.reset();
    m_receiver.reset();
    m_table.reset();
}

void TestOptionsDialog::typePort(const QString &port)
{
    auto *field = m_dialog->findChild<QLineEdit *>(u"portvalue"_qs);
    QVERIFY(field);
    field->selectAll();
    QTest::keyClicks(field, port);
}

void TestOptionsDialog::layout()
{
    PortSetting setting(SettingsFile(m_program->path(), m_user->path()), m_receiver.get());
    frmOptions fresh(&setting);
    QCOMPARE(fresh.objectName(), u"frmOptions");
    QCOMPARE(fresh.windowTitle(), u"Senvo-Net Options");
    QCOMPARE(fresh.portText(), u"514");
    QVERIFY(!(fresh.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(fresh.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(fresh.minimumSize(), fresh.maximumSize());

    auto *frame = fresh.findChild<QGroupBox *>();
    QVERIFY(frame);
    QCOMPARE(frame->title(), u"Options");
    auto *label = frame->findChild<QLabel *>();
    QVERIFY(label);
    QCOMPARE(label->text(), u"Incoming UDP Port:");
    QVERIFY(label->font().bold());
    // The port field stands over the frame: the label's text must end before it.
    const QRect field = fresh.findChild<QLineEdit *>(u"portvalue"_qs)->geometry();
    QVERIFY2(label->mapTo(&fresh, QPoint(label->sizeHint().width(), 0)).x() <= field.left(),
             qPrintable(QString::number(label->sizeHint().width())));
    auto *ok = fresh.findChild<QPushButton *>(u"cmdOK"_qs);
    QVERIFY(ok);
    QCOMPARE(ok->text(), u"OK");
    QVERIFY(!ok->isDefault());
    QVERIFY(!ok->autoDefault());

    fresh.show();
    QVERIFY(QTest::qWaitForWindowActive(&fresh));
    QCOMPARE(QApplication::focusWidget(), ok);
    QTest::keyClick(ok, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), fresh.findChild<QLineEdit *>(u"portvalue"_qs));
}

void TestOptionsDialog::okRebindsAndSaves()
{
    m_dialog->show();
    const quint16 newPort = freePort();
    typePort(QString::number(newPort));
    QTest::mouseClick(m_dialog->findChild<QPushButton *>(u"cmdOK"_qs), Qt::LeftButton);

    QCOMPARE(m_receiver->port(), newPort);
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(readBytes(iniPath()), QByteArray::number(newPort) + "\r\n");

    QUdpSocket sender;
    sender.writeDatagram("<13>Jun 10 19:35:00 h s[N]: v=1 x", QHostAddress::LocalHost, newPort);
    QTRY_COMPARE(m_receiver->packets(), 1.0);
    // The old port is free again.
    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress::AnyIPv4, m_startPort));
}

void TestOptionsDialog::closeBoxDiscardsTheEdit()
{
    QVERIFY(writeBytes(iniPath(), QByteArray::number(m_startPort) + "\r\n"));

    m_dialog->show();
    typePort(u"7000"_qs);
    QVERIFY(m_dialog->close());
    QCOMPARE(m_receiver->port(), m_startPort);
    QCOMPARE(readBytes(iniPath()), QByteArray::number(m_startPort) + "\r\n");

    m_dialog->LoadConfig();
    QCOMPARE(m_dialog->portText(), QString::number(m_startPort));
}

void TestOptionsDialog::keysDoNotConfirm_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("Esc") << int(Qt::Key_Escape);
}

void TestOptionsDialog::keysDoNotConfirm()
{
    QFETCH(int, key);
    m_dialog->show();
    typePort(QString::number(freePort()));
    QTest::keyClick(m_dialog->findChild<QLineEdit *>(u"portvalue"_qs), Qt::Key(key));
    QVERIFY(m_dialog->isVisible());
    QCOMPARE(m_receiver->port(), m_startPort);
    QVERIFY(!QFile::exists(iniPath()));
}

void TestOptionsDialog::portThatCannotBeSavedIsReported()
{
    QTemporaryDir base;
    PortSetting setting(
        SettingsFile(belowAPlainFile(base, u"program"_qs), belowAPlainFile(base, u"user"_qs)),
        m_receiver.get());
    QWidget owner;
    auto *dialog = new frmOptions(&setting, &owner);
    dialog->show();
    const quint16 newPort = freePort();
    dialog->setPortText(QString::number(newPort));
    QTest::mouseClick(dialog->findChild<QPushButton *>(u"cmdOK"_qs), Qt::LeftButton);

    QCOMPARE(m_receiver->port(), newPort);
    auto *box = owner.findChild<QMessageBox *>(u"portNotSaved"_qs);
    QVERIFY(box);
    QVERIFY2(box->text().contains(u"could not be saved"), qPrintable(box->text()));
    QVERIFY(box->text().contains(u"could not be written"));
}

void TestOptionsDialog::unusablePortKeepsTheOldOne_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("reason");
    QTest::newRow("not a number") << u"abc"_qs << u"not a port number"_qs;
    QTest::newRow("in use") << QString() << u"already in use"_qs;
}

void TestOptionsDialog::unusablePortKeepsTheOldOne()
{
    QFETCH(QString, port);
    QUdpSocket other;
    if (port.isEmpty()) {
        QVERIFY(other.bind(QHostAddress::AnyIPv4, 0));
        port = QString::number(other.localPort());
    }
    m_dialog->show();
    typePort(port);
    QTest::mouseClick(m_dialog->findChild<QPushButton *>(u"cmdOK"_qs), Qt::LeftButton);

    auto *box = m_dialog->findChild<QMessageBox *>(u"portNotApplied"_qs);
    QVERIFY(box);
    QFETCH(QString, reason);
    QVERIFY2(box->text().contains(reason), qPrintable(box->text()));
    QVERIFY(box->text().contains(u"still received on port %1"_qs.arg(m_startPort)));
    QVERIFY(m_dialog->isVisible());
    QCOMPARE(m_dialog->portText(), port);
    QVERIFY(!QFile::exists(iniPath()));

    QUdpSocket sender;
    sender.writeDatagram("<13>Jun 10 19:35:00 h s[N]: v=1 x", QHostAddress::LocalHost, m_startPort);
    QTRY_COMPARE(m_receiver->packets(), 1.0);
}

void TestOptionsDialog::missingFaceGivesWayToAnInstalledOne()
{
    const QFont face = withInstalledFace(QFont(u"No Such Face"_qs, 10));
    QCOMPARE(QFontInfo(face).family(), face.family());
    QCOMPARE(face.pointSize(), 10);
    const QString installed = QFontInfo(QFont(u"DejaVu Serif"_qs)).family();
    QCOMPARE(withInstalledFace(QFont(installed)).family(), installed);
}

QTEST_MAIN(TestOptionsDialog)
#include "tst_optionsdialog.moc"
