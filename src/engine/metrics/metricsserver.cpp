#include "metricsserver.h"

#include "engine/reception/datagramreceiver.h"
#include "engine/reception/senderaddress.h"
#include "metricssettings.h"

#include <QTcpSocket>

MetricsServer::MetricsServer(const ReadingsTable &table, const DatagramReceiver &receiver,
                             QObject *parent)
    : QObject(parent)
    , m_table(table)
    , m_receiver(receiver)
{
    // Clients are taken as they come, so the system's queue of them never fills.
    connect(&m_server, &QTcpServer::newConnection, this, &MetricsServer::accept);
}

QString MetricsServer::listen(const MetricsSettings &settings)
{
    stop();
    if (!settings.isOn())
        return {};
    const auto cannot = [&settings](const QString &why) {
        return tr("Cannot serve metrics on %1: %2").arg(settings.listen(), why);
    };
    const std::optional<QHostAddress> address = settings.address();
    if (!address)
        return cannot(MetricsSettings::checkListen(settings.listen()) + u'.');
    const std::optional<SenderFilter> filter = settings.filter();
    if (!filter)
        return cannot(tr("no allowed entry is an address or a prefix, so no one could ask."));
    m_filter = *filter;
    if (m_server.listen(*address, settings.port()))
        return {};
    switch (m_server.serverError()) {
    case QAbstractSocket::AddressInUseError:
        return cannot(tr("the address is already in use."));
    case QAbstractSocket::SocketAddressNotAvailableError:
        return cannot(tr("this machine has no such address."));
    case QAbstractSocket::SocketAccessError:
        return cannot(tr("the port is kept for the system's own services."));
    default:
        return cannot(m_server.errorString() + u'.');
    }
}

void MetricsServer::stop()
{
    m_server.close();
    const QList<MetricsConnection *> open =
        findChildren<MetricsConnection *>(Qt::FindDirectChildrenOnly);
    for (MetricsConnection *const connection : open)
        connection->abort();
}

void MetricsServer::accept()
{
    while (QTcpSocket *const socket = m_server.nextPendingConnection()) {
        if (m_connections >= maxConnections
            || !m_filter.allows(SenderAddress::fromHostAddress(socket->peerAddress()))) {
            ++m_counts.refused;
            socket->abort();
            socket->deleteLater();
            Q_EMIT countsChanged();
            continue;
        }
        ++m_connections;
        auto *const connection =
            new MetricsConnection(socket, m_table, m_receiver, m_idleTimeoutMs, this);
        connect(connection, &MetricsConnection::finished, this,
                [this, connection](MetricsConnection::Outcome outcome) {
                    finished(connection, outcome);
                });
        connection->start();
    }
}

void MetricsServer::finished(MetricsConnection *connection, MetricsConnection::Outcome outcome)
{
    --m_connections;
    switch (outcome) {
    case MetricsConnection::Outcome::Served:
        ++m_counts.served;
        break;
    case MetricsConnection::Outcome::Refused:
        ++m_counts.answeredError;
        break;
    case MetricsConnection::Outcome::TimedOut:
        ++m_counts.timedOut;
        break;
    case MetricsConnection::Outcome::Dropped:
        ++m_counts.dropped;
        break;
    }
    connection->deleteLater();
    Q_EMIT countsChanged();
}
