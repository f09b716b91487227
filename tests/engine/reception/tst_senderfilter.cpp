#include "engine/reception/senderaddress.h"
#include "engine/reception/senderfilter.h"

#include <QHostAddress>
#include <QTest>
#include <QtEndian>

namespace {

SenderAddress addressOf(const QString &text)
{
    return SenderAddress::fromHostAddress(QHostAddress(text));
}

SenderFilter filterOf(const QStringList &entries)
{
    QString error;
    const std::optional<SenderFilter> filter = SenderFilter::fromEntries(entries, &error);
    if (!filter)
        qFatal("%s", qPrintable(error));
    return *filter;
}

} // namespace

class TestSenderFilter final : public QObject
{
    Q_OBJECT

private slots:
    void matches_data();
    void matches();
    void everyPrefixLength_data();
    void everyPrefixLength();
    void check_data();
    void check();
};

// Each row's senders are tried in turn, each twice, on one filter, so that a verdict kept for
// one sender cannot pass for another's; some end in the same bits as an allowed one. Every
// IPv4 sender is tried as an IPv6 socket gives it too.
void TestSenderFilter::matches_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("allowed");
    QTest::addColumn<QStringList>("refused");
    const auto row = [](const char *name, const QStringList &entries, const QStringList &allowed,
                        const QStringList &refused) {
        QTest::newRow(name) << entries << allowed << refused;
    };
    row("no entries: every sender", {u""_qs, u" "_qs}, {u"10.0.0.1"_qs, u"::1"_qs}, {});
    row("one IPv4 address", {u"10.0.0.5"_qs}, {u"10.0.0.5"_qs},
        {u"10.0.0.4"_qs, u"10.0.0.6"_qs, u"10.0.16.5"_qs, u"11.0.0.5"_qs});
    row("IPv6 loopback", {u"::1"_qs}, {u"::1"_qs},
        {u"::2"_qs, u"127.0.0.1"_qs, u"::"_qs, u"fd00::1"_qs, u"::1:0:0:1"_qs});
    row("mapped entry matches IPv4 senders", {u"::ffff:10.0.0.0/104"_qs},
        {u"10.0.0.1"_qs, u"10.255.255.255"_qs}, {u"11.0.0.0"_qs, u"::a00:1"_qs});
    row("every IPv6 address holds the mapped ones", {u"::/0"_qs},
        {u"::1"_qs, u"2001:db8::1"_qs, u"203.0.113.9"_qs}, {});
    row("every IPv4 address, no IPv6", {u"0.0.0.0/0"_qs}, {u"255.255.255.255"_qs}, {u"::1"_qs});
    row("overlapping entries and entries apart",
        {u"10.1.0.0/16"_qs, u"10.0.0.0/8"_qs, u"12.0.0.1"_qs, u"2001:db8::/127"_qs,
         u"2001:db8::3"_qs},
        {u"10.1.2.3"_qs, u"10.255.255.255"_qs, u"12.0.0.1"_qs, u"2001:db8::1"_qs,
         u"2001:db8::3"_qs},
        {u"9.255.255.255"_qs, u"11.0.0.0"_qs, u"12.0.0.2"_qs, u"2001:db8::2"_qs,
         u"2001:db8::4"_qs});
    row("networks and single addresses of both families", {u"192.168.1.0/24"_qs, u"10.0.0.5"_qs, u"fd00::/8"_qs, u"::1"_qs},
        {u"192.168.1.9"_qs, u"10.0.0.5"_qs, u"fd00::7"_qs, u"::1"_qs},
        {u"127.0.0.1"_qs, u"10.0.0.6"_qs, u"2001:db8::1"_qs});
}

