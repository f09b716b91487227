#include "about/detachedprogramlauncher.h"
#include "about/getkeyvalue.h"
#include "about/noregistry.h"
#include "about/registryerror.h"
#include "about/sysinfolauncher.h"
#include "about/systemregistry.h"
#include "fakeprogramlauncher.h"
#include "fakeregistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray firstKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const QByteArray secondKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr quint32 readOnlyAccess = 0x20019; // KEY_READ
constexpr quint32 absent = 0;

} // namespace

class TestSysInfoLauncher final : public QObject
{
    Q_OBJECT

private slots:
    void getKeyValue_data();
    void getKeyValue();
    void getKeyValueCannotOpen_data();
    void getKeyValueCannotOpen();
    void getKeyValueZeroLength();
    void startSysInfo_data();
    void startSysInfo();
    void windowsPathReachesFileTestWithSlashes();
    void registryWithoutKeys_data();
    void registryWithoutKeys();
    void detachedLauncherRefuses_data();
    void detachedLauncherRefuses();
};

void TestSysInfoLauncher::getKeyValue_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<quint32>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("passed");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("keyVal");

    const QString before = u"before"_qs;
    QTest::newRow("text with terminator")
        << true << RegistryType::String << QByteArray("C:\\Tools\\msinfo32.exe", 22) << before
        << true << u"C:\\Tools\\msinfo32.exe"_qs;
    QTest::newRow("text without terminator")
        << true << RegistryType::String << QByteArray("abc") << before << true << u"abc"_qs;
    QTest::newRow("only one terminator is cut")
        << true << RegistryType::String << QByteArray("abc\0\0", 5) << before << true
        << (u"abc"_qs + QChar(0));
    QTest::newRow("terminator alone")
        << true << RegistryType::String << QByteArray(1, '\0') << before << true << QString();
    QTest::newRow("text filling the buffer")
        << true << RegistryType::String << QByteArray(1024, 'a') << before << true
        << QString(1024, u'a');
    QTest::newRow("text too large for the buffer")
        << true << RegistryType::String << QByteArray(1025, 'a') << before << false << QString();
    QTest::newRow("expandable text keeps the passed text")
        << true << RegistryType::ExpandString << QByteArray("%SystemRoot%\\x", 15) << before << true
        << before;
    QTest::newRow("binary keeps the passed text")
        << true << RegistryType::Binary << QByteArray("\x01\x02") << before << true << before;
    QTest::newRow("dword with high zero bytes")
        << true << RegistryType::DoubleWord << QByteArray("\x1a\0\0\0", 4) << before << true
        << u"26"_qs;
    QTest::newRow("dword is little-endian")
        << true << RegistryType::DoubleWord << QByteArray("\x04\x03\x02\x01", 4) << QString()
        << true << u"16909060"_qs;
    QTest::newRow("dword is unsigned")
        << true << RegistryType::DoubleWord << QByteArray("\xff\xff\xff\xff", 4) << QString()
        << true << u"4294967295"_qs;
    QTest::newRow("dword zero") << true << RegistryType::DoubleWord << QByteArray(4, '\0') << before
                                << true << u"0"_qs;
    QTest::newRow("missing value empties the passed text")
        << false << RegistryType::String << QByteArray() << before << false << QString();
}

void TestSysInfoLauncher::getKeyValue()
{
    QFETCH(bool, present);
    QFETCH(quint32, type);
    QFETCH(QByteArray, data);
    QFETCH(QString, passed);

    FakeRegistry registry;
    registry.addKey(RegistryRoot::LocalMachine, firstKey);
    if (present)
        registry.setValue(RegistryRoot::LocalMachine, firstKey, "PATH", {type, data});

    QString keyVal = passed;
    const bool result = GetKeyValue(registry, RegistryRoot::LocalMachine,
                                    QString::fromLatin1(firstKey), u"PATH"_qs, keyVal);
    QTEST(result, "result");
    QTEST(keyVal, "keyVal");
    QCOMPARE(registry.requestedAccess(), QList<quint32>{0x2003F});
    QCOMPARE(registry.bufferSizes(), QList<qsizetype>{1024});
    QCOMPARE(registry.closeRequests().size(), 1);
    QCOMPARE(registry.openKeyCount(), 0);
}

