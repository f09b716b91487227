#include "reception/senderaddress.h"
#include "reception/senderfilter.h"

#include <QHostAddress>
#include <QTest>

namespace {

SenderAddress addressOf(const QString &text)
{
    return SenderAddress::fromHostAddress(QHostAddress(text));
}

// An IPv4 sender as an IPv6 socket gives it.
SenderAddress mapped(const QString &ipv4)
{
    return SenderAddress::fromHostAddress(QHostAddress(u"::ffff:"_qs + ipv4));
}

SenderFilter filterOf(const QStringList &entries)
{
    QString error;
    const std::optional<SenderFilter> filter = SenderFilter::fromEntries(entries, &error);
    if (!filter)
        qFatal("%s", qPrintable(error));
    return *filter;
}

// Addresses near a prefix's edges: its first and last, the ones just outside, and the
// address with the bit at the prefix's end flipped.
QList<QHostAddress> probes(const QHostAddress &base, int length)
{
    QList<QHostAddress> result{base};
    if (base.protocol() == QAbstractSocket::IPv4Protocol) {
        const quint32 ip = base.toIPv4Address();
        const quint32 host = length == 0 ? ~0u : length == 32 ? 0u : ~0u >> length;
        const quint32 first = ip & ~host;
        for (const quint32 probe : {first, first | host, first - 1, (first | host) + 1,
                                    length < 32 ? ip ^ (1u << (31 - length)) : ip,
                                    length > 0 ? ip ^ (1u << (32 - length)) : ip})
            result << QHostAddress(probe);
        return result;
    }
    Q_IPV6ADDR bytes = base.toIPv6Address();
    for (const int bit : {length, length - 1}) {
        if (bit < 0 || bit > 127)
            continue;
        Q_IPV6ADDR flipped = bytes;
        flipped[bit / 8] ^= quint8(0x80 >> (bit % 8));
        result << QHostAddress(flipped);
    }
    // The range's first and last address: every bit after the prefix cleared or set.
    for (const bool set : {false, true}) {
        Q_IPV6ADDR edge = bytes;
        for (int bit = length; bit < 128; ++bit) {
            const quint8 mask = quint8(0x80 >> (bit % 8));
            edge[bit / 8] = set ? edge[bit / 8] | mask : edge[bit / 8] & ~mask;
        }
        result << QHostAddress(edge);
    }
    return result;
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
    void badEntryRefusesTheList();
};

// Each row's senders are tried in turn, each twice, on one filter, so that a verdict kept for
// one sender cannot pass for another's; some end in the same bits as an allowed one.
void TestSenderFilter::matches_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("allowed");
    QTest::addColumn<QStringList>("refused");
    const auto row = [](const char *name, const QStringList &entries, const QStringList &allowed,
                        const QStringList &refused) {
        QTest::newRow(name) << entries << allowed << refused;
    };
    row("no entries: every sender", {}, {u"10.0.0.1"_qs, u"::1"_qs, u"fe80::1"_qs}, {});
    row("blank entries only: every sender", {u""_qs, u"  "_qs}, {u"192.0.2.1"_qs}, {});
    row("one IPv4 address", {u"10.0.0.5"_qs}, {u"10.0.0.5"_qs},
        {u"10.0.0.4"_qs, u"10.0.0.6"_qs, u"5.0.0.10"_qs, u"10.0.16.5"_qs, u"11.0.0.5"_qs});
    row("IPv4 prefix", {u"192.168.1.0/24"_qs}, {u"192.168.1.0"_qs, u"192.168.1.255"_qs},
        {u"192.168.0.255"_qs, u"192.168.2.0"_qs});
    row("host bits in a prefix are ignored", {u"192.168.1.77/24"_qs}, {u"192.168.1.1"_qs},
        {u"192.168.2.77"_qs});
    row("IPv6 loopback", {u"::1"_qs}, {u"::1"_qs},
        {u"::2"_qs, u"127.0.0.1"_qs, u"::"_qs, u"fd00::1"_qs, u"::1:0:0:1"_qs});
    row("IPv6 prefix", {u"fd00::/8"_qs},
        {u"fd00::"_qs, u"fdff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"_qs},
        {u"fc00::"_qs, u"fe00::"_qs, u"10.0.0.1"_qs});
    row("IPv4 entry, IPv4 and mapped senders alike", {u"127.0.0.1"_qs}, {u"127.0.0.1"_qs},
        {u"127.0.0.2"_qs, u"::1"_qs});
    row("mapped entry matches IPv4 senders", {u"::ffff:10.0.0.0/104"_qs},
        {u"10.0.0.1"_qs, u"10.255.255.255"_qs}, {u"11.0.0.0"_qs, u"::a00:1"_qs});
    row("every IPv6 address holds the mapped ones", {u"::/0"_qs},
        {u"::1"_qs, u"2001:db8::1"_qs, u"203.0.113.9"_qs}, {});
    row("every IPv4 address, no IPv6", {u"0.0.0.0/0"_qs}, {u"0.0.0.0"_qs, u"255.255.255.255"_qs},
        {u"::1"_qs, u"::"_qs});
    row("overlapping entries", {u"10.1.0.0/16"_qs, u"11.0.0.0/8"_qs, u"10.0.0.0/8"_qs},
        {u"10.1.2.3"_qs, u"10.255.255.255"_qs, u"11.0.0.0"_qs, u"11.255.255.255"_qs},
        {u"9.255.255.255"_qs, u"12.0.0.0"_qs});
    row("entries apart", {u"10.0.0.1"_qs, u"10.0.0.3"_qs, u"2001:db8::/127"_qs, u"2001:db8::3"_qs},
        {u"10.0.0.1"_qs, u"10.0.0.3"_qs, u"2001:db8::1"_qs, u"2001:db8::3"_qs},
        {u"10.0.0.2"_qs, u"10.0.0.0"_qs, u"10.0.0.4"_qs, u"2001:db8::2"_qs, u"2001:db8::4"_qs});
    row("the list of the issue", {u"192.168.1.0/24"_qs, u"10.0.0.5"_qs, u"fd00::/8"_qs, u"::1"_qs},
        {u"192.168.1.9"_qs, u"10.0.0.5"_qs, u"fd00::7"_qs, u"::1"_qs},
        {u"127.0.0.1"_qs, u"10.0.0.6"_qs, u"2001:db8::1"_qs});
}

