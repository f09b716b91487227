#include "fakedatagramsocket.h"
#include "host/module1.h"
#include "host/twips.h"
#include "mainwindow/mainform.h"
#include "mainwindow/readingsview.h"
#include "reception/copiedtext.h"
#include "reception/reading.h"
#include "settings/frmoptions.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>
#include <QWindow>

#include <memory>

namespace {

QMessageBox *startUpMessage(const MainForm &window)
{
    return window.findChild<QMessageBox *>(u"startUpProblem"_qs);
}

// Whole pixels for a length in twips, worked out here rather than by the code under test.
QSize designPixels(const QWidget &widget, QSize twips)
{
    return {qRound(twips.width() * widget.logicalDpiX() / 1440.0),
            qRound(twips.height() * widget.logicalDpiY() / 1440.0)};
}

QTableView *grid(const MainForm &window)
{
    return window.findChild<QTableView *>(u"MSFlexGrid1"_qs);
}

// Readings as "host|name|value", each posted to the window's table; "publish" shows what
// was posted so far, as the receiver does between bursts.
void post(MainForm &window, const QStringList &readings)
{
    for (const QString &line : readings) {
        if (line == u"publish") {
            window.receiver().publish();
            continue;
        }
        const QStringList f = line.split(u'|');
        window.table().fillgrid({{}, u"Jun 10"_qs, u"19:35:00"_qs, f[0], f[1], f[2]});
    }
    window.receiver().publish();
}

} // namespace

class TestMainForm final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void startUp();
    void startUpWithoutSettingsFile();
    void unusableStoredPort_data();
    void unusableStoredPort();
    void settingsFileIsADirectory();
    void portTakenAtStartUp();
    void failedBindStillShowsTheWindow_data();
    void failedBindStillShowsTheWindow();
    void countersAndTableFollowDatagrams();
    void typedCounterIsKept();
    void sizeLimits_data();
    void sizeLimits();
    void minimisingChangesNothing();
    void optionsMenuReReadsTheFile();
    void exitEndsTheProgram();
    void aboutOpensOneModelessDialog();
    void exitLeavesAboutOpen();
    void limitsHoldWhereTheWindowSystemIgnoresThem();
    void enterWithoutTypingKeepsTheCount();
    void typedZeroResetsTheCount_data();
    void typedZeroResetsTheCount();
    void longCountsStayInView();
    void fullTableIsReported();
    void columnsFitWhatArrives_data();
    void columnsFitWhatArrives();
    void copyFromTheTable();

private:
    std::unique_ptr<MainForm> makeWindow(const QByteArray &stored,
                                         DatagramSocket *socket = nullptr);
    std::unique_ptr<QTemporaryDir> m_program;
    std::unique_ptr<QTemporaryDir> m_user;
};

void TestMainForm::init()
{
    m_program = std::make_unique<QTemporaryDir>();
    m_user = std::make_unique<QTemporaryDir>();
}

std::unique_ptr<MainForm> TestMainForm::makeWindow(const QByteArray &stored, DatagramSocket *socket)
{
    if (!stored.isNull()) {
        QFile file(m_program->filePath(u"Senvo-Net.ini"_qs));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write the settings file for the test");
        file.write(stored);
    }
    return std::make_unique<MainForm>(SettingsFile(m_program->path(), m_user->path()), nullptr,
                                      socket);
}

