#pragma once

#include "datagramsocket.h"

#include <QByteArray>
#include <QUdpSocket>

#include <optional>

// The portable implementation, for platforms without a batch receive call.
class QtDatagramSocket final : public DatagramSocket
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QtDatagramSocket)

public:
    explicit QtDatagramSocket(QObject *parent = nullptr);

    bool bind(quint16 port, const QHostAddress &address) override;
    void close() override;
    bool isBound() const override;
    int receive(std::span<QByteArrayView> out, std::span<SenderAddress> senders) override;

private:
    // None while closed.
    std::optional<QUdpSocket> m_socket;
    QByteArray m_arena;
};
