#include "engine/reception/arrival.h"
#include "engine/reception/reading.h"
#include "engine/reception/readingparser.h"
#include "oracle.h"

#include <QHostAddress>
#include <QTest>

namespace {

// Where and when the datagrams of these tests arrive.
const QHostAddress from(u"::ffff:127.0.0.1"_qs);
const QDateTime received(QDate(2026, 12, 8), QTime(3, 10, 5), Qt::UTC);

Arrival arrival()
{
    Arrival result([] { return received; });
    result.setSender(SenderAddress::fromHostAddress(from));
    return result;
}

Reading previousReading()
{
    Reading reading;
    reading.date = QStringLiteral("Jan 01");
    reading.time = QStringLiteral("00:00:00");
    reading.host = QStringLiteral("previous");
    reading.name = QStringLiteral(" OLD");
    reading.value = QStringLiteral(" 1 ");
    return reading;
}

} // namespace

class TestReadingParser final : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void senders_data();
    void senders();
    void hostlessSendersInOneBatch_data();
    void hostlessSendersInOneBatch();
    void undefinedReadingLeavesFieldsAsTheyWere_data();
    void undefinedReadingLeavesFieldsAsTheyWere();
    void decode_data();
    void decode();
    void fieldsOfEveryLength_data();
    void fieldsOfEveryLength();
};

