#pragma once

#include "engine/reception/senderfilter.h"
#include "metricsconnection.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpServer>

class DatagramReceiver;
class MetricsSettings;
class ReadingsTable;

// Serves the readings to Prometheus over HTTP on the address and port the settings name:
// GET or HEAD of /metrics, and nothing else. Clients the settings do not allow, and any past
// maxConnections at once, are closed as soon as they connect; a client that sends no
// request within the idle time, or stops taking the answer for that long, is closed too.
// No request can change anything: the server only ever reads the table and the counters.
class MetricsServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MetricsServer)

public:
    static constexpr int maxConnections = 32;
    static constexpr int defaultIdleTimeoutMs = 10'000;

    // What happened to the clients since the server was made.
    struct Counts
    {
        qint64 served = 0;        // /metrics answered whole
        qint64 answeredError = 0; // a request answered with an error: bad, too large, no such path
        qint64 refused = 0;       // closed on connecting: not allowed, or too many at once
        qint64 timedOut = 0;
        qint64 dropped = 0; // gone before the answer was sent
    };

    // table and receiver must outlive the server.
    MetricsServer(const ReadingsTable &table, const DatagramReceiver &receiver,
                  QObject *parent = nullptr);

    // Stops listening, and starts again where the settings say, if they are on. Empty when
    // listening or off; else why not, in plain words that name the address.
    QString listen(const MetricsSettings &settings);
    // Stops listening and closes every client.
    void stop();

    bool isListening() const { return m_server.isListening(); }
    QHostAddress serverAddress() const { return m_server.serverAddress(); }
    // The port listened on, as the system chose it where 0 was asked; 0 when not listening.
    quint16 serverPort() const { return m_server.serverPort(); }

    // For clients that connect from now on.
    void setIdleTimeoutMs(int ms) { m_idleTimeoutMs = ms; }
    int idleTimeoutMs() const { return m_idleTimeoutMs; }

    int connectionCount() const { return m_connections; }
    const Counts &counts() const { return m_counts; }

Q_SIGNALS:
    void countsChanged();

private:
    void accept();
    void finished(MetricsConnection *connection, MetricsConnection::Outcome outcome);

    const ReadingsTable &m_table;
    const DatagramReceiver &m_receiver;
    QTcpServer m_server;
    SenderFilter m_filter;
    int m_idleTimeoutMs = defaultIdleTimeoutMs;
    int m_connections = 0;
    Counts m_counts;
};
