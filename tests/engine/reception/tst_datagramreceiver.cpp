#include "engine/reception/datagramreceiver.h"
#include "engine/reception/datagramsocket.h"
#include "engine/reception/qtdatagramsocket.h"
#include "engine/reception/readingstable.h"
#include "engine/reception/senderfilter.h"
#include "fakereceiveclock.h"
#include "gridaddress.h"
#include "testsupport.h"

#include <QHostAddress>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

DatagramSocket *makeSocket(const QString &kind)
{
    return kind == u"qt" ? new QtDatagramSocket : DatagramSocket::create(nullptr);
}

} // namespace

class TestDatagramReceiver final : public QObject
{
    Q_OBJECT

private slots:
    void eachBatchIsTimed();
    void countsAndPosts_data();
    void countsAndPosts();
    void countsDatagramsOfTheSystemLogger_data();
    void countsDatagramsOfTheSystemLogger();
    void countersArePublishedTogether();
    void typedCounterValueIsKept();
    void badPortText_data();
    void badPortText();
    void portInUse_data();
    void portInUse();
    void privilegedPort();
    void failedRebindKeepsOldPort();
    void ignoresSendersNotAllowed_data();
    void ignoresSendersNotAllowed();
    void listensOnOneAddress_data();
    void listensOnOneAddress();

private:
    static void addSocketKinds();
};

void TestDatagramReceiver::addSocketKinds()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("address");
    for (const char *kind : {"platform", "qt"}) {
        for (const char *address : {"127.0.0.1", "::1"})
            QTest::addRow("%s %s", kind, address)
                << QString::fromLatin1(kind) << QString::fromLatin1(address);
    }
}

void TestDatagramReceiver::countsAndPosts_data()
{
    addSocketKinds();
}

void TestDatagramReceiver::countsAndPosts()
{
    QFETCH(QString, kind);
    QFETCH(QString, address);
    ReadingsTable table;
    DatagramReceiver receiver(&table, nullptr, makeSocket(kind));
    const quint16 port = freePort();
    QVERIFY2(receiver.bind(QString::number(port)), qPrintable(receiver.errorString()));
    QVERIFY(receiver.isListening());
    QCOMPARE(receiver.port(), port);

    const QList<QByteArray> datagrams{
        "<13>Jun 10 19:35:00 host1 senvo[CPU]: t=45 C",
        "<13>Jun 10 19:35:05 host1 senvo[CPU]: t=46 C",
        "<13>Jun 10 19:35:06 host1 senvo]CPU[: broken",
        "",
        "<13>Jun 10 19:35:07 host1 senvo[Fan]: rpm=1200 rpm",
        "<13>Jun 10 19:35:08 host1 senvo: t=99 C",
        // Without a host: the sender's address takes its place.
        "<12>senvo[CPU]: t=45 C",
        "<13>Dec  8 02:57:21 senvo[CPU]: t=46",
    };
    QUdpSocket sender;
    double bytes = 0;
    for (const QByteArray &datagram : datagrams) {
        QCOMPARE(sender.writeDatagram(datagram, QHostAddress(address), port), datagram.size());
        bytes += datagram.size();
    }
    QTRY_COMPARE(receiver.packets(), double(datagrams.size()));
    QCOMPARE(receiver.bytes(), bytes);
    QTRY_COMPARE(table.rowCount(), 2);
    QCOMPARE(GridAddress(table).cellText(1, 0), u"host1");
    QCOMPARE(GridAddress(table).cellText(1, 2), u"19:35:07");
    QCOMPARE(GridAddress(table).cellText(1, 3), u" CPU");
    QCOMPARE(GridAddress(table).cellText(1, 4), u" 46 ");
    QCOMPARE(GridAddress(table).cellText(1, 5), u" Fan");
    QCOMPARE(GridAddress(table).cellText(1, 6), u" 1200 ");
    // An IPv4 sender that reached an IPv6 socket is still shown as IPv4.
    QCOMPARE(GridAddress(table).cellText(2, 0), address);
    QCOMPARE(GridAddress(table).cellText(2, 2), u"02:57:21");
    QCOMPARE(GridAddress(table).cellText(2, 4), u" 46 ");
}

