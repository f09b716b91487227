#include "engine/host/module1.h"
#include "engine/monitor/monitor.h"
#include "engine/reception/reading.h"
#include "engine/tablefile/csvtable.h"
#include "engine/tableview/copiedtext.h"
#include "fakedatagramsocket.h"
#include "fakereceiveclock.h"
#include "gui/common/twips.h"
#include "gui/history/historywindow.h"
#include "gui/limits/limitrulesmodel.h"
#include "gui/limits/limitspage.h"
#include "gui/mainwindow/mainform.h"
#include "gui/mainwindow/readingsview.h"
#include "gui/settings/frmoptions.h"
#include "gui/settings/senderspage.h"
#include "gui/settings/settingswindow.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
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

// The monitor and the window over it, made as main() makes them; the window goes first.
class TestWindow final
{
public:
    explicit TestWindow(const SettingsFile &settings, DatagramSocket *socket = nullptr,
                        const ReceiveClock *clock = nullptr)
        : m_monitor(std::make_unique<Monitor>(settings, nullptr, socket, clock))
    {
        m_monitor->listenAtStartUp();
        m_form = std::make_unique<MainForm>(*m_monitor);
    }

    MainForm *get() const { return m_form.get(); }
    MainForm *operator->() const { return m_form.get(); }
    MainForm &operator*() const { return *m_form; }
    DatagramReceiver &receiver() const { return m_monitor->receiver(); }
    ReadingsTable &table() const { return m_monitor->table(); }
    LimitWatch &limits() const { return m_monitor->limits(); }
    Monitor &monitor() const { return *m_monitor; }

private:
    std::unique_ptr<Monitor> m_monitor;
    std::unique_ptr<MainForm> m_form;
};

// Readings as "host|name|value", each posted to the window's table; "publish" shows what
// was posted so far, as the receiver does between bursts.
void post(const TestWindow &window, const QStringList &readings)
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
    void startUpProblemIsShown_data();
    void startUpProblemIsShown();
    void portTakenAtStartUp();
    void limitsFileProblemIsToldWhileListening_data();
    void limitsFileProblemIsToldWhileListening();
    void failedBindStillShowsTheWindow_data();
    void failedBindStillShowsTheWindow();
    void countersAndTableFollowDatagrams();
    void typedCountIsKept_data();
    void typedCountIsKept();
    void sizeLimits_data();
    void sizeLimits();
    void minimisingChangesNothing();
    void optionsMenuReReadsTheFile();
    void exitEndsTheProgram();
    void aboutOpensOneModelessDialog();
    void exitLeavesAboutOpen();
    void limitsHoldWhereTheWindowSystemIgnoresThem();
    void longCountsStayInView();
    void fullTableIsReported();
    void columnsFitWhatArrives_data();
    void columnsFitWhatArrives();
    void copyFromTheTable();
    void showHistory();
    void menus();
    void findRemoveAndClear();
    void emptyRowsBeforeTheFirstHostOnly();
    void saveTheTable();
    void silentHostsAreCounted();
    void sendersOnTheStatusLine_data();
    void sendersOnTheStatusLine();
    void hostsInTroubleAreCountedAndFound();

private:
    TestWindow makeWindow(const QByteArray &stored, DatagramSocket *socket = nullptr);
    TestWindow openWindow(quint16 port = freePort());
    std::unique_ptr<QTemporaryDir> m_program;
    std::unique_ptr<QTemporaryDir> m_user;
};

void TestMainForm::init()
{
    m_program = std::make_unique<QTemporaryDir>();
    m_user = std::make_unique<QTemporaryDir>();
}

TestWindow TestMainForm::makeWindow(const QByteArray &stored, DatagramSocket *socket)
{
    if (!stored.isNull() && !writeBytes(m_program->filePath(u"Senvo-Net.ini"_qs), stored))
        qFatal("cannot write the settings file for the test");
    return TestWindow(SettingsFile(m_program->path(), m_user->path()), socket);
}