void TestMainForm::startUp()
{
    const quint16 port = freePort();
    auto window = makeWindow(QByteArray::number(port) + "\r\n");
    QCOMPARE(window->windowTitle(), u"Senvo-Net Version 1.0 on "_qs + Module1::ComputerNameText());
    // The title the About dialog and message boxes read; a display name set explicitly
    // would be appended to every title bar by the window system.
    QCOMPARE(QCoreApplication::applicationName(), u"Senvo-Net");
    QCoreApplication::setApplicationName(u"renamed"_qs);
    QCOMPARE(QGuiApplication::applicationDisplayName(), u"renamed");
    QCoreApplication::setApplicationName(u"Senvo-Net"_qs);
    QVERIFY(window->options());
    QVERIFY(!window->options()->isVisible());
    QCOMPARE(window->options()->portText(), QString::number(port));
    QVERIFY(window->receiver().isListening());
    QCOMPARE(window->receiver().port(), port);
    QVERIFY(window->listeningStatus().contains(QString::number(port)));

    QCOMPARE(window->findChild<QLineEdit *>(u"PacketsReceived"_qs)->text(), u"0");
    QCOMPARE(window->findChild<QLineEdit *>(u"ReceivedBytes"_qs)->text(), u"0");
    auto *grid = window->findChild<QTableView *>(u"MSFlexGrid1"_qs);
    QVERIFY(grid);
    QCOMPARE(grid->model()->rowCount(), 3);
    QCOMPARE(grid->model()->headerData(1, Qt::Horizontal).toString(), u"Date");
    QVERIFY(!grid->accessibleName().isEmpty());
    QCOMPARE(window->findChild<QLabel *>(u"PacketsReceived"_qs), nullptr);
    for (QLabel *label : window->findChildren<QLabel *>()) {
        if (label->text() == u"Packets Received:")
            QCOMPARE(label->buddy(), window->findChild<QLineEdit *>(u"PacketsReceived"_qs));
    }
    QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    for (const char *name :
         {"FileMenu", "ExitMenu", "ToolsMenu", "OptionsMenu", "HelpMenu", "AboutMenu"}) {
        QVERIFY2(window->findChild<QObject *>(QString::fromLatin1(name)), name);
    }
    window->show();
    QCoreApplication::processEvents();
    QCOMPARE(startUpMessage(*window), nullptr);
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QCOMPARE(QApplication::focusWidget(), grid);
}

void TestMainForm::startUpWithoutSettingsFile()
{
    auto *socket = new FakeDatagramSocket;
    auto window = makeWindow({}, socket);
    QCOMPARE(socket->boundPorts, QList<quint16>{514});
    QCOMPARE(window->options()->portText(), u"514");
    QVERIFY(!QFile::exists(m_program->filePath(u"Senvo-Net.ini"_qs)));
}

void TestMainForm::unusableStoredPort_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("text") << QByteArray("hello\r\n");
    QTest::newRow("huge number") << QByteArray("99999999999999999999\r\n");
    QTest::newRow("binary") << QByteArray("\x01\x02\xff\0\x10", 5);
    QTest::newRow("empty line") << QByteArray("\r\n");
    QByteArray huge(10 * 1024 * 1024, '\x07');
    QTest::newRow("10 MB of garbage") << huge;
}

void TestMainForm::unusableStoredPort()
{
    QFETCH(QByteArray, stored);
    auto *socket = new FakeDatagramSocket;
    auto window = makeWindow(stored, socket);
    QCOMPARE(socket->boundPorts, QList<quint16>{514});
    QCOMPARE(window->options()->portText(), u"514");
    window->show();
    QTRY_VERIFY(startUpMessage(*window));
    QVERIFY2(startUpMessage(*window)->text().contains(u"not a port number"),
             qPrintable(startUpMessage(*window)->text()));
    QVERIFY(startUpMessage(*window)->text().size() < 1000);
    QCOMPARE(startUpMessage(*window)->windowTitle(), u"Senvo-Net");
}

void TestMainForm::settingsFileIsADirectory()
{
    QVERIFY(QDir(m_program->path()).mkdir(u"Senvo-Net.ini"_qs));
    auto *socket = new FakeDatagramSocket;
    auto window = makeWindow({}, socket);
    QCOMPARE(socket->boundPorts, QList<quint16>{514});
    window->show();
    QTRY_VERIFY(startUpMessage(*window));
    QVERIFY2(startUpMessage(*window)->text().contains(u"not a normal file"),
             qPrintable(startUpMessage(*window)->text()));
}

void TestMainForm::portTakenAtStartUp()
{
    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress::AnyIPv4, 0));
    auto window = makeWindow(QByteArray::number(other.localPort()));
    // The message waits for the window, so that it opens over it.
    QCoreApplication::processEvents();
    QCOMPARE(startUpMessage(*window), nullptr);
    window->move(40, 30);
    window->show();
    QVERIFY(!window->receiver().isListening());
    QTRY_VERIFY(startUpMessage(*window));
    QVERIFY(startUpMessage(*window)->text().contains(u"already in use"));
    QTRY_VERIFY(startUpMessage(*window)->isVisible());
    const QPoint off =
        startUpMessage(*window)->frameGeometry().center() - window->frameGeometry().center();
    QVERIFY2(off.manhattanLength() <= 4, qPrintable(u"%1,%2"_qs.arg(off.x()).arg(off.y())));
    QVERIFY(!startUpMessage(*window)->isModal());
    QVERIFY(window->listeningStatus().startsWith(u"Not listening"));
}

