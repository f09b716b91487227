#include "apppathrun.h"

#include "engine/reception/senderfilter.h"
#include "heartbeat.h"
#include "processstats.h"
#include "receivingwindow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>

namespace {

constexpr int heartbeatMs = 10;
constexpr int idleMs = 300;

quint16 freePort()
{
    QUdpSocket probe;
    return probe.bind(QHostAddress::Any, 0) ? probe.localPort() : 0;
}

qint64 filledPairs(const ReadingsTable &table)
{
    qint64 filled = 0;
    for (int row = 0; row < table.hostCount(); ++row) {
        for (int pair = 0; pair < ReadingsTable::pairCount; ++pair) {
            if (!table.text(row, ReadingsTable::firstNameColumn + 2 * pair + 1).isEmpty())
                ++filled;
        }
    }
    return filled;
}

} // namespace

double AppPathRun::Result::lossPercent() const
{
    return sent > 0 ? 100.0 * double(sent - std::min(sent, received)) / double(sent) : 0;
}

double AppPathRun::Result::cpuMicrosPerDatagram() const
{
    return received > 0 ? cpuSeconds * 1e6 / double(received) : 0;
}

AppPathRun::Result AppPathRun::run(const QString &generator, const Generator::Traffic &traffic,
                                   const Extras &extras)
{
    Result result;
    const quint16 port = freePort();
    ReceivingWindow window(port);
    if (port == 0 || !window.isListening()) {
        result.error = u"cannot listen: %1"_qs.arg(window.errorString());
        return result;
    }
    window.show();
    if (extras.overview)
        window.showOverview();
    window.findHost(extras.hostFilter);
    const std::optional<SenderFilter> senders = SenderFilter::fromEntries(extras.allowedSenders);
    if (!senders) {
        result.error = u"the list of allowed senders has an error"_qs;
        return result;
    }
    window.receiver().setSenderFilter(*senders);
    QCoreApplication::processEvents();

    Generator sender(generator);
    QEventLoop loop;
    qint64 lastArrival = 0;
    qint64 firstArrival = -1;
    double lastPackets = 0;
    double cpuAtLastArrival = 0;
    const double cpuBefore = ProcessStats::cpuSeconds();
    bool senderDone = false;
    qint64 lastRefresh = -1;
    qint64 lastSample = 0;
    qint64 settledAt = -1;

    // A beat's gap counts while readings arrive; each beat also samples the run.
    Heartbeat heartbeat(heartbeatMs, &loop, [&](qint64 now) {
        const double packets = window.receiver().packets();
        const bool receiving = packets > 0 && !senderDone;
        if (packets != lastPackets) {
            if (firstArrival < 0)
                firstArrival = now;
            lastPackets = packets;
            lastArrival = now;
            cpuAtLastArrival = ProcessStats::cpuSeconds();
        }
        if (receiving)
            result.counterLag = std::max(result.counterLag, packets - window.shownPackets());
        if (extras.residentSampleSeconds > 0
            && now - lastSample >= qint64(extras.residentSampleSeconds) * 1000000000) {
            lastSample = now;
            result.residentSamples.append({double(now) / 1e9, ProcessStats::residentBytes()});
        }
        const bool allIn = senderDone && packets >= double(sender.sent());
        const bool quiet =
            senderDone && (now - std::max(lastArrival, qint64(0))) / 1000000 >= idleMs;
        if (allIn || quiet)
            loop.quit();
        return receiving;
    });
    heartbeat.restartClock();
    // Each refresh shows the count as it is at that moment; between refreshes it ages.
    QObject::connect(&window.receiver(), &DatagramReceiver::countersChanged, &loop, [&] {
        const qint64 now = heartbeat.elapsedNs();
        if (lastRefresh >= 0 && !senderDone)
            result.longestRefreshMs =
                std::max(result.longestRefreshMs, double(now - lastRefresh) / 1e6);
        lastRefresh = now;
        if (window.shownPackets() == window.receiver().packets())
            settledAt = now;
    });
    QObject::connect(&sender, &Generator::finished, &loop, [&] { senderDone = true; });
    // However the run goes, it ends.
    const double expectedSeconds = traffic.count > 0 && traffic.rate > 0
                                       ? double(traffic.count) / traffic.rate
                                       : traffic.duration;
    QTimer::singleShot(int((expectedSeconds + 120) * 1000), &loop, &QEventLoop::quit);

    if (!sender.start(port, traffic)) {
        result.error = u"cannot start the generator: %1"_qs.arg(sender.errorString());
        return result;
    }
    heartbeat.start();
    loop.exec();
    result.longestGapMs = heartbeat.longestGapMs();
    result.longestGapEndSeconds = heartbeat.longestGapEndSeconds();
    sender.waitForFinished(10000);
    if (!sender.succeeded()) {
        result.error = u"the generator failed: %1"_qs.arg(sender.errorString());
        return result;
    }

    // Traffic is over; the refresh that shows the final count is still due.
    QElapsedTimer settling;
    settling.start();
    while (window.shownPackets() != window.receiver().packets() && settling.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    if (settledAt >= 0 && window.shownPackets() == window.receiver().packets())
        result.settleMs = double(settledAt - lastArrival) / 1e6;

    result.ran = true;
    result.sent = sender.sent();
    result.sentRate = sender.sentRate();
    result.received = quint64(window.receiver().packets());
    result.seconds = firstArrival >= 0 ? double(lastArrival - firstArrival) / 1e9 : 0;
    result.cpuSeconds =
        (cpuAtLastArrival > 0 ? cpuAtLastArrival : ProcessStats::cpuSeconds()) - cpuBefore;
    result.hosts = window.table().hostCount();
    if (extras.countPairs)
        result.filledPairs = filledPairs(window.table());
    return result;
}
