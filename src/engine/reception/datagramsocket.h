#pragma once

#include "senderaddress.h"

#include <QByteArrayView>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <span>

// The receiving end of one UDP port, on every local address, IPv4 and IPv6 alike, or on one.
// Implementations read in batches: the receiver must keep up with bursts from
// hundreds of hosts on the one user-interface thread.
class DatagramSocket : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DatagramSocket)

public:
    // The largest datagram UDP over IPv4 can carry.
    static constexpr qsizetype maxDatagramSize = 65507;
    static constexpr int batchSize = 64;

    enum class Failure { None, InUse, Privileged, NoSuchAddress, Other };

    // The implementation that suits this platform; CMake chooses the file that defines it.
    static DatagramSocket *create(QObject *parent);

    // A null address is every address; "::" is every IPv6 address alone.
    virtual bool bind(quint16 port, const QHostAddress &address) = 0;
    virtual void close() = 0;
    virtual bool isBound() const = 0;
    // Takes up to out.size() pending datagrams without waiting, and who sent each into
    // senders, which is at least as long as out. The views stay valid until the next call.
    virtual int receive(std::span<QByteArrayView> out, std::span<SenderAddress> senders) = 0;

    Failure failure() const { return m_failure; }
    // Why the last bind failed, in words a person understands.
    QString errorString() const { return m_errorString; }

Q_SIGNALS:
    void readyRead();

protected:
    explicit DatagramSocket(QObject *parent)
        : QObject(parent)
    {
    }
    // detail: the system's words for Other, the address for NoSuchAddress.
    void setFailure(Failure failure, quint16 port, const QString &detail = {});

private:
    Failure m_failure = Failure::None;
    QString m_errorString;
};
