#include <QProcess>
#include <QTest>

// The program itself, started with no window system at all: answering the command line
// must not need one.
class TestCommandLine final : public QObject
{
    Q_OBJECT

private slots:
    void answersWithoutAWindow_data();
    void answersWithoutAWindow();
};

void TestCommandLine::answersWithoutAWindow_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // the start of stdout, or else of stderr
    QTest::newRow("help") << QStringList{u"--help"_qs} << 0 << u"Usage: "_qs;
    QTest::newRow("short help") << QStringList{u"-h"_qs} << 0 << u"Usage: "_qs;
    QTest::newRow("version") << QStringList{u"--version"_qs} << 0 << u"Senvo-Net 1."_qs;
    QTest::newRow("Qt's own option passes")
        << QStringList{u"-platform"_qs, u"offscreen"_qs, u"-v"_qs} << 0 << u"Senvo-Net 1."_qs;
    QTest::newRow("unknown option")
        << QStringList{u"--bogus"_qs} << 1 << u"Unknown option 'bogus'."_qs;
    QTest::newRow("an argument") << QStringList{u"file"_qs} << 1
                                 << u"The program takes no arguments: \"file\"."_qs;
}

void TestCommandLine::answersWithoutAWindow()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(SENVO_NET_PATH), arguments);
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    const QByteArray stdOut = program.readAllStandardOutput();
    const QByteArray text = exitCode == 0 ? stdOut : program.readAllStandardError();
    QVERIFY2(text.startsWith(output.toUtf8()), text.constData());
    if (exitCode != 0)
        QVERIFY(stdOut.isEmpty());
}

QTEST_APPLESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
