#include "scrapecost.h"

#include "heartbeat.h"
#include "processstats.h"

#include "engine/limits/limitrules.h"
#include "engine/limits/limitwatch.h"
#include "engine/metrics/metricsconnection.h"
#include "engine/metrics/metricsexposition.h"
#include "engine/metrics/metricsserver.h"
#include "engine/metrics/metricssettings.h"
#include "engine/reception/datagramreceiver.h"
#include "engine/reception/reading.h"
#include "engine/reception/readingstable.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QTimer>

#include <atomic>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void fill(ReadingsTable &table, int hosts, int readings)
{
    Reading reading;
    reading.date = u"Jun 10"_qs;
    reading.time = u"19:35:00"_qs;
    table.beginBatch();
    for (int host = 0; host < hosts; ++host) {
        reading.host = u"host%1"_qs.arg(host, 5, 10, QChar(u'0'));
        for (int pair = 0; pair < readings; ++pair) {
            reading.name = u" Reading%1"_qs.arg(pair);
            // One reading in ten a word, the rest numbers with a unit.
            reading.value =
                pair == readings - 1 ? u" up "_qs : u" %1.%2 %"_qs.arg(host % 100).arg(pair);
            table.fillgrid(reading);
        }
    }
    table.publish();
}

// What the client counted, read in the second thread.
struct Reader
{
    std::atomic<bool> done = false;
    qint64 bytes = 0;
    qint64 lines = 0;
    bool complete = false; // the last chunk arrived
    double seconds = 0;
};

void readWhole(quint16 port, Reader &reader, QEventLoop &loop)
{
    QElapsedTimer clock;
    clock.start();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
        const char request[] = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        if (::send(fd, request, sizeof request - 1, 0) == qint64(sizeof request - 1)) {
            std::vector<char> buffer(256 * 1024);
            QByteArray tail;
            for (;;) {
                const ssize_t count = ::recv(fd, buffer.data(), buffer.size(), 0);
                if (count <= 0)
                    break;
                reader.bytes += count;
                reader.lines += std::count(buffer.data(), buffer.data() + count, '\n');
                tail = (tail
                        + QByteArray(buffer.data() + std::max<ssize_t>(0, count - 16),
                                     std::min<ssize_t>(count, 16)))
                           .right(16);
            }
            reader.complete = tail.endsWith("\r\n0\r\n\r\n");
        }
    }
    if (fd >= 0)
        ::close(fd);
    reader.seconds = double(clock.nsecsElapsed()) / 1e9;
    reader.done = true;
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
}

} // namespace

ScrapeCost::Result ScrapeCost::measure(int hosts, int readings)
{
    Result result;
    ReadingsTable table(nullptr, std::max(hosts, ReadingsTable::defaultHostLimit));
    LimitWatch watch(table);
    watch.setRules(LimitRules(
        QJsonDocument::fromJson(R"({"limits": [{"reading": "Reading0", "warningAbove": 80}]})")
            .object()));
    fill(table, hosts, readings);
    // The rules are applied in slices from the event loop.
    while (watch.isApplying()) {
        QEventLoop wait;
        QObject::connect(&watch, &LimitWatch::applied, &wait, &QEventLoop::quit);
        wait.exec();
    }
    result.hosts = table.hostCount();
    result.readings = readings;

    // The answer alone, as the server writes it, into a buffer emptied after each piece.
    {
        MetricsExposition exposition(table, {}, MetricsExposition::Format::Text004);
        QByteArray piece;
        QElapsedTimer whole;
        whole.start();
        for (bool more = true; more;) {
            piece.clear();
            QElapsedTimer one;
            one.start();
            more = exposition.writeNext(piece, MetricsConnection::pieceSize);
            result.longestPieceMs =
                std::max(result.longestPieceMs, double(one.nsecsElapsed()) / 1e6);
            result.series +=
                piece.count('\n') - piece.count("\n#") - (piece.startsWith('#') ? 1 : 0);
        }
        result.writeSeconds = double(whole.nsecsElapsed()) / 1e9;
    }

    DatagramReceiver receiver(&table);
    MetricsServer server(table, receiver);
    if (!server.listen(MetricsSettings(u"127.0.0.1:0"_qs, {})).isEmpty())
        return result;

    QObject context;
    Heartbeat heartbeat(5, &context);
    QEventLoop loop;
    Reader reader;
    QTimer::singleShot(60'000, &loop, &QEventLoop::quit);
    ProcessStats::resetPeak();
    result.residentBefore = ProcessStats::residentBytes();
    heartbeat.start();
    heartbeat.restartClock();
    std::thread client(readWhole, server.serverPort(), std::ref(reader), std::ref(loop));
    loop.exec();
    client.join();
    result.peakExtra = ProcessStats::peakResidentBytes() - result.residentBefore;
    result.longestGapMs = heartbeat.longestGapMs();
    result.seconds = reader.seconds;
    result.ran = reader.done && reader.complete && server.counts().served == 1;
    result.bytes = reader.bytes;
    return result;
}
