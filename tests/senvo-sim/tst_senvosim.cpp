#include "datagramformatter.h"
#include "datagramsender.h"
#include "engine/reception/arrival.h"
#include "engine/reception/reading.h"
#include "engine/reception/readingparser.h"
#include "silencing.h"
#include "simcommandline.h"

#include <QLocale>
#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QUdpSocket>

#include <array>
#include <limits>

namespace {

QByteArray formatted(const DatagramFormatter &formatter, quint64 sequence)
{
    std::array<char, DatagramFormatter::maxDatagramSize> storage{};
    const int length = formatter.format(sequence, storage.data());
    return QByteArray(storage.data(), length);
}

// The timestamp as RFC 3164 writes it, built apart from the generator's own code.
QString expectedDate(const QDate &date)
{
    const QString day =
        date.day() < 10 ? u" "_qs + QString::number(date.day()) : QString::number(date.day());
    return QLocale::c().monthName(date.month(), QLocale::ShortFormat) + u' ' + day;
}

} // namespace

class TestSenvoSim final : public QObject
{
    Q_OBJECT

private slots:
    void parserTakesEveryField_data();
    void parserTakesEveryField();
    void layout_data();
    void layout();
    void everyHostSendsEveryReadingEachRound_data();
    void everyHostSendsEveryReadingEachRound();
    void valuesStayInRangeAndMoveSmoothly_data();
    void valuesStayInRangeAndMoveSmoothly();
    void senderDeliversBatchesInOrder_data();
    void senderDeliversBatchesInOrder();
    void commandLine_data();
    void commandLine();
    void commandLineMistakes_data();
    void commandLineMistakes();
    void fallingSilent_data();
    void fallingSilent();
    void goingOverLimits_data();
    void goingOverLimits();
};

void TestSenvoSim::parserTakesEveryField_data()
{
    QTest::addColumn<int>("hosts");
    QTest::addColumn<int>("readings");
    QTest::addColumn<int>("hostDigits");
    QTest::addColumn<QDateTime>("timestamp");
    QTest::addColumn<quint64>("first");
    QTest::addColumn<int>("count");

    const QDateTime december7(QDate(2024, 12, 7), QTime(5, 40, 13));
    QTest::newRow("one host, one reading") << 1 << 1 << 4 << december7 << quint64(0) << 50;
    QTest::newRow("1000 hosts x 20 readings")
        << 1000 << 20 << 4 << december7 << quint64(0) << 40000;
    QTest::newRow("single-digit day at midnight")
        << 200 << 8 << 4 << QDateTime(QDate(2025, 1, 1), QTime(0, 0, 0)) << quint64(0) << 3200;
    QTest::newRow("day 10, last second of the day")
        << 200 << 8 << 4 << QDateTime(QDate(2025, 3, 10), QTime(23, 59, 59)) << quint64(0) << 3200;
    QTest::newRow("10000 hosts get five digits")
        << 10001 << 10 << 5 << december7 << quint64(95000) << 20000;
    QTest::newRow("30000 hosts x 10 readings")
        << 30000 << 10 << 5 << december7 << quint64(0) << 30000;
    QTest::newRow("64 readings, names past the known kinds")
        << 20 << 64 << 4 << QDateTime(QDate(2025, 9, 30), QTime(12, 1, 2)) << quint64(0) << 2560;
    QTest::newRow("far into the run")
        << 50 << 16 << 4 << december7 << quint64(1'000'000'000'000) << 1600;
}

