#include "datagramreceiver.h"

#include "addresstext.h"
#include "datagramsocket.h"
#include "readingparser.h"
#include "readingstable.h"

#include <algorithm>
#include <array>

namespace {

// More than a full receive buffer holds, so that closing the socket loses nothing that came;
// a bound all the same, should senders keep it full.
constexpr int maxTakenBeforeClosing = 64 * DatagramReceiver::maxPerWakeUp;

} // namespace

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

std::optional<QHostAddress> DatagramReceiver::addressFromText(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return QHostAddress();
    const std::optional<QHostAddress> address = ::addressFromText(trimmed);
    // An IPv4 address written the IPv6 way ("::ffff:127.0.0.1") is listened on as IPv4.
    bool ipv4 = false;
    if (const quint32 value = address ? address->toIPv4Address(&ipv4) : 0; ipv4)
        return QHostAddress(value);
    return address;
}

bool DatagramReceiver::bind(const QString &portText, const QString &addressText)
{
    const bool wasListening = isListening();
    if (wasListening && take(maxTakenBeforeClosing) > 0 && !m_publishTimer.isActive())
        m_publishTimer.start();
    m_socket->close();
    m_port = 0;
    m_address.clear();
    const std::optional<quint16> port = portFromText(portText);
    const std::optional<QHostAddress> address = addressFromText(addressText);
    bool bound = false;
    if (!port) {
        m_errorString = portText.trimmed().isEmpty()
                            ? tr("No port number was given. A port is a whole number from 1 "
                                 "to 65535.")
                            : tr("\"%1\" is not a port number. A port is a whole number from 1 "
                                 "to 65535.")
                                  .arg(portText.left(40));
    } else if (!address) {
        m_errorString = tr("\"%1\" is not an IP address. Listen on every address, or on one of "
                           "this computer's own, such as 127.0.0.1 or ::1.")
                            .arg(addressText.trimmed().left(40));
    } else if (m_socket->bind(*port, *address)) {
        m_port = *port;
        m_address = *address;
        m_errorString.clear();
        bound = true;
    } else {
        m_errorString = m_socket->errorString();
    }
    if (bound != wasListening)
        Q_EMIT listeningChanged(bound);
    return bound;
}

bool DatagramReceiver::rebind(const QString &portText, const std::optional<QString> &addressText)
{
    const quint16 previous = m_port;
    const QString previousAddress = m_address.isNull() ? QString() : m_address.toString();
    if (bind(portText, addressText.value_or(previousAddress)))
        return true;
    const QString reason = m_errorString;
    if (previous != 0 && !bind(QString::number(previous), previousAddress)) {
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

void DatagramReceiver::setSenderFilter(const SenderFilter &filter)
{
    m_senderFilter = filter;
}

void DatagramReceiver::drain()
{
    // Whatever is left wakes the event loop again once input and painting had their turn.
    if (take(maxPerWakeUp) > 0 && !m_publishTimer.isActive())
        m_publishTimer.start();
}

int DatagramReceiver::take(int limit)
{
    std::array<QByteArrayView, DatagramSocket::batchSize> batch;
    std::array<SenderAddress, DatagramSocket::batchSize> senders;
    int handled = 0;
    while (handled < limit) {
        const int count = m_socket->receive(batch, senders);
        m_arrival.startBatch();
        if (count > 0)
            m_table->beginBatch();
        bool ignoredAny = false;
        for (int i = 0; i < count; ++i)
            ignoredAny |= !post(batch[i], senders[i]);
        // Once per batch, and only for a batch with a datagram ignored.
        if (ignoredAny)
            m_lastIgnoredAt = QDateTime::currentDateTime();
        handled += count;
        if (count < int(batch.size()))
            break;
    }
    return handled;
}

bool DatagramReceiver::post(QByteArrayView bytes, const SenderAddress &sender)
{
    // Counted before anything else: a message counts whatever becomes of it.
    m_bytes += double(bytes.size());
    m_packets += 1;
    if (!m_senderFilter.allows(sender)) {
        m_ignored += 1;
        m_lastIgnoredSender = sender;
        return false;
    }
    decodeDatagram(bytes, m_reading);
    m_arrival.setSender(sender);
    if (parseudp(m_reading, m_arrival))
        m_table->fillgrid(m_reading);
    return true;
}

void DatagramReceiver::takeMessage(QByteArrayView bytes, const SenderAddress &sender)
{
    m_arrival.startBatch();
    m_table->beginBatch();
    if (!post(bytes, sender))
        m_lastIgnoredAt = QDateTime::currentDateTime();
    if (!m_publishTimer.isActive())
        m_publishTimer.start();
}

void DatagramReceiver::publish()
{
    m_publishTimer.stop();
    m_table->publish();
    Q_EMIT countersChanged();
    if (m_ignored != m_publishedIgnored) {
        m_publishedIgnored = m_ignored;
        Q_EMIT ignoredChanged();
    }
}