void TestReadingParser::parse_data()
{
    QTest::addColumn<QString>("datagram");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("buffer");

    const QString full = QStringLiteral("<13>Jun 10 19:35:00 host1 tag[CPU]: t=45 C");
    QTest::newRow("priority") << full << "Jun 10"
                              << "19:35:00"
                              << "host1"
                              << " CPU"
                              << " 45 "
                              << "t=45 C";
    QTest::newRow("no priority") << full.mid(4) << "Jun 10"
                                 << "19:35:00"
                                 << "host1"
                                 << " CPU"
                                 << " 45 "
                                 << "t=45 C";
    QTest::newRow("single-digit day") << "<13>Jun  1 19:35:00 host1 tag[CPU]: t=45 C"
                                      << "Jun  1"
                                      << "19:35:00"
                                      << "host1"
                                      << " CPU"
                                      << " 45 "
                                      << "t=45 C";
    QTest::newRow("spaces inside brackets") << "<13>Jun 10 19:35:00 host1 t[  Disk C  ]: v=9 %"
                                            << "Jun 10"
                                            << "19:35:00"
                                            << "host1"
                                            << " Disk C"
                                            << " 9 "
                                            << "v=9 %";
    QTest::newRow("empty brackets") << "<13>Jun 10 19:35:00 host1 t[]: v=9 %"
                                    << "Jun 10"
                                    << "19:35:00"
                                    << "host1"
                                    << " "
                                    << " 9 "
                                    << "v=9 %";
    QTest::newRow("equals right before the space") << "<13>Jun 10 19:35:00 h t[N]: v= x"
                                                   << "Jun 10"
                                                   << "19:35:00"
                                                   << "h"
                                                   << " N"
                                                   << "  "
                                                   << "v= x";
    QTest::newRow("brackets in the host do not count")
        << "<13>Jun 10 19:35:00 h[X] tag[CPU]: t=45 C"
        << "Jun 10"
        << "19:35:00"
        << "h[X]"
        << " CPU"
        << " 45 "
        << "t=45 C";
    QTest::newRow("no colon leaves the rest uncut") << "<13>Jun 10 19:35:00 host1 tag[CPU]=45 C"
                                                    << "Jun 10"
                                                    << "19:35:00"
                                                    << "host1"
                                                    << " CPU"
                                                    << " 45 "
                                                    << "tag[CPU]=45 C";
    // Without a colon the tag word is cut off only where an "=" follows it; elsewhere the
    // message is the whole text, as it always was.
    QTest::newRow("no colon, no equals sign: the tag is the value")
        << "<13>Jun 10 19:35:00 host1 tag[CPU] 45 C"
        << "Jun 10"
        << "19:35:00"
        << "host1"
        << " CPU"
        << " tag[CPU] "
        << "tag[CPU] 45 C";
    QTest::newRow("no colon, equals sign in the tag") << "<13>Jun 10 19:35:00 host1 tag[a=b] t=45 C"
                                                      << "Jun 10"
                                                      << "19:35:00"
                                                      << "host1"
                                                      << " a=b"
                                                      << " b] "
                                                      << "tag[a=b] t=45 C";
    QTest::newRow("text before the priority goes") << "junk<13>Jun 10 19:35:00 host1 t[A]: a=1 b"
                                                   << "Jun 10"
                                                   << "19:35:00"
                                                   << "host1"
                                                   << " A"
                                                   << " 1 "
                                                   << "a=1 b";
    QTest::newRow("no timestamp: taken by offset") << "<13>host1 tag[CPU]: t=45 a[N]: v=7 more"
                                                   << "host1 "
                                                   << "ag[CPU]:"
                                                   << "t=45"
                                                   << " N"
                                                   << " 7 "
                                                   << "v=7 more";
    QTest::newRow("value at the end of a line") << "<13>Jun 10 19:35:00 host1 tag[CPU]: t=4\r\n\0"
                                                << "Jun 10"
                                                << "19:35:00"
                                                << "host1"
                                                << " CPU"
                                                << " 4 "
                                                << "t=4\r\n\0";
    // Without a priority the tag is no sign of a missing host: cut by offset.
    QTest::newRow("tag first without a priority") << "x senvo[CPU]: t=45 C, y senvo[M]: v=1 B"
                                                  << "x senv"
                                                  << "[CPU]: t"
                                                  << "45"
                                                  << " M"
                                                  << " 1 "
                                                  << "v=1 B";

    // Only the space is trimmed: a tab is part of the text.
    QTest::newRow("tab after the host") << "<13>Jun 10 19:35:00 box\t tag[CPU]: t=45 C"
                                        << "Jun 10"
                                        << "19:35:00"
                                        << "box\t"
                                        << " CPU"
                                        << " 45 "
                                        << "t=45 C";
    QTest::newRow("tab before the host") << "<13>Jun 10 19:35:00 \tbox tag[CPU]: t=45 C"
                                         << "Jun 10"
                                         << "19:35:00"
                                         << "\tbox"
                                         << " CPU"
                                         << " 45 "
                                         << "t=45 C";
    QTest::newRow("tabs around the name") << "<13>Jun 10 19:35:00 h tag[ \tCPU\t ]: t=45 C"
                                          << "Jun 10"
                                          << "19:35:00"
                                          << "h"
                                          << " \tCPU\t"
                                          << " 45 "
                                          << "t=45 C";
    QTest::newRow("tabs around the message and the value")
        << "<13>Jun 10 19:35:00 h tag[CPU]:\tt=\t45\t C\t"
        << "Jun 10"
        << "19:35:00"
        << "h"
        << " CPU"
        << " \t45\t "
        << "\tt=\t45\t C\t";

    // A ">" far into a long datagram: positions are not 16-bit here.
    const QString tail = QStringLiteral("Jun 10 19:35:00 far tag[N]: v=7 u");
    QTest::newRow("'>' at 40000") << QString(39999, u'x') + u'>' + tail << "Jun 10"
                                  << "19:35:00"
                                  << "far"
                                  << " N"
                                  << " 7 "
                                  << "v=7 u";
    QTest::newRow("65507 characters")
        << QString(65507 - tail.size() - 1, u'x') + u'>' + tail << "Jun 10"
        << "19:35:00"
        << "far"
        << " N"
        << " 7 "
        << "v=7 u";

    // RFC 5424: the 255 characters start at the message, however long the header before it.
    const QString host5424 = u"rack07-sensor-hall-b.plant.example.org"_qs;
    const QString longHeader =
        u"<13>1 2026-12-08T02:56:53.910968+00:00 "_qs + host5424
        + uR"( senvo[CPU] - - [timeQuality tzKnown="1" isSynced="0"])"_qs
        + uR"([origin ip="192.0.2.7" software="rsyslogd" swVersion="8.2302.0"])"_qs
        + uR"([exampleSDID@32473 iut="3" eventSource="Application"])"_qs
        + uR"([meta sequenceId="42" note="a \] b = c: \"d\" e"] )"_qs;
    QTest::newRow("RFC 5424, message after character 255") << longHeader + u"t=45 C"_qs << "Dec  8"
                                                           << "02:56:53" << host5424 << " CPU"
                                                           << " 45 " << u"t=45 C"_qs;
    QTest::newRow("RFC 5424, message longer than 255")
        << longHeader + u"\ufefft=45 C "_qs + QString(300, u'p') << "Dec  8"
        << "02:56:53" << host5424 << " CPU"
        << " 45 " << u"t=45 C "_qs + QString(248, u'p');
    QTest::newRow("RFC 5424, host longer than 255")
        << u"<13>1 - "_qs + QString(300, u'h') + u" senvo[CPU] - - - t=45 C"_qs << "Dec  8"
        << "03:10:05" << QString(255, u'h') << " CPU"
        << " 45 " << u"t=45 C"_qs;
    // Escapes nearly to the largest datagram: the header is read once, to its end.
    const QString opening = uR"(<13>1 - vm senvo[CPU] - - [a b=")"_qs;
    const QString closing = uR"("][c] t=45 C)"_qs;
    const qsizetype escapes = (65507 - opening.size() - closing.size()) / 2;
    QTest::newRow("RFC 5424, escapes over 65,000 characters")
        << opening + uR"(\")"_qs.repeated(escapes) + closing << "Dec  8"
        << "03:10:05"
        << "vm"
        << " CPU"
        << " 45 " << u"t=45 C"_qs;
}