void TestDatagramReceiver::countsDatagramsOfTheSystemLogger_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("RFC 3164") << u"--rfc3164"_qs;
    QTest::newRow("RFC 5424, logger's default") << u"--rfc5424"_qs;
    QTest::newRow("RFC 5424 without time quality") << u"--rfc5424=notq"_qs;
}

void TestDatagramReceiver::eachBatchIsTimed()
{
    FakeReceiveClock clock;
    ReadingsTable table(nullptr, ReadingsTable::defaultHostLimit, &clock);
    DatagramReceiver receiver(&table);
    const quint16 port = freePort();
    QVERIFY2(receiver.bind(QString::number(port)), qPrintable(receiver.errorString()));
    QUdpSocket sender;
    for (const double at : {0.0, 20.0}) {
        clock.seconds = at;
        sender.writeDatagram("<13>Jun 10 19:35:00 host1 senvo[CPU]: t=45 C",
                             QHostAddress::LocalHost, port);
        const double before = receiver.packets();
        QTRY_COMPARE(receiver.packets(), before + 1);
    }
    receiver.publish();
    clock.seconds = 30;
    table.tick();
    QCOMPARE(table.index(0, 4).data(Qt::AccessibleDescriptionRole).toString(),
             u"CPU: heard 10 s ago, usually every 20 s"_qs);
}

void TestDatagramReceiver::countsDatagramsOfTheSystemLogger()
{
    QFETCH(QString, format);
    // Linux's own syslog client, started even by the Windows build when Wine runs it.
#ifdef Q_OS_WIN
    if (!runningUnderWine())
        QSKIP("Windows has no logger program");
    const QString logger = u"Z:/usr/bin/logger"_qs;
#else
    const QString logger = u"/usr/bin/logger"_qs;
#endif
    if (!QFile::exists(logger))
        QSKIP("logger (Debian package bsdutils) is not installed");
    ReadingsTable table;
    DatagramReceiver receiver(&table);
    const quint16 port = freePort();
    QVERIFY2(receiver.bind(QString::number(port)), qPrintable(receiver.errorString()));

    // One after the other, so that they arrive in order. Wine cannot wait for a Linux
    // program it started, so the test waits for each datagram instead.
    double sent = 0;
    for (const QString &value : {u"t=45 C"_qs, u"t=46 C"_qs}) {
        QVERIFY(QProcess::startDetached(logger, {format, u"-d"_qs, u"-n"_qs, u"127.0.0.1"_qs,
                                                 u"-P"_qs, QString::number(port), u"-t"_qs,
                                                 u"senvo[CPU]"_qs, value}));
        sent += 1;
        QTRY_COMPARE(receiver.packets(), sent);
    }
    QVERIFY(receiver.bytes() > 2 * 40);
    // Posted at once, shown to views at the next publish: the posted table is what counts.
    QCOMPARE(table.hostCount(), 1);
    QVERIFY(!GridAddress(table).cellText(1, 0).isEmpty());
    QCOMPARE(GridAddress(table).cellText(1, 3), u" CPU");
    QCOMPARE(GridAddress(table).cellText(1, 4), u" 46 ");
}

void TestDatagramReceiver::countersArePublishedTogether()
{
    ReadingsTable table;
    DatagramReceiver receiver(&table);
    QSignalSpy published(&receiver, &DatagramReceiver::countersChanged);
    const quint16 port = freePort();
    QVERIFY(receiver.bind(QString::number(port)));
    QUdpSocket sender;
    constexpr int count = 300;
    for (int i = 0; i < count; ++i) {
        sender.writeDatagram(QByteArray("<13>Jun 10 19:35:00 h") + QByteArray::number(i)
                                 + " s[N]: v=1 x",
                             QHostAddress::LocalHost, port);
    }
    QTRY_COMPARE(receiver.packets(), double(count));
    // Views learn of all of it, in far fewer steps than there were datagrams.
    QTRY_COMPARE(table.rowCount(), count);
    QVERIFY(published.size() >= 1);
    QVERIFY(published.size() < count / 2);
}

void TestDatagramReceiver::typedCounterValueIsKept()
{
    ReadingsTable table;
    DatagramReceiver receiver(&table);
    const quint16 port = freePort();
    QVERIFY(receiver.bind(QString::number(port)));
    receiver.setPackets(100);
    receiver.setBytes(0);
    QUdpSocket sender;
    sender.writeDatagram("12345", QHostAddress::LocalHost, port);
    QTRY_COMPARE(receiver.packets(), 101.0);
    QCOMPARE(receiver.bytes(), 5.0);
}

