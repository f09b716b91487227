#include "engine/settings/settingsfile.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using Status = SettingsFile::LoadResult::Status;

class TestSettingsFile final : public QObject
{
    Q_OBJECT

private slots:
    void load_data();
    void load();
    void hugeGarbageIsNotReadWhole();
    void saveWritesOneLine();
    void roundTrip_data();
    void roundTrip();
    void fileReplacedByDirectory();
    void savedInTheUserFolder_data();
    void savedInTheUserFolder();
    void laterSaveBesideProgramWins();
    void nowhereToWriteIsReported_data();
    void nowhereToWriteIsReported();
    void unreadableFileIsReported();
    void systemProgramDirectory_data();
    void systemProgramDirectory();
    void linkToSystemDirectory();
    void buildTreeKeepsFileBesideProgram();
    void programFilesKeepsFileInUserFolder();
};

void TestSettingsFile::load_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("item");
    QTest::newRow("CR LF") << QByteArray("5140\r\n") << int(Status::Read) << u"5140"_qs;
    QTest::newRow("LF") << QByteArray("5140\n") << int(Status::Read) << u"5140"_qs;
    QTest::newRow("no line end") << QByteArray("5140") << int(Status::Read) << u"5140"_qs;
    QTest::newRow("comma") << QByteArray("6000,extra\r\n") << int(Status::Read) << u"6000"_qs;
    QTest::newRow("quoted") << QByteArray("\"6000\"\r\n") << int(Status::Read) << u"6000"_qs;
    QTest::newRow("quoted with comma")
        << QByteArray("\"60,00\",x") << int(Status::Read) << u"60,00"_qs;
    QTest::newRow("leading spaces") << QByteArray("   7000\r\n") << int(Status::Read) << u"7000"_qs;
    QTest::newRow("only the first line")
        << QByteArray("7001\r\n7002\r\n") << int(Status::Read) << u"7001"_qs;
    QTest::newRow("empty line") << QByteArray("\r\n") << int(Status::Read) << QString();
    QTest::newRow("empty file") << QByteArray() << int(Status::Empty) << QString();
    QTest::newRow("text") << QByteArray("port please\r\n") << int(Status::Read)
                          << u"port please"_qs;
    QTest::newRow("binary") << QByteArray("\x01\xff\xfe\0\x02", 5) << int(Status::Read)
                            << QString::fromLocal8Bit(QByteArray("\x01\xff\xfe\0\x02", 5));
}

void TestSettingsFile::load()
{
    QFETCH(QByteArray, content);
    QTemporaryDir program;
    QTemporaryDir user;
    const SettingsFile settings(program.path(), user.path());
    QCOMPARE(int(settings.load().status), int(Status::NoFile));

    QVERIFY(writeBytes(program.filePath(u"Senvo-Net.ini"_qs), content));
    const SettingsFile::LoadResult loaded = settings.load();
    QTEST(int(loaded.status), "status");
    QTEST(loaded.item, "item");
    QCOMPARE(loaded.path, program.filePath(u"Senvo-Net.ini"_qs));
}

void TestSettingsFile::hugeGarbageIsNotReadWhole()
{
    QTemporaryDir program;
    QByteArray garbage(10 * 1024 * 1024, 'x');
    for (qsizetype i = 0; i < garbage.size(); i += 7)
        garbage[i] = char(i % 251);
    QVERIFY(writeBytes(program.filePath(u"Senvo-Net.ini"_qs), garbage));
    const SettingsFile::LoadResult loaded = SettingsFile(program.path(), {}).load();
    QCOMPARE(int(loaded.status), int(Status::Read));
    QVERIFY(loaded.item.size() <= 4096);
}

void TestSettingsFile::saveWritesOneLine()
{
    QTemporaryDir program;
    QTemporaryDir user;
    const SettingsFile settings(program.path(), user.path());
    QVERIFY(writeBytes(program.filePath(u"Senvo-Net.ini"_qs), "old,content\r\nmore lines\r\n"));
    const SettingsFile::SaveResult saved = settings.save(u"5140"_qs);
    QVERIFY2(saved.saved, qPrintable(saved.error));
    QCOMPARE(saved.path, program.filePath(u"Senvo-Net.ini"_qs));
    QCOMPARE(readBytes(saved.path), QByteArray("5140\r\n"));
    QVERIFY(!QFile::exists(user.filePath(u"Senvo-Net.ini"_qs)));
}

void TestSettingsFile::roundTrip_data()
{
    QTest::addColumn<QString>("port");
    QTest::newRow("plain") << u"5140"_qs;
    QTest::newRow("padded") << u"  6000"_qs;
    QTest::newRow("not a number") << u"abc"_qs;
}

