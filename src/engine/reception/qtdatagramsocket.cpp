#include "qtdatagramsocket.h"

#include <QNetworkInterface>
#include <QVariant>

#include <algorithm>

namespace {
constexpr qsizetype slotSize = 65536;

// Some socket layers (Wine's among them) bind any address without complaint, and the socket
// would then never hear a thing; ask the machine first.
bool isOwnAddress(QHostAddress address)
{
    address.setScopeId({});
    const QList<QHostAddress> own = QNetworkInterface::allAddresses();
    return std::any_of(own.cbegin(), own.cend(), [&address](QHostAddress candidate) {
        candidate.setScopeId({});
        return candidate == address;
    });
}
} // namespace

QtDatagramSocket::QtDatagramSocket(QObject *parent)
    : DatagramSocket(parent)
{
}

bool QtDatagramSocket::bind(quint16 port, const QHostAddress &address)
{
    // A fresh socket each time: one whose bind failed keeps that address's protocol, and
    // then cannot bind an address of the other.
    m_socket.emplace();
    if (!address.isNull() && !isOwnAddress(address)) {
        setFailure(Failure::NoSuchAddress, port, address.toString());
        m_socket.reset();
        return false;
    }
    connect(&*m_socket, &QUdpSocket::readyRead, this, &DatagramSocket::readyRead);
    // Sharing the address would let a second program bind the port unnoticed.
    if (!m_socket->bind(address.isNull() ? QHostAddress(QHostAddress::Any) : address, port,
                        QAbstractSocket::DontShareAddress)) {
        const auto error = m_socket->error();
        if (error == QAbstractSocket::AddressInUseError)
            setFailure(Failure::InUse, port);
        else if (error == QAbstractSocket::SocketAddressNotAvailableError)
            setFailure(Failure::NoSuchAddress, port, address.toString());
#ifdef Q_OS_UNIX
        else if (error == QAbstractSocket::SocketAccessError && port < 1024)
            setFailure(Failure::Privileged, port);
#else
        // Windows refuses ports that it reserves for itself or that another program holds.
        else if (error == QAbstractSocket::SocketAccessError)
            setFailure(Failure::Other, port,
                       tr("access was refused; the port may be reserved by the system or "
                          "held by another program"));
#endif
        else
            setFailure(Failure::Other, port, m_socket->errorString());
        m_socket.reset();
        return false;
    }
    m_socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                              QVariant(8 * 1024 * 1024));
    if (m_arena.isEmpty())
        m_arena.resize(batchSize * slotSize);
    setFailure(Failure::None, port);
    return true;
}

void QtDatagramSocket::close()
{
    m_socket.reset();
}

bool QtDatagramSocket::isBound() const
{
    return m_socket && m_socket->state() == QAbstractSocket::BoundState;
}

int QtDatagramSocket::receive(std::span<QByteArrayView> out, std::span<SenderAddress> senders)
{
    int count = 0;
    const int wanted = int(std::min<size_t>({out.size(), senders.size(), size_t(batchSize)}));
    QHostAddress sender;
    while (count < wanted && m_socket && m_socket->hasPendingDatagrams()) {
        char *const slot = m_arena.data() + count * slotSize;
        const qint64 size = m_socket->readDatagram(slot, slotSize, &sender);
        if (size < 0)
            break;
        senders[count] = SenderAddress::fromHostAddress(sender);
        out[count++] = QByteArrayView(slot, size);
    }
    return count;
}
