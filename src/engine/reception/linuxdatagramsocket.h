#pragma once

#include "datagramsocket.h"

#include <QSocketNotifier>

#include <memory>

struct mmsghdr;
struct iovec;
struct sockaddr_storage;

// Reads up to a whole batch of datagrams with one recvmmsg() call.
class LinuxDatagramSocket final : public DatagramSocket
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LinuxDatagramSocket)

public:
    explicit LinuxDatagramSocket(QObject *parent = nullptr);
    ~LinuxDatagramSocket() override;

    bool bind(quint16 port, const QHostAddress &address) override;
    void close() override;
    bool isBound() const override { return m_fd >= 0; }
    int receive(std::span<QByteArrayView> out, std::span<SenderAddress> senders) override;

private:
    int m_fd = -1;
    QSocketNotifier m_notifier{QSocketNotifier::Read};
    std::unique_ptr<char[]> m_arena;
    std::unique_ptr<mmsghdr[]> m_messages;
    std::unique_ptr<iovec[]> m_vectors;
    std::unique_ptr<sockaddr_storage[]> m_senders;
};