void TestSettingsFile::roundTrip()
{
    QFETCH(QString, port);
    QTemporaryDir program;
    const SettingsFile settings(program.path(), {});
    QVERIFY(settings.save(port).saved);
    QCOMPARE(settings.load().item, port.trimmed());
}

void TestSettingsFile::fileReplacedByDirectory()
{
    QTemporaryDir program;
    QTemporaryDir user;
    QVERIFY(QDir(program.path()).mkdir(u"Senvo-Net.ini"_qs));
    const SettingsFile settings(program.path(), user.path());

    const SettingsFile::LoadResult loaded = settings.load();
    QCOMPARE(int(loaded.status), int(Status::Failed));
    QVERIFY(loaded.error.contains(u"not a normal file"));

    // The port still survives the run, in the user's folder.
    const SettingsFile::SaveResult saved = settings.save(u"5140"_qs);
    QVERIFY2(saved.saved, qPrintable(saved.error));
    QCOMPARE(saved.path, user.filePath(u"Senvo-Net.ini"_qs));
    QCOMPARE(settings.load().item, u"5140");
}

void TestSettingsFile::savedInTheUserFolder_data()
{
    QTest::addColumn<bool>("programFolder");
    QTest::newRow("program folder cannot be written") << true;
    // A program in a system directory keeps the port in the user's file only, root included.
    QTest::newRow("installed program") << false;
}

void TestSettingsFile::savedInTheUserFolder()
{
    QFETCH(bool, programFolder);
    QTemporaryDir base;
    const QString user = base.filePath(u"config/Senvo-Net"_qs);
    const SettingsFile settings(programFolder ? belowAPlainFile(base, u"program"_qs) : QString(),
                                user);
    QCOMPARE(settings.applicationPath().isEmpty(), !programFolder);
    QCOMPARE(int(settings.load().status), int(Status::NoFile));

    const SettingsFile::SaveResult saved = settings.save(u"5140"_qs);
    QVERIFY2(saved.saved, qPrintable(saved.error));
    QCOMPARE(saved.path, user + u"/Senvo-Net.ini"_qs);
    QCOMPARE(readBytes(saved.path), QByteArray("5140\r\n"));
    // Nothing beside a folder that is not there, nor at the root.
    QVERIFY(!QFile::exists(u"/Senvo-Net.ini"_qs));
    QCOMPARE(QDir(base.path()).entryList(QDir::Files),
             programFolder ? QStringList{u"plain"_qs} : QStringList());

    const SettingsFile::LoadResult loaded = settings.load();
    QCOMPARE(int(loaded.status), int(Status::Read));
    QCOMPARE(loaded.item, u"5140");
    QCOMPARE(loaded.path, saved.path);
    QVERIFY(settings.save(u"6000"_qs).saved);
    QCOMPARE(settings.load().item, u"6000");
}

void TestSettingsFile::laterSaveBesideProgramWins()
{
    QTemporaryDir program;
    QTemporaryDir user;
    const SettingsFile settings(program.path(), user.path());
    // An older port kept in the user's folder while the program's folder was read-only,
    // and a file beside the program that the user's one must win over.
    QVERIFY(writeBytes(user.filePath(u"Senvo-Net.ini"_qs), "6000\r\n"));
    QVERIFY(writeBytes(program.filePath(u"Senvo-Net.ini"_qs), "514\r\n"));
    QCOMPARE(settings.load().item, u"6000");

    QVERIFY(settings.save(u"7000"_qs).saved);
    QVERIFY(!QFile::exists(user.filePath(u"Senvo-Net.ini"_qs)));
    QCOMPARE(settings.load().item, u"7000");
}

void TestSettingsFile::nowhereToWriteIsReported_data()
{
    QTest::addColumn<QString>("program"); // below a plain file; none when empty
    QTest::addColumn<QString>("user");    // below a plain file
    QTest::addColumn<QString>("error");
    QTest::newRow("neither folder writable")
        << u"program"_qs << u"user"_qs << u"could not be written"_qs;
    QTest::newRow("installed, user folder cannot be made")
        << QString() << u"Senvo-Net"_qs << u"could not be created"_qs;
}

void TestSettingsFile::nowhereToWriteIsReported()
{
    QFETCH(QString, program);
    QFETCH(QString, user);
    QTemporaryDir base;
    const SettingsFile settings(program.isEmpty() ? QString() : belowAPlainFile(base, program),
                                belowAPlainFile(base, user));
    const SettingsFile::SaveResult saved = settings.save(u"5140"_qs);
    QVERIFY(!saved.saved);
    QFETCH(QString, error);
    QVERIFY2(saved.error.contains(error), qPrintable(saved.error));
}