// Listening on port, on screen and active.
TestWindow TestMainForm::openWindow(quint16 port)
{
    auto window = makeWindow(QByteArray::number(port));
    window->show();
    if (!QTest::qWaitForWindowActive(window.get()))
        qFatal("the window did not become active");
    return window;
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
    QVERIFY(window.receiver().isListening());
    QCOMPARE(window.receiver().port(), port);
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

void TestMainForm::startUpProblemIsShown_data()
{
    QTest::addColumn<QByteArray>("stored"); // none: the file is a folder
    QTest::addColumn<QString>("told");
    QTest::newRow("not a port") << QByteArray("hello\r\n") << u"not a port number"_qs;
    QTest::newRow("file is a folder") << QByteArray() << u"not a normal file"_qs;
}

void TestMainForm::startUpProblemIsShown()
{
    QFETCH(QByteArray, stored);
    if (stored.isNull())
        QVERIFY(QDir(m_program->path()).mkdir(u"Senvo-Net.ini"_qs));
    auto *socket = new FakeDatagramSocket;
    auto window = makeWindow(stored, socket);
    QCOMPARE(socket->boundPorts, QList<quint16>{514});
    QCOMPARE(window->options()->portText(), u"514");
    window->show();
    QTRY_VERIFY(startUpMessage(*window));
    QFETCH(QString, told);
    QVERIFY2(startUpMessage(*window)->text().contains(told),
             qPrintable(startUpMessage(*window)->text()));
    QCOMPARE(startUpMessage(*window)->windowTitle(), u"Senvo-Net");
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
    QVERIFY(!window.receiver().isListening());
    QTRY_VERIFY(startUpMessage(*window));
    QVERIFY(startUpMessage(*window)->text().contains(u"already in use"));
    QTRY_VERIFY(startUpMessage(*window)->isVisible());
    QVERIFY(!startUpMessage(*window)->isModal());
    QVERIFY(window->listeningStatus().startsWith(u"Not listening"));
    if (runningUnderWine() && QGuiApplication::platformName() == u"windows")
        QSKIP("Wine reports a sizable window without side borders, so Qt places the box by "
              "its fallback guess of the frame");
    const QPoint off =
        startUpMessage(*window)->frameGeometry().center() - window->frameGeometry().center();
    QVERIFY2(off.manhattanLength() <= 4, qPrintable(u"%1,%2"_qs.arg(off.x()).arg(off.y())));
}

void TestMainForm::limitsFileProblemIsToldWhileListening_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("told");
    QTest::addColumn<QList<bool>>("applied");

    QTest::newRow("not JSON") << QByteArray("{\"limits\": [\n  {\"reading\": \"CPU\",, }\n]}")
                              << u"cannot be read: line 2, column 22"_qs << QList<bool>();
    QTest::newRow("a bound that is not a number")
        << QByteArray(R"({"limits":[{"reading":"CPU","warningAbove":80},)"
                      R"({"reading":"Fan","criticalAbove":"lots"}]})")
        << u"rule 2: \"criticalAbove\" is not a number: \"lots\""_qs << QList<bool>{true, false};
    QTest::newRow("a rule without a reading")
        << QByteArray(R"({"limits":[{"warningAbove":80},{"reading":"Fan","criticalAbove":3000}]})")
        << u"rule 1 has no \"reading\""_qs << QList<bool>{false, true};
}

void TestMainForm::limitsFileProblemIsToldWhileListening()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, told);
    QFETCH(QList<bool>, applied);
    const QString file = m_program->filePath(u"Senvo-Net.json"_qs);
    QVERIFY(writeBytes(file, json));
    auto window = openWindow();
    QVERIFY(window.receiver().isListening());
    QTRY_VERIFY(window->findChild<QMessageBox *>(u"limitsProblem"_qs));
    QCOMPARE(window->findChildren<QMessageBox *>().size(), 1);
    const QString text = window->findChild<QMessageBox *>(u"limitsProblem"_qs)->text();
    QVERIFY2(text.contains(QDir::toNativeSeparators(file)) && text.contains(told),
             qPrintable(text));
    const LimitRules &rules = window.monitor().limits().rules();
    QCOMPARE(rules.rules().size(), applied.size());
    for (qsizetype i = 0; i < applied.size(); ++i)
        QCOMPARE(rules.isApplied(i), applied[i]);
    QCOMPARE(readBytes(file), json);

    // The page shows the rules as read, and says when its OK would replace what it cannot.
    QAction *limits = window->findChild<QAction *>(u"LimitsMenu"_qs);
    limits->trigger();
    QPointer<SettingsWindow> dialog = window->settings();
    QVERIFY(dialog && dialog->isVisible() && !dialog->isModal());
    QCOMPARE(dialog->currentPage(), dialog->page<LimitsPage>());
    QCOMPARE(dialog->page<LimitsPage>()->model()->rowCount(), applied.size());
    QCOMPARE(dialog->findChild<QLabel *>(u"limitsNote"_qs) != nullptr, applied.isEmpty());
    limits->trigger();
    QCOMPARE(window->settings(), dialog.data());
    dialog->reject();
    QTRY_VERIFY(!dialog);
    QCOMPARE(readBytes(file), json);
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
    QVERIFY(window.receiver().isListening());
    QCOMPARE(window->listeningStatus(), u"Listening on UDP port 5140");
}