void TestMainForm::failedBindStillShowsTheWindow_data()
{
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("reason");
    QTest::newRow("privileged") << int(DatagramSocket::Failure::Privileged) << u"below 1024"_qs;
    QTest::newRow("in use") << int(DatagramSocket::Failure::InUse) << u"already in use"_qs;
}

void TestMainForm::failedBindStillShowsTheWindow()
{
    QFETCH(int, failure);
    QFETCH(QString, reason);
    auto *socket = new FakeDatagramSocket;
    socket->failWith = DatagramSocket::Failure(failure);
    auto window = makeWindow({}, socket);
    window->show();
    QVERIFY(window->isVisible());
    QTRY_VERIFY(startUpMessage(*window));
    const QString text = startUpMessage(*window)->text();
    QVERIFY2(text.contains(reason), qPrintable(text));
    QVERIFY(text.contains(u"Tools \u2192 Options"));
    QVERIFY(window->listeningStatus().startsWith(u"Not listening"));

    // Once a port binds, the window says so.
    socket->failWith = DatagramSocket::Failure::None;
    window->options()->setPortText(u"5140"_qs);
    window->options()->show();
    QTest::mouseClick(window->options()->findChild<QWidget *>(u"cmdOK"_qs), Qt::LeftButton);
    QVERIFY(window->receiver().isListening());
    QCOMPARE(window->listeningStatus(), u"Listening on UDP port 5140");
}

void TestMainForm::countersAndTableFollowDatagrams()
{
    const quint16 port = freePort();
    auto window = makeWindow(QByteArray::number(port));
    window->show();
    const QList<QByteArray> datagrams{
        "<13>Jun 10 19:35:00 host1 senvo[CPU]: t=45 C",
        "<13>Jun 10 19:35:05 host1 senvo[CPU]: t=46 C",
        "<13>Jun 10 19:35:06 host2 senvo[Fan]: rpm=900 rpm",
        "garbage",
    };
    QUdpSocket sender;
    int bytes = 0;
    for (const QByteArray &datagram : datagrams) {
        sender.writeDatagram(datagram, QHostAddress::LocalHost, port);
        bytes += int(datagram.size());
    }
    auto *packets = window->findChild<QLineEdit *>(u"PacketsReceived"_qs);
    auto *received = window->findChild<QLineEdit *>(u"ReceivedBytes"_qs);
    QTRY_COMPARE(packets->text(), u"4");
    QCOMPARE(received->text(), QString::number(bytes));
    auto *grid = window->findChild<QTableView *>(u"MSFlexGrid1"_qs);
    QCOMPARE(grid->model()->rowCount(), 2);
    QCOMPARE(grid->model()->headerData(0, Qt::Vertical).toString(), u"host1");
    QCOMPARE(grid->model()->index(0, 4).data().toString(), u" 46 ");
    QCOMPARE(grid->model()->headerData(1, Qt::Vertical).toString(), u"host2");
}

void TestMainForm::typedCounterIsKept()
{
    const quint16 port = freePort();
    auto window = makeWindow(QByteArray::number(port));
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    auto *packets = window->findChild<QLineEdit *>(u"PacketsReceived"_qs);
    packets->setFocus();
    packets->selectAll();
    QTest::keyClicks(packets, u"x1z0"_qs); // only digits get in
    QCOMPARE(packets->text(), u"10");
    QTest::keyClick(packets, Qt::Key_Return);
    QCOMPARE(window->receiver().packets(), 10.0);

    QUdpSocket sender;
    sender.writeDatagram("<13>Jun 10 19:35:00 h s[N]: v=1 x", QHostAddress::LocalHost, port);
    QTRY_COMPARE(packets->text(), u"11");
}

void TestMainForm::sizeLimits_data()
{
    QTest::addColumn<QSize>("requested");
    QTest::addColumn<QSize>("window");
    QTest::addColumn<QSize>("grid");
    QTest::addColumn<QSize>("pixelsAt96Dpi"); // the window's outer size, 15 twips to a pixel
    QTest::newRow("too large") << QSize(20000, 20000) << QSize(10575, 5000) << QSize(10250, 4100)
                               << QSize(705, 333);
    QTest::newRow("too small") << QSize(100, 100) << QSize(5000, 1000) << QSize(4675, 100)
                               << QSize(333, 67);
    QTest::newRow("within limits")
        << QSize(8000, 3000) << QSize(8000, 3000) << QSize(7675, 2100) << QSize(533, 200);
}

