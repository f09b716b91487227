#pragma once

#include "arrival.h"
#include "reading.h"
#include "senderaddress.h"
#include "senderfilter.h"

#include <QDateTime>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

class DatagramSocket;
class ReadingsTable;

// Takes every datagram that reaches the bound port and counts it; parses it and posts it
// to the table when its sender is allowed, and counts it as ignored when not. Views of the
// table and counters are refreshed at most once per publish interval, so a burst does not
// cost a repaint per datagram.
class DatagramReceiver final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DatagramReceiver)

public:
    // Datagrams handled per wake-up of the event loop before input and painting get a turn.
    static constexpr int maxPerWakeUp = 1024;
    static constexpr int defaultPublishIntervalMs = 20;
    // How often the table looks for readings and hosts that fell silent.
    static constexpr int tickIntervalMs = 1000;

    // Takes ownership of socket; without one the platform's own is used.
    explicit DatagramReceiver(ReadingsTable *table, QObject *parent = nullptr,
                              DatagramSocket *socket = nullptr);

    // A whole number from 1 to 65535, surrounding white space allowed.
    static std::optional<quint16> portFromText(const QString &text);

    // An IP address; blank text is every address, which a null address stands for.
    static std::optional<QHostAddress> addressFromText(const QString &text);

    // Listens on the port the text names, on the address addressText names or on every
    // address. On failure the reason is in errorString().
    bool bind(const QString &portText, const QString &addressText = QString());
    // Moves to another port, and to another address when addressText is given; when that
    // fails the receiver goes back to the port and address it had. Datagrams already received
    // are taken before the socket is closed.
    bool rebind(const QString &portText, const std::optional<QString> &addressText = std::nullopt);
    void close();

    bool isListening() const;
    // The port listened on, 0 when none.
    quint16 port() const { return m_port; }
    // The address listened on; null for every address, and when not listening.
    QHostAddress address() const { return m_address; }
    QString errorString() const { return m_errorString; }

    // Takes effect with the next datagram.
    void setSenderFilter(const SenderFilter &filter);
    const SenderFilter &senderFilter() const { return m_senderFilter; }
    // Datagrams from senders the filter does not allow: counted in packets() and bytes()
    // too, never parsed.
    double ignored() const { return m_ignored; }
    // The sender of the last one ignored, and when it came by this machine's clock.
    SenderAddress lastIgnoredSender() const { return m_lastIgnoredSender; }
    QDateTime lastIgnoredAt() const { return m_lastIgnoredAt; }

    double packets() const { return m_packets; }
    double bytes() const { return m_bytes; }
    void setPackets(double value);
    void setBytes(double value);
    // Brings the table's views and the counters up to date now.
    void publish();

    // One message that came another way than a datagram (a TCP or TLS connection): counted,
    // let through or ignored, parsed and posted just as a datagram from sender would be.
    void takeMessage(QByteArrayView bytes, const SenderAddress &sender);

Q_SIGNALS:
    // Coalesced: at most once per publish interval while datagrams arrive.
    void countersChanged();
    // Coalesced as countersChanged: the ignored count, and with it the last one ignored.
    void ignoredChanged();
    void listeningChanged(bool listening);

private:
    void drain();
    // Takes up to limit datagrams; how many it took.
    int take(int limit);
    // Counts one message and posts it when its sender is allowed; false when ignored.
    bool post(QByteArrayView bytes, const SenderAddress &sender);

    ReadingsTable *const m_table;
    DatagramSocket *const m_socket;
    Reading m_reading;
    Arrival m_arrival;
    double m_packets = 0;
    double m_bytes = 0;
    quint16 m_port = 0;
    QHostAddress m_address;
    QString m_errorString;
    SenderFilter m_senderFilter;
    double m_ignored = 0;
    double m_publishedIgnored = 0;
    SenderAddress m_lastIgnoredSender;
    QDateTime m_lastIgnoredAt;
    QTimer m_publishTimer;
    QTimer m_tickTimer;
};