void TestMainForm::countersAndTableFollowDatagrams()
{
    const quint16 port = freePort();
    auto window = openWindow(port);
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

void TestMainForm::typedCountIsKept_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("keys"); // typed over the whole field, then Enter
    QTest::addColumn<int>("count");    // after Enter
    // Each count is 500 on screen and has since moved on to 600.
    QTest::newRow("digits only get in") << u"PacketsReceived"_qs << u"x1z0"_qs << 10;
    QTest::newRow("zero packets") << u"PacketsReceived"_qs << u"0"_qs << 0;
    QTest::newRow("zero bytes") << u"ReceivedBytes"_qs << u"0"_qs << 0;
    QTest::newRow("Enter without typing") << u"PacketsReceived"_qs << QString() << 600;
}

void TestMainForm::typedCountIsKept()
{
    QFETCH(QString, field);
    QFETCH(QString, keys);
    QFETCH(int, count);
    const quint16 port = freePort();
    auto window = openWindow(port);
    DatagramReceiver &receiver = window.receiver();
    receiver.setPackets(500);
    receiver.setBytes(500);
    receiver.publish();
    receiver.setPackets(600);
    receiver.setBytes(600);
    auto *counter = window->findChild<QLineEdit *>(field);
    QCOMPARE(counter->text(), u"500");
    counter->setFocus();
    if (!keys.isEmpty()) {
        counter->selectAll();
        QTest::keyClicks(counter, keys);
        QCOMPARE(counter->text(), QString::number(count));
    }
    QTest::keyClick(counter, Qt::Key_Return);
    if (!keys.isEmpty())
        QCOMPARE(counter->text(), QString::number(count));
    const bool packets = field == u"PacketsReceived";
    QCOMPARE(packets ? receiver.packets() : receiver.bytes(), double(count));
    QCOMPARE(packets ? receiver.bytes() : receiver.packets(), 600.0);

    // Counting goes on from there.
    const QByteArray datagram = "<13>Jun 10 19:35:00 h s[N]: v=1 x";
    QUdpSocket sender;
    sender.writeDatagram(datagram, QHostAddress::LocalHost, port);
    QTRY_COMPARE(counter->text(), QString::number(count + (packets ? 1 : datagram.size())));
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
    auto form = openWindow();
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
    // Where the platform's title and menu bars take more height than the layout leaves them
    // (Windows' do), the table is cut to what fits, so that its scroll bar stays in view.
    const int fits = Twips::fromPixelsY(*form, form->centralWidget()->height() - table->y());
    QVERIFY(qAbs(Twips::fromPixelsY(*form, table->height()) - std::min(grid.height(), fits)) <= 30);
}

void TestMainForm::minimisingChangesNothing()
{
    auto form = openWindow();
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
    auto window = openWindow();
    window->showOptions();
    QTimer::singleShot(0, window.get(),
                       [&] { window->findChild<QAction *>(u"ExitMenu"_qs)->trigger(); });
    // Should Exit leave the event loop running, this ends it with a failure code instead.
    QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(1); });
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!window->isVisible());
    QCOMPARE(window->options(), nullptr);
    QVERIFY(!window.receiver().isListening());
}

