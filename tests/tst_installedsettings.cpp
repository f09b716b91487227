#include "settings/settingsfile.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using Status = SettingsFile::LoadResult::Status;

// Where the port goes when the program runs from a directory of the system's own programs:
// only into the user's file, whoever runs it, root included.
class TestInstalledSettings final : public QObject
{
    Q_OBJECT

private slots:
    void systemProgramDirectory_data();
    void systemProgramDirectory();
    void linkToSystemDirectory();
    void userFileOnly();
    void userFolderThatCannotBeMade();
    void buildTreeKeepsFileBesideProgram();
};

void TestInstalledSettings::systemProgramDirectory_data()
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
}

void TestInstalledSettings::systemProgramDirectory()
{
    QFETCH(QString, directory);
    QTEST(SettingsFile::isSystemProgramDirectory(directory), "system");
}

void TestInstalledSettings::linkToSystemDirectory()
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

void TestInstalledSettings::userFileOnly()
{
    QTemporaryDir base;
    const QString user = base.filePath(u"config/Senvo-Net"_qs);
    const SettingsFile settings({}, user);
    QVERIFY(settings.applicationPath().isEmpty());
    QCOMPARE(int(settings.load().status), int(Status::NoFile));

    const SettingsFile::SaveResult saved = settings.save(u"5140"_qs);
    QVERIFY2(saved.saved, qPrintable(saved.error));
    QCOMPARE(saved.path, user + u"/Senvo-Net.ini"_qs);
    QCOMPARE(readBytes(saved.path), QByteArray("5140\r\n"));
    // Nothing beside a directory that is not there, nor at the root.
    QVERIFY(!QFile::exists(u"/Senvo-Net.ini"_qs));
    QCOMPARE(QDir(base.path()).entryList(QDir::Files), QStringList());

    const SettingsFile::LoadResult loaded = settings.load();
    QCOMPARE(int(loaded.status), int(Status::Read));
    QCOMPARE(loaded.item, u"5140");
    QCOMPARE(loaded.path, saved.path);

    QVERIFY(settings.save(u"6000"_qs).saved);
    QCOMPARE(settings.load().item, u"6000");
}

void TestInstalledSettings::userFolderThatCannotBeMade()
{
    // A folder below a plain file can be made by nobody, root included.
    QTemporaryDir base;
    QFile plain(base.filePath(u"plain"_qs));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const SettingsFile settings({}, base.filePath(u"plain/Senvo-Net"_qs));
    const SettingsFile::SaveResult saved = settings.save(u"5140"_qs);
    QVERIFY(!saved.saved);
    QVERIFY(saved.error.contains(u"could not be created"));
}

void TestInstalledSettings::buildTreeKeepsFileBesideProgram()
{
    const SettingsFile settings = SettingsFile::forThisApplication();
    QCOMPARE(settings.applicationPath(),
             QCoreApplication::applicationDirPath() + u"/Senvo-Net.ini"_qs);
    QVERIFY(settings.userPath().endsWith(u"/Senvo-Net/Senvo-Net.ini"));
}

QTEST_GUILESS_MAIN(TestInstalledSettings)
#include "tst_installedsettings.moc"