void TestReadingParser::parse()
{
    QFETCH(QString, datagram);
    Reading reading = previousReading();
    reading.buffer = datagram;

    // The literal model that the fuzzer trusts must agree with every expectation here.
    Reading literal = reading;
    Arrival where = arrival();
    for (Reading *parsed : {&reading, &literal}) {
        QVERIFY(parsed == &reading ? parseudp(reading, where)
                                   : literalParse(literal, senderText(from), received));
        QTEST(parsed->date, "date");
        QTEST(parsed->time, "time");
        QTEST(parsed->host, "host");
        QTEST(parsed->name, "name");
        QTEST(parsed->value, "value");
        QTEST(parsed->buffer, "buffer");
    }
}

// Wire bytes as real senders put them on the network, each asked to send «senvo[CPU]» /
// «t=45 C»; they arrive from 127.0.0.1 on an IPv6 socket at 03:10:05 on 8 December.
void TestReadingParser::senders_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    const auto row = [](const char *sender, const QByteArray &datagram, const char *host,
                        const char *date, const char *time, const char *name = " CPU",
                        const char *value = " 45 ") {
        QTest::newRow(sender) << datagram << QString::fromUtf8(host) << QString::fromUtf8(date)
                              << QString::fromUtf8(time) << QString::fromUtf8(name)
                              << QString::fromUtf8(value);
    };
    // RFC 5424, with and without structured data.
    row("logger",
        "<13>1 2026-12-08T02:56:53.910968+00:00 vm senvo[CPU] - - [timeQuality "
        "tzKnown=\"1\" isSynced=\"0\"] t=45 C",
        "vm", "Dec  8", "02:56:53");
    row("logger --sd-param, escapes in a quoted value",
        R"(<13>1 2026-12-08T02:58:16.402917+00:00 vm senvo[CPU] - - [timeQuality tzKnown="1" )"
        R"(isSynced="0"][probe@32473 note="a \]b = c: \"d\" \\"] t=45 C)",
        "vm", "Dec  8", "02:58:16");
    // A relay splits the tag into APP-NAME and PROCID.
    row("rsyslog SyslogProtocol23Format, split tag",
        "<13>1 2026-12-08T02:57:36+00:00 vm senvo CPU - -  t=45 C\n", "vm", "Dec  8", "02:57:36");
    row("syslog-ng syslog(), split tag",
        "<13>1 2026-12-08T02:57:52+00:00 vm senvo CPU - - t=45 C\n", "vm", "Dec  8", "02:57:52");
    row("logger -i: the process id is the name",
        "<13>1 2026-12-08T02:56:55.054621+00:00 vm senvo 11394 - [timeQuality tzKnown=\"1\" "
        "isSynced=\"0\"] t=45 C",
        "vm", "Dec  8", "02:56:55", " 11394");
    row("logger, byte-order mark and no timestamp or host (edited)",
        "<13>1 - - senvo[CPU] - - - \xef\xbb\xbft=45 C", "127.0.0.1", "Dec  8", "03:10:05");
    // An RFC 3339 timestamp in an otherwise classic header.
    row("rsyslog ForwardFormat", "<13>2026-12-08T02:57:35+00:00 vm senvo[CPU]: t=45 C", "vm",
        "Dec  8", "02:57:35");
    row("Go log/syslog", "<13>2026-12-08T02:57:03Z vm senvo[CPU][11702]: t=45 C\n", "vm", "Dec  8",
        "02:57:03");
    row("RFC 3339 timestamp on the last day of a long month",
        "<13>2026-12-31T23:59:59Z vm senvo[CPU]: t=45 C", "vm", "Dec 31", "23:59:59");
    // No host, or neither timestamp nor host.
    row("busybox syslogd -R", "<13>Dec  8 02:57:21 senvo[CPU]: t=45 C\n", "127.0.0.1", "Dec  8",
        "02:57:21");
    row("Python SysLogHandler", QByteArray("<12>senvo[CPU]: t=45 C\0", 23), "127.0.0.1", "Dec  8",
        "03:10:05");
    // A value with nothing after it.
    row("logger, value at the end",
        "<13>1 2026-12-08T02:56:47.302869+00:00 vm senvo[CPU] - - [timeQuality tzKnown=\"1\" "
        "isSynced=\"0\"] t=45",
        "vm", "Dec  8", "02:56:47");
    row("Python SysLogHandler, value at the end", QByteArray("<12>senvo[CPU]: t=45\0", 21),
        "127.0.0.1", "Dec  8", "03:10:05");
    // Classic headers come out as they always did.
    row("logger --rfc3164", "<13>Dec  8 02:56:54 vm senvo[CPU]: t=45 C", "vm", "Dec  8",
        "02:56:54");
    row("rsyslog TraditionalForwardFormat", "<13>Dec  8 02:57:35 vm senvo[CPU]: t=45 C", "vm",
        "Dec  8", "02:57:35");
    // A relay fed RFC 5424 writes APP-NAME as the tag, without a colon.
    row("rsyslog TraditionalForwardFormat, fed RFC 5424",
        "<13>Dec  8 12:42:16 vm senvo[CPU] t=45 C", "vm", "Dec  8", "12:42:16");
    row("rsyslog ForwardFormat, fed RFC 5424",
        "<13>2026-12-08T12:42:16.979282+00:00 vm senvo[CPU] t=45 C", "vm", "Dec  8", "12:42:16");
}

