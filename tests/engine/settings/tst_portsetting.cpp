#include "engine/reception/datagramreceiver.h"
#include "engine/reception/readingstable.h"
#include "engine/settings/portsetting.h"
#include "fakedatagramsocket.h"
#include "testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using Outcome = PortSetting::Outcome;

namespace {

// A settings file that is a folder cannot be read; one below a plain file cannot be written.
enum class Stored { Nothing, Bytes, Folder };

} // namespace

class TestPortSetting final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void bindAtStartUp_data();
    void bindAtStartUp();
    void reReadForOptions_data();
    void reReadForOptions();
    void apply_data();
    void apply();
    void discardedEditFollowsTheReceiver_data();
    void discardedEditFollowsTheReceiver();

private:
    void store(Stored kind, const QByteArray &bytes = {});
    QString iniPath() const { return m_program->filePath(u"Senvo-Net.ini"_qs); }
    void makeSetting(const SettingsFile &file);

    std::unique_ptr<QTemporaryDir> m_program;
    std::unique_ptr<QTemporaryDir> m_user;
    std::unique_ptr<ReadingsTable> m_table;
    std::unique_ptr<DatagramReceiver> m_receiver;
    std::unique_ptr<PortSetting> m_setting;
    FakeDatagramSocket *m_socket = nullptr;
};

void TestPortSetting::init()
{
    m_program = std::make_unique<QTemporaryDir>();
    m_user = std::make_unique<QTemporaryDir>();
    makeSetting(SettingsFile(m_program->path(), m_user->path()));
}

void TestPortSetting::makeSetting(const SettingsFile &file)
{
    m_setting.reset();
    m_receiver.reset();
    m_table = std::make_unique<ReadingsTable>();
    m_socket = new FakeDatagramSocket;
    m_receiver = std::make_unique<DatagramReceiver>(m_table.get(), nullptr, m_socket);
    m_setting = std::make_unique<PortSetting>(file, m_receiver.get());
}

void TestPortSetting::store(Stored kind, const QByteArray &bytes)
{
    QFile::remove(iniPath());
    QDir(m_program->path()).rmdir(u"Senvo-Net.ini"_qs);
    if (kind == Stored::Folder)
        QVERIFY(QDir(m_program->path()).mkdir(u"Senvo-Net.ini"_qs));
    if (kind == Stored::Bytes)
        QVERIFY(writeBytes(iniPath(), bytes));
}

void TestPortSetting::bindAtStartUp_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("bindFails");
    QTest::addColumn<QString>("portText");
    QTest::addColumn<QStringList>("told"); // in this order; nothing when empty

    const auto bytes = int(Stored::Bytes);
    const QString inUse = u"already in use"_qs;
    const QString notAPort = u"is not a port number (a whole number from 1 to 65535), so port "
                             u"514 is used instead."_qs;
    QTest::newRow("no file") << int(Stored::Nothing) << QByteArray() << false << u"514"_qs
                             << QStringList();
    QTest::newRow("empty file") << bytes << QByteArray() << false << u"514"_qs << QStringList();
    QTest::newRow("stored port") << bytes << QByteArray("5140\r\n") << false << u"5140"_qs
                                 << QStringList();
    QTest::newRow("padded port, kept as stored")
        << bytes << QByteArray("\" 6000 \"\r\n") << false << u" 6000 "_qs << QStringList();
    QTest::newRow("text") << bytes << QByteArray("hello\r\n") << false << u"514"_qs
                          << QStringList{u"\"hello\""_qs, notAPort};
    QTest::newRow("zero") << bytes << QByteArray("0") << false << u"514"_qs
                          << QStringList{u"\"0\""_qs, notAPort};
    QTest::newRow("empty line") << bytes << QByteArray("\r\n") << false << u"514"_qs
                                << QStringList{u"\"\""_qs, notAPort};
    QTest::newRow("huge number") << bytes << QByteArray("99999999999999999999\r\n") << false
                                 << u"514"_qs << QStringList{notAPort};
    QTest::newRow("10 MB of garbage, told briefly") << bytes << QByteArray(10 * 1024 * 1024, '\x07')
                                                    << false << u"514"_qs << QStringList{notAPort};
    QTest::newRow("binary, quoted harmlessly")
        << bytes << QByteArray("\x01\x02", 2) << false << u"514"_qs
        << QStringList{u"\"\uFFFD\uFFFD\""_qs, notAPort};
    QTest::newRow("file is a folder")
        << int(Stored::Folder) << QByteArray() << false << u"514"_qs
        << QStringList{u"The stored port could not be read."_qs, u"not a normal file"_qs};
    QTest::newRow("port in use") << bytes << QByteArray("5140") << true << u"5140"_qs
                                 << QStringList{u"No readings can be received: "_qs, inUse,
                                                u"Choose another port in Tools \u2192 Options."_qs};
    QTest::newRow("not a port, and the default in use")
        << bytes << QByteArray("x") << true << u"514"_qs
        << QStringList{notAPort, u"No readings can be received: "_qs, inUse};
}

