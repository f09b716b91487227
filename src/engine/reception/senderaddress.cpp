#include "senderaddress.h"

#include <QHostAddress>

#include <algorithm>
#include <cstring>

namespace {

// ::ffff:a.b.c.d
bool isMappedIPv4(const std::array<quint8, 16> &bytes)
{
    return std::all_of(bytes.cbegin(), bytes.cbegin() + 10, [](quint8 b) { return b == 0; })
           && bytes[10] == 0xff && bytes[11] == 0xff;
}

quint32 ipv4At(const quint8 *bytes)
{
    return quint32(bytes[0]) << 24 | quint32(bytes[1]) << 16 | quint32(bytes[2]) << 8
           | quint32(bytes[3]);
}

} // namespace

SenderAddress SenderAddress::fromIPv4(const void *bytes)
{
    SenderAddress address;
    std::memcpy(address.m_bytes.data(), bytes, 4);
    address.m_family = Family::IPv4;
    return address;
}

SenderAddress SenderAddress::fromIPv6(const void *bytes)
{
    SenderAddress address;
    std::memcpy(address.m_bytes.data(), bytes, 16);
    address.m_family = Family::IPv6;
    return address;
}

SenderAddress SenderAddress::fromHostAddress(const QHostAddress &address)
{
    switch (address.protocol()) {
    case QAbstractSocket::IPv4Protocol: {
        const quint32 ip = address.toIPv4Address();
        const quint8 bytes[4] = {quint8(ip >> 24), quint8(ip >> 16), quint8(ip >> 8), quint8(ip)};
        return fromIPv4(bytes);
    }
    case QAbstractSocket::IPv6Protocol: {
        const Q_IPV6ADDR ip = address.toIPv6Address();
        return fromIPv6(ip.c);
    }
    default:
        return {};
    }
}

QString SenderAddress::toText() const
{
    switch (m_family) {
    case Family::IPv4:
        return QHostAddress(ipv4At(m_bytes.data())).toString();
    case Family::IPv6:
        if (isMappedIPv4(m_bytes))
            return QHostAddress(ipv4At(m_bytes.data() + 12)).toString();
        return QHostAddress(m_bytes.data()).toString();
    case Family::Unknown:
        break;
    }
    return {};
}