void TestSenvoSim::parserTakesEveryField()
{
    QFETCH(int, hosts);
    QFETCH(int, readings);
    QFETCH(int, hostDigits);
    QFETCH(QDateTime, timestamp);
    QFETCH(quint64, first);
    QFETCH(int, count);

    DatagramFormatter formatter(hosts, readings);
    formatter.setTimestamp(timestamp);
    const QString date = expectedDate(timestamp.date());
    const QString time = timestamp.time().toString(u"hh:mm:ss"_qs);
    Reading reading;
    Arrival arrival;
    for (quint64 sequence = first; sequence < first + quint64(count); ++sequence) {
        const QByteArray datagram = formatted(formatter, sequence);
        QVERIFY(datagram.size() < DatagramFormatter::maxDatagramSize);
        const DatagramFormatter::Sample sample = formatter.sample(sequence);
        decodeDatagram(datagram, reading);
        QVERIFY2(parseudp(reading, arrival), datagram.constData());
        QCOMPARE(reading.date, date);
        QCOMPARE(reading.time, time);
        QCOMPARE(reading.host, u"host%1"_qs.arg(sample.host, hostDigits, 10, QChar(u'0')));
        QCOMPARE(reading.name,
                 u' ' + QString::fromLatin1(DatagramFormatter::readingName(sample.reading)));
        const QString value = QString::number(sample.value, 'f', sample.decimals);
        QCOMPARE(reading.value, u' ' + value + u' ');
        QCOMPARE(reading.buffer,
                 u"t="_qs + value + u' '
                     + QString::fromLatin1(DatagramFormatter::unit(sample.reading)));
    }
}

void TestSenvoSim::layout_data()
{
    QTest::addColumn<int>("hosts");
    QTest::addColumn<int>("readings");
    QTest::addColumn<quint64>("sequence");
    QTest::addColumn<QString>("pattern");

    QTest::newRow("first reading")
        << 50 << 3 << quint64(42) << u"<13>Dec  7 05:40:13 host0042 senvo\\[CPU\\]: t=\\d+ %"_qs;
    QTest::newRow("second reading")
        << 50 << 3 << quint64(57) << u"<13>Dec  7 05:40:13 host0007 senvo\\[Memory\\]: t=\\d+ %"_qs;
    QTest::newRow("one decimal")
        << 50 << 3 << quint64(100)
        << u"<13>Dec  7 05:40:13 host0000 senvo\\[Disk\\]: t=\\d+\\.\\d %"_qs;
    QTest::newRow("next round") << 50 << 3 << quint64(150)
                                << u"<13>Dec  7 05:40:13 host0000 senvo\\[CPU\\]: t=\\d+ %"_qs;
    QTest::newRow("two decimals")
        << 1 << 6 << quint64(5)
        << u"<13>Dec  7 05:40:13 host0000 senvo\\[Load\\]: t=\\d\\.\\d\\d load"_qs;
    QTest::newRow("temperature")
        << 1 << 6 << quint64(3)
        << u"<13>Dec  7 05:40:13 host0000 senvo\\[Temperature\\]: t=\\d+\\.\\d C"_qs;
    QTest::newRow("second CPU") << 1 << 20 << quint64(16)
                                << u"<13>Dec  7 05:40:13 host0000 senvo\\[CPU2\\]: t=\\d+ %"_qs;
    QTest::newRow("wide host numbers")
        << 30000 << 10 << quint64(29999)
        << u"<13>Dec  7 05:40:13 host29999 senvo\\[CPU\\]: t=\\d+ %"_qs;
}

void TestSenvoSim::layout()
{
    QFETCH(int, hosts);
    QFETCH(int, readings);
    QFETCH(quint64, sequence);
    QFETCH(QString, pattern);

    DatagramFormatter formatter(hosts, readings);
    formatter.setTimestamp(QDateTime(QDate(2024, 12, 7), QTime(5, 40, 13)));
    const QString datagram = QString::fromLatin1(formatted(formatter, sequence));
    const QRegularExpression expression(QRegularExpression::anchoredPattern(pattern));
    QVERIFY2(expression.match(datagram).hasMatch(), qPrintable(datagram));
}

void TestSenvoSim::everyHostSendsEveryReadingEachRound_data()
{
    QTest::addColumn<int>("hosts");
    QTest::addColumn<int>("readings");
    QTest::addColumn<quint64>("round");

    QTest::newRow("1 x 1") << 1 << 1 << quint64(0);
    QTest::newRow("7 x 3") << 7 << 3 << quint64(0);
    QTest::newRow("1000 x 20, later round") << 1000 << 20 << quint64(12);
}