void TestReadingParser::senders()
{
    QFETCH(QByteArray, datagram);
    Reading reading = previousReading();
    decodeDatagram(datagram, reading);
    Reading literal = reading;
    Arrival where = arrival();
    for (Reading *parsed : {&reading, &literal}) {
        QVERIFY(parsed == &reading ? parseudp(reading, where)
                                   : literalParse(literal, senderText(from), received));
        QTEST(parsed->host, "host");
        QTEST(parsed->date, "date");
        QTEST(parsed->time, "time");
        QTEST(parsed->name, "name");
        QTEST(parsed->value, "value");
    }
}

void TestReadingParser::hostlessSendersInOneBatch_data()
{
    QTest::addColumn<QStringList>("senders");
    QTest::addColumn<QStringList>("hosts");
    QTest::newRow("two IPv4 senders") << QStringList{u"127.0.0.1"_qs, u"127.0.0.2"_qs}
                                      << QStringList{u"127.0.0.1"_qs, u"127.0.0.2"_qs};
    QTest::newRow("mapped IPv4, then IPv6")
        << QStringList{u"::ffff:10.0.0.1"_qs, u"::1"_qs} << QStringList{u"10.0.0.1"_qs, u"::1"_qs};
    QTest::newRow("back to the first")
        << QStringList{u"10.0.0.1"_qs, u"10.0.0.2"_qs, u"10.0.0.1"_qs}
        << QStringList{u"10.0.0.1"_qs, u"10.0.0.2"_qs, u"10.0.0.1"_qs};
}