void TestMainForm::sizeLimits()
{
    QFETCH(QSize, requested);
    QFETCH(QSize, window);
    QFETCH(QSize, grid);
    auto form = makeWindow(QByteArray::number(freePort()));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    // Dragging sets the outer size, frame included.
    const QSize frame = form->frameGeometry().size() - form->size();
    form->resize(Twips::toPixels(*form, requested.width(), requested.height()) - frame);
    QCoreApplication::processEvents();

    // Exact to the pixel: a pixel is 15 twips at 96 dpi, so any slack would hide an error.
    const QSize outer = form->frameGeometry().size();
    QCOMPARE(outer, designPixels(*form, window));
    if (form->logicalDpiX() == 96 && form->logicalDpiY() == 96)
        QTEST(outer, "pixelsAt96Dpi");
    auto *table = form->findChild<QTableView *>(u"MSFlexGrid1"_qs);
    QVERIFY(qAbs(Twips::fromPixelsX(*form, table->width()) - grid.width()) <= 30);
    QVERIFY(qAbs(Twips::fromPixelsY(*form, table->height()) - grid.height()) <= 30);
}

void TestMainForm::minimisingChangesNothing()
{
    auto form = makeWindow(QByteArray::number(freePort()));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    auto *table = form->findChild<QTableView *>(u"MSFlexGrid1"_qs);
    const QSize gridBefore = table->size();
    // Some platforms shrink a window as they minimise it; the table keeps its size.
    form->showMinimized();
    form->resize(Twips::toPixels(*form, MainForm::minimumWidth, MainForm::minimumHeight));
    QCoreApplication::processEvents();
    QVERIFY(form->isMinimized());
    QCOMPARE(table->size(), gridBefore);
}

void TestMainForm::optionsMenuReReadsTheFile()
{
    const quint16 port = freePort();
    auto window = makeWindow(QByteArray::number(port));
    window->options()->setPortText(u"7000"_qs); // an edit never confirmed
    window->findChild<QAction *>(u"OptionsMenu"_qs)->trigger();
    QVERIFY(window->options()->isVisible());
    QCOMPARE(window->options()->portText(), QString::number(port));
    QVERIFY(window->isEnabled()); // the dialog does not block the window
}

void TestMainForm::exitEndsTheProgram()
{
    auto window = makeWindow(QByteArray::number(freePort()));
    window->show();
    window->showOptions();
    QTimer::singleShot(0, window.get(),
                       [&] { window->findChild<QAction *>(u"ExitMenu"_qs)->trigger(); });
    // Should Exit leave the event loop running, this ends it with a failure code instead.
    QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(1); });
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!window->isVisible());
    QCOMPARE(window->options(), nullptr);
    QVERIFY(!window->receiver().isListening());
}

void TestMainForm::aboutOpensOneModelessDialog()
{
    auto window = makeWindow(QByteArray::number(freePort()));
    window->show();
    QAction *about = window->findChild<QAction *>(u"AboutMenu"_qs);
    about->trigger();
    QDialog *dialog = window->about();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->isModal());
    QCOMPARE(dialog->windowTitle(), u"About Senvo-Net");
    about->trigger();
    QCOMPARE(window->about(), dialog);
    int open = 0;
    for (QWidget *widget : QApplication::topLevelWidgets())
        open += widget->objectName() == u"frmAbout" && widget->isVisible();
    QCOMPARE(open, 1);
}

void TestMainForm::exitLeavesAboutOpen()
{
    auto window = makeWindow(QByteArray::number(freePort()));
    window->show();
    window->showAbout();
    QPointer<QDialog> about = window->about();
    QTimer::singleShot(0, window.get(),
                       [&] { window->findChild<QAction *>(u"ExitMenu"_qs)->trigger(); });
    bool aboutStayed = false;
    QTimer::singleShot(100, qApp, [&] {
        aboutStayed = about && about->isVisible() && !window->isVisible();
        if (about)
            about->close(); // the last window: the program ends
    });
    QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(1); });
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(aboutStayed);
    QTRY_VERIFY(!about); // it deleted itself
}