void TestMainForm::aboutOpensOneModelessDialog()
{
    auto window = openWindow();
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
    auto window = openWindow();
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
    auto window = openWindow(port);
    QUdpSocket sender;
    const int limit = window.table().hostLimit();
    // In small steps, so that no step overflows the socket's receive buffer.
    for (int sent = 0; sent <= limit;) {
        for (const int end = std::min(sent + 200, limit + 1); sent < end; ++sent) {
            sender.writeDatagram("<13>Jun 10 19:35:00 h" + QByteArray::number(sent)
                                     + " s[N]: v=1 x",
                                 QHostAddress::LocalHost, port);
        }
        QDeadlineTimer deadline(10000);
        while (window.receiver().packets() < sent && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCOMPARE(window.receiver().packets(), double(sent));
        if (sent <= limit)
            QVERIFY(!window->findChild<QMessageBox *>(u"tableFull"_qs));
    }
    QTRY_VERIFY(window->findChild<QMessageBox *>(u"tableFull"_qs));
    QCOMPARE(window.table().hostCount(), limit);
    QVERIFY(window->listeningStatus().endsWith(u"table full"));
}

void TestMainForm::limitsHoldWhereTheWindowSystemIgnoresThem()
{
    auto form = openWindow();
    // Straight to the platform window, past the widget's own clamping.
    form->windowHandle()->resize(Twips::toPixels(*form, 20000, 20000));
    QTRY_COMPARE(form->frameGeometry().size(), designPixels(*form, QSize(10575, 5000)));
}

void TestMainForm::longCountsStayInView()
{
    auto window = openWindow();
    window.receiver().setPackets(98765432109917);
    window.receiver().setBytes(123456789012345);
    window.receiver().publish();
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
    QTest::newRow("name shown whole") << QStringList{u"h| Free Memory (MB)| 2048 "_qs} << 3
                                      << u"fits"_qs << u" Free Memory (MB)"_qs;
    QTest::newRow("value shown whole")
        << QStringList{u"h| a| 1 "_qs, u"h| a|"_qs + longValue} << 4 << u"fits"_qs << longValue;
    QTest::newRow("widens only") << QStringList{u"h| a| 1 "_qs, u"h| a|"_qs + longValue,
                                                u"publish"_qs, u"h| a| 1 "_qs}
                                 << 4 << u"fits"_qs << longValue;
    const QString hostile(200, u'W');
    QTest::newRow("a hostile name is bounded")
        << QStringList{u"h|"_qs + hostile + u"| 1 "_qs} << 3 << u"bound"_qs << QString();
    QTest::newRow("the user's width stays")
        << QStringList{u"h| Free Memory (MB)| 2048 "_qs} << 3 << u"user's"_qs << QString();
    // Among hundreds of rows: hosts in the middle count too.
    QStringList hosts;
    for (int i = 0; i < 300; ++i)
        hosts << (i == 150 ? u"a-rather-long-host-name.example.org| a| 1 "_qs
                           : u"h%1| a| 1 "_qs.arg(i));
    QTest::newRow("host shown whole")
        << hosts << -1 << u"fits"_qs << u"a-rather-long-host-name.example.org"_qs;
    QTest::newRow("a hostile host is bounded")
        << QStringList{u"%1| a| 1 "_qs.arg(hostile)} << -1 << u"bound"_qs << QString();
    // The last pair, blank first, takes a real name once every other pair is named.
    QStringList lastPair;
    for (int i = 0; i < ReadingsTable::pairCount - 1; ++i)
        lastPair << u"h|n%1| 1 "_qs.arg(i);
    lastPair << u"h|| 1 "_qs << u"publish"_qs << u"h|Free-Memory-In-Megabytes| 2048 "_qs;
    QTest::newRow("the last pair's name after a blank one")
        << lastPair << ReadingsTable::firstNameColumn + 2 * (ReadingsTable::pairCount - 1)
        << u"fits"_qs << u"Free-Memory-In-Megabytes"_qs;
}

void TestMainForm::columnsFitWhatArrives()
{
    QFETCH(QStringList, readings);
    QFETCH(int, column);
    QFETCH(QString, expected);
    QFETCH(QString, text);
    auto window = openWindow();
    QTableView *const table = grid(*window);
    const auto width = [&] {
        return column < 0 ? table->verticalHeader()->width() : table->columnWidth(column);
    };
    const int userWidth = table->columnWidth(3) / 2;
    if (expected == u"user's")
        table->setColumnWidth(column, userWidth);
    int before = width();
    for (const QString &reading : std::as_const(readings)) {
        post(window, {reading});
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
    auto window = openWindow();
    post(window, {u"a| n1| 11 "_qs, u"b| n1| 21 "_qs, u"a| n2| 12 "_qs});
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
    QCOMPARE(menu->actions().size(), 6);
    QCOMPARE(menu->actions()[0]->text(), u"&Copy");
    QVERIFY(!menu->actions()[0]->isEnabled()); // nothing selected
    QCOMPARE(menu->actions()[1]->text(), u"Copy &All");
    QVERIFY(menu->actions()[2]->isSeparator());
    QCOMPARE(menu->actions()[3]->objectName(), u"ShowHistoryMenu");
    QVERIFY(menu->actions()[3]->isEnabled()); // the current cell is a reading
    QVERIFY(menu->actions()[4]->isSeparator());
    QCOMPARE(menu->actions()[5]->text(), u"&Remove Host");
    QVERIFY(!menu->actions()[5]->isEnabled());
    menu->actions()[1]->trigger();
    QCOMPARE(clipboard->text(), all);
}

// Show History plots the selected readings of the current cell's host, one window for
// each choice; a double-click opens a reading's own.
void TestMainForm::showHistory()
{
    auto window = openWindow();
    post(window, {u"a| n1| 11 "_qs, u"b| n1| 21 "_qs, u"a| n2| 12 "_qs, u"a| n3| up "_qs});
    QTableView *const table = grid(*window);
    QAction *const show = window->findChild<QAction *>(u"ShowHistoryMenu"_qs);
    QVERIFY(show);
    const auto titles = [&] {
        QStringList found;
        for (const HistoryWindow *open : window->findChildren<HistoryWindow *>())
            found << open->windowTitle();
        found.sort();
        return found;
    };

    // Host a's n1 and n3, and b's n1, which the current cell's host leaves out.
    QItemSelectionModel *const selection = table->selectionModel();
    selection->select(table->model()->index(1, 4), QItemSelectionModel::Select);
    selection->select(table->model()->index(0, 8), QItemSelectionModel::Select);
    selection->setCurrentIndex(table->model()->index(0, 4), QItemSelectionModel::Select);
    show->trigger();
    QCOMPARE(titles(), QStringList{u"n1, n3 on a \u00b7 Senvo-Net History"_qs});
    // The same choice again raises the window open.
    show->trigger();
    QCOMPARE(titles().size(), 1);

    const QRect cell = table->visualRect(table->model()->index(1, 4));
    // As a user's: the first click, then the second as a double-click.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(titles(), (QStringList{u"n1 on b \u00b7 Senvo-Net History"_qs,
                                    u"n1, n3 on a \u00b7 Senvo-Net History"_qs}));
    // Cells that hold no reading open nothing.
    table->clearSelection();
    selection->setCurrentIndex(table->model()->index(1, 1), QItemSelectionModel::NoUpdate);
    window->findChild<ReadingsView *>()->showHistoryAction()->trigger();
    QCOMPARE(titles().size(), 2);
}

