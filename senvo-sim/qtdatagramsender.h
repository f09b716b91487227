#pragma once

#include "datagramsender.h"

#include <QUdpSocket>

// One writeDatagram() per datagram, for platforms without a batch send call.
class QtDatagramSender final : public DatagramSender
{
    Q_DISABLE_COPY_MOVE(QtDatagramSender)

public:
    QtDatagramSender() = default;

    bool open(const QHostAddress &address, quint16 port) override;
    int send(std::span<const QByteArrayView> datagrams) override;

private:
    QUdpSocket m_socket;
    QHostAddress m_address;
    quint16 m_port = 0;
};