// Datagrams of one batch share a receive time, never a sender.
void TestReadingParser::hostlessSendersInOneBatch()
{
    QFETCH(QStringList, senders);
    QFETCH(QStringList, hosts);
    Arrival where = arrival();
    where.startBatch();
    QStringList parsedHosts;
    for (const QString &sender : senders) {
        Reading reading = previousReading();
        decodeDatagram("<12>senvo[CPU]: t=45 C", reading);
        where.setSender(SenderAddress::fromHostAddress(QHostAddress(sender)));
        QVERIFY(parseudp(reading, where));
        parsedHosts << reading.host;
    }
    QCOMPARE(parsedHosts, hosts);
}

void TestReadingParser::undefinedReadingLeavesFieldsAsTheyWere_data()
{
    QTest::addColumn<QString>("datagram");
    QTest::newRow("no brackets") << "<13>Jun 10 19:35:00 host1 tag: 45 C";
    QTest::newRow("'[' alone") << "<13>Jun 10 19:35:00 host1 tag[CPU: t=45 C";
    QTest::newRow("']' alone") << "<13>Jun 10 19:35:00 host1 tagCPU]: t=45 C";
    QTest::newRow("']' before '['") << "<13>Jun 10 19:35:00 host1 tag]CPU[: t=45 C";
    QTest::newRow("']' right before '['") << "<13>Jun 10 19:35:00 host1 tag][CPU: t=45 C";
    QTest::newRow("space before '='") << "<13>Jun 10 19:35:00 host1 tag[CPU]: a b=4";
    QTest::newRow("no colon, space before '='") << "<13>Jun 10 19:35:00 host1 tag[CPU] a b=4";
    QTest::newRow("no host, no colon") << "<13>Dec  8 12:42:16 senvo[CPU] t=45 C";
    QTest::newRow("16 characters after '>'") << "<13>Jun 10 19:35:00 ";
    QTest::newRow("empty") << "";
    QTest::newRow("only '>'") << ">";
    QTest::newRow("no space at all") << "<13>Jun 10 19:35:00hostonly";
    QTest::newRow("nothing but a line end after the colon")
        << "<13>Jun 10 19:35:00 host1 tag[CPU]:\r\n";
    QTest::newRow("no space after the host") << "<13>Jun 10 19:35:00 tag[CPU]:t=45";
    QTest::newRow("structured data never closed")
        << "<13>1 2026-12-08T02:56:53Z vm senvo[CPU] - - [a b=\"c\\\"] t=45 C\"";
    QTest::newRow("structured data without its space")
        << "<13>1 2026-12-08T02:56:53Z vm senvo[CPU] - - -t=45 C";
    QTest::newRow("version 2, cut by offset")
        << "<13>2 2026-12-08T02:56:53Z vm senvo[CPU] - - - t=45 C";
    QTest::newRow("RFC 5424 without a message") << "<13>1 - vm senvo[CPU] - - [a]";
    QTest::newRow("RFC 5424 with the name only in the message")
        << "<13>1 - vm senvo - - - tag[CPU]: t=45 C";

    // Only 255 characters after the ">" are looked at: the name lies beyond them.
    const QString head = QStringLiteral("<13>Jun 10 19:35:00 h tag: v=1 ");
    QTest::newRow("beyond 255 after '>'")
        << head + QString(259 - head.size(), u'p') + QStringLiteral("[LATE]");
    const QString plain = head.mid(4);
    QTest::newRow("beyond 271 without '>'")
        << plain + QString(271 - plain.size(), u'p') + QStringLiteral("[LATE]");
}