void TestMainForm::menus()
{
    auto window = makeWindow({}, new FakeDatagramSocket);
    // Titles, items (a separator as "-") and shortcuts, in order.
    QStringList found;
    for (QAction *menu : window->menuBar()->actions()) {
        QStringList items;
        for (QAction *item : menu->menu()->actions()) {
            items << (item->isSeparator() ? u"-"_qs
                                          : item->text() + u' ' + item->shortcut().toString());
        }
        found << menu->text() + u": "_qs + items.join(u" | "_qs);
    }
    QCOMPARE(found,
             (QStringList{
                 u"&File: &Save Table As\u2026 Ctrl+S | - | E&xit "_qs,
                 u"&Edit: &Copy Ctrl+C | Copy &All Ctrl+Shift+C | - | &Find Host\u2026 "
                 u"Ctrl+F | Show &Problems Only  | - | &Remove Host Del | C&lear Table "_qs,
                 u"&View: &Overview Ctrl+O | &Problems First  | &Trends  | - | &Events "_qs,
                 u"&Tools: &Options  | Se&ttings\u2026  | &Limits\u2026  | &Senders\u2026  | "
                 u"&Notifications\u2026 "_qs,
                 u"&Help: &About "_qs,
             }));
}

void TestMainForm::findRemoveAndClear()
{
    QLocale::setDefault(QLocale::c());
    auto window = openWindow();
    post(window, {u"web-1| n| 1 "_qs, u"db-1| n| 2 "_qs, u"web-2| n| 3 "_qs});
    QTableView *const table = grid(*window);
    const auto shown = [table] {
        QStringList hosts;
        for (int row = 0; row < table->model()->rowCount(); ++row)
            hosts << table->model()->headerData(row, Qt::Vertical).toString();
        return hosts.join(u' ');
    };
    auto *field = window->findChild<QLineEdit *>(u"findHost"_qs);
    auto *count = window->findChild<QLabel *>(u"findHostCount"_qs);
    QVERIFY(!field->isVisible());

    QTest::keySequence(window.get(), QKeySequence::Find);
    QVERIFY(field->isVisible());
    QVERIFY(field->hasFocus());
    QTest::keyClicks(field, u"WEB"_qs);
    QCOMPARE(shown(), u"web-1 web-2");
    QCOMPARE(count->text(), u"2 of 3 hosts");
    post(window, {u"mail| n| 4 "_qs, u"web-3| n| 5 "_qs});
    QCOMPARE(shown(), u"web-1 web-2 web-3");
    QCOMPARE(count->text(), u"3 of 5 hosts");

    // Copy and removal work on the rows shown.
    QTest::keyClick(field, Qt::Key_Return);
    QVERIFY(table->hasFocus());
    table->selectRow(1);
    QTest::keySequence(table, QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text(), u"web-2\tJun 10\t19:35:00\t n\t 3 \n"_qs);
    table->selectionModel()->select(table->model()->index(0, 3), QItemSelectionModel::Select);
    QCOMPARE(window->findChild<QAction *>(u"RemoveHostMenu"_qs)->text(), u"&Remove Hosts");
    QTest::keyClick(table, Qt::Key_Delete);
    QCOMPARE(shown(), u"web-3");
    QCOMPARE(count->text(), u"1 of 3 hosts");
    QVERIFY(!table->selectionModel()->hasSelection());

    QTest::keyClick(field, Qt::Key_Escape);
    QVERIFY(!field->isVisible());
    QVERIFY(table->hasFocus());
    QCOMPARE(shown(), u"db-1 mail web-3");
    // Opened again, the field starts empty, as every host is shown.
    QTest::keySequence(window.get(), QKeySequence::Find);
    QCOMPARE(field->text(), QString());
    QCOMPARE(count->text(), u"3 hosts");
    QTest::keyClick(field, Qt::Key_Escape);
    post(window, {u"web-1| m| 6 "_qs});
    QCOMPARE(shown(), u"db-1 mail web-3 web-1");
    QCOMPARE(table->model()->index(3, 3).data().toString(), u" m");

    // Cleared after a question that says how many; the counters stay.
    window.receiver().setPackets(42);
    window->findChild<QAction *>(u"ClearTableMenu"_qs)->trigger();
    auto *question = window->findChild<QMessageBox *>(u"clearTableQuestion"_qs);
    QVERIFY(question);
    QCOMPARE(question->text(), u"Remove all 4 hosts from the table?");
    question->buttons().constFirst()->click();
    QCOMPARE(table->model()->rowCount(), 0);
    QCOMPARE(window.table().hostCount(), 0);
    QCOMPARE(window.receiver().packets(), 42.0);
}