void TestSysInfoLauncher::getKeyValueCannotOpen_data()
{
    QTest::addColumn<bool>("keyExists");
    QTest::addColumn<bool>("underLocalMachine");
    QTest::addColumn<quint32>("granted");
    QTest::newRow("no such key") << false << false << 0xF003Fu;
    QTest::newRow("key under another root") << true << false << 0xF003Fu;
    QTest::newRow("read-only user") << true << true << readOnlyAccess;
}

void TestSysInfoLauncher::getKeyValueCannotOpen()
{
    QFETCH(bool, keyExists);
    QFETCH(bool, underLocalMachine);
    QFETCH(quint32, granted);

    FakeRegistry registry;
    registry.setGrantedAccess(granted);
    if (keyExists) {
        registry.setValue(underLocalMachine ? RegistryRoot::LocalMachine
                                            : RegistryRoot::CurrentUser,
                          firstKey, "PATH", {RegistryType::String, "C:\\x.exe"});
    }

    QString keyVal = u"before"_qs;
    QVERIFY(!GetKeyValue(registry, RegistryRoot::LocalMachine, QString::fromLatin1(firstKey),
                         u"PATH"_qs, keyVal));
    QCOMPARE(keyVal, QString());
    // The close is still attempted, on no key.
    QCOMPARE(registry.closeRequests(), QList<RegistryKey>{0});
    QVERIFY(registry.bufferSizes().isEmpty());
}

void TestSysInfoLauncher::getKeyValueZeroLength()
{
    FakeRegistry registry;
    registry.setValue(RegistryRoot::LocalMachine, firstKey, "PATH",
                      {RegistryType::String, QByteArray()});
    QString keyVal = u"before"_qs;
    QVERIFY_THROWS_EXCEPTION(RegistryError,
                             GetKeyValue(registry, RegistryRoot::LocalMachine,
                                         QString::fromLatin1(firstKey), u"PATH"_qs, keyVal));
    QCOMPARE(registry.closeRequests().size(), 1);
    QVERIFY(registry.closeRequests().constFirst() != 0);
    QCOMPARE(registry.openKeyCount(), 0);
}

void TestSysInfoLauncher::startSysInfo_data()
{
    // In the registry values "<dir>" stands for a temporary directory; in the expected
    // program it is that directory with '/' separators.
    QTest::addColumn<quint32>("firstType");
    QTest::addColumn<QByteArray>("firstData");
    QTest::addColumn<quint32>("secondType");
    QTest::addColumn<QByteArray>("secondData");
    QTest::addColumn<bool>("programFileExists");
    QTest::addColumn<quint32>("granted");
    QTest::addColumn<bool>("launchSucceeds");
    QTest::addColumn<bool>("started");
    QTest::addColumn<QStringList>("launched");
    QTest::addColumn<QByteArrayList>("opened");

    const QByteArray windowsPath("C:\\Windows\\System32\\msinfo32.exe", 33);
    const QByteArray dir("<dir>", 6);
    const quint32 text = RegistryType::String;
    const quint32 all = 0xF003F;

    QTest::newRow("first value starts at once")
        << text << windowsPath << text << dir << true << all << true << true
        << QStringList{u"C:/Windows/System32/msinfo32.exe"_qs} << QByteArrayList{firstKey};
    QTest::newRow("second key without the program")
        << absent << QByteArray() << text << dir << false << all << true << false << QStringList()
        << QByteArrayList{firstKey, secondKey};
    QTest::newRow("second key with the program")
        << absent << QByteArray() << text << dir << true << all << true << true
        << QStringList{u"<dir>/MSINFO32.EXE"_qs} << QByteArrayList{firstKey, secondKey};
    QTest::newRow("neither key") << absent << QByteArray() << absent << QByteArray() << false << all
                                 << true << false << QStringList()
                                 << QByteArrayList{firstKey, secondKey};
    QTest::newRow("expandable first value leaves the path empty")
        << RegistryType::ExpandString << windowsPath << text << dir << true << all << true << false
        << QStringList() << QByteArrayList{firstKey};
    QTest::newRow("empty first value") << text << QByteArray() << text << dir << true << all << true
                                       << false << QStringList() << QByteArrayList{firstKey};
    QTest::newRow("empty second value")
        << absent << QByteArray() << text << QByteArray() << true << all << true << false
        << QStringList() << QByteArrayList{firstKey, secondKey};
    QTest::newRow("expandable second value")
        << absent << QByteArray() << RegistryType::ExpandString << dir << true << all << true
        << false << QStringList() << QByteArrayList{firstKey, secondKey};
    QTest::newRow("read-only user")
        << text << windowsPath << text << dir << true << readOnlyAccess << true << false
        << QStringList() << QByteArrayList{firstKey, secondKey};
    QTest::newRow("program fails to start")
        << text << windowsPath << absent << QByteArray() << false << all << false << false
        << QStringList{u"C:/Windows/System32/msinfo32.exe"_qs} << QByteArrayList{firstKey};
}

