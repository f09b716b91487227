#include "engine/about/detachedprogramlauncher.h"
#include "engine/about/getkeyvalue.h"
#include "engine/about/noregistry.h"
#include "engine/about/registryerror.h"
#include "engine/about/sysinfolauncher.h"
#include "engine/about/systemregistry.h"
#include "fakeprogramlauncher.h"
#include "fakeregistry.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace {

const QByteArray firstKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const QByteArray secondKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr quint32 readOnlyAccess = 0x20019; // KEY_READ
constexpr quint32 absent = 0;

#ifdef Q_OS_WIN
// A key of the system's registry that the test makes, fills and removes again.
class TestKey final
{
public:
    explicit TestKey(HKEY root = HKEY_CURRENT_USER,
                     const QByteArray &name = "Software\\Senvo-Net test")
        : m_root(root)
        , m_name(name)
    {
        m_open = RegCreateKeyExA(root, name.constData(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                 &m_key, nullptr)
                 == ERROR_SUCCESS;
    }
    ~TestKey()
    {
        if (m_open) {
            RegCloseKey(m_key);
            RegDeleteKeyA(m_root, m_name.constData());
        }
    }
    Q_DISABLE_COPY_MOVE(TestKey)

    bool isOpen() const { return m_open; }
    QString name() const { return QString::fromLatin1(m_name); }
    bool setValue(const char *name, quint32 type, const QByteArray &data)
    {
        // The system counts a terminator left out of text that a NUL follows; a byte other
        // than NUL after the data keeps the value exactly as given.
        const QByteArray guarded = data + 'x';
        return RegSetValueExA(m_key, name, 0, type, reinterpret_cast<const BYTE *>(guarded.data()),
                              DWORD(data.size()))
               == ERROR_SUCCESS;
    }

private:
    HKEY m_root;
    QByteArray m_name;
    HKEY m_key = nullptr;
    bool m_open = false;
};
#endif

} // namespace

class TestSysInfoLauncher final : public QObject
{
    Q_OBJECT

private slots:
    void getKeyValue_data();
    void getKeyValue();
    void getKeyValueCannotOpen_data();
    void getKeyValueCannotOpen();
    void getKeyValueZeroLength_data();
    void getKeyValueZeroLength();
    void startSysInfo_data();
    void startSysInfo();
    void windowsPathReachesFileTestWithSlashes();
    void registryWithoutKeys_data();
    void registryWithoutKeys();
    void startsProgramFoundInSystemRegistry_data();
    void startsProgramFoundInSystemRegistry();
    void detachedLauncherRefuses_data();
    void detachedLauncherRefuses();
};

void TestSysInfoLauncher::getKeyValue_data()
{
    QTest::addColumn<bool>("system");
    QTest::addColumn<bool>("present");
    QTest::addColumn<quint32>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("passed");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("keyVal");

    // On Windows every row runs a second time against the system's registry.
    const auto row = [](const char *name, bool present, quint32 type, const QByteArray &data,
                        const QString &passed, bool result, const QString &keyVal) {
        QTest::newRow(name) << false << present << type << data << passed << result << keyVal;
#ifdef Q_OS_WIN
        QTest::addRow("%s, system registry", name)
            << true << present << type << data << passed << result << keyVal;
#endif
    };
    const QString before = u"before"_qs;
    row("text with terminator", true, RegistryType::String,
        QByteArray("C:\\Tools\\msinfo32.exe", 22), before, true, u"C:\\Tools\\msinfo32.exe"_qs);
    row("text without terminator", true, RegistryType::String, "abc", before, true, u"abc"_qs);
    row("text ends at its first NUL", true, RegistryType::String, QByteArray("abc\0\0", 5), before,
        true, u"abc"_qs);
    row("text after a NUL is not read", true, RegistryType::String, QByteArray("ab\0cd\0", 6),
        before, true, u"ab"_qs);
    row("terminator alone", true, RegistryType::String, QByteArray(1, '\0'), before, true,
        QString());
    row("NUL first", true, RegistryType::String, QByteArray("\0ab\0", 4), before, true, QString());
    row("text filling the buffer", true, RegistryType::String, QByteArray(1024, 'a'), before, true,
        QString(1024, u'a'));
    row("text and terminator filling the buffer", true, RegistryType::String,
        QByteArray(1023, 'a') + '\0', before, true, QString(1023, u'a'));
    row("text too large for the buffer", true, RegistryType::String, QByteArray(1025, 'a'), before,
        false, QString());
    row("expandable text keeps the passed text", true, RegistryType::ExpandString,
        QByteArray("%SystemRoot%\\x", 15), before, true, before);
    row("binary keeps the passed text", true, RegistryType::Binary, "\x01\x02", before, true,
        before);
    row("dword with high zero bytes", true, RegistryType::DoubleWord, QByteArray("\x1a\0\0\0", 4),
        before, true, u"26"_qs);
    row("dword is little-endian", true, RegistryType::DoubleWord, "\x04\x03\x02\x01", QString(),
        true, u"16909060"_qs);
    row("dword is unsigned", true, RegistryType::DoubleWord, "\xff\xff\xff\xff", QString(), true,
        u"4294967295"_qs);
    row("dword zero", true, RegistryType::DoubleWord, QByteArray(4, '\0'), before, true, u"0"_qs);
    row("missing value empties the passed text", false, RegistryType::String, QByteArray(), before,
        false, QString());
}

