#include "linuxdatagramsender.h"

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <unistd.h>

LinuxDatagramSender::~LinuxDatagramSender()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool LinuxDatagramSender::open(const QHostAddress &address, quint16 port)
{
    m_address = {};
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto *v6 = reinterpret_cast<sockaddr_in6 *>(&m_address);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&v6->sin6_addr, &bytes, sizeof bytes);
        v6->sin6_scope_id = address.scopeId().toUInt();
        m_addressLength = sizeof(sockaddr_in6);
    } else {
        auto *v4 = reinterpret_cast<sockaddr_in *>(&m_address);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        v4->sin_addr.s_addr = htonl(address.toIPv4Address());
        m_addressLength = sizeof(sockaddr_in);
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = ::socket(m_address.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    // Connected, so the kernel looks the route up once and not for every datagram.
    if (m_fd >= 0
        && ::connect(m_fd, reinterpret_cast<const sockaddr *>(&m_address), m_addressLength) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_fd < 0) {
        setErrorString(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    for (size_t i = 0; i < m_messages.size(); ++i) {
        m_messages[i].msg_hdr.msg_iov = &m_vectors[i];
        m_messages[i].msg_hdr.msg_iovlen = 1;
    }
    return true;
}

int LinuxDatagramSender::send(std::span<const QByteArrayView> datagrams)
{
    if (m_fd < 0)
        return -1;
    const auto count = unsigned(std::min<size_t>(datagrams.size(), maxBatch));
    for (unsigned i = 0; i < count; ++i) {
        m_vectors[i].iov_base = const_cast<char *>(datagrams[i].data());
        m_vectors[i].iov_len = size_t(datagrams[i].size());
    }
    unsigned sent = 0;
    int idleAttempts = 0;
    while (sent < count) {
        const int result = ::sendmmsg(m_fd, m_messages.data() + sent, count - sent, 0);
        if (result > 0) {
            sent += unsigned(result);
            continue;
        }
        // A full send queue drains by itself; anything else ends the run.
        const int error = errno;
        // A port nobody listens on is reported on a later send; the datagram is lost as it
        // would have been anyway, and the next send goes out.
        if (error == ECONNREFUSED)
            continue;
        if ((error == EINTR || error == EAGAIN || error == ENOBUFS) && ++idleAttempts < 100000) {
            ::sched_yield();
            continue;
        }
        setErrorString(QString::fromLocal8Bit(std::strerror(error)));
        return sent > 0 ? int(sent) : -1;
    }
    return int(sent);
}