void TestMainForm::fullTableIsReported()
{
    const quint16 port = freePort();
    auto window = makeWindow(QByteArray::number(port));
    window->show();
    QUdpSocket sender;
    const int limit = window->table().hostLimit();
    // In small steps, so that no step overflows the socket's receive buffer.
    for (int sent = 0; sent <= limit;) {
        for (const int end = std::min(sent + 200, limit + 1); sent < end; ++sent) {
            sender.writeDatagram("<13>Jun 10 19:35:00 h" + QByteArray::number(sent)
                                     + " s[N]: v=1 x",
                                 QHostAddress::LocalHost, port);
        }
        QDeadlineTimer deadline(10000);
        while (window->receiver().packets() < sent && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCOMPARE(window->receiver().packets(), double(sent));
        if (sent <= limit)
            QVERIFY(!window->findChild<QMessageBox *>(u"tableFull"_qs));
    }
    QTRY_VERIFY(window->findChild<QMessageBox *>(u"tableFull"_qs));
    QCOMPARE(window->table().hostCount(), limit);
    QVERIFY(window->listeningStatus().endsWith(u"table full"));
}

void TestMainForm::limitsHoldWhereTheWindowSystemIgnoresThem()
{
    auto form = makeWindow(QByteArray::number(freePort()));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    // Straight to the platform window, past the widget's own clamping.
    form->windowHandle()->resize(Twips::toPixels(*form, 20000, 20000));
    QTRY_COMPARE(form->frameGeometry().size(), designPixels(*form, QSize(10575, 5000)));
}

void TestMainForm::enterWithoutTypingKeepsTheCount()
{
    const quint16 port = freePort();
    auto window = makeWindow(QByteArray::number(port));
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    auto *packets = window->findChild<QLineEdit *>(u"PacketsReceived"_qs);
    QUdpSocket sender;
    sender.writeDatagram("<13>Jun 10 19:35:00 h s[N]: v=1 x", QHostAddress::LocalHost, port);
    QTRY_COMPARE(packets->text(), u"1");
    // The count has moved on since the field was last refreshed.
    window->receiver().setPackets(500);
    packets->setFocus();
    QTest::keyClick(packets, Qt::Key_Return);
    packets->clearFocus();
    QCOMPARE(window->receiver().packets(), 500.0);
}

void TestMainForm::typedZeroResetsTheCount_data()
{
    QTest::addColumn<QString>("field");
    QTest::newRow("packets") << u"PacketsReceived"_qs;
    QTest::newRow("bytes") << u"ReceivedBytes"_qs;
}

void TestMainForm::typedZeroResetsTheCount()
{
    QFETCH(QString, field);
    const quint16 port = freePort();
    auto window = makeWindow(QByteArray::number(port));
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    DatagramReceiver &receiver = window->receiver();
    receiver.setPackets(500);
    receiver.setBytes(500);
    receiver.publish();
    auto *counter = window->findChild<QLineEdit *>(field);
    QCOMPARE(counter->text(), u"500");
    counter->setFocus();
    counter->selectAll();
    QTest::keyClicks(counter, u"0"_qs);
    QTest::keyClick(counter, Qt::Key_Return);
    const bool packets = field == u"PacketsReceived";
    QCOMPARE(packets ? receiver.packets() : receiver.bytes(), 0.0);
    QCOMPARE(packets ? receiver.bytes() : receiver.packets(), 500.0);
    QCOMPARE(counter->text(), u"0");

    // Counting goes on from zero.
    const QByteArray datagram = "<13>Jun 10 19:35:00 h s[N]: v=1 x";
    QUdpSocket sender;
    sender.writeDatagram(datagram, QHostAddress::LocalHost, port);
    QTRY_COMPARE(counter->text(), packets ? u"1"_qs : QString::number(datagram.size()));
}

void TestMainForm::longCountsStayInView()
{
    auto window = makeWindow(QByteArray::number(freePort()));
    window->show();
    window->receiver().setPackets(98765432109917);
    window->receiver().setBytes(123456789012345);
    window->receiver().publish();
    auto *status = window->findChild<QLabel *>(u"listeningStatus"_qs);
    int left = window->width();
    for (const char *name : {"ReceivedBytes", "PacketsReceived"}) {
        auto *field = window->findChild<QLineEdit *>(QString::fromLatin1(name));
        QVERIFY(field->text().size() >= 14);
        QVERIFY2(field->width() >= field->fontMetrics().horizontalAdvance(field->text()), name);
        QVERIFY2(field->geometry().right() < left, name);
        QVERIFY(field->x() >= 0);
        left = field->x();
    }
    QVERIFY(status->geometry().right() < left);
}

void TestMainForm::columnsFitWhatArrives_data()
{
    // Checks what the table column (or -1, the host header) ends with: "fits" its text, the
    // "bound", or the "user's" width set by hand before the readings arrive.
    QTest::addColumn<QStringList>("readings");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("text");
    const QString longValue = u" 123456789012345678901234 "_qs;
    QTest::newRow("name shown whole")
        << QStringList{u"h| a| 1 "_qs, u"h| Free Memory (MB)| 2048 "_qs} << 3 << u"fits"_qs
        << u" Free Memory (MB)"_qs;
    QTest::newRow("value shown whole")
        << QStringList{u"h| a| 1 "_qs, u"h| a|"_qs + longValue} << 4 << u"fits"_qs << longValue;
    QTest::newRow("widens only") << QStringList{u"h| a| 1 "_qs, u"h| a|"_qs + longValue,
                                                u"publish"_qs, u"h| a| 1 "_qs}
                                 << 4 << u"fits"_qs << longValue;
    const QString hostile(200, u'W');
    QTest::newRow("a hostile name is bounded")
        << QStringList{u"h| a| 1 "_qs, u"h|"_qs + hostile + u"| 1 "_qs} << 3 << u"bound"_qs
        << QString();
    QTest::newRow("the user's width stays")
        << QStringList{u"h| a| 1 "_qs, u"h| Free Memory (MB)| 2048 "_qs} << 3 << u"user's"_qs
        << QString();
    // Among hundreds of rows: hosts in the middle count too.
    QStringList hosts;
    for (int i = 0; i < 300; ++i)
        hosts << (i == 150 ? u"a-rather-long-host-name.example.org| a| 1 "_qs
                           : u"h%1| a| 1 "_qs.arg(i));
    QTest::newRow("host shown whole")
        << hosts << -1 << u"fits"_qs << u"a-rather-long-host-name.example.org"_qs;
    QTest::newRow("a hostile host is bounded")
        << QStringList{u"%1| a| 1 "_qs.arg(hostile)} << -1 << u"bound"_qs << QString();
}

void TestMainForm::columnsFitWhatArrives()
{
    QFETCH(QStringList, readings);
    QFETCH(int, column);
    QFETCH(QString, expected);
    QFETCH(QString, text);
    auto window = makeWindow(QByteArray::number(freePort()));
    window->show();
    QTableView *const table = grid(*window);
    const auto width = [&] {
        return column < 0 ? table->verticalHeader()->width() : table->columnWidth(column);
    };
    const int userWidth = table->columnWidth(3) / 2;
    if (expected == u"user's")
        table->setColumnWidth(column, userWidth);
    int before = width();
    for (const QString &reading : std::as_const(readings)) {
        post(*window, {reading});
        QCoreApplication::processEvents();
        QVERIFY2(width() >= before, qPrintable(reading.left(40))); // never narrower
        before = width();
    }
    const int bound = Twips::toPixelsX(*table, ReadingsView::widestTwips);
    QVERIFY(width() <= bound);
    if (expected == u"fits")
        QVERIFY(width() > table->fontMetrics().horizontalAdvance(text));
    else if (expected == u"bound")
        QCOMPARE(width(), bound);
    else
        QCOMPARE(width(), userWidth);
}

void TestMainForm::copyFromTheTable()
{
    auto window = makeWindow(QByteArray::number(freePort()));
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    post(*window,
         {u"a| n| 1 "_qs, u"b| n| 2 "_qs, u"a| n1| 11 "_qs, u"a| n2| 12 "_qs, u"b| n1| 21 "_qs});
    QTableView *const table = grid(*window);
    QClipboard *const clipboard = QGuiApplication::clipboard();

    table->setCurrentIndex(table->model()->index(1, 4));
    QTest::keySequence(table, QKeySequence::Copy);
    QCOMPARE(clipboard->text(), u"b\tJun 10\t19:35:00\t 21 \n"_qs);

    QTest::keySequence(table, QKeySequence::SelectAll);
    QTest::keySequence(table, QKeySequence::Copy);
    const QString all = u"a\tJun 10\t19:35:00\t n1\t 11 \t n2\t 12 \n"
                        "b\tJun 10\t19:35:00\t n1\t 21 \n"_qs;
    QCOMPARE(clipboard->text(), all);

    clipboard->clear();
    table->clearSelection();
    QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(5, 5),
                              table->viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(table->viewport(), &request);
    auto *menu = table->findChild<QMenu *>();
    QVERIFY(menu);
    QCOMPARE(menu->actions().size(), 2);
    QCOMPARE(menu->actions()[0]->text(), u"Copy");
    QVERIFY(!menu->actions()[0]->isEnabled()); // nothing selected
    QCOMPARE(menu->actions()[1]->text(), u"Copy All");
    menu->actions()[1]->trigger();
    QCOMPARE(clipboard->text(), all);
}

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
