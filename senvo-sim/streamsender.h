#pragma once

#include "datagramsender.h"

#include <QSslSocket>
#include <QString>

// Sends the readings over one TCP connection, or one TLS connection, each octet-counted
// (RFC 6587), where a relay would forward them. What is still queued is sent before the
// sender is destroyed.
class StreamSender final : public DatagramSender
{
public:
    struct Tls
    {
        bool on = false;
        QString certificate; // the client's, PEM; empty for none
        QString privateKey;
        QString ca; // the server's CA, PEM; empty: the server is not checked
    };

    explicit StreamSender(const Tls &tls);
    ~StreamSender() override;

    bool open(const QHostAddress &address, quint16 port) override;
    int send(std::span<const QByteArrayView> datagrams) override;

private:
    Tls m_tls;
    QSslSocket m_socket;
};
