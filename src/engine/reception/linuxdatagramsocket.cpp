#include "linuxdatagramsocket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QNetworkInterface>

namespace {

// Room for bursts from many hosts; the kernel caps it at net.core.rmem_max
// unless we may raise it past that.
constexpr int receiveBufferBytes = 8 * 1024 * 1024;
constexpr qsizetype slotSize = 65536;

// A socket bound to port on address, or on every address, IPv4 and IPv6 alike, when
// address is null; -1 with errno set when that fails.
int openAndBind(const QHostAddress &address, quint16 port)
{
    sockaddr_storage where{};
    socklen_t size = sizeof(sockaddr_in6);
    auto *const ipv6 = reinterpret_cast<sockaddr_in6 *>(&where);
    ipv6->sin6_family = AF_INET6;
    ipv6->sin6_port = htons(port);
    ipv6->sin6_addr = in6addr_any;
    bool ipv4 = false;
    const quint32 ipv4Address = address.toIPv4Address(&ipv4);
    int v6only = 0;
    if (ipv4) {
        auto *const to = reinterpret_cast<sockaddr_in *>(&where);
        to->sin_family = AF_INET;
        to->sin_port = htons(port);
        to->sin_addr.s_addr = htonl(ipv4Address);
        size = sizeof(sockaddr_in);
    } else if (!address.isNull()) {
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&ipv6->sin6_addr, bytes.c, sizeof bytes.c);
        // A link-local address is only unique together with its interface.
        if (const QString scope = address.scopeId(); !scope.isEmpty())
            ipv6->sin6_scope_id = uint32_t(QNetworkInterface::interfaceIndexFromName(scope));
        v6only = 1;
    }
    int fd = ::socket(where.ss_family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0 && address.isNull()) {
        // No IPv6 on this machine: every IPv4 address.
        auto *const to = reinterpret_cast<sockaddr_in *>(&where);
        *to = {};
        to->sin_family = AF_INET;
        to->sin_port = htons(port);
        to->sin_addr.s_addr = htonl(INADDR_ANY);
        size = sizeof(sockaddr_in);
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    }
    if (fd < 0)
        return -1;
    if (where.ss_family == AF_INET6)
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &v6only, sizeof v6only);
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &receiveBufferBytes, sizeof(int)) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes, sizeof(int));
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&where), size) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

} // namespace

LinuxDatagramSocket::LinuxDatagramSocket(QObject *parent)
    : DatagramSocket(parent)
{
    connect(&m_notifier, &QSocketNotifier::activated, this, &DatagramSocket::readyRead);
}

LinuxDatagramSocket::~LinuxDatagramSocket()
{
    close();
}

bool LinuxDatagramSocket::bind(quint16 port, const QHostAddress &address)
{
    close();
    const int fd = openAndBind(address, port);
    if (fd < 0) {
        const int error = errno;
        if (error == EADDRINUSE)
            setFailure(Failure::InUse, port);
        else if (error == EACCES && port < 1024)
            setFailure(Failure::Privileged, port);
        else if (error == EADDRNOTAVAIL)
            setFailure(Failure::NoSuchAddress, port, address.toString());
        else
            setFailure(Failure::Other, port, QString::fromLocal8Bit(std::strerror(error)));
        return false;
    }

    if (!m_arena) {
        // Untouched pages of the arena cost no memory: a slot is only written as far
        // as its datagram reaches.
        m_arena.reset(new char[batchSize * slotSize]);
        m_messages.reset(new mmsghdr[batchSize]);
        m_vectors.reset(new iovec[batchSize]);
        m_senders.reset(new sockaddr_storage[batchSize]);
        for (int i = 0; i < batchSize; ++i) {
            m_vectors[i] = {m_arena.get() + i * slotSize, size_t(slotSize)};
            m_messages[i] = {};
            m_messages[i].msg_hdr.msg_iov = &m_vectors[i];
            m_messages[i].msg_hdr.msg_iovlen = 1;
            m_messages[i].msg_hdr.msg_name = &m_senders[i];
            m_messages[i].msg_hdr.msg_namelen = sizeof(sockaddr_storage);
        }
    }
    m_fd = fd;
    m_notifier.setSocket(fd);
    m_notifier.setEnabled(true);
    setFailure(Failure::None, port);
    return true;
}

void LinuxDatagramSocket::close()
{
    if (m_fd < 0)
        return;
    m_notifier.setEnabled(false);
    m_notifier.setSocket(-1);
    ::close(m_fd);
    m_fd = -1;
}

int LinuxDatagramSocket::receive(std::span<QByteArrayView> out, std::span<SenderAddress> senders)
{
    if (m_fd < 0 || out.empty())
        return 0;
    const unsigned int wanted =
        unsigned(std::min<size_t>({out.size(), senders.size(), size_t(batchSize)}));
    int count;
    do {
        count = ::recvmmsg(m_fd, m_messages.get(), wanted, MSG_DONTWAIT, nullptr);
    } while (count < 0 && errno == EINTR);
    if (count <= 0)
        return 0;
    for (int i = 0; i < count; ++i) {
        out[i] = QByteArrayView(m_arena.get() + i * slotSize, qsizetype(m_messages[i].msg_len));
        // Only the raw bytes: text is made only for a datagram that names no host.
        msghdr &header = m_messages[i].msg_hdr;
        const auto *sender = static_cast<const sockaddr_storage *>(header.msg_name);
        if (sender->ss_family == AF_INET6)
            senders[i] =
                SenderAddress::fromIPv6(&reinterpret_cast<const sockaddr_in6 *>(sender)->sin6_addr);
        else if (sender->ss_family == AF_INET)
            senders[i] =
                SenderAddress::fromIPv4(&reinterpret_cast<const sockaddr_in *>(sender)->sin_addr);
        else
            senders[i] = {};
        // The kernel wrote the length of this sender's address there.
        header.msg_namelen = sizeof(sockaddr_storage);
    }
    return count;
}
