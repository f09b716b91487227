#pragma once

#include <QString>
#include <QtGlobal>

#include <array>
#include <cstring>

class QHostAddress;

// A datagram's sender as the socket gave it: raw bytes, turned into text only for the
// few datagrams that do not name their host.
class SenderAddress final
{
public:
    enum class Family : quint8 { Unknown, IPv4, IPv6 };

    SenderAddress() = default;
    // bytes in network order: 4 of them for IPv4, 16 for IPv6.
    static SenderAddress fromIPv4(const void *bytes);
    static SenderAddress fromIPv6(const void *bytes);
    static SenderAddress fromHostAddress(const QHostAddress &address);

    Family family() const { return m_family; }
    // In network order; only the first 4 count for IPv4.
    const std::array<quint8, 16> &bytes() const { return m_bytes; }
    // Dotted or colon notation; an IPv4 sender that reached an IPv6 socket is shown as the
    // IPv4 address it is. Empty when the sender is unknown.
    QString toText() const;

    // By whole words: the filter of senders compares one for every datagram, and the
    // defaulted comparison calls memcmp.
    friend bool operator==(const SenderAddress &a, const SenderAddress &b)
    {
        quint64 x[2];
        quint64 y[2];
        std::memcpy(x, a.m_bytes.data(), sizeof x);
        std::memcpy(y, b.m_bytes.data(), sizeof y);
        return ((x[0] ^ y[0]) | (x[1] ^ y[1])) == 0 && a.m_family == b.m_family;
    }

private:
    std::array<quint8, 16> m_bytes{};
    Family m_family = Family::Unknown;
};