void TestSenvoSim::everyHostSendsEveryReadingEachRound()
{
    QFETCH(int, hosts);
    QFETCH(int, readings);
    QFETCH(quint64, round);

    const DatagramFormatter formatter(hosts, readings);
    QCOMPARE(formatter.roundLength(), quint64(hosts) * quint64(readings));
    QSet<QByteArray> seen;
    const quint64 first = round * formatter.roundLength();
    for (quint64 sequence = first; sequence < first + formatter.roundLength(); ++sequence) {
        const DatagramFormatter::Sample sample = formatter.sample(sequence);
        QVERIFY(sample.host >= 0 && sample.host < hosts);
        QVERIFY(sample.reading >= 0 && sample.reading < readings);
        seen.insert(formatter.hostName(sample.host) + ' '
                    + DatagramFormatter::readingName(sample.reading));
    }
    QCOMPARE(seen.size(), hosts * readings);
}

void TestSenvoSim::valuesStayInRangeAndMoveSmoothly_data()
{
    QTest::addColumn<int>("reading");
    for (int reading = 0; reading < 16; ++reading)
        QTest::newRow(DatagramFormatter::readingName(reading).constData()) << reading;
}

void TestSenvoSim::valuesStayInRangeAndMoveSmoothly()
{
    QFETCH(int, reading);
    constexpr int hosts = 5;
    const DatagramFormatter formatter(hosts, 16);
    const DatagramFormatter::Range range = DatagramFormatter::range(reading);
    const double span = range.high - range.low;
    for (int host = 0; host < hosts; ++host) {
        double lowest = range.high;
        double highest = range.low;
        double previous = 0;
        for (quint64 round = 0; round < 400; ++round) {
            const quint64 sequence =
                round * formatter.roundLength() + quint64(reading * hosts + host);
            const DatagramFormatter::Sample sample = formatter.sample(sequence);
            QCOMPARE(sample.host, host);
            QCOMPARE(sample.reading, reading);
            QVERIFY2(sample.value >= range.low && sample.value <= range.high,
                     qPrintable(QString::number(sample.value)));
            if (round > 0)
                QVERIFY2(std::abs(sample.value - previous) <= 0.1 * span,
                         qPrintable(u"%1 -> %2"_qs.arg(previous).arg(sample.value)));
            previous = sample.value;
            lowest = std::min(lowest, sample.value);
            highest = std::max(highest, sample.value);
        }
        // A reading that never moves would not show whether the table keeps up.
        QVERIFY(highest - lowest >= 0.3 * span);
    }
}

void TestSenvoSim::senderDeliversBatchesInOrder_data()
{
    QTest::addColumn<bool>("portable");
    QTest::addColumn<QString>("address");
    for (const bool portable : {false, true}) {
        for (const char *address : {"127.0.0.1", "::1"})
            QTest::addRow("%s %s", portable ? "portable" : "platform", address)
                << portable << QString::fromLatin1(address);
    }
}

void TestSenvoSim::senderDeliversBatchesInOrder()
{
    QFETCH(bool, portable);
    QFETCH(QString, address);

    QUdpSocket receiver;
    QVERIFY(receiver.bind(QHostAddress(address), 0));
    const std::unique_ptr<DatagramSender> sender =
        portable ? DatagramSender::createPortable() : DatagramSender::create();
    QVERIFY2(sender->open(QHostAddress(address), receiver.localPort()),
             qPrintable(sender->errorString()));

    const DatagramFormatter formatter(30, 5);
    QList<QByteArray> expected;
    for (const int size : {DatagramSender::maxBatch, 1, 10}) {
        QList<QByteArray> batch;
        for (int i = 0; i < size; ++i)
            batch.append(formatted(formatter, quint64(expected.size() + i)));
        const QList<QByteArrayView> views(batch.cbegin(), batch.cend());
        QCOMPARE(sender->send(std::span(views.constData(), size_t(views.size()))), size);
        expected += batch;
    }

    QList<QByteArray> received;
    while (received.size() < expected.size()
           && (receiver.hasPendingDatagrams() || receiver.waitForReadyRead(5000)))
        received.append(receiver.receiveDatagram().data());
    QCOMPARE(received, expected);
}

