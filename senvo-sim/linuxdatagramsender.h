#pragma once

#include "datagramsender.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <array>

// Sends a whole batch with one sendmmsg() call.
class LinuxDatagramSender final : public DatagramSender
{
    Q_DISABLE_COPY_MOVE(LinuxDatagramSender)

public:
    LinuxDatagramSender() = default;
    ~LinuxDatagramSender() override;

    bool open(const QHostAddress &address, quint16 port) override;
    int send(std::span<const QByteArrayView> datagrams) override;

private:
    int m_fd = -1;
    sockaddr_storage m_address{};
    socklen_t m_addressLength = 0;
    std::array<mmsghdr, maxBatch> m_messages{};
    std::array<iovec, maxBatch> m_vectors{};
};
