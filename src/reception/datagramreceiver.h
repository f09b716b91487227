#pragma once

#include "arrival.h"
#include "reading.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

class DatagramSocket;
class ReadingsTable;

// Takes every datagram that reaches the bound port, counts it, parses it and posts
// it to the table. Views of the table and counters are refreshed at most once per
// publish interval, so a burst does not cost a repaint per datagram.
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

    // Listens on the port the text names. On failure the reason is in errorString().
    bool bind(const QString &portText);
    // Moves to another port; when that fails the receiver goes back to the port it had.
    bool rebind(const QString &portText);
    void close();

    bool isListening() const;
    // The port listened on, 0 when none.
    quint16 port() const { return m_port; }
    QString errorString() const { return m_errorString; }

    double packets() const { return m_packets; }
    double bytes() const { return m_bytes; }
    void setPackets(double value);
    void setBytes(double value);
    // Brings the table's views and the counters up to date now.
    void publish();

Q_SIGNALS:
    // Coalesced: at most once per publish interval while datagrams arrive.
    void countersChanged();
    void listeningChanged(bool listening);

private:
    void drain();

    ReadingsTable *const m_table;
    DatagramSocket *const m_socket;
    Reading m_reading;
    Arrival m_arrival;
    double m_packets = 0;
    double m_bytes = 0;
    quint16 m_port = 0;
    QString m_errorString;
    QTimer m_publishTimer;
    QTimer m_tickTimer;
};
