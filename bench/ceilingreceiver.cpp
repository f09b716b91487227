#include "ceilingreceiver.h"

#include "processstats.h"

#include <QElapsedTimer>

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr int receiveBufferBytes = 8 * 1024 * 1024;
constexpr size_t slotSize = 2048;
} // namespace

CeilingReceiver::~CeilingReceiver()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CeilingReceiver::open()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = ::socket(AF_INET6, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        m_errorString = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const int off = 0;
    ::setsockopt(m_fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &receiveBufferBytes, sizeof(int)) != 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes, sizeof(int));
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_any;
    socklen_t length = sizeof address;
    if (::bind(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0
        || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        m_errorString = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_port = ntohs(address.sin6_port);
    return true;
}

CeilingReceiver::Result CeilingReceiver::receive(quint64 expected, int idleMs)
{
    std::vector<char> arena(batchSize * slotSize);
    std::array<iovec, batchSize> vectors{};
    std::array<mmsghdr, batchSize> messages{};
    for (int i = 0; i < batchSize; ++i) {
        vectors[size_t(i)] = {arena.data() + size_t(i) * slotSize, slotSize};
        messages[size_t(i)].msg_hdr.msg_iov = &vectors[size_t(i)];
        messages[size_t(i)].msg_hdr.msg_iovlen = 1;
    }

    Result result;
    const double cpuBefore = ProcessStats::cpuSeconds();
    QElapsedTimer sinceFirst;
    QElapsedTimer sinceLast;
    sinceLast.start();
    // Before the first datagram the generator may still be starting.
    const int firstWaitMs = 10000;
    double lastAt = 0;
    while (result.datagrams < expected) {
        const int count = ::recvmmsg(m_fd, messages.data(), batchSize, MSG_DONTWAIT, nullptr);
        if (count > 0) {
            if (result.datagrams == 0)
                sinceFirst.start();
            result.datagrams += quint64(count);
            for (int i = 0; i < count; ++i)
                result.bytes += messages[size_t(i)].msg_len;
            lastAt = double(sinceFirst.nsecsElapsed()) / 1e9;
            sinceLast.start();
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            break;
        const int limit = result.datagrams == 0 ? firstWaitMs : idleMs;
        const qint64 left = limit - sinceLast.elapsed();
        if (left <= 0)
            break;
        pollfd descriptor{m_fd, POLLIN, 0};
        ::poll(&descriptor, 1, int(left));
    }
    result.cpuSeconds = ProcessStats::cpuSeconds() - cpuBefore;
    result.seconds = lastAt;
    return result;
}