void TestMainForm::emptyRowsBeforeTheFirstHostOnly()
{
    auto window = openWindow();
    QTableView *const table = grid(*window);
    auto *field = window->findChild<QLineEdit *>(u"findHost"_qs);
    const auto find = [&](const QString &text) {
        QTest::keySequence(window.get(), QKeySequence::Find);
        field->clear();
        QTest::keyClicks(field, text);
    };
    find(u"web"_qs);
    QCOMPARE(table->model()->rowCount(), 0);
    QTest::keyClick(field, Qt::Key_Escape);
    QCOMPARE(table->model()->rowCount(), 3);
    table->selectAll();
    window->findChild<QAction *>(u"CopyAllMenu"_qs)->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString());
    QVERIFY(!window->findChild<QAction *>(u"RemoveHostMenu"_qs)->isEnabled());

    // A host that the find text hides still ends them, and a cleared table does not bring
    // them back.
    find(u"web"_qs);
    post(window, {u"db-1| n| 1 "_qs});
    QCOMPARE(table->model()->rowCount(), 0);
    window->findChild<QAction *>(u"ClearTableMenu"_qs)->trigger();
    window->findChild<QMessageBox *>(u"clearTableQuestion"_qs)->buttons().constFirst()->click();
    QTest::keyClick(field, Qt::Key_Escape);
    QCOMPARE(table->model()->rowCount(), 0);
}

