#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <memory>
#include <vector>

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
    // The whole answer to a GET of /metrics.
    static QByteArray scrape(quint16 port);
};

QByteArray TestSenvoNetd::scrape(quint16 port)
{
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    if (!client.waitForConnected(5000))
        return {};
    client.write("GET /metrics HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
    QByteArray answer;
    while (client.state() == QAbstractSocket::ConnectedState && client.waitForReadyRead(5000))
        answer += client.readAll();
    return answer + client.readAll();
}

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
    QTcpServer tcpProbe;
    QVERIFY(tcpProbe.listen(QHostAddress::LocalHost, 0));
    const quint16 metricsPort = tcpProbe.serverPort();
    tcpProbe.close();
    QVERIFY(tcpProbe.listen(QHostAddress::LocalHost, 0));
    const quint16 streamPort = tcpProbe.serverPort();
    tcpProbe.close();
    QFile ini(config.filePath(u"Senvo-Net.ini"_qs));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(QByteArray::number(port) + "\r\n");
    ini.close();
    QFile json(config.filePath(u"Senvo-Net.json"_qs));
    QVERIFY(json.open(QIODevice::WriteOnly));
    json.write(R"({"metrics": {"listen": "127.0.0.1:)" + QByteArray::number(metricsPort)
               + R"("}, "tcp": {"port": )" + QByteArray::number(streamPort) + "}}");
    json.close();

    QProcess program;
    start(program, {u"--config"_qs, config.path(), u"--data"_qs, config.path()});
    QByteArray log;
    QVERIFY2(
        waitForLog(program, log, "Listening for readings on UDP port " + QByteArray::number(port)),
        log.constData());
    QVERIFY(log.contains(QDir::toNativeSeparators(config.path()).toUtf8()));
    QVERIFY2(waitForLog(program, log,
                        "Serving metrics on http://127.0.0.1:" + QByteArray::number(metricsPort)),
             log.constData());

    QUdpSocket sender;
    sender.writeDatagram("<13>Dec  9 12:00:00 host0001 senvo[CPU]: t=45%", QHostAddress::LocalHost,
                         port);
    const QByteArray series = R"(senvo_reading{host="host0001",reading="CPU",unit="%"} 45)";
    QByteArray answer;
    for (int tries = 0; tries < 50 && !answer.contains(series); ++tries) {
        QTest::qWait(100);
        answer = scrape(metricsPort);
    }
    QVERIFY2(answer.startsWith("HTTP/1.1 200 "), answer.constData());
    QVERIFY2(answer.contains(series), answer.constData());

    // Relays past the most connections at once: the first refused is told, and those that
    // follow it within the minute are not, one line each.
    std::vector<std::unique_ptr<QTcpSocket>> relays;
    for (int i = 0; i < 259; ++i) {
        relays.push_back(std::make_unique<QTcpSocket>());
        relays.back()->connectToHost(QHostAddress::LocalHost, streamPort);
        QVERIFY(relays.back()->waitForConnected(5000));
    }
    QVERIFY2(waitForLog(program, log, "Refused a syslog client over TCP, 127.0.0.1, as 256 "),
             log.constData());
    QTest::qWait(200);
    log += program.readAllStandardError();
    QCOMPARE(log.count("Refused a syslog client"), 1);

    // A limit it cannot apply, read again on SIGHUP and told in the log.
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
