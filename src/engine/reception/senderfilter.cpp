#include "senderfilter.h"

#include "addresstext.h"

#include <QHostAddress>
#include <QtEndian>

#include <algorithm>

namespace {

// ::ffff:0.0.0.0 to ::ffff:255.255.255.255, where IPv4 senders appear on an IPv6 socket.
constexpr quint64 mappedLow = 0x0000'ffff'0000'0000;
constexpr quint64 mappedHigh = 0x0000'ffff'ffff'ffff;

// The bits below a prefix of length bits in a word of width bits (length 0 to width).
quint64 hostBits(int length, int width)
{
    if (length >= width)
        return 0;
    const quint64 all = width == 64 ? ~quint64(0) : (quint64(1) << width) - 1;
    return length <= 0 ? all : all >> length;
}

// Sorted by their start, overlapping ones joined, so that one binary search finds the only
// range a key can lie in.
template<typename Range> void merge(std::vector<Range> &ranges)
{
    std::sort(ranges.begin(), ranges.end(),
              [](const Range &a, const Range &b) { return a.first < b.first; });
    std::vector<Range> merged;
    for (const Range &range : ranges) {
        if (!merged.empty() && range.first <= merged.back().last) {
            merged.back().last = std::max(merged.back().last, range.last);
        } else {
            merged.push_back(range);
        }
    }
    ranges = std::move(merged);
}

template<typename Range, typename Key>
bool contains(const std::vector<Range> &ranges, const Key &key)
{
    auto after = std::upper_bound(ranges.cbegin(), ranges.cend(), key,
                                  [](const Key &k, const Range &range) { return k < range.first; });
    return after != ranges.cbegin() && key <= std::prev(after)->last;
}

} // namespace

QString SenderFilter::addEntry(const QString &entry, Ranges &ranges)
{
    const QString shown = entry.size() > 60 ? entry.left(60) + u"..."_qs : entry;
    const qsizetype slash = entry.indexOf(u'/');
    const std::optional<QHostAddress> address =
        addressFromText(slash < 0 ? QStringView(entry) : QStringView(entry).first(slash).trimmed());
    if (!address) {
        return tr("\"%1\" is not an address or a prefix. Write one per line, such as "
                  "192.168.1.0/24, 10.0.0.5, fd00::/8 or ::1.")
            .arg(shown);
    }
    const bool ipv4 = address->protocol() == QAbstractSocket::IPv4Protocol;
    const int width = ipv4 ? 32 : 128;
    int length = width;
    if (slash >= 0) {
        const QStringView digits = QStringView(entry).sliced(slash + 1).trimmed();
        const bool whole = !digits.isEmpty() && digits.size() <= 3
                           && std::all_of(digits.begin(), digits.end(),
                                          [](QChar c) { return c >= u'0' && c <= u'9'; });
        length = whole ? digits.toInt() : -1;
        if (length < 0 || length > width) {
            return tr("\"%1\" is not a prefix: after the \"/\" comes its length in bits, a "
                      "whole number from 0 to %2.")
                .arg(shown)
                .arg(width);
        }
    }

    if (ipv4) {
        const quint32 host = quint32(hostBits(length, 32));
        const quint32 first = address->toIPv4Address() & ~host;
        ranges.ipv4.push_back({first, first | host});
        return {};
    }
    const Q_IPV6ADDR bytes = address->toIPv6Address();
    const quint64 highHost = hostBits(length, 64);
    const quint64 lowHost = hostBits(length - 64, 64);
    const Wide first{qFromBigEndian<quint64>(bytes.c) & ~highHost,
                     qFromBigEndian<quint64>(bytes.c + 8) & ~lowHost};
    const Wide last{first.high | highHost, first.low | lowHost};
    // Mapped IPv4 senders are matched as IPv4, so a prefix that holds some of them becomes
    // the IPv4 range it holds.
    if (first.high == 0 && first.low >= mappedLow && last.high == 0 && last.low <= mappedHigh) {
        ranges.ipv4.push_back({quint32(first.low), quint32(last.low)});
        return {};
    }
    if (first <= Wide{0, mappedLow} && Wide{0, mappedHigh} <= last)
        ranges.ipv4.push_back({0, 0xffff'ffff});
    ranges.ipv6.push_back({first, last});
    return {};
}

QString SenderFilter::check(const QString &entry)
{
    Ranges scratch;
    return addEntry(entry.trimmed(), scratch);
}

std::optional<SenderFilter> SenderFilter::fromEntries(const QStringList &entries, QString *error)
{
    SenderFilter filter;
    for (const QString &text : entries) {
        const QString entry = text.trimmed();
        if (entry.isEmpty())
            continue;
        if (const QString why = addEntry(entry, filter.m_ranges); !why.isEmpty()) {
            if (error)
                *error = why;
            return std::nullopt;
        }
        filter.m_entries.append(entry);
    }
    merge(filter.m_ranges.ipv4);
    merge(filter.m_ranges.ipv6);
    if (!filter.m_entries.isEmpty())
        filter.m_kept.resize(keptVerdicts);
    if (error)
        error->clear();
    return filter;
}

bool SenderFilter::decide(const SenderAddress &sender) const
{
    const quint8 *const bytes = sender.bytes().data();
    switch (sender.family()) {
    case SenderAddress::Family::IPv4:
        return contains(m_ranges.ipv4, qFromBigEndian<quint32>(bytes));
    case SenderAddress::Family::IPv6: {
        const Wide key{qFromBigEndian<quint64>(bytes), qFromBigEndian<quint64>(bytes + 8)};
        if (key.high == 0 && key.low >= mappedLow && key.low <= mappedHigh)
            return contains(m_ranges.ipv4, quint32(key.low));
        return contains(m_ranges.ipv6, key);
    }
    case SenderAddress::Family::Unknown:
        break;
    }
    return false;
}