void TestDatagramReceiver::badPortText_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("letters") << u"abc"_qs;
    QTest::newRow("zero") << u"0"_qs;
    QTest::newRow("too large") << u"65536"_qs;
    QTest::newRow("far too large") << u"99999999999999999999"_qs;
    QTest::newRow("negative") << u"-1"_qs;
    QTest::newRow("fraction") << u"514.5"_qs;
    QTest::newRow("sign") << u"+514"_qs;
}

void TestDatagramReceiver::badPortText()
{
    QFETCH(QString, text);
    ReadingsTable table;
    DatagramReceiver receiver(&table);
    QVERIFY(!DatagramReceiver::portFromText(text));
    QVERIFY(!receiver.bind(text));
    QVERIFY(!receiver.isListening());
    QVERIFY(receiver.errorString().contains(u"1 to 65535"));
}

void TestDatagramReceiver::portInUse_data()
{
    addSocketKinds();
}

void TestDatagramReceiver::portInUse()
{
    QFETCH(QString, kind);
    QFETCH(QString, address);
    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress(address), 0, QUdpSocket::ShareAddress));
    ReadingsTable table;
    DatagramReceiver receiver(&table, nullptr, makeSocket(kind));
    QVERIFY(!receiver.bind(QString::number(other.localPort())));
    QVERIFY(!receiver.isListening());
    QVERIFY2(receiver.errorString().contains(u"already in use"),
             qPrintable(receiver.errorString()));
}

void TestDatagramReceiver::privilegedPort()
{
#ifndef Q_OS_UNIX
    QSKIP("only Unix keeps the ports below 1024 for privileged programs");
#else
    if (::geteuid() == 0)
        QSKIP("running as root: low ports can be bound");
    ReadingsTable table;
    DatagramReceiver receiver(&table);
    if (receiver.bind(u"1023"_qs))
        QSKIP("this system lets every user open low ports");
    QVERIFY2(receiver.errorString().contains(u"1024"), qPrintable(receiver.errorString()));
    QVERIFY(receiver.errorString().contains(u"setcap"));
#endif
}

void TestDatagramReceiver::failedRebindKeepsOldPort()
{
    ReadingsTable table;
    DatagramReceiver receiver(&table);
    QSignalSpy listening(&receiver, &DatagramReceiver::listeningChanged);
    const quint16 port = freePort();
    QVERIFY(receiver.bind(QString::number(port)));
    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress::AnyIPv4, 0));

    QVERIFY(!receiver.rebind(QString::number(other.localPort())));
    QVERIFY(receiver.errorString().contains(u"already in use"));
    QVERIFY(!receiver.rebind(u"not a port"_qs));
    QVERIFY(receiver.errorString().contains(u"not a port number"));
    QCOMPARE(receiver.port(), port);
    QVERIFY(receiver.isListening());

    QUdpSocket sender;
    sender.writeDatagram("<13>Jun 10 19:35:00 h s[N]: v=1 x", QHostAddress::LocalHost, port);
    QTRY_COMPARE(receiver.packets(), 1.0);
    QCOMPARE(listening.first().first().toBool(), true);
    QCOMPARE(listening.last().first().toBool(), true);
}

void TestDatagramReceiver::ignoresSendersNotAllowed_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("allowed");
    QTest::addColumn<QString>("from");
    QTest::addColumn<bool>("ignored");
    for (const char *kind : {"platform", "qt"}) {
        for (const auto &[allowed, from, ignored] :
             {std::tuple(u"::1"_qs, u"127.0.0.1"_qs, true), std::tuple(u"::1"_qs, u"::1"_qs, false),
              std::tuple(u"127.0.0.0/8"_qs, u"127.0.0.1"_qs, false),
              std::tuple(u"10.0.0.0/8"_qs, u"127.0.0.1"_qs, true)})
            QTest::addRow("%s, %s allowed, from %s", kind, qPrintable(allowed), qPrintable(from))
                << QString::fromLatin1(kind) << allowed << from << ignored;
    }
}