void TestPortSetting::bindAtStartUp()
{
    QFETCH(int, stored);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, bindFails);
    QFETCH(QString, portText);
    QFETCH(QStringList, told);
    store(Stored(stored), bytes);
    if (bindFails)
        m_socket->failWith = DatagramSocket::Failure::InUse;
    QSignalSpy shown(m_setting.get(), &PortSetting::portTextChanged);

    const QString problems = m_setting->bindAtStartUp(m_setting->read());
    QCOMPARE(m_setting->portText(), portText);
    // Whoever shows the setting ends up with the text the receiver was bound to.
    QCOMPARE(shown.isEmpty() ? QString(PortSetting::defaultPort) : shown.last().at(0).toString(),
             portText);
    QCOMPARE(m_socket->boundPorts,
             QList<quint16>{DatagramReceiver::portFromText(portText).value()});
    QCOMPARE(m_receiver->isListening(), !bindFails);
    QCOMPARE(problems.isEmpty(), told.isEmpty());
    qsizetype at = 0;
    for (const QString &part : told) {
        at = problems.indexOf(part, at);
        QVERIFY2(at >= 0, qPrintable(part + u" in: "_qs + problems));
    }
    QVERIFY(problems.size() < 1000);
    QVERIFY(!QFileInfo(iniPath()).isFile() || readBytes(iniPath()) == bytes); // nothing written
}

void TestPortSetting::reReadForOptions_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("portText");
    QTest::addColumn<QString>("problem");
    // The setting is 5140 before each re-read.
    QTest::newRow("stored port") << int(Stored::Bytes) << QByteArray("6000,extra\r\n") << u"6000"_qs
                                 << QString();
    QTest::newRow("same port as before")
        << int(Stored::Bytes) << QByteArray("5140") << u"5140"_qs << QString();
    QTest::newRow("not a port is shown as stored")
        << int(Stored::Bytes) << QByteArray("hello") << u"hello"_qs << QString();
    QTest::newRow("no file") << int(Stored::Nothing) << QByteArray() << u"5140"_qs << QString();
    QTest::newRow("empty file") << int(Stored::Bytes) << QByteArray() << u"5140"_qs << QString();
    QTest::newRow("file is a folder")
        << int(Stored::Folder) << QByteArray() << u"5140"_qs << u"not a normal file"_qs;
}

void TestPortSetting::reReadForOptions()
{
    QFETCH(int, stored);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, portText);
    QFETCH(QString, problem);
    store(Stored::Bytes, "5140");
    QCOMPARE(m_setting->bindAtStartUp(m_setting->read()), QString());
    store(Stored(stored), bytes);
    QSignalSpy shown(m_setting.get(), &PortSetting::portTextChanged);

    const PortSetting::ReadResult read = m_setting->read();
    QCOMPARE(m_setting->portText(), portText);
    // A stored port replaces an unconfirmed edit even when the setting already had it.
    QCOMPARE(shown.size(), read.file.status == SettingsFile::LoadResult::Status::Read ? 1 : 0);
    if (!shown.isEmpty())
        QCOMPARE(shown.last().at(0).toString(), portText);
    QCOMPARE(read.problem.isEmpty(), problem.isEmpty());
    QVERIFY2(read.problem.contains(problem), qPrintable(read.problem));
    QCOMPARE(m_receiver->port(), quint16(5140)); // a read never moves the receiver
}