void TestMainForm::saveTheTable()
{
    auto window = openWindow();
    post(window, {u"a| n| 1 "_qs, u"b| n| 2 "_qs, u"ab| n| 3 "_qs});
    window->findHost(u"a"_qs);
    QSignalSpy finished(window.get(), &MainForm::saveFinished);
    const QString path = m_user->filePath(u"table.csv"_qs);
    QVERIFY(window->saveTable(path));
    QTRY_COMPARE(finished.size(), 1);
    QVERIFY(finished[0][0].toBool());
    // When this machine last heard each host, on its own clock.
    const auto heard = [&window](int row) {
        return window.table().lastHeard(row).toString(u"yyyy-MM-dd hh:mm:ss"_qs).toUtf8();
    };
    QCOMPARE(readBytes(path), QByteArray(CsvTable::byteOrderMark)
                                  + "Host,Date,Time,Last heard,Name 1,Value 1\r\n"
                                    "a,Jun 10,19:35:00,"
                                  + heard(0) + ",n,1\r\nab,Jun 10,19:35:00," + heard(2)
                                  + ",n,3\r\n");
    // Told in the status line for a while, with no box to dismiss.
    auto *status = window->findChild<QLabel *>(u"listeningStatus"_qs);
    QCOMPARE(status->toolTip(), u"Saved 2 hosts to "_qs + QDir::toNativeSeparators(path));
    QVERIFY(!window->findChild<QMessageBox *>());
    QTRY_VERIFY_WITH_TIMEOUT(window->listeningStatus().startsWith(u"Listening on UDP port"_qs),
                             10000);

    // Told with the reason, and nothing written.
    const QString unwritable = belowAPlainFile(*m_user, u"table.csv"_qs);
    QVERIFY(!window->saveTable(unwritable));
    auto *notice = window->findChild<QMessageBox *>(u"tableNotSaved"_qs);
    QVERIFY(notice);
    QVERIFY2(notice->text().contains(QDir::toNativeSeparators(unwritable)),
             qPrintable(notice->text()));
    QVERIFY(notice->text().count(u'\n') >= 1);
    QCOMPARE(finished.size(), 1);
}

void TestMainForm::silentHostsAreCounted()
{
    const quint16 port = freePort();
    QVERIFY(writeBytes(m_program->filePath(u"Senvo-Net.ini"_qs), QByteArray::number(port)));
    FakeReceiveClock clock;
    const TestWindow window(SettingsFile(m_program->path(), m_user->path()), nullptr, &clock);
    const QString listening = u"Listening on UDP port %1"_qs.arg(port);
    window.table().beginBatch();
    post(window, {u"a|CPU|1"_qs, u"b|CPU|1"_qs, u"c|CPU|1"_qs});
    clock.seconds = 300;
    window.table().tick();
    QCOMPARE(window->listeningStatus(), listening);
    clock.seconds = 300.1;
    window.table().tick();
    QCOMPARE(window->listeningStatus(), listening + u" \u00b7 3 of 3 hosts silent"_qs);
    window.table().beginBatch();
    post(window, {u"b|CPU|2"_qs, u"d|CPU|1"_qs});
    QCOMPARE(window->listeningStatus(), listening + u" \u00b7 2 of 4 hosts silent"_qs);
    post(window, {u"c|CPU|2"_qs});
    QCOMPARE(window->listeningStatus(), listening + u" \u00b7 1 of 4 hosts silent"_qs);
}

void TestMainForm::hostsInTroubleAreCountedAndFound()
{
    QLocale::setDefault(QLocale::c());
    const quint16 port = freePort();
    QVERIFY(writeBytes(m_program->filePath(u"Senvo-Net.ini"_qs), QByteArray::number(port)));
    FakeReceiveClock clock;
    const TestWindow window(SettingsFile(m_program->path(), m_user->path()), nullptr, &clock);
    window->show();
    window.limits().setRules(LimitRules(QJsonDocument::fromJson(R"({"limits": [
        {"reading": "CPU", "warningAbove": 80, "criticalAbove": 95}]})")
                                            .object()));
    const QString listening = u"Listening on UDP port %1 \u00b7 "_qs.arg(port);
    window.table().beginBatch();
    post(window, {u"a|CPU|97"_qs, u"b|CPU|85"_qs, u"c|CPU|99"_qs, u"d|CPU|1"_qs, u"e|Mem|99"_qs});
    QCOMPARE(window->listeningStatus(), listening + u"2 critical \u00b7 1 warning"_qs);
    // A host's colour fills its row header, whatever the style does with the header's own.
    QHeaderView *const rows = grid(*window)->verticalHeader();
    QApplication::processEvents();
    const QImage header = rows->viewport()->grab().toImage();
    for (const int row : {0, 1}) {
        const QColor colour =
            rows->model()->headerData(row, Qt::Vertical, Qt::BackgroundRole).value<QColor>();
        QVERIFY(colour.isValid());
        const QPoint inside(header.width() / header.devicePixelRatio() - 4,
                            rows->sectionViewportPosition(row) + 2);
        QCOMPARE(header.pixelColor(inside * header.devicePixelRatio()), colour);
    }
    clock.seconds = 200;
    window.table().beginBatch();
    post(window, {u"a|CPU|97"_qs, u"b|CPU|1"_qs, u"c|CPU|1"_qs});
    clock.seconds = 400;
    window.table().tick();
    QCOMPARE(window->listeningStatus(), listening + u"1 critical \u00b7 2 of 5 hosts silent"_qs);

    QAbstractItemModel *const shown = grid(*window)->model();
    auto *box = window->findChild<QCheckBox *>(u"problemsOnly"_qs);
    window->findChild<QAction *>(u"ShowProblemsOnlyMenu"_qs)->trigger();
    QVERIFY(box->isVisible() && box->isChecked());
    QCOMPARE(box->text(), u"&Problems only");
    QCOMPARE(shown->rowCount(), 3);
    QCOMPARE(window->findChild<QLabel *>(u"findHostCount"_qs)->text(), u"3 of 5 hosts");
    QTest::keyClick(box, Qt::Key_Escape);
    QVERIFY(!box->isVisible() && !box->isChecked());
    QCOMPARE(shown->rowCount(), 5);
}

