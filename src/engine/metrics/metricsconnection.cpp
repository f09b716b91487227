#include "metricsconnection.h"

#include "engine/reception/datagramreceiver.h"

#include <QDateTime>
#include <QLocale>
#include <QTcpSocket>

namespace {

// The most of the client's bytes that Qt holds at once: far more than a request needs.
constexpr qint64 readBufferSize = 16 * 1024;
// Room for the chunk size that a piece starts with: eight hex digits, then CRLF.
constexpr qsizetype chunkSizeRoom = 10;

} // namespace

MetricsConnection::MetricsConnection(QTcpSocket *socket, const ReadingsTable &table,
                                     const DatagramReceiver &receiver, int idleTimeoutMs,
                                     QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_table(table)
    , m_receiver(receiver)
{
    socket->setParent(this);
    socket->setReadBufferSize(readBufferSize);
    // Restarted only as the answer moves, never by what the client sends: a client that
    // trickles its request a byte at a time is as idle as one that sends nothing.
    m_idle.setSingleShot(true);
    m_idle.setInterval(idleTimeoutMs);
    connect(&m_idle, &QTimer::timeout, this, [this] {
        end(Outcome::TimedOut);
        m_socket->abort();
    });
    connect(socket, &QTcpSocket::readyRead, this, &MetricsConnection::read);
    connect(socket, &QTcpSocket::bytesWritten, this, [this] {
        m_idle.start();
        if (m_exposition && m_socket->bytesToWrite() < pieceSize)
            writePiece();
    });
    connect(socket, &QTcpSocket::disconnected, this, [this] { end(m_outcome); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError)
            m_outcome = Outcome::Dropped;
    });
}

void MetricsConnection::start()
{
    m_idle.start();
    read();
}

void MetricsConnection::abort()
{
    end(Outcome::Dropped);
    m_socket->abort();
}

void MetricsConnection::read()
{
    // Whatever follows the request is read and dropped, so that closing does not reset the
    // connection over unread bytes before the client has the answer.
    char buffer[4096];
    bool decided = false;
    for (;;) {
        const qint64 count = m_socket->read(buffer, sizeof buffer);
        if (count <= 0)
            break;
        if (m_reader.status() == HttpRequestReader::Status::NeedMore) {
            decided =
                m_reader.feed(QByteArrayView(buffer, count)) != HttpRequestReader::Status::NeedMore;
        }
    }
    if (decided)
        answer();
}

void MetricsConnection::answer()
{
    switch (m_reader.status()) {
    case HttpRequestReader::Status::TooLarge:
        answerError("431 Request Header Fields Too Large");
        return;
    case HttpRequestReader::Status::Malformed:
        answerError("400 Bad Request");
        return;
    default:
        break;
    }
    const QByteArray &method = m_reader.method();
    if (m_reader.target() != "/metrics")
        answerError("404 Not Found");
    else if (method != "GET" && method != "HEAD")
        answerError("405 Method Not Allowed", "Allow: GET, HEAD\r\n");
    else
        serve();
}

void MetricsConnection::answerError(QByteArrayView status, QByteArrayView extraHeaders)
{
    // The status's words are the body, for whoever reads it in a browser.
    const QByteArray body = status.sliced(4).toByteArray() + '\n';
    QByteArray headers = "Content-Type: text/plain; charset=utf-8\r\nContent-Length: "
                         + QByteArray::number(body.size()) + "\r\n";
    headers += extraHeaders;
    writeHead(status, headers);
    if (m_reader.method() != "HEAD")
        m_socket->write(body);
    close(Outcome::Refused);
}

void MetricsConnection::serve()
{
    const MetricsExposition::Format format =
        MetricsExposition::negotiate(m_reader.header("Accept"));
    m_chunked = m_reader.minorVersion() >= 1;
    QByteArray headers =
        "Content-Type: " + MetricsExposition::contentType(format).toByteArray() + "\r\n";
    if (m_chunked)
        headers += "Transfer-Encoding: chunked\r\n";
    writeHead("200 OK", headers);
    if (m_reader.method() == "HEAD") {
        close(Outcome::Served);
        return;
    }
    const MetricsExposition::Counters counters{m_receiver.packets(), m_receiver.bytes(),
                                               m_receiver.ignored()};
    m_exposition = std::make_unique<MetricsExposition>(m_table, counters, format);
    writePiece();
}

void MetricsConnection::writeHead(QByteArrayView status, QByteArrayView headers)
{
    const QByteArray date =
        QLocale::c()
            .toString(QDateTime::currentDateTimeUtc(), u"ddd, dd MMM yyyy hh:mm:ss 'GMT'")
            .toLatin1();
    QByteArray head = "HTTP/1.1 " + status.toByteArray() + "\r\nDate: " + date + "\r\n";
    head += headers;
    head += "Connection: close\r\n\r\n";
    m_socket->write(head);
}

void MetricsConnection::writePiece()
{
    // A piece of its own each time: the socket keeps the one before until it is sent.
    QByteArray piece;
    piece.reserve(pieceSize + pieceSize / 4);
    if (m_chunked)
        piece.fill('0', chunkSizeRoom - 2).append("\r\n");
    const bool more = m_exposition->writeNext(piece, pieceSize);
    if (m_chunked) {
        const qsizetype size = piece.size() - chunkSizeRoom;
        if (size > 0) {
            // Leading zeros are allowed in a chunk size, so the room is filled from the right.
            const QByteArray hex = QByteArray::number(size, 16);
            std::copy(hex.begin(), hex.end(), piece.begin() + (chunkSizeRoom - 2 - hex.size()));
            piece.append("\r\n");
        } else {
            // An empty chunk would end the answer early.
            piece.clear();
        }
        if (!more)
            piece.append("0\r\n\r\n");
    }
    if (!piece.isEmpty())
        m_socket->write(piece);
    if (!more) {
        m_exposition.reset();
        close(Outcome::Served);
    }
}

// The answer is all handed to the socket, which closes once it has sent it.
void MetricsConnection::close(Outcome outcome)
{
    m_outcome = outcome;
    m_socket->disconnectFromHost();
}

void MetricsConnection::end(Outcome outcome)
{
    if (m_ended)
        return;
    m_ended = true;
    m_idle.stop();
    m_exposition.reset();
    Q_EMIT finished(outcome);
}