void TestSettingsFile::unreadableFileIsReported()
{
#ifndef Q_OS_UNIX
    QSKIP("file permissions here are Unix ones");
#else
    if (::geteuid() == 0)
        QSKIP("root reads files whatever their permissions");
    QTemporaryDir program;
    const QString path = program.filePath(u"Senvo-Net.ini"_qs);
    QVERIFY(writeBytes(path, "5140\r\n"));
    QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    const SettingsFile::LoadResult loaded = SettingsFile(program.path(), {}).load();
    QCOMPARE(int(loaded.status), int(Status::Failed));
    QVERIFY(loaded.error.contains(u"could not be read"));
#endif
}

void TestSettingsFile::systemProgramDirectory_data()
{
    QTest::addColumn<QString>("directory");
    QTest::addColumn<bool>("system");
    QTest::newRow("/usr/bin") << u"/usr/bin"_qs << true;
    QTest::newRow("trailing slash") << u"/usr/bin/"_qs << true;
    QTest::newRow("dot-dot") << u"/usr/lib/../bin"_qs << true;
    QTest::newRow("/usr/local/bin") << u"/usr/local/bin"_qs << true;
    QTest::newRow("/bin") << u"/bin"_qs << true;
    QTest::newRow("/usr/share") << u"/usr/share"_qs << false;
    QTest::newRow("below /usr/bin") << u"/usr/bin/senvo"_qs << false;
    QTest::newRow("/opt") << u"/opt/senvo-net/bin"_qs << false;
    QTest::newRow("build tree") << u"/home/user/senvo-net/build/src"_qs << false;
    QTest::newRow("relative") << u"usr/bin"_qs << false;
    QTest::newRow("empty") << QString() << false;
    // Windows, with the program folders of windowsProgramFolders below.
    QTest::newRow("Program Files") << u"C:/Program Files/Senvo-Net"_qs << true;
    QTest::newRow("backslashes") << u"C:\\Program Files\\Senvo-Net\\"_qs << true;
    QTest::newRow("other case") << u"c:/PROGRAM FILES/senvo-net"_qs << true;
    QTest::newRow("Program Files (x86)") << u"C:/Program Files (x86)/Senvo-Net"_qs << true;
    QTest::newRow("name sharing the start") << u"C:/Program Files2/Senvo-Net"_qs << false;
    QTest::newRow("unzipped in Downloads")
        << u"C:/Users/op/Downloads/senvo-net-1.0.0-win64"_qs << false;
}

void TestSettingsFile::systemProgramDirectory()
{
    const QStringList windowsProgramFolders{u"C:\\Program Files"_qs,
                                            u"C:\\Program Files (x86)\\"_qs};
    QFETCH(QString, directory);
    QTEST(SettingsFile::isSystemProgramDirectory(directory, windowsProgramFolders), "system");
}

void TestSettingsFile::linkToSystemDirectory()
{
#ifndef Q_OS_UNIX
    QSKIP("the system directories checked are Unix ones");
#else
    QTemporaryDir base;
    const QString link = base.filePath(u"bin"_qs);
    QVERIFY(QFile::link(u"/usr/bin"_qs, link));
    QVERIFY(SettingsFile::isSystemProgramDirectory(link));
    QVERIFY(!SettingsFile::isSystemProgramDirectory(base.path()));
#endif
}

void TestSettingsFile::buildTreeKeepsFileBesideProgram()
{
    const SettingsFile settings = SettingsFile::forThisApplication();
    QCOMPARE(settings.applicationPath(),
             QCoreApplication::applicationDirPath() + u"/Senvo-Net.ini"_qs);
    QVERIFY(settings.userPath().endsWith(u"/Senvo-Net/Senvo-Net.ini"));
}

void TestSettingsFile::programFilesKeepsFileInUserFolder()
{
    const QByteArray programFiles = qgetenv("ProgramFiles");
    const auto restore = qScopeGuard([&] { qputenv("ProgramFiles", programFiles); });
    const QString aboveProgram = QDir(QCoreApplication::applicationDirPath() + u"/.."_qs).path();
    qputenv("ProgramFiles", QDir::toNativeSeparators(aboveProgram).toLocal8Bit());
    const SettingsFile settings = SettingsFile::forThisApplication();
    QCOMPARE(settings.applicationPath(), QString());
    QVERIFY(settings.userPath().endsWith(u"/Senvo-Net/Senvo-Net.ini"));
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
