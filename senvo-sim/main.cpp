// senvo-sim: sends the readings of simulated hosts to a Senvo-Net receiver, at a given
// rate or as fast as possible, for a number of datagrams or a time.

#include "datagramformatter.h"
#include "datagramsender.h"
#include "senvoversion.h"
#include "silencing.h"
#include "simcommandline.h"
#include "streamsender.h"

#include <QCoreApplication>
#include <QTextStream>

#include <array>
#include <chrono>
#include <optional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct Totals
{
    quint64 datagrams = 0;
    quint64 bytes = 0;
    double seconds = 0;
};

std::optional<Totals> run(const SimCommandLine::Options &options, DatagramSender &sender,
                          QString *error)
{
    DatagramFormatter formatter(options.hosts, options.readings, options.overLimitHosts);
    std::array<std::array<char, DatagramFormatter::maxDatagramSize>, DatagramSender::maxBatch>
        storage;
    std::array<QByteArrayView, DatagramSender::maxBatch> batch;

    // Paced sending wakes at most a few thousand times a second, in even steps.
    int batchSize = options.batch;
    if (options.rate > 0)
        batchSize = std::clamp(int(options.rate / 2000), 1, options.batch);

    const Silencing silencing(formatter.hosts(), formatter.readings(), options.silentHosts,
                              options.silentReadings);
    const auto silentFrom = std::chrono::duration<double>(options.silentAfter);
    // Datagrams held back keep their places, so that the hosts still sending keep their pace.
    quint64 sequence = 0;

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
            const auto due = start
                             + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(double(sequence) / options.rate));
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

        const auto places =
            int(std::min<quint64>(quint64(batchSize), options.count - totals.datagrams));
        const bool silenced = !silencing.isEmpty() && now - start >= silentFrom;
        int size = 0;
        for (int i = 0; i < places; ++i, ++sequence) {
            if (silenced && silencing.holdsBack(sequence))
                continue;
            const int length = formatter.format(sequence, storage[size_t(size)].data());
            batch[size_t(size)] = QByteArrayView(storage[size_t(size)].data(), length);
            ++size;
        }
        if (size == 0)
            continue;
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
    QCoreApplication::setApplicationVersion(SenvoVersion::text);
    QTextStream out(stdout);
    QTextStream err(stderr);

    SimCommandLine commandLine;
    const std::optional<SimCommandLine::Options> options =
        commandLine.parse(QCoreApplication::arguments());
    if (commandLine.wantsHelp()) {
        out << commandLine.helpText();
        return 0;
    }
    if (commandLine.wantsVersion()) {
        out << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion()
            << Qt::endl;
        return 0;
    }
    if (!options) {
        err << "senvo-sim: " << commandLine.errorText() << Qt::endl;
        return 2;
    }
    std::unique_ptr<DatagramSender> sender;
    if (options->tcp || options->tls)
        sender = std::make_unique<StreamSender>(StreamSender::Tls{
            options->tls, options->certificate, options->privateKey, options->ca});
    else
        sender = options->portable ? DatagramSender::createPortable() : DatagramSender::create();
    if (!sender->open(options->address, options->port)) {
        err << "senvo-sim: cannot open a socket: " << sender->errorString() << Qt::endl;
        return 1;
    }
    QString error;
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
