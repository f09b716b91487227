#include "filtercost.h"

#include "datagramformatter.h"
#include "engine/reception/datagramreceiver.h"
#include "engine/reception/datagramsocket.h"
#include "engine/reception/readingstable.h"
#include "engine/reception/senderfilter.h"
#include "processstats.h"

#include <QByteArray>

#include <algorithm>
#include <limits>
#include <vector>

namespace {

// Hands the receiver one round of datagrams over and over, each with its sender, until a
// given number have been taken.
class FeedSocket final : public DatagramSocket
{
public:
    FeedSocket(const DatagramFormatter &formatter, std::vector<SenderAddress> senders)
        : DatagramSocket(nullptr)
        , m_senders(std::move(senders))
    {
        char storage[DatagramFormatter::maxDatagramSize];
        for (quint64 sequence = 0; sequence < formatter.roundLength(); ++sequence) {
            const int length = formatter.format(sequence, storage);
            m_starts.push_back(m_bytes.size());
            m_bytes.append(storage, length);
        }
        m_starts.push_back(m_bytes.size());
    }

    bool bind(quint16, const QHostAddress &) override { return m_bound = true; }
    void close() override { m_bound = false; }
    bool isBound() const override { return m_bound; }
    int receive(std::span<QByteArrayView> out, std::span<SenderAddress> senders) override
    {
        const int count = int(std::min<quint64>({out.size(), quint64(batchSize), m_left}));
        for (int i = 0; i < count; ++i) {
            out[i] = QByteArrayView(m_bytes).sliced(m_starts[m_next],
                                                    m_starts[m_next + 1] - m_starts[m_next]);
            senders[i] = m_senders[m_next % m_senders.size()];
            if (++m_next + 1 == m_starts.size())
                m_next = 0;
        }
        m_left -= quint64(count);
        return count;
    }

    // The receiver takes count datagrams, as many wake-ups as that needs.
    void deliver(quint64 count)
    {
        m_left = count;
        while (m_left > 0)
            Q_EMIT readyRead();
    }

private:
    QByteArray m_bytes;
    std::vector<qsizetype> m_starts;
    std::vector<SenderAddress> m_senders;
    size_t m_next = 0;
    quint64 m_left = 0;
    bool m_bound = false;
};

SenderAddress ipv4(quint32 address)
{
    const quint8 bytes[4] = {quint8(address >> 24), quint8(address >> 16), quint8(address >> 8),
                             quint8(address)};
    return SenderAddress::fromIPv4(bytes);
}

// Nanoseconds per datagram, the best of rounds, with and without the filter in turn.
std::pair<double, double> bestOf(const DatagramFormatter &formatter,
                                 const std::vector<SenderAddress> &senders,
                                 const SenderFilter &filter, quint64 datagrams, int rounds)
{
    ReadingsTable table;
    auto *const socket = new FeedSocket(formatter, senders);
    DatagramReceiver receiver(&table, nullptr, socket);
    receiver.bind(u"9"_qs);
    // Every host's row made, so that only updates are measured.
    socket->deliver(formatter.roundLength());
    double best[2] = {std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};
    for (int round = 0; round < rounds; ++round) {
        for (const bool filtered : {false, true}) {
            receiver.setSenderFilter(filtered ? filter : SenderFilter());
            const qint64 start = ProcessStats::threadCpuNanos();
            socket->deliver(datagrams);
            best[filtered] = std::min(best[filtered], double(ProcessStats::threadCpuNanos() - start)
                                                          / double(datagrams));
        }
    }
    if (receiver.ignored() != 0)
        qFatal("the list of allowed senders refused a sender it should allow");
    return {best[0], best[1]};
}

} // namespace

QStringList FilterCost::allowedSenders(int entries)
{
    QStringList list;
    for (int i = 0; list.size() < entries - 2; ++i) {
        list << (i % 4 == 3 ? u"fd00:%1::/32"_qs.arg(i, 0, 16)
                            : u"172.%1.%2.0/24"_qs.arg(16 + i / 256).arg(i % 256));
    }
    list << u"127.0.0.1"_qs << u"10.0.0.0/8"_qs;
    return list;
}

FilterCost::Result FilterCost::measure(int entries, int hosts, int readings, quint64 datagrams,
                                       int rounds)
{
    const DatagramFormatter formatter(hosts, readings);
    QString error;
    const std::optional<SenderFilter> filter =
        SenderFilter::fromEntries(allowedSenders(entries), &error);
    if (!filter)
        qFatal("%s", qPrintable(error));
    Result result;
    result.entries = entries;
    result.hosts = formatter.hosts();
    std::tie(result.nanosOneSender, result.nanosOneSenderFiltered) =
        bestOf(formatter, {ipv4(0x7f000001)}, *filter, datagrams, rounds);
    // Datagram n comes from host n % hosts; that host sends from 10.x.y.z.
    std::vector<SenderAddress> perHost;
    for (int host = 0; host < formatter.hosts(); ++host)
        perHost.push_back(ipv4(0x0a000000 + quint32(host)));
    std::tie(result.nanosPerHost, result.nanosPerHostFiltered) =
        bestOf(formatter, perHost, *filter, datagrams, rounds);
    return result;
}
