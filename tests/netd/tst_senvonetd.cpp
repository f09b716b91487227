#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#ifndef Q_OS_WIN
#include <csignal>
#endif

// senvo-netd started as an operator or systemd starts it: from the command line, with a
// settings folder of its own, ended by a signal.
class TestSenvoNetd final : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data();
    void commandLine();
    void receivesAndEndsCleanly();

private:
    static void start(QProcess &program, const QStringList &arguments);
    // Waits for the log to hold text; what it held so far goes to log.
    static bool waitForLog(QProcess &program, QByteArray &log, const QByteArray &text);
};

void TestSenvoNetd::start(QProcess &program, const QStringList &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The journal's priority prefix instead of the time would only change the lines' start.
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "JOURNAL_STREAM"})
        environment.remove(QString::fromLatin1(name));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(SENVO_NETD_PATH), arguments);
}

bool TestSenvoNetd::waitForLog(QProcess &program, QByteArray &log, const QByteArray &text)
{
    QDeadlineTimer deadline(20000);
    while (!log.contains(text)) {
        if (deadline.hasExpired() || program.state() == QProcess::NotRunning)
            return false;
        program.waitForReadyRead(100);
        log += program.readAllStandardError();
    }
    return true;
}

void TestSenvoNetd::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // in stdout, or else in stderr
    QTest::newRow("help") << QStringList{u"--help"_qs} << 0 << u"--config <folder>"_qs;
    QTest::newRow("version") << QStringList{u"-v"_qs} << 0 << u"Senvo-Net 1."_qs;
    QTest::newRow("no such folder") << QStringList{u"--config"_qs, u"no/such/folder"_qs} << 1
                                    << u"\"no/such/folder\" is not a folder."_qs;
    QTest::newRow("a window option is not its own")
        << QStringList{u"-platform"_qs, u"offscreen"_qs} << 1 << u"Unknown option"_qs;
    QTest::newRow("an argument") << QStringList{u"file"_qs} << 1
                                 << u"The program takes no arguments: \"file\"."_qs;
}

void TestSenvoNetd::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QProcess program;
    start(program, arguments);
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    const QByteArray text =
        exitCode == 0 ? program.readAllStandardOutput() : program.readAllStandardError();
    QVERIFY2(text.contains(output.toUtf8()), text.constData());
}

void TestSenvoNetd::receivesAndEndsCleanly()
{
#ifdef Q_OS_WIN
    QSKIP("Windows has no signals to end a console program with");
#else
    QTemporaryDir config;
    QVERIFY(config.isValid());
    QUdpSocket probe;
    QVERIFY(probe.bind(QHostAddress::LocalHost, 0));
    const quint16 port = probe.localPort();
    probe.close();
    QFile ini(config.filePath(u"Senvo-Net.ini"_qs));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(QByteArray::number(port) + "\r\n");
    ini.close();

    QProcess program;
    start(program, {u"--config"_qs, config.path()});
    QByteArray log;
    QVERIFY2(
        waitForLog(program, log, "Listening for readings on UDP port " + QByteArray::number(port)),
        log.constData());
    QVERIFY(log.contains(QDir::toNativeSeparators(config.path()).toUtf8()));

    // A limit it cannot apply, read again on SIGHUP and told in the log.
    QFile json(config.filePath(u"Senvo-Net.json"_qs));
    QVERIFY(json.open(QIODevice::WriteOnly));
    json.write(R"({"limits": [{"reading": "CPU", "warningAbove": "lots"}]})");
    json.close();
    QCOMPARE(::kill(pid_t(program.processId()), SIGHUP), 0);
    QVERIFY2(waitForLog(program, log, "cannot be applied"), log.constData());

    program.terminate();
    QVERIFY2(program.waitForFinished(5000), log.constData());
    log += program.readAllStandardError();
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY2(log.endsWith("Stopping.\n"), log.constData());
#endif
}

QTEST_GUILESS_MAIN(TestSenvoNetd)
#include "tst_senvonetd.moc"
