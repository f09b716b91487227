#pragma once

#include "httprequestreader.h"
#include "metricsexposition.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <memory>

class DatagramReceiver;
class QTcpSocket;

// One client of the metrics server: reads its request, answers it and closes, with
// "Connection: close" in every answer. The readings go out a piece at a time, the next
// piece written only once the socket has passed on most of the one before, so that a slow
// reader holds back the scrape rather than filling memory, and the event loop (reception
// included) runs between pieces. Over HTTP/1.1 the answer is chunked; over HTTP/1.0 it ends
// where the connection does.
class MetricsConnection final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MetricsConnection)

public:
    // Readings written per piece, about.
    static constexpr qsizetype pieceSize = 64 * 1024;

    enum class Outcome {
        Served,   // the readings, or the head of them for HEAD, sent whole
        Refused,  // an error answered: bad request, too large, no such path, other method
        TimedOut, // no request within the idle time, or no byte of the answer taken
        Dropped   // the client went, or the server stopped, before the answer was sent
    };

    // Takes socket, whose client was let in. table and receiver must outlive the connection.
    MetricsConnection(QTcpSocket *socket, const ReadingsTable &table,
                      const DatagramReceiver &receiver, int idleTimeoutMs,
                      QObject *parent = nullptr);

    // Reads what the client has sent so far, and from then on as it arrives.
    void start();
    // Closes at once, without a word to the client.
    void abort();

Q_SIGNALS:
    // Once, when the connection is over; it may be deleted then.
    void finished(MetricsConnection::Outcome outcome);

private:
    void read();
    void answer();
    void answerError(QByteArrayView status, QByteArrayView extraHeaders = {});
    void serve();
    void writeHead(QByteArrayView status, QByteArrayView headers);
    void writePiece();
    void close(Outcome outcome);
    void end(Outcome outcome);

    QTcpSocket *const m_socket;
    const ReadingsTable &m_table;
    const DatagramReceiver &m_receiver;
    HttpRequestReader m_reader;
    std::unique_ptr<MetricsExposition> m_exposition;
    bool m_chunked = false;
    // Decided once the whole answer is handed to the socket; Dropped until then.
    Outcome m_outcome = Outcome::Dropped;
    bool m_ended = false;
    QTimer m_idle;
};