void TestSysInfoLauncher::startSysInfo()
{
    QFETCH(quint32, firstType);
    QFETCH(QByteArray, firstData);
    QFETCH(quint32, secondType);
    QFETCH(QByteArray, secondData);
    QFETCH(bool, programFileExists);
    QFETCH(quint32, granted);
    QFETCH(bool, launchSucceeds);
    QFETCH(QStringList, launched);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (programFileExists) {
        QFile program(dir.filePath(u"MSINFO32.EXE"_qs));
        QVERIFY(program.open(QIODevice::WriteOnly));
    }
    const QByteArray dirData = dir.path().toLocal8Bit();
    firstData.replace("<dir>", dirData);
    secondData.replace("<dir>", dirData);
    launched.replaceInStrings(u"<dir>"_qs, dir.path());

    FakeRegistry registry;
    registry.setGrantedAccess(granted);
    if (firstType != absent)
        registry.setValue(RegistryRoot::LocalMachine, firstKey, "PATH", {firstType, firstData});
    if (secondType != absent)
        registry.setValue(RegistryRoot::LocalMachine, secondKey, "MSINFO",
                          {secondType, secondData});
    FakeProgramLauncher launcher;
    launcher.setSucceeds(launchSucceeds);

    SysInfoLauncher sysInfo(registry, launcher);
    QTEST(sysInfo.StartSysInfo(), "started");
    QCOMPARE(launcher.started(), launched);
    QTEST(registry.openRequests(), "opened");
    QCOMPARE(registry.closeRequests().size(), registry.openRequests().size());
    QCOMPARE(registry.openKeyCount(), 0);
}

void TestSysInfoLauncher::windowsPathReachesFileTestWithSlashes()
{
    FakeRegistry registry;
    registry.setValue(RegistryRoot::LocalMachine, secondKey, "MSINFO",
                      {RegistryType::String, QByteArray("C:\\Program Files\\MSInfo", 24)});
    FakeProgramLauncher launcher;
    QStringList tested;
    SysInfoLauncher sysInfo(registry, launcher, [&tested](const QString &path) {
        tested.append(path);
        return true;
    });
    QVERIFY(sysInfo.StartSysInfo());
    QCOMPARE(tested, QStringList{u"C:/Program Files/MSInfo/MSINFO32.EXE"_qs});
    QCOMPARE(launcher.started(), QStringList{u"C:/Program Files/MSInfo/MSINFO32.EXE"_qs});
}

void TestSysInfoLauncher::registryWithoutKeys_data()
{
    QTest::addColumn<bool>("system");
    QTest::newRow("no registry") << false;
#ifndef Q_OS_WIN
    QTest::newRow("system registry here") << true;
#endif
}

void TestSysInfoLauncher::registryWithoutKeys()
{
    QFETCH(bool, system);
    const std::unique_ptr<Registry> registry =
        system ? createSystemRegistry() : std::make_unique<NoRegistry>();
    QString keyVal = u"before"_qs;
    QVERIFY(!GetKeyValue(*registry, RegistryRoot::LocalMachine, QString::fromLatin1(firstKey),
                         u"PATH"_qs, keyVal));
    QCOMPARE(keyVal, QString());

    FakeProgramLauncher launcher;
    SysInfoLauncher sysInfo(*registry, launcher);
    QVERIFY(!sysInfo.StartSysInfo());
    QVERIFY(launcher.started().isEmpty());
}

void TestSysInfoLauncher::detachedLauncherRefuses_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("empty path") << QString();
    QTest::newRow("missing program") << u"/nonexistent/senvo-net-test/MSINFO32.EXE"_qs;
}

void TestSysInfoLauncher::detachedLauncherRefuses()
{
    QFETCH(QString, program);
    DetachedProgramLauncher launcher;
    QVERIFY(!launcher.start(program));
}

QTEST_GUILESS_MAIN(TestSysInfoLauncher)
#include "tst_sysinfolauncher.moc"