void TestReadingParser::undefinedReadingLeavesFieldsAsTheyWere()
{
    QFETCH(QString, datagram);
    Reading reading = previousReading();
    reading.buffer = datagram;

    Reading literal = reading;
    QVERIFY(!literalParse(literal, senderText(from), received));
    QCOMPARE(literal.name, previousReading().name);
    Arrival where = arrival();
    QVERIFY(!parseudp(reading, where));
    const Reading before = previousReading();
    QCOMPARE(reading.date, before.date);
    QCOMPARE(reading.time, before.time);
    QCOMPARE(reading.host, before.host);
    QCOMPARE(reading.name, before.name);
    QCOMPARE(reading.value, before.value);
}

void TestReadingParser::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("ascii") << QByteArray("<13>Jun") << QStringLiteral("<13>Jun");
    QTest::newRow("utf-8") << QByteArray("h\xc3\xa9t\xe2\x82\xac")
                           << QStringLiteral("h\u00e9t\u20ac");
    QTest::newRow("4-byte sequence")
        << QByteArray("a\xf0\x9f\x98\x80z") << QStringLiteral("a\U0001F600z");
    QTest::newRow("nul bytes kept")
        << QByteArray("a\0b\0", 4) << QStringView(u"a\0b\0", 4).toString();
    QTest::newRow("invalid bytes") << QByteArray("a\xff\xfe"
                                                 "b")
                                   << QStringLiteral("a\uFFFD\uFFFDb");
    QTest::newRow("truncated sequence at the end")
        << QByteArray("ab\xe2\x82") << QStringLiteral("ab\uFFFD\uFFFD");
    QTest::newRow("empty") << QByteArray() << QString();
    const QByteArray ascii = "<13>Jun  1 12:00:00 host0001 senvo[CPU]: t=45 C";
    QTest::newRow("ascii past a block of 16") << ascii << QString::fromLatin1(ascii);
    for (const int at : {0, 15, 16, 31, 40}) {
        QByteArray mixed = ascii;
        mixed.insert(at, "\xc3\xa9");
        QTest::addRow("utf-8 at byte %d of a long text", at)
            << mixed << QString::fromLatin1(ascii).insert(at, u'\u00e9');
    }
}

void TestReadingParser::decode()
{
    QFETCH(QByteArray, bytes);
    Reading reading;
    reading.buffer = QStringLiteral("a longer text left by the previous datagram");
    decodeDatagram(bytes, reading);
    QTEST(reading.buffer, "text");
}

void TestReadingParser::fieldsOfEveryLength_data()
{
    QTest::addColumn<int>("length");
    for (int length = 1; length <= 40; ++length)
        QTest::addRow("%d", length) << length;
}

// Short fields are copied a few machine words at a time: every length must come out whole.
void TestReadingParser::fieldsOfEveryLength()
{
    QFETCH(int, length);
    const auto text = [length](char16_t first) {
        QString result;
        for (int i = 0; i < length; ++i)
            result += QChar(char16_t(first + i % 26));
        return result;
    };
    const QString host = text(u'a');
    const QString name = text(u'A');
    const QString value = text(u'\u00e0');
    Reading reading = previousReading();
    Arrival where = arrival();
    // Twice, so that the second datagram reuses storage the first one left.
    for (int pass = 0; pass < 2; ++pass) {
        reading.buffer =
            u"<13>Jun 10 19:35:00 "_qs + host + u" tag["_qs + name + u"]: v="_qs + value + u" C"_qs;
        QVERIFY(parseudp(reading, where));
        QCOMPARE(reading.date, u"Jun 10"_qs);
        QCOMPARE(reading.time, u"19:35:00"_qs);
        QCOMPARE(reading.host, host);
        QCOMPARE(reading.name, u' ' + name);
        QCOMPARE(reading.value, u' ' + value + u' ');
        QCOMPARE(reading.buffer, u"v="_qs + value + u" C"_qs);
    }
}

QTEST_APPLESS_MAIN(TestReadingParser)
#include "tst_readingparser.moc"
