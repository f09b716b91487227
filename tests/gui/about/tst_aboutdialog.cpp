#include "gui/about/frmabout.h"
#include "gui/common/applicationicon.h"
#include "testsupport.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>

class TestAboutDialog final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void controls_data();
    void controls();
    void caption();
    void versionText_data();
    void versionText();
    void titleFont();
    void fixedSizeFromTwips();
    void icon();
    void keyCloses_data();
    void keyCloses();
    void okButtonCloses();
    void sysInfoUnavailable();

private:
    QPointer<frmAbout> m_dialog;
};

void TestAboutDialog::init()
{
    QCoreApplication::setApplicationVersion(u"1.0.0"_qs);
    QCoreApplication::setApplicationName(u"Senvo-Net"_qs);
    m_dialog = new frmAbout;
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog));
}

void TestAboutDialog::cleanup()
{
    delete m_dialog;
}

void TestAboutDialog::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("title") << u"lblTitle"_qs << u"Senvo-Net"_qs;
    QTest::newRow("version") << u"lblVersion"_qs << u"Version 1.0.0"_qs;
    QTest::newRow("description")
        << u"lblDescription"_qs
        << u"Monitors Senvo 5 readings from machines connected to the Internet.  "
           "Allows you to view all machines in one convenient window.  "_qs;
    QTest::newRow("OK") << u"cmdOK"_qs << u"OK"_qs;
    QTest::newRow("System Info") << u"cmdSysInfo"_qs << u"&System Info..."_qs;
    QTest::newRow("icon") << u"picIcon"_qs << QString();
    QTest::newRow("credits") << u"lblCredits"_qs << QString();
    QTest::newRow("disclaimer") << u"lblDisclaimer"_qs << QString();
}

void TestAboutDialog::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QCOMPARE(m_dialog->objectName(), u"frmAbout"_qs);
    QWidget *const control = m_dialog->findChild<QWidget *>(name);
    QVERIFY2(control, qPrintable(name));
    QVERIFY(control->isVisible());
    if (auto *label = qobject_cast<QLabel *>(control)) {
        if (text.isEmpty() && name != u"picIcon"_qs)
            QVERIFY(!label->text().isEmpty());
        else
            QCOMPARE(label->text(), text);
    } else {
        auto *button = qobject_cast<QPushButton *>(control);
        QVERIFY(button);
        QCOMPARE(button->text(), text);
    }
}

void TestAboutDialog::caption()
{
    QCOMPARE(m_dialog->windowTitle(), u"About Senvo-Net"_qs);
    const Qt::WindowFlags flags = m_dialog->windowFlags();
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(!m_dialog->isModal());
    QVERIFY(m_dialog->testAttribute(Qt::WA_DeleteOnClose));
}

void TestAboutDialog::versionText_data()
{
    QTest::addColumn<QString>("applicationVersion");
    QTest::addColumn<QString>("label");
    QTest::newRow("three parts") << u"1.0.0"_qs << u"Version 1.0.0"_qs;
    QTest::newRow("numbers, not digits") << u"2.10.03"_qs << u"Version 2.10.3"_qs;
    QTest::newRow("major only") << u"3"_qs << u"Version 3.0.0"_qs;
    QTest::newRow("fourth part dropped") << u"4.5.6.7"_qs << u"Version 4.5.6"_qs;
    QTest::newRow("unset: built version") << QString() << u"Version 1.0.0"_qs;
    QTest::newRow("not a version: built version") << u"beta"_qs << u"Version 1.0.0"_qs;
    QTest::newRow("trailing text: built version") << u"2.0-rc1"_qs << u"Version 1.0.0"_qs;
}

void TestAboutDialog::versionText()
{
    QFETCH(QString, applicationVersion);
    QTEST(frmAbout::versionText(applicationVersion), "label");
}

void TestAboutDialog::titleFont()
{
    const auto *title = m_dialog->findChild<QLabel *>(u"lblTitle"_qs);
    QVERIFY(title);
    QCOMPARE(title->font().pointSize(), 12);
    QVERIFY(title->font().bold());
}

void TestAboutDialog::fixedSizeFromTwips()
{
    const auto pixels = [this](int twips, bool vertical) {
        const int dpi = vertical ? m_dialog->logicalDpiY() : m_dialog->logicalDpiX();
        return qRound(twips * dpi / 1440.0);
    };
    QCOMPARE(m_dialog->size(), QSize(pixels(5730, false), pixels(3555, true)));
    QCOMPARE(m_dialog->minimumSize(), m_dialog->maximumSize());
    const auto *ok = m_dialog->findChild<QPushButton *>(u"cmdOK"_qs);
    QVERIFY(ok);
    QCOMPARE(ok->geometry(), QRect(pixels(4245, false), pixels(2625, true), pixels(1260, false),
                                   pixels(345, true)));
}

void TestAboutDialog::icon()
{
    const QIcon icon = applicationIcon();
    QVERIFY(!icon.isNull());
    QVERIFY(!icon.pixmap(32, 32).isNull());
    const auto *picture = m_dialog->findChild<QLabel *>(u"picIcon"_qs);
    QVERIFY(picture);
    QVERIFY(!picture->pixmap().isNull());
}

void TestAboutDialog::keyCloses_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
    QTest::newRow("Esc") << int(Qt::Key_Escape);
}

void TestAboutDialog::keyCloses()
{
    QFETCH(int, key);
    QTest::keyClick(m_dialog, Qt::Key(key));
    QTRY_VERIFY(m_dialog.isNull());
}

void TestAboutDialog::okButtonCloses()
{
    auto *ok = m_dialog->findChild<QPushButton *>(u"cmdOK"_qs);
    QVERIFY(ok);
    QVERIFY(ok->isDefault());
    QTest::mouseClick(ok, Qt::LeftButton);
    QTRY_VERIFY(m_dialog.isNull());
}

void TestAboutDialog::sysInfoUnavailable()
{
    // A scratch Wine prefix has no System Information keys; a real Windows has the program.
#ifdef Q_OS_WIN
    if (!runningUnderWine())
        QSKIP("Would start the real System Information program");
#endif
    auto *sysInfo = m_dialog->findChild<QPushButton *>(u"cmdSysInfo"_qs);
    QVERIFY(sysInfo);
    QTest::mouseClick(sysInfo, Qt::LeftButton);

    QPointer<QMessageBox> box =
        m_dialog->findChild<QMessageBox *>(u"sysInfoUnavailable"_qs, Qt::FindDirectChildrenOnly);
    QVERIFY(box);
    QTRY_VERIFY(box->isVisible());
    QCOMPARE(box->text(), u"System Information Is Unavailable At This Time"_qs);
    QCOMPARE(box->windowTitle(), u"Senvo-Net"_qs);
    QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    // The About dialog stays open behind the message.
    QVERIFY(m_dialog->isVisible());

    box->button(QMessageBox::Ok)->click();
    QTRY_VERIFY(box.isNull());
    QVERIFY(m_dialog->isVisible());
}

QTEST_MAIN(TestAboutDialog)
#include "tst_aboutdialog.moc"
