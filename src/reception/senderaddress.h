#pragma once

#include <QString>
#include <QtGlobal>

#include <array>

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

    friend bool operator==(const SenderAddress &, const SenderAddress &) = default;

private:
    std::array<quint8, 16> m_bytes{};
    Family m_family = Family::Unknown;
};