void TestSenderFilter::matches()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, allowed);
    QFETCH(QStringList, refused);
    SenderFilter filter = filterOf(entries);
    QList<std::pair<SenderAddress, bool>> kinds[2];
    for (const auto &[texts, verdict] : {std::pair(refused, false), std::pair(allowed, true)}) {
        for (const QString &text : texts) {
            kinds[verdict].append({addressOf(text), verdict});
            if (!text.contains(u':'))
                kinds[verdict].append({mapped(text), verdict});
        }
    }
    // Allowed and refused senders taken in turn.
    QList<std::pair<SenderAddress, bool>> senders;
    for (qsizetype i = 0; i < std::max(kinds[0].size(), kinds[1].size()); ++i) {
        for (const auto &kind : kinds) {
            if (i < kind.size())
                senders.append(kind[i]);
        }
    }
    for (const auto &[address, verdict] : senders) {
        for (int twice = 0; twice < 2; ++twice)
            QVERIFY2(filter.allows(address) == verdict, qPrintable(address.toText()));
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

// Qt's own subnet test is the reference.
void TestSenderFilter::everyPrefixLength()
{
    QFETCH(QString, base);
    QFETCH(int, length);
    const QHostAddress address(base);
    SenderFilter filter = filterOf({base + u'/' + QString::number(length)});
    for (const QHostAddress &probe : probes(address, length)) {
        const bool expected = probe.isInSubnet(address, length);
        QVERIFY2(filter.allows(SenderAddress::fromHostAddress(probe)) == expected,
                 qPrintable(probe.toString()));
    }
}

void TestSenderFilter::check_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("error"); // a part of the message; empty: accepted
    QTest::newRow("IPv4 address") << u"10.0.0.5"_qs << QString();
    QTest::newRow("spaces around") << u" 10.0.0.5 "_qs << QString();
    QTest::newRow("IPv4 prefix") << u"192.168.1.0/24"_qs << QString();
    QTest::newRow("spaces around the slash") << u"192.168.1.0 / 24"_qs << QString();
    QTest::newRow("IPv6 prefix") << u"fd00::/8"_qs << QString();
    QTest::newRow("IPv6 address") << u"::1"_qs << QString();
    QTest::newRow("longest IPv6 prefix") << u"::1/128"_qs << QString();
    QTest::newRow("every IPv4 address") << u"0.0.0.0/0"_qs << QString();
    QTest::newRow("word") << u"server1"_qs << u"\"server1\" is not an address or a prefix"_qs;
    QTest::newRow("empty") << u""_qs << u"not an address"_qs;
    QTest::newRow("short IPv4") << u"10.1"_qs << u"not an address"_qs;
    QTest::newRow("leading zero") << u"010.0.0.5"_qs << u"not an address"_qs;
    QTest::newRow("octet too large") << u"256.0.0.1"_qs << u"not an address"_qs;
    QTest::newRow("five octets") << u"1.2.3.4.5"_qs << u"not an address"_qs;
    QTest::newRow("hexadecimal") << u"0x7f.0.0.1"_qs << u"not an address"_qs;
    QTest::newRow("bad IPv6") << u"fd00:::1"_qs << u"not an address"_qs;
    QTest::newRow("IPv4 prefix too long") << u"10.0.0.0/33"_qs << u"from 0 to 32"_qs;
    QTest::newRow("IPv6 prefix too long") << u"fd00::/129"_qs << u"from 0 to 128"_qs;
    QTest::newRow("no length") << u"10.0.0.0/"_qs << u"from 0 to 32"_qs;
    QTest::newRow("negative length") << u"10.0.0.0/-1"_qs << u"from 0 to 32"_qs;
    QTest::newRow("netmask") << u"10.0.0.0/255.0.0.0"_qs << u"from 0 to 32"_qs;
    QTest::newRow("two slashes") << u"10.0.0.0/8/8"_qs << u"from 0 to 32"_qs;
    QTest::newRow("prefix without an address") << u"/24"_qs << u"not an address"_qs;
}

void TestSenderFilter::check()
{
    QFETCH(QString, entry);
    QFETCH(QString, error);
    const QString why = SenderFilter::check(entry);
    if (error.isEmpty())
        QVERIFY2(why.isEmpty(), qPrintable(why));
    else
        QVERIFY2(why.contains(error), qPrintable(why));
}

void TestSenderFilter::badEntryRefusesTheList()
{
    QString error;
    QVERIFY(!SenderFilter::fromEntries({u"10.0.0.5"_qs, u"10.0.0.300"_qs, u"::1"_qs}, &error));
    QVERIFY2(error.contains(u"\"10.0.0.300\""), qPrintable(error));
    const std::optional<SenderFilter> filter =
        SenderFilter::fromEntries({u" 10.0.0.5"_qs, u""_qs, u"::1 "_qs}, &error);
    QVERIFY(filter);
    QVERIFY(error.isEmpty());
    QCOMPARE(filter->entries(), QStringList({u"10.0.0.5"_qs, u"::1"_qs}));
    QVERIFY(!filter->allowsEverySender());
    QVERIFY(SenderFilter().allowsEverySender());
}

QTEST_APPLESS_MAIN(TestSenderFilter)
#include "tst_senderfilter.moc"