void TestSenvoSim::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("hosts");
    QTest::addColumn<double>("rate");
    QTest::addColumn<quint64>("count");
    QTest::addColumn<double>("duration");
    QTest::addColumn<int>("batch");

    constexpr quint64 endless = std::numeric_limits<quint64>::max();
    constexpr double noTimeLimit = std::numeric_limits<double>::infinity();
    QTest::newRow("defaults: loopback, ten seconds")
        << QStringList() << u"127.0.0.1"_qs << 5140 << 100 << 1000.0 << endless << 10.0 << 64;
    QTest::newRow("a count alone runs until it is sent")
        << QStringList{u"--count"_qs, u"500"_qs} << u"127.0.0.1"_qs << 5140 << 100 << 1000.0
        << quint64(500) << noTimeLimit << 64;
    QTest::newRow("count and duration")
        << QStringList{u"--count"_qs, u"500"_qs, u"--duration"_qs, u"2.5"_qs} << u"127.0.0.1"_qs
        << 5140 << 100 << 1000.0 << quint64(500) << 2.5 << 64;
    QTest::newRow("burst wins over a rate")
        << QStringList{u"--rate"_qs, u"300"_qs, u"--burst"_qs} << u"127.0.0.1"_qs << 5140 << 100
        << 0.0 << endless << 10.0 << 64;
    QTest::newRow("everything given")
        << QStringList{u"--host"_qs, u"::1"_qs,    u"--port"_qs, u"65535"_qs,   u"--hosts"_qs,
                       u"30000"_qs,  u"--rate"_qs, u"2000"_qs,   u"--batch"_qs, u"1"_qs}
        << u"::1"_qs << 65535 << 30000 << 2000.0 << endless << 10.0 << 1;
}

void TestSenvoSim::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, address);
    QFETCH(int, port);
    QFETCH(int, hosts);
    QFETCH(double, rate);
    QFETCH(quint64, count);
    QFETCH(double, duration);
    QFETCH(int, batch);

    SimCommandLine commandLine;
    const auto options = commandLine.parse(QStringList{u"senvo-sim"_qs} + arguments);
    QVERIFY2(options, qPrintable(commandLine.errorText()));
    QCOMPARE(options->address, QHostAddress(address));
    QCOMPARE(options->port, port);
    QCOMPARE(options->hosts, hosts);
    QCOMPARE(options->rate, rate);
    QCOMPARE(options->count, count);
    QCOMPARE(options->duration, duration);
    QCOMPARE(options->batch, batch);
}

void TestSenvoSim::commandLineMistakes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("complaint");

    QTest::newRow("port 0") << QStringList{u"--port"_qs, u"0"_qs} << u"--port"_qs;
    QTest::newRow("port too large") << QStringList{u"--port"_qs, u"65536"_qs} << u"--port"_qs;
    QTest::newRow("port not a number") << QStringList{u"--port"_qs, u"x"_qs} << u"--port"_qs;
    QTest::newRow("no hosts") << QStringList{u"--hosts"_qs, u"0"_qs} << u"--hosts"_qs;
    QTest::newRow("too many readings")
        << QStringList{u"--readings"_qs, u"1001"_qs} << u"--readings"_qs;
    QTest::newRow("negative rate") << QStringList{u"--rate"_qs, u"-1"_qs} << u"--rate"_qs;
    QTest::newRow("endless rate") << QStringList{u"--rate"_qs, u"inf"_qs} << u"--rate"_qs;
    QTest::newRow("duration not a number")
        << QStringList{u"--duration"_qs, u"nan"_qs} << u"--duration"_qs;
    QTest::newRow("negative count") << QStringList{u"--count"_qs, u"-3"_qs} << u"--count"_qs;
    QTest::newRow("batch too large") << QStringList{u"--batch"_qs, u"65"_qs} << u"--batch"_qs;
    QTest::newRow("unknown option") << QStringList{u"--fast"_qs} << u"fast"_qs;
    QTest::newRow("stray argument") << QStringList{u"5140"_qs} << u"5140"_qs;
    QTest::newRow("every host silent")
        << QStringList{u"--hosts"_qs, u"3"_qs, u"--silent-hosts"_qs, u"3"_qs}
        << u"--silent-hosts"_qs;
    QTest::newRow("a silent reading of hosts with one")
        << QStringList{u"--readings"_qs, u"1"_qs, u"--silent-reading"_qs, u"1"_qs}
        << u"--silent-reading"_qs;
    QTest::newRow("more hosts over limits than hosts")
        << QStringList{u"--hosts"_qs, u"3"_qs, u"--over-limits"_qs, u"4"_qs} << u"--over-limits"_qs;
    QTest::newRow("silent before the start")
        << QStringList{u"--silent-after"_qs, u"-1"_qs} << u"--silent-after"_qs;
}