void TestDatagramReceiver::ignoresSendersNotAllowed()
{
    QFETCH(QString, kind);
    QFETCH(QString, allowed);
    QFETCH(QString, from);
    QFETCH(bool, ignored);
    ReadingsTable table;
    DatagramReceiver receiver(&table, nullptr, makeSocket(kind));
    receiver.setSenderFilter(*SenderFilter::fromEntries({allowed}));
    QSignalSpy changed(&receiver, &DatagramReceiver::ignoredChanged);
    const quint16 port = freePort();
    QVERIFY2(receiver.bind(QString::number(port)), qPrintable(receiver.errorString()));
    QUdpSocket sender;
    QVERIFY(sender.bind(QHostAddress(from), 0));
    const QDateTime before = QDateTime::currentDateTime();
    const QByteArray datagram = "<13>Jun 10 19:35:00 host1 senvo[CPU]: t=45 C";
    for (int i = 0; i < 3; ++i)
        sender.writeDatagram(datagram, QHostAddress(from), port);
    // Counted as having arrived either way.
    QTRY_COMPARE(receiver.packets(), 3.0);
    QCOMPARE(receiver.bytes(), 3.0 * datagram.size());
    receiver.publish();
    QCOMPARE(receiver.ignored(), ignored ? 3.0 : 0.0);
    QCOMPARE(table.hostCount(), ignored ? 0 : 1);
    QCOMPARE(changed.size(), ignored ? 1 : 0);
    QCOMPARE(receiver.lastIgnoredSender().toText(), ignored ? from : QString());
    QCOMPARE(receiver.lastIgnoredAt().isValid(), ignored);
    QVERIFY(!ignored || receiver.lastIgnoredAt() >= before);
    // A publish with nothing new ignored says nothing.
    receiver.publish();
    QCOMPARE(changed.size(), ignored ? 1 : 0);
}

void TestDatagramReceiver::listensOnOneAddress_data()
{
    addSocketKinds();
}

void TestDatagramReceiver::listensOnOneAddress()
{
    QFETCH(QString, kind);
    QFETCH(QString, address);
    const QString other = address == u"::1" ? u"127.0.0.1"_qs : u"::1"_qs;
    ReadingsTable table;
    DatagramReceiver receiver(&table, nullptr, makeSocket(kind));
    const quint16 port = freePort();
    QVERIFY(receiver.bind(QString::number(port)));
    QUdpSocket sender;
    constexpr int count = 200;
    for (int i = 0; i < count; ++i)
        sender.writeDatagram("<13>Jun 10 19:35:00 h" + QByteArray::number(i) + " s[N]: v=1 x",
                             QHostAddress(address), port);
    // What reached the socket before it is closed, while the event loop does not run, is
    // counted and posted, not lost.
    QTest::qSleep(100);
    QVERIFY2(receiver.rebind(QString::number(port), address), qPrintable(receiver.errorString()));
    QCOMPARE(receiver.packets(), double(count));
    QCOMPARE(table.hostCount(), count);
    QCOMPARE(receiver.address(), QHostAddress(address));

    sender.writeDatagram("<13>Jun 10 19:35:00 h1 s[N]: v=1 x", QHostAddress(other), port);
    sender.writeDatagram("<13>Jun 10 19:35:00 h2 s[N]: v=1 x", QHostAddress(address), port);
    QTRY_COMPARE(receiver.packets(), count + 1.0);
    QTest::qWait(50);
    QCOMPARE(receiver.packets(), count + 1.0);

    // An address this machine does not have (TEST-NET-1), or no address at all: the
    // receiver goes back to where it was.
    QVERIFY(!receiver.rebind(QString::number(port), u"192.0.2.1"_qs));
    QVERIFY2(receiver.errorString().contains(u"192.0.2.1: this computer has no such address"),
             qPrintable(receiver.errorString()));
    QVERIFY(!receiver.rebind(QString::number(port), u"localhost"_qs));
    QVERIFY(receiver.errorString().contains(u"\"localhost\" is not an IP address"));
    QCOMPARE(receiver.address(), QHostAddress(address));
    // A new port alone keeps the address; a blank one is every address.
    QVERIFY(receiver.rebind(QString::number(freePort())));
    QCOMPARE(receiver.address(), QHostAddress(address));
    QVERIFY(receiver.rebind(QString::number(port), u" "_qs));
    QVERIFY(receiver.address().isNull());
}

QTEST_GUILESS_MAIN(TestDatagramReceiver)
#include "tst_datagramreceiver.moc"
