#include "engine/settings/jsonsettings.h"
#include "engine/settings/jsonsettingsfile.h"
#include "testsupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using Status = JsonSettingsFile::LoadResult::Status;

class TestJsonSettingsFile final : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void fileInUse_data();
    void fileInUse();
    void saveKeepsOtherKeys();
    void failedSaveLeavesFileWhole();
};

void TestJsonSettingsFile::parse_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error"); // its start; empty when read
    QTest::addColumn<QStringList>("keys");
    QTest::newRow("object") << QByteArray(R"({"limits": [], "future": {"x": 1}})") << QString()
                            << QStringList{u"future"_qs, u"limits"_qs};
    QTest::newRow("empty file") << QByteArray(" \r\n") << QString() << QStringList();
    QTest::newRow("missing comma, third line")
        << QByteArray("{\n  \"a\": 1\n  \"b\": 2\n}") << u"line 3, column 4: "_qs << QStringList();
    QTest::newRow("characters of several bytes are one column")
        << QByteArray("{\"\xc3\xa9\xe2\x82\xac\": x}") << u"line 1, column 8: "_qs << QStringList();
    QTest::newRow("Windows line ends")
        << QByteArray("{\r\n\"a\": [1,\r\n 2,,\r\n") << u"line 3, column 5: "_qs << QStringList();
    QTest::newRow("not an object")
        << QByteArray("[1, 2]") << u"it does not hold a JSON object"_qs << QStringList();
}

void TestJsonSettingsFile::parse()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    const JsonSettingsFile::LoadResult parsed = JsonSettingsFile::parse(bytes);
    QVERIFY2(parsed.error.startsWith(error), qPrintable(parsed.error));
    QCOMPARE(parsed.status, error.isEmpty() ? Status::Read : Status::Failed);
    // Qt's own words follow the place.
    QCOMPARE(parsed.error.size() > error.size() + 3, !error.isEmpty());
    QTEST(parsed.object.keys(), "keys");
}

void TestJsonSettingsFile::fileInUse_data()
{
    QTest::addColumn<bool>("besideProgram");
    QTest::addColumn<bool>("inUserFolder");
    QTest::addColumn<QString>("read"); // program, user or nothing
    QTest::newRow("neither") << false << false << QString();
    QTest::newRow("beside the program") << true << false << u"program"_qs;
    QTest::newRow("the user's wins") << true << true << u"user"_qs;
}

void TestJsonSettingsFile::fileInUse()
{
    QFETCH(bool, besideProgram);
    QFETCH(bool, inUserFolder);
    QFETCH(QString, read);
    QTemporaryDir program;
    QTemporaryDir user;
    const auto place = [](const QTemporaryDir &folder, const char *name) {
        return writeBytes(folder.filePath(u"Senvo-Net.json"_qs),
                          QByteArray(R"({"from": ")") + name + "\"}");
    };
    QVERIFY(!besideProgram || place(program, "program"));
    QVERIFY(!inUserFolder || place(user, "user"));
    const JsonSettingsFile file(SettingsFile(program.path(), user.path()));
    const JsonSettingsFile::LoadResult loaded = file.load();
    QCOMPARE(loaded.error, QString());
    QCOMPARE(loaded.status, read.isEmpty() ? Status::NoFile : Status::Read);
    QCOMPARE(loaded.object.value(u"from").toString(), read);
    QCOMPARE(loaded.path, (read == u"user" ? user : program).filePath(u"Senvo-Net.json"_qs));
}

void TestJsonSettingsFile::saveKeepsOtherKeys()
{
    QTemporaryDir program;
    QTemporaryDir user;
    QVERIFY(writeBytes(program.filePath(u"Senvo-Net.json"_qs),
                       R"({"future": {"x": [1, 2]}, "limits": [{"reading": "CPU"}]})"));
    const JsonSettingsFile file(SettingsFile(program.path(), user.path()));
    QJsonObject settings = file.load().object;
    settings.insert(u"limits"_qs, QJsonArray());
    const SettingsFile::SaveResult saved = file.save(settings);
    QVERIFY2(saved.saved, qPrintable(saved.error));
    QCOMPARE(saved.path, program.filePath(u"Senvo-Net.json"_qs));
    QCOMPARE(file.load().object,
             QJsonDocument::fromJson(R"({"future": {"x": [1, 2]}, "limits": []})").object());

    // A key written by hand while the program runs survives the program's next save.
    JsonSettings running(SettingsFile(program.path(), user.path()));
    QVERIFY(writeBytes(program.filePath(u"Senvo-Net.json"_qs), R"({"hand": 1, "limits": []})"));
    QVERIFY(running.save(QJsonObject{{u"limits"_qs, QJsonArray{1}}}).saved);
    QCOMPARE(file.load().object, QJsonDocument::fromJson(R"({"hand": 1, "limits": [1]})").object());
}

void TestJsonSettingsFile::failedSaveLeavesFileWhole()
{
#ifdef Q_OS_UNIX
    QTemporaryDir program;
    QTemporaryDir base;
    const QString path = program.filePath(u"Senvo-Net.json"_qs);
    const QByteArray before = R"({"limits": [{"reading": "CPU", "warningAbove": 80}]})";
    QVERIFY(writeBytes(path, before));
    // Nowhere in the user's folder either; and no write may pass 1000 bytes, whoever runs this.
    const JsonSettingsFile file(SettingsFile(program.path(), belowAPlainFile(base, u"user"_qs)));
    QJsonArray many;
    for (int i = 0; i < 100; ++i)
        many.append(QJsonObject{{u"reading"_qs, u"Reading %1"_qs.arg(i)}});
    rlimit limit{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &limit) == 0);
    const rlimit saved = limit;
    limit.rlim_cur = 1000;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QVERIFY(setrlimit(RLIMIT_FSIZE, &limit) == 0);
    const SettingsFile::SaveResult result = file.save(QJsonObject{{u"limits"_qs, many}});
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!result.saved);
    QVERIFY2(result.error.startsWith(u"%1 could not be written: "_qs.arg(path)),
             qPrintable(result.error));
    QCOMPARE(readBytes(path), before);
    QCOMPARE(QDir(program.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{u"Senvo-Net.json"_qs});
#else
    QSKIP("The size limit that makes a write fail exists on Unix only.");
#endif
}

QTEST_APPLESS_MAIN(TestJsonSettingsFile)
#include "tst_jsonsettingsfile.moc"