void TestPortSetting::apply_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("bindFails");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<quint16>("port");
    QTest::addColumn<QStringList>("told");
    // The receiver listens on 7000 before each apply.
    const auto saved = int(Outcome::AppliedAndSaved);
    const auto notApplied = int(Outcome::NotApplied);
    QTest::newRow("saved") << u"5140"_qs << false << true << saved << quint16(5140)
                           << QStringList();
    QTest::newRow("padded, saved as typed")
        << u" 6000 "_qs << false << true << saved << quint16(6000) << QStringList();
    QTest::newRow("not saved") << u"5140"_qs << false << false << int(Outcome::AppliedNotSaved)
                               << quint16(5140)
                               << QStringList{u"Readings are now received on port 5140, but the "
                                              u"port could not be saved"_qs,
                                              u"could not be written"_qs};
    QTest::newRow("not a port") << u"abc"_qs << false << true << notApplied << quint16(7000)
                                << QStringList{u"cannot listen on the port you entered"_qs,
                                               u"\"abc\" is not a port number"_qs,
                                               u"still received on port 7000"_qs,
                                               u"Enter another port and press OK."_qs};
    QTest::newRow("out of range") << u"70000"_qs << false << true << notApplied << quint16(7000)
                                  << QStringList{u"not a port number"_qs,
                                                 u"still received on port 7000"_qs};
    QTest::newRow("nothing binds")
        << u"5140"_qs << true << true << notApplied << quint16(0)
        << QStringList{u"already in use"_qs, u"No readings are being received."_qs};
}

void TestPortSetting::apply()
{
    QFETCH(QString, text);
    QFETCH(bool, bindFails);
    QFETCH(bool, writable);
    QFETCH(int, outcome);
    QFETCH(quint16, port);
    QFETCH(QStringList, told);
    QTemporaryDir base;
    if (!writable)
        makeSetting(
            SettingsFile(belowAPlainFile(base, u"program"_qs), belowAPlainFile(base, u"user"_qs)));
    QVERIFY(m_receiver->bind(u"7000"_qs));
    m_socket->failWith = bindFails ? DatagramSocket::Failure::InUse : DatagramSocket::Failure::None;
    QSignalSpy applied(m_setting.get(), &PortSetting::portApplied);

    const PortSetting::ApplyResult result = m_setting->apply(text);
    QCOMPARE(int(result.outcome), outcome);
    QCOMPARE(m_receiver->port(), port);
    QCOMPARE(applied.size(), outcome == int(Outcome::NotApplied) ? 0 : 1);
    QCOMPARE(m_setting->portText(), outcome == int(Outcome::NotApplied) ? u"514"_qs : text);
    QCOMPARE(readBytes(iniPath()),
             outcome == int(Outcome::AppliedAndSaved) ? text.toLatin1() + "\r\n" : QByteArray());
    QCOMPARE(result.message.isEmpty(), told.isEmpty());
    for (const QString &part : told)
        QVERIFY2(result.message.contains(part), qPrintable(result.message));

    // What was saved is what the next start listens on.
    if (outcome == int(Outcome::AppliedAndSaved)) {
        makeSetting(SettingsFile(m_program->path(), m_user->path()));
        QCOMPARE(m_setting->bindAtStartUp(m_setting->read()), QString());
        QCOMPARE(m_receiver->port(), port);
    }
}

void TestPortSetting::discardedEditFollowsTheReceiver_data()
{
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QString>("portText");
    QTest::newRow("listening") << true << u"5140"_qs;
    QTest::newRow("not listening") << false << u"514"_qs;
}

void TestPortSetting::discardedEditFollowsTheReceiver()
{
    QFETCH(bool, listening);
    QFETCH(QString, portText);
    store(Stored::Bytes, " 6000 ");
    m_socket->failWith = listening ? DatagramSocket::Failure::None : DatagramSocket::Failure::InUse;
    m_setting->bindAtStartUp(m_setting->read());
    QVERIFY(m_receiver->rebind(u"5140"_qs) == listening);
    QSignalSpy shown(m_setting.get(), &PortSetting::portTextChanged);

    m_setting->followReceiver();
    QCOMPARE(m_setting->portText(), portText);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.last().at(0).toString(), portText);
    QCOMPARE(readBytes(iniPath()), QByteArray(" 6000 ")); // the file is left alone
}

QTEST_GUILESS_MAIN(TestPortSetting)
#include "tst_portsetting.moc"