void TestSenvoSim::commandLineMistakes()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, complaint);

    SimCommandLine commandLine;
    QVERIFY(!commandLine.parse(QStringList{u"senvo-sim"_qs} + arguments));
    QVERIFY(!commandLine.wantsHelp());
    QVERIFY2(commandLine.errorText().contains(complaint), qPrintable(commandLine.errorText()));
}

void TestSenvoSim::fallingSilent_data()
{
    QTest::addColumn<int>("silentHosts");
    QTest::addColumn<int>("silentReadings");
    QTest::addColumn<QStringList>("heldBack"); // "host:reading", of 5 hosts x 3 readings

    QTest::newRow("none") << 0 << 0 << QStringList();
    QTest::newRow("the last two hosts")
        << 2 << 0 << QStringList{u"3:0"_qs, u"4:0"_qs, u"3:1"_qs, u"4:1"_qs, u"3:2"_qs, u"4:2"_qs};
    QTest::newRow("the last reading of the first host") << 0 << 1 << QStringList{u"0:2"_qs};
    QTest::newRow("both") << 1 << 2
                          << QStringList{u"4:0"_qs, u"4:1"_qs, u"0:2"_qs, u"1:2"_qs, u"4:2"_qs};
}

void TestSenvoSim::fallingSilent()
{
    QFETCH(int, silentHosts);
    QFETCH(int, silentReadings);
    QFETCH(QStringList, heldBack);

    const DatagramFormatter formatter(5, 3);
    const Silencing silencing(5, 3, silentHosts, silentReadings);
    QCOMPARE(silencing.isEmpty(), heldBack.isEmpty());
    // Every round alike.
    for (const quint64 round : {0, 7}) {
        QStringList held;
        for (quint64 i = 0; i < formatter.roundLength(); ++i) {
            const quint64 sequence = round * formatter.roundLength() + i;
            if (silencing.holdsBack(sequence)) {
                const DatagramFormatter::Sample sample = formatter.sample(sequence);
                held << u"%1:%2"_qs.arg(sample.host).arg(sample.reading);
            }
        }
        QCOMPARE(held, heldBack);
    }
}

void TestSenvoSim::goingOverLimits_data()
{
    valuesStayInRangeAndMoveSmoothly_data();
}

void TestSenvoSim::goingOverLimits()
{
    QFETCH(int, reading);
    SimCommandLine commandLine;
    const auto options =
        commandLine.parse({u"senvo-sim"_qs, u"--hosts"_qs, u"4"_qs, u"--readings"_qs, u"16"_qs,
                           u"--over-limits"_qs, u"2"_qs});
    QVERIFY2(options, qPrintable(commandLine.errorText()));
    const DatagramFormatter over(options->hosts, options->readings, options->overLimitHosts);
    const DatagramFormatter usual(options->hosts, options->readings);
    const DatagramFormatter::Range range = DatagramFormatter::range(reading);
    // Well above the range, or all the way to 100 %.
    const double peak = std::min(range.high + 0.4 * (range.high - range.low),
                                 DatagramFormatter::unit(reading) == "%" ? 100.0 : 1e9);
    for (int host = 0; host < options->hosts; ++host) {
        int roundsAbove = 0;
        double highest = range.low;
        for (quint64 round = 0; round < 3 * DatagramFormatter::excursionPeriod; ++round) {
            const quint64 sequence = round * over.roundLength() + quint64(reading * 4 + host);
            const double value = over.sample(sequence).value;
            highest = std::max(highest, value);
            roundsAbove += value > range.high ? 1 : 0;
            if (host >= options->overLimitHosts)
                QCOMPARE(value, usual.sample(sequence).value);
        }
        // Now and then, not all the time: a third of the rounds at most, in every period.
        if (host < options->overLimitHosts && range.high < 100) {
            QVERIFY2(highest >= peak, qPrintable(QString::number(highest)));
            QVERIFY(roundsAbove >= 3 && roundsAbove <= 3 * DatagramFormatter::excursionRounds);
        }
    }
}

QTEST_GUILESS_MAIN(TestSenvoSim)
#include "tst_senvosim.moc"
