#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <utility>
#include <vector>

// The head of one HTTP/1.0 or 1.1 request, read as its bytes arrive in pieces of any size:
// the request line and the header lines up to the empty line that ends them. Whatever
// follows the head is left unread. Lines may end in CRLF or in LF alone; empty lines before
// the request line are skipped, as the protocol asks.
//
// It keeps at most maxHeadSize bytes of a request, whatever it is fed: a head any longer is
// TooLarge, and one that breaks the grammar is Malformed as soon as the line that breaks it
// is complete. Once the status is anything but NeedMore, feeding changes nothing.
class HttpRequestReader final
{
public:
    // The request line and every header line, their line ends and the empty line included.
    static constexpr qsizetype maxHeadSize = 8 * 1024;

    enum class Status { NeedMore, Complete, TooLarge, Malformed };

    Status feed(QByteArrayView bytes);
    Status status() const { return m_status; }

    // What the request line says, once it is complete: "GET", "/metrics" (the query
    // string split off, without its "?") and 0 or 1 for HTTP/1.0 or HTTP/1.1.
    const QByteArray &method() const { return m_method; }
    const QByteArray &target() const { return m_target; }
    const QByteArray &query() const { return m_query; }
    int minorVersion() const { return m_minorVersion; }
    // The values of every header of that name, in any case, joined by ", " as the protocol
    // allows for a list; empty where there is none.
    QByteArray header(QByteArrayView name) const;

private:
    Status takeLine(QByteArrayView line);
    Status takeRequestLine(QByteArrayView line);
    Status takeHeaderLine(QByteArrayView line);

    Status m_status = Status::NeedMore;
    qsizetype m_headSize = 0; // bytes taken so far, line ends included
    QByteArray m_line;        // the line being read, without its end
    bool m_requestLineRead = false;
    QByteArray m_method;
    QByteArray m_target;
    QByteArray m_query;
    int m_minorVersion = 1;
    std::vector<std::pair<QByteArray, QByteArray>> m_headers;
};