void TestSysInfoLauncher::getKeyValue()
{
    QFETCH(bool, system);
    QFETCH(bool, present);
    QFETCH(quint32, type);
    QFETCH(QByteArray, data);
    QFETCH(QString, passed);

    QString keyVal = passed;
    if (system) {
#ifdef Q_OS_WIN
        TestKey key;
        QVERIFY(key.isOpen());
        if (present)
            QVERIFY(key.setValue("PATH", type, data));
        const std::unique_ptr<Registry> registry = createSystemRegistry();
        const bool result =
            GetKeyValue(*registry, RegistryRoot::CurrentUser, key.name(), u"PATH"_qs, keyVal);
        QTEST(result, "result");
        QTEST(keyVal, "keyVal");
#endif
        return;
    }

    FakeRegistry registry;
    registry.addKey(RegistryRoot::LocalMachine, firstKey);
    if (present)
        registry.setValue(RegistryRoot::LocalMachine, firstKey, "PATH", {type, data});

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

void TestSysInfoLauncher::getKeyValueZeroLength_data()
{
    QTest::addColumn<bool>("system");
    QTest::newRow("fake registry") << false;
#ifdef Q_OS_WIN
    QTest::newRow("system registry") << true;
#endif
}

void TestSysInfoLauncher::getKeyValueZeroLength()
{
    QFETCH(bool, system);
    QString keyVal = u"before"_qs;
    if (system) {
#ifdef Q_OS_WIN
        TestKey key;
        QVERIFY(key.setValue("PATH", RegistryType::String, QByteArray()));
        const std::unique_ptr<Registry> registry = createSystemRegistry();
        QVERIFY_THROWS_EXCEPTION(RegistryError, GetKeyValue(*registry, RegistryRoot::CurrentUser,
                                                            key.name(), u"PATH"_qs, keyVal));
#endif
        return;
    }
    FakeRegistry registry;
    registry.setValue(RegistryRoot::LocalMachine, firstKey, "PATH",
                      {RegistryType::String, QByteArray()});
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
    // A scratch Wine prefix has no System Information keys; a real Windows does.
#ifdef Q_OS_WIN
    if (runningUnderWine())
#endif
        QTest::newRow("system registry here") << true;
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

void TestSysInfoLauncher::startsProgramFoundInSystemRegistry_data()
{
    QTest::addColumn<bool>("throughFolder");
    QTest::newRow("first key names the program") << false;
    QTest::newRow("second key names its folder") << true;
}

void TestSysInfoLauncher::startsProgramFoundInSystemRegistry()
{
#ifndef Q_OS_WIN
    QSKIP("only Windows has the registry and the program to find");
#else
    if (!runningUnderWine())
        QSKIP("rewrites the machine's System Information keys: run only in a scratch Wine prefix");
    QFETCH(bool, throughFolder);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString program = dir.filePath(u"MSINFO32.EXE"_qs);
    // The probe is built next to this test.
    QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + u"/sysinfoprobe.exe"_qs, program));
    TestKey key(HKEY_LOCAL_MACHINE, throughFolder ? secondKey : firstKey);
    const QString value = QDir::toNativeSeparators(throughFolder ? dir.path() : program);
    QVERIFY(key.setValue(throughFolder ? "MSINFO" : "PATH", RegistryType::String,
                         value.toLocal8Bit() + '\0'));

    const std::unique_ptr<Registry> registry = createSystemRegistry();
    DetachedProgramLauncher launcher;
    QVERIFY(SysInfoLauncher(*registry, launcher).StartSysInfo());
    QTRY_VERIFY(QFile::exists(program + u".ran"_qs));
#endif
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
