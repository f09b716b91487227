#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <functional>

// Cuts one connection's byte stream into syslog messages, either framing chosen frame by frame
// as RFC 6587 says: a digit starts an octet count ("MSG-LEN SP MSG"), anything else a message
// that ends at a line feed, a carriage return or a NUL. Terminators between frames are skipped,
// as some senders end an octet-counted frame with a line feed all the same. Holds no more than
// one frame: a message that lies whole within the bytes fed is handed on where it lies.
class SyslogFramer final
{
public:
    static constexpr qsizetype maxFrameSize = 64 * 1024;

    enum class Status {
        Ok,
        TooLarge, // an octet count or a line over maxFrameSize
        BadCount  // an octet count that is not a number followed by a space
    };

    using Sink = std::function<void(QByteArrayView message)>;

    // Hands each message completed by bytes to sink, in order. After anything but Ok the
    // stream cannot be trusted to be in step again, and every further feed returns the same.
    Status feed(QByteArrayView bytes, const Sink &sink);

    Status status() const { return m_status; }
    // Part of a frame has come and not the rest.
    bool inFrame() const { return m_state != State::Between; }
    // Frames begun so far, so that a caller can tell a new frame from one still coming.
    quint64 framesBegun() const { return m_framesBegun; }

private:
    enum class State { Between, Count, Body, Line };

    Status fail(Status status);

    State m_state = State::Between;
    Status m_status = Status::Ok;
    qsizetype m_count = 0;
    quint64 m_framesBegun = 0;
    QByteArray m_pending;
};
