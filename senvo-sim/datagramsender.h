#pragma once

#include <QByteArrayView>
#include <QHostAddress>
#include <QString>

#include <memory>
#include <span>

// Sends datagrams to one address and port, many per call where the platform allows.
class DatagramSender
{
    Q_DISABLE_COPY_MOVE(DatagramSender)

public:
    static constexpr int maxBatch = 64;

    // The batch-sending implementation where there is one, else the portable one; CMake
    // chooses the file that defines it.
    static std::unique_ptr<DatagramSender> create();
    static std::unique_ptr<DatagramSender> createPortable();

    virtual ~DatagramSender() = default;

    virtual bool open(const QHostAddress &address, quint16 port) = 0;
    // Sends the datagrams in order, at most maxBatch per call; returns how many went
    // out, or -1 when the socket failed (see errorString()).
    virtual int send(std::span<const QByteArrayView> datagrams) = 0;

    QString errorString() const { return m_errorString; }

protected:
    DatagramSender() = default;
    void setErrorString(const QString &text) { m_errorString = text; }

private:
    QString m_errorString;
};
