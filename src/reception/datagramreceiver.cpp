#include "datagramreceiver.h"

#include "datagramsocket.h"
#include "readingparser.h"
#include "readingstable.h"

#include <algorithm>
#include <array>

DatagramReceiver::DatagramReceiver(ReadingsTable *table, QObject *parent, DatagramSocket *socket)
    : QObject(parent)
    , m_table(table)
    , m_socket(socket ? socket : DatagramSocket::create(this))
{
    m_socket->setParent(this);
    m_socket->setObjectName(QStringLiteral("SenvoUDP"));
    m_publishTimer.setSingleShot(true);
    m_publishTimer.setInterval(defaultPublishIntervalMs);
    connect(&m_publishTimer, &QTimer::timeout, this, &DatagramReceiver::publish);
    m_tickTimer.setInterval(tickIntervalMs);
    connect(&m_tickTimer, &QTimer::timeout, m_table, &ReadingsTable::tick);
    m_tickTimer.start();
    connect(m_socket, &DatagramSocket::readyRead, this, &DatagramReceiver::drain);
}

std::optional<quint16> DatagramReceiver::portFromText(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > 5
        || !std::all_of(trimmed.cbegin(), trimmed.cend(),
                        [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    const uint port = trimmed.toUInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    return quint16(port);
}

bool DatagramReceiver::bind(const QString &portText)
{
    const bool wasListening = isListening();
    m_socket->close();
    m_port = 0;
    const std::optional<quint16> port = portFromText(portText);
    bool bound = false;
    if (!port) {
        m_errorString = portText.trimmed().isEmpty()
                            ? tr("No port number was given. A port is a whole number from 1 "
                                 "to 65535.")
                            : tr("\"%1\" is not a port number. A port is a whole number from 1 "
                                 "to 65535.")
                                  .arg(portText.left(40));
    } else if (m_socket->bind(*port)) {
        m_port = *port;
        m_errorString.clear();
        bound = true;
    } else {
        m_errorString = m_socket->errorString();
    }
    if (bound != wasListening)
        Q_EMIT listeningChanged(bound);
    return bound;
}

bool DatagramReceiver::rebind(const QString &portText)
{
    const quint16 previous = m_port;
    if (bind(portText))
        return true;
    const QString reason = m_errorString;
    if (previous != 0 && !bind(QString::number(previous))) {
        m_errorString = tr("%1\n\nThe previous port %2 could not be opened again either: %3")
                            .arg(reason, QString::number(previous), m_errorString);
        return false;
    }
    m_errorString = reason;
    return false;
}

void DatagramReceiver::close()
{
    const bool wasListening = isListening();
    m_socket->close();
    m_port = 0;
    if (wasListening)
        Q_EMIT listeningChanged(false);
}

bool DatagramReceiver::isListening() const
{
    return m_socket->isBound();
}

void DatagramReceiver::setPackets(double value)
{
    m_packets = value;
}

void DatagramReceiver::setBytes(double value)
{
    m_bytes = value;
}

void DatagramReceiver::drain()
{
    std::array<QByteArrayView, DatagramSocket::batchSize> batch;
    std::array<SenderAddress, DatagramSocket::batchSize> senders;
    int handled = 0;
    while (handled < maxPerWakeUp) {
        const int count = m_socket->receive(batch, senders);
        m_arrival.startBatch();
        if (count > 0)
            m_table->beginBatch();
        for (int i = 0; i < count; ++i) {
            // Counted before parsing: a datagram counts whatever the parser makes of it.
            decodeDatagram(batch[i], m_reading);
            m_bytes += double(batch[i].size());
            m_packets += 1;
            m_arrival.setSender(senders[i]);
            if (parseudp(m_reading, m_arrival))
                m_table->fillgrid(m_reading);
        }
        handled += count;
        if (count < int(batch.size()))
            break;
    }
    // Whatever is left wakes the event loop again once input and painting had their turn.
    if (handled > 0 && !m_publishTimer.isActive())
        m_publishTimer.start();
}

void DatagramReceiver::publish()
{
    m_publishTimer.stop();
    m_table->publish();
    Q_EMIT countersChanged();
}
