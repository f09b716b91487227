#include "qtdatagramsender.h"

#include <QThread>

bool QtDatagramSender::open(const QHostAddress &address, quint16 port)
{
    m_address = address;
    m_port = port;
    const QHostAddress local = address.protocol() == QAbstractSocket::IPv6Protocol
                                   ? QHostAddress(QHostAddress::AnyIPv6)
                                   : QHostAddress(QHostAddress::AnyIPv4);
    if (!m_socket.bind(local, 0)) {
        setErrorString(m_socket.errorString());
        return false;
    }
    return true;
}

int QtDatagramSender::send(std::span<const QByteArrayView> datagrams)
{
    int sent = 0;
    for (const QByteArrayView datagram :
         datagrams.first(std::min<size_t>(datagrams.size(), maxBatch))) {
        qint64 written =
            m_socket.writeDatagram(datagram.data(), datagram.size(), m_address, m_port);
        // A full send buffer is worth waiting for; anything else ends the run.
        for (int attempt = 0;
             written < 0 && attempt < 1000 && m_socket.error() == QAbstractSocket::TemporaryError;
             ++attempt) {
            QThread::yieldCurrentThread();
            written = m_socket.writeDatagram(datagram.data(), datagram.size(), m_address, m_port);
        }
        if (written < 0) {
            setErrorString(m_socket.errorString());
            return sent > 0 ? sent : -1;
        }
        ++sent;
    }
    return sent;
}
