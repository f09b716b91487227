// senvo-sim: sends the readings of simulated hosts to a Senvo-Net receiver, at a given
// rate or as fast as possible, for a number of datagrams or a time.

#include "datagramformatter.h"
#include "datagramsender.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostInfo>
#include <QTextStream>

#include <array>
#include <chrono>
#include <limits>
#include <optional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct Options
{
    QHostAddress address;
    quint16 port = 5140;
    int hosts = 100;
    int readings = 8;
    double rate = 1000; // datagrams per second; 0 is as fast as possible
    quint64 count = std::numeric_limits<quint64>::max();
    double duration = std::numeric_limits<double>::infinity();
    int batch = DatagramSender::maxBatch;
    bool portable = false;
};

struct Totals
{
    quint64 datagrams = 0;
    quint64 bytes = 0;
    double seconds = 0;
};

std::optional<QHostAddress> resolve(const QString &name)
{
    if (QHostAddress address; address.setAddress(name))
        return address;
    const QHostInfo info = QHostInfo::fromName(name);
    if (info.addresses().isEmpty())
        return std::nullopt;
    return info.addresses().constFirst();
}

std::optional<Options> parseOptions(const QCoreApplication &app, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Sends the readings of simulated hosts to a Senvo-Net receiver as syslog datagrams."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption host(u"host"_qs, u"Address or name to send to."_qs, u"address"_qs,
                                  u"127.0.0.1"_qs);
    const QCommandLineOption port(u"port"_qs, u"UDP port to send to."_qs, u"port"_qs, u"5140"_qs);
    const QCommandLineOption hosts(u"hosts"_qs, u"Number of simulated hosts."_qs, u"n"_qs,
                                   u"100"_qs);
    const QCommandLineOption readings(u"readings"_qs, u"Named readings per host."_qs, u"n"_qs,
                                      u"8"_qs);
    const QCommandLineOption rate(
        u"rate"_qs, u"Datagrams per second; 0 sends as fast as possible."_qs, u"n"_qs, u"1000"_qs);
    const QCommandLineOption burst(u"burst"_qs, u"Send as fast as possible (as --rate 0)."_qs);
    const QCommandLineOption count(u"count"_qs, u"Stop after this many datagrams."_qs, u"n"_qs);
    const QCommandLineOption duration(
        u"duration"_qs, u"Stop after this many seconds (default 10 when no --count is given)."_qs,
        u"seconds"_qs);
    const QCommandLineOption batch(u"batch"_qs, u"Datagrams per system call, 1 to 64."_qs, u"n"_qs,
                                   u"64"_qs);
    const QCommandLineOption portable(u"portable"_qs,
                                      u"Send one datagram per call through QUdpSocket."_qs);
    parser.addOptions({host, port, hosts, readings, rate, burst, count, duration, batch, portable});
    parser.process(app);

    Options options;
    bool ok = false;
    const std::optional<QHostAddress> address = resolve(parser.value(host));
    if (!address) {
        *error = u"cannot resolve host %1"_qs.arg(parser.value(host));
        return std::nullopt;
    }
    options.address = *address;
    const uint portNumber = parser.value(port).toUInt(&ok);
    if (!ok || portNumber < 1 || portNumber > 65535) {
        *error = u"--port takes a number from 1 to 65535"_qs;
        return std::nullopt;
    }
    options.port = quint16(portNumber);
    options.hosts = parser.value(hosts).toInt(&ok);
    if (!ok || options.hosts < 1 || options.hosts > DatagramFormatter::maxHosts) {
        *error = u"--hosts takes a number from 1 to %1"_qs.arg(DatagramFormatter::maxHosts);
        return std::nullopt;
    }
    options.readings = parser.value(readings).toInt(&ok);
    if (!ok || options.readings < 1 || options.readings > DatagramFormatter::maxReadings) {
        *error = u"--readings takes a number from 1 to %1"_qs.arg(DatagramFormatter::maxReadings);
        return std::nullopt;
    }
    options.rate = parser.isSet(burst) ? 0 : parser.value(rate).toDouble(&ok);
    if (!parser.isSet(burst) && (!ok || options.rate < 0)) {
        *error = u"--rate takes a number of datagrams per second, 0 or more"_qs;
        return std::nullopt;
    }
    if (parser.isSet(count)) {
        options.count = parser.value(count).toULongLong(&ok);
        if (!ok) {
            *error = u"--count takes a whole number"_qs;
            return std::nullopt;
        }
    }
    if (parser.isSet(duration)) {
        options.duration = parser.value(duration).toDouble(&ok);
        if (!ok || options.duration < 0) {
            *error = u"--duration takes a number of seconds"_qs;
            return std::nullopt;
        }
    } else if (!parser.isSet(count)) {
        options.duration = 10;
    }
    options.batch = parser.value(batch).toInt(&ok);
    if (!ok || options.batch < 1 || options.batch > DatagramSender::maxBatch) {
        *error = u"--batch takes a number from 1 to %1"_qs.arg(DatagramSender::maxBatch);
        return std::nullopt;
    }
    options.portable = parser.isSet(portable);
    return options;
}

