#include "httprequestreader.h"

#include <algorithm>
#include <cstring>

namespace {

// The characters of a method or a header name.
bool isTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return std::strchr("!#$%&'*+-.^_`|~", c) != nullptr && c != '\0';
}

bool isToken(QByteArrayView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), isTokenChar);
}

// Control characters other than a tab have no place in a field value; bytes above 0x7f
// are let through as the protocol's obsolete text.
bool isFieldValue(QByteArrayView text)
{
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && c != '\t') || byte == 0x7f;
    });
}

QByteArrayView trimmedBlanks(QByteArrayView text)
{
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t'))
        text.chop(1);
    return text;
}

bool equalsIgnoringCase(QByteArrayView a, QByteArrayView b)
{
    return a.size() == b.size() && qstrnicmp(a.data(), a.size(), b.data(), b.size()) == 0;
}

} // namespace

HttpRequestReader::Status HttpRequestReader::feed(QByteArrayView bytes)
{
    while (m_status == Status::NeedMore && !bytes.isEmpty()) {
        const auto *const newline =
            static_cast<const char *>(std::memchr(bytes.data(), '\n', size_t(bytes.size())));
        const qsizetype taken = newline ? newline - bytes.data() + 1 : bytes.size();
        if (m_headSize + taken > maxHeadSize) {
            m_status = Status::TooLarge;
            break;
        }
        m_headSize += taken;
        m_line.append(bytes.first(newline ? taken - 1 : taken));
        bytes = bytes.sliced(taken);
        if (!newline)
            break;
        QByteArrayView line = m_line;
        if (line.endsWith('\r'))
            line.chop(1);
        m_status = takeLine(line);
        m_line.clear();
    }
    if (m_status != Status::NeedMore) {
        // Nothing more is read, so nothing more is kept.
        m_line = QByteArray();
    }
    return m_status;
}

HttpRequestReader::Status HttpRequestReader::takeLine(QByteArrayView line)
{
    // A carriage return only ever ends a line.
    if (line.contains('\r'))
        return Status::Malformed;
    if (!m_requestLineRead)
        return line.isEmpty() ? Status::NeedMore : takeRequestLine(line);
    if (line.isEmpty())
        return Status::Complete;
    return takeHeaderLine(line);
}

HttpRequestReader::Status HttpRequestReader::takeRequestLine(QByteArrayView line)
{
    m_requestLineRead = true;
    const qsizetype firstSpace = line.indexOf(' ');
    const qsizetype lastSpace = line.lastIndexOf(' ');
    if (firstSpace <= 0 || lastSpace <= firstSpace + 1)
        return Status::Malformed;
    const QByteArrayView method = line.first(firstSpace);
    QByteArrayView target = line.sliced(firstSpace + 1, lastSpace - firstSpace - 1);
    const QByteArrayView version = line.sliced(lastSpace + 1);
    if (!isToken(method) || version.size() != 8 || !version.startsWith("HTTP/1.")
        || version[7] < '0' || version[7] > '9')
        return Status::Malformed;
    if (!std::all_of(target.begin(), target.end(), [](char c) { return c > ' ' && c < 0x7f; }))
        return Status::Malformed;

    // A request through a proxy names the whole address; only its path matters here, and an
    // address without one names "/".
    bool absolute = false;
    for (const QByteArrayView scheme : {QByteArrayView("http://"), QByteArrayView("https://")}) {
        if (target.size() > scheme.size()
            && equalsIgnoringCase(target.first(scheme.size()), scheme)) {
            target = target.sliced(scheme.size());
            qsizetype authority = 0;
            while (authority < target.size() && target[authority] != '/'
                   && target[authority] != '?')
                ++authority;
            target = target.sliced(authority);
            absolute = true;
            break;
        }
    }
    if (!absolute && !target.startsWith('/') && target != "*")
        return Status::Malformed;
    const qsizetype question = target.indexOf('?');
    const QByteArrayView path = question < 0 ? target : target.first(question);
    m_method = method.toByteArray();
    m_target = path.isEmpty() ? QByteArray("/") : path.toByteArray();
    m_query = question < 0 ? QByteArray() : target.sliced(question + 1).toByteArray();
    m_minorVersion = version[7] == '0' ? 0 : 1;
    return Status::NeedMore;
}

HttpRequestReader::Status HttpRequestReader::takeHeaderLine(QByteArrayView line)
{
    const qsizetype colon = line.indexOf(':');
    // A line that starts with a blank continues the one before, which is no longer allowed.
    if (colon < 0 || !isToken(line.first(colon)))
        return Status::Malformed;
    const QByteArrayView value = trimmedBlanks(line.sliced(colon + 1));
    if (!isFieldValue(value))
        return Status::Malformed;
    m_headers.emplace_back(line.first(colon).toByteArray(), value.toByteArray());
    return Status::NeedMore;
}

QByteArray HttpRequestReader::header(QByteArrayView name) const
{
    QByteArray joined;
    bool first = true;
    for (const auto &[each, value] : m_headers) {
        if (!equalsIgnoringCase(each, name))
            continue;
        if (!first)
            joined += ", ";
        joined += value;
        first = false;
    }
    return joined;
}
