#pragma once

#include "engine/reception/datagramsocket.h"

#include <QList>

// Records the ports it is asked to bind, and fails where told to, so that start-up can
// be tested on port 514 without opening it.
class FakeDatagramSocket final : public DatagramSocket
{
public:
    explicit FakeDatagramSocket(QObject *parent = nullptr)
        : DatagramSocket(parent)
    {
    }

    bool bind(quint16 port, const QHostAddress &address) override
    {
        boundPorts << port;
        boundAddresses << address;
        if (failWith != Failure::None) {
            setFailure(failWith, port, u"simulated"_qs);
            return false;
        }
        if (refusedAddresses.contains(address)) {
            setFailure(Failure::NoSuchAddress, port, u"simulated"_qs);
            return false;
        }
        setFailure(Failure::None, port);
        m_bound = true;
        return true;
    }
    void close() override { m_bound = false; }
    bool isBound() const override { return m_bound; }
    int receive(std::span<QByteArrayView>, std::span<SenderAddress>) override { return 0; }

    QList<quint16> boundPorts;
    QList<QHostAddress> boundAddresses;
    Failure failWith = Failure::None;
    // Addresses this machine is taken not to have.
    QList<QHostAddress> refusedAddresses;

private:
    bool m_bound = false;
};