std::optional<Totals> run(const Options &options, DatagramSender &sender, QString *error)
{
    DatagramFormatter formatter(options.hosts, options.readings);
    std::array<std::array<char, DatagramFormatter::maxDatagramSize>, DatagramSender::maxBatch>
        storage;
    std::array<QByteArrayView, DatagramSender::maxBatch> batch;

    // Paced sending wakes at most a few thousand times a second, in even steps.
    int batchSize = options.batch;
    if (options.rate > 0)
        batchSize = std::clamp(int(options.rate / 2000), 1, options.batch);

    Totals totals;
    const Clock::time_point start = Clock::now();
    const auto deadline = options.duration * 1e9 < double(Clock::duration::max().count())
                              ? start
                                    + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(options.duration))
                              : Clock::time_point::max();
    auto shownSecond = QDateTime::currentSecsSinceEpoch();
    formatter.setTimestamp(QDateTime::currentDateTime());

    while (totals.datagrams < options.count) {
        Clock::time_point now = Clock::now();
        if (options.rate > 0) {
            const auto due =
                start
                + std::chrono::duration_cast<Clock::duration>(
                    std::chrono::duration<double>(double(totals.datagrams) / options.rate));
            if (due > now) {
                std::this_thread::sleep_until(std::min(due, deadline));
                now = Clock::now();
            }
        }
        if (now >= deadline)
            break;
        // Each datagram carries the time it was sent at, to the second.
        if (const auto second = QDateTime::currentSecsSinceEpoch(); second != shownSecond) {
            shownSecond = second;
            formatter.setTimestamp(QDateTime::currentDateTime());
        }

        const auto size =
            int(std::min<quint64>(quint64(batchSize), options.count - totals.datagrams));
        for (int i = 0; i < size; ++i) {
            const int length =
                formatter.format(totals.datagrams + quint64(i), storage[size_t(i)].data());
            batch[size_t(i)] = QByteArrayView(storage[size_t(i)].data(), length);
        }
        const int sent = sender.send(std::span(batch.data(), size_t(size)));
        if (sent < 0) {
            *error = sender.errorString();
            return std::nullopt;
        }
        for (int i = 0; i < sent; ++i)
            totals.bytes += quint64(batch[size_t(i)].size());
        totals.datagrams += quint64(sent);
        if (sent < size) {
            *error = sender.errorString();
            return std::nullopt;
        }
    }
    totals.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return totals;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"senvo-sim"_qs);
    QCoreApplication::setApplicationVersion(
        u"%1.%2.%3"_qs.arg(SENVO_VERSION_MAJOR).arg(SENVO_VERSION_MINOR).arg(SENVO_VERSION_PATCH));
    QTextStream out(stdout);
    QTextStream err(stderr);

    QString error;
    const std::optional<Options> options = parseOptions(app, &error);
    if (!options) {
        err << "senvo-sim: " << error << Qt::endl;
        return 2;
    }
    const std::unique_ptr<DatagramSender> sender =
        options->portable ? DatagramSender::createPortable() : DatagramSender::create();
    if (!sender->open(options->address, options->port)) {
        err << "senvo-sim: cannot open a socket: " << sender->errorString() << Qt::endl;
        return 1;
    }
    const std::optional<Totals> totals = run(*options, *sender, &error);
    if (!totals) {
        err << "senvo-sim: sending failed: " << error << Qt::endl;
        return 1;
    }
    const double rate = totals->seconds > 0 ? double(totals->datagrams) / totals->seconds : 0;
    out << "senvo-sim: sent " << totals->datagrams << " datagrams, " << totals->bytes
        << " bytes in " << QString::number(totals->seconds, 'f', 3) << " s ("
        << QString::number(rate, 'f', 0) << " datagrams/s) to " << options->address.toString()
        << " port " << options->port << Qt::endl;
    return 0;
}