QTEST_MAIN(TestMainForm)
void TestMainForm::sendersOnTheStatusLine_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("sent");       // from 127.0.0.1
    QTest::addColumn<QString>("status"); // %1 the port
    QTest::addColumn<QString>("tip");

    QTest::newRow("every address, every sender")
        << QByteArray("{}") << 2 << u"Listening on UDP port %1"_qs << QString();
    QTest::newRow("one address named") << QByteArray(R"({"listenAddress": "127.0.0.1"})") << 1
                                       << u"Listening on 127.0.0.1, UDP port %1"_qs << QString();
    QTest::newRow("IPv6 as it is")
        << QByteArray(R"({"listenAddress": "::1", "allowedSenders": ["::1"]})") << 0
        << u"Listening on ::1, UDP port %1"_qs << QString();
    QTest::newRow("ignored, counted")
        << QByteArray(R"({"allowedSenders": ["::1"]})") << 3
        << u"Listening on UDP port %1 \u00b7 3 ignored"_qs << u"Last ignored: 127.0.0.1 at "_qs;
}

void TestMainForm::sendersOnTheStatusLine()
{
    QFETCH(QByteArray, json);
    QFETCH(int, sent);
    QFETCH(QString, status);
    QFETCH(QString, tip);

    const quint16 port = freePort();
    QVERIFY(writeBytes(m_program->filePath(u"Senvo-Net.ini"_qs), QByteArray::number(port)));
    QVERIFY(writeBytes(m_program->filePath(u"Senvo-Net.json"_qs), json));
    const TestWindow window(SettingsFile(m_program->path(), m_user->path()));
    QUdpSocket sender;
    const QByteArray datagram = "<13>Dec  8 02:56:54 vm senvo[CPU]: t=45 C";
    for (int i = 0; i < sent; ++i)
        QCOMPARE(sender.writeDatagram(datagram, QHostAddress::LocalHost, port), datagram.size());
    QTRY_COMPARE(window.receiver().packets(), double(sent));
    window.receiver().publish();
    QTRY_COMPARE(window->listeningStatus(), status.arg(port));
    // The last line of the tip tells where the history is kept.
    QStringList tipLines = window->listeningStatusTip().split(u'\n');
    QVERIFY2(
        tipLines.takeLast().startsWith(
            u"History: "_qs + QDir::toNativeSeparators(window.monitor().archive()->filePath())),
        qPrintable(window->listeningStatusTip()));
    QVERIFY(tipLines.join(u'\n').startsWith(tip));
    QCOMPARE(tipLines.isEmpty(), tip.isEmpty());

    // Tools -> Senders... opens one window at its page, showing the address in force.
    auto *menu = window->findChild<QAction *>(u"SendersMenu"_qs);
    menu->trigger();
    menu->trigger();
    QCOMPARE(window->findChildren<SettingsWindow *>().size(), 1);
    QCOMPARE(window->settings()->currentPage(), window->settings()->page<SendersPage>());
    QCOMPARE(window->settings()->page<SendersPage>()->addressChoice()->currentData().toString(),
             window.monitor().senders().listenAddress());
}

#include "tst_mainform.moc"