void TestSenderFilter::matches()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, allowed);
    QFETCH(QStringList, refused);
    SenderFilter filter = filterOf(entries);
    QCOMPARE(filter.allowsEverySender(), entries.join(QString()).trimmed().isEmpty());
    QList<std::pair<QString, bool>> senders;
    for (qsizetype i = 0; i < std::max(allowed.size(), refused.size()); ++i) {
        for (const auto &[texts, verdict] : {std::pair(allowed, true), std::pair(refused, false)}) {
            if (i < texts.size())
                senders << std::pair(texts[i], verdict);
            if (i < texts.size() && !texts[i].contains(u':'))
                senders << std::pair(u"::ffff:"_qs + texts[i], verdict);
        }
    }
    for (const auto &[sender, verdict] : senders) {
        for (int twice = 0; twice < 2; ++twice)
            QVERIFY2(filter.allows(addressOf(sender)) == verdict, qPrintable(sender));
    }
}

void TestSenderFilter::everyPrefixLength_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<int>("length");
    for (int length = 0; length <= 32; ++length)
        QTest::addRow("172.20.133.77/%d", length) << u"172.20.133.77"_qs << length;
    for (int length = 0; length <= 128; ++length)
        QTest::addRow("2001:db8:5a3c:e1f0:7b29:c4d6:8e10:9f2b/%d", length)
            << u"2001:db8:5a3c:e1f0:7b29:c4d6:8e10:9f2b"_qs << length;
}

// The base, and the base with the prefix's last bit or the first bit after it flipped, against
// Qt's own subnet test.
void TestSenderFilter::everyPrefixLength()
{
    QFETCH(QString, base);
    QFETCH(int, length);
    const QHostAddress address(base);
    const int width = address.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
    SenderFilter filter = filterOf({base + u'/' + QString::number(length)});
    QVERIFY(filter.allows(addressOf(base)));
    for (const int bit : {length - 1, length}) {
        if (bit < 0 || bit >= width)
            continue;
        Q_IPV6ADDR bytes = address.toIPv6Address(); // IPv4 in its mapped form
        const int at = bit + 128 - width;
        bytes[at / 8] ^= quint8(0x80 >> at % 8);
        const QHostAddress probe =
            width == 32 ? QHostAddress(qFromBigEndian<quint32>(bytes.c + 12)) : QHostAddress(bytes);
        QVERIFY2(filter.allows(SenderAddress::fromHostAddress(probe))
                     == probe.isInSubnet(address, length),
                 qPrintable(probe.toString()));
    }
}

void TestSenderFilter::check_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("error"); // a part of the message; empty: accepted
    QTest::newRow("spaces around") << u" 10.0.0.5 "_qs << QString();
    QTest::newRow("word") << u"server1"_qs << u"\"server1\" is not an address or a prefix"_qs;
    QTest::newRow("short IPv4") << u"10.1"_qs << u"not an address"_qs;
    QTest::newRow("leading zero") << u"010.0.0.5"_qs << u"not an address"_qs;
    QTest::newRow("IPv4 prefix too long") << u"10.0.0.0/33"_qs << u"from 0 to 32"_qs;
    QTest::newRow("IPv6 prefix too long") << u"fd00::/129"_qs << u"from 0 to 128"_qs;
    QTest::newRow("no length") << u"10.0.0.0/"_qs << u"from 0 to 32"_qs;
    QTest::newRow("netmask") << u"10.0.0.0/255.0.0.0"_qs << u"from 0 to 32"_qs;
}

// An entry is checked alone, and a list with it is refused, naming it.
void TestSenderFilter::check()
{
    QFETCH(QString, entry);
    QFETCH(QString, error);
    const QString why = SenderFilter::check(entry);
    QVERIFY2(error.isEmpty() ? why.isEmpty() : why.contains(error), qPrintable(why));
    QString listError;
    const std::optional<SenderFilter> list =
        SenderFilter::fromEntries({u"::1"_qs, entry}, &listError);
    QCOMPARE(listError, why);
    QCOMPARE(list.has_value(), error.isEmpty());
    if (list)
        QCOMPARE(list->entries(), QStringList({u"::1"_qs, entry.trimmed()}));
}

QTEST_APPLESS_MAIN(TestSenderFilter)
#include "tst_senderfilter.moc"
