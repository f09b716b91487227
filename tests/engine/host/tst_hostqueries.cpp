#include "engine/host/module1.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

class TestHostQueries final : public QObject
{
    Q_OBJECT

private slots:
    void computerNameFromBuffer_data();
    void computerNameFromBuffer();
    void computerNameOfThisMachine();
    void fileExists_data();
    void fileExists();
};

void TestHostQueries::computerNameFromBuffer_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<QString>("name");
    QByteArray padded(255, '\0');
    padded.replace(0, 11, "WORKSTATION");
    QTest::newRow("NUL padded") << padded << u"WORKSTATION"_qs;
    QTest::newRow("trailing spaces") << QByteArray("WORKSTATION   \0\0", 16) << u"WORKSTATION"_qs;
    QTest::newRow("full buffer without NUL") << QByteArray(255, 'a') << QString(255, u'a');
    QTest::newRow("empty") << QByteArray(255, '\0') << u"(Not Known)"_qs;
}

void TestHostQueries::computerNameFromBuffer()
{
    QFETCH(QByteArray, buffer);
    QTEST(Module1::computerNameFromBuffer(buffer), "name");
}

void TestHostQueries::computerNameOfThisMachine()
{
    const QString name = Module1::ComputerNameText();
    QVERIFY(!name.isEmpty());
    QVERIFY(!name.contains(QChar(0)));
    QVERIFY(!name.endsWith(u' '));
#ifdef Q_OS_WIN
    // Windows hands every program the same name in its environment.
    QCOMPARE(name, qEnvironmentVariable("COMPUTERNAME"));
#else
    QCOMPARE(name, QSysInfo::machineHostName());
#endif
}

void TestHostQueries::fileExists_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("exists");
    QTest::newRow("normal file") << u"Senvo-Net.ini"_qs << true;
    QTest::newRow("missing file") << u"missing.ini"_qs << false;
    QTest::newRow("directory") << u"folder"_qs << false;
    QTest::newRow("wildcard matching a file") << u"Senvo-*.ini"_qs << true;
    QTest::newRow("wildcard matching only a directory") << u"fol?er"_qs << false;
    QTest::newRow("empty path") << QString() << false;
#ifdef Q_OS_UNIX
    // A dot-file is what Unix hides; links are Unix ones.
    QTest::newRow("hidden file") << u".hidden"_qs << false;
    QTest::newRow("wildcard matching only a hidden file") << u".hid*"_qs << false;
    QTest::newRow("symbolic link to a file") << u"link.ini"_qs << true;
    QTest::newRow("dangling link") << u"dangling.ini"_qs << false;
#endif
}

void TestHostQueries::fileExists()
{
    QFETCH(QString, path);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const char *name : {"Senvo-Net.ini", ".hidden"}) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QVERIFY(QDir(dir.path()).mkdir(u"folder"_qs));
#ifdef Q_OS_UNIX
    QVERIFY(QFile::link(dir.filePath(u"Senvo-Net.ini"_qs), dir.filePath(u"link.ini"_qs)));
    QVERIFY(QFile::link(dir.filePath(u"gone"_qs), dir.filePath(u"dangling.ini"_qs)));
#endif

    QTEST(Module1::FileExists(path.isEmpty() ? path : dir.filePath(path)), "exists");
}

QTEST_APPLESS_MAIN(TestHostQueries)
#include "tst_hostqueries.moc"
