#include "readingparser.h"

#include "arrival.h"
#include "monthnames.h"
#include "reading.h"
#include "textfield.h"

#include <QStringDecoder>

#include <algorithm>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr qsizetype maxPart = 255;

// Nearly every datagram is plain ASCII, and widening it here costs a sixth of what the
// library's UTF-8 decoder does for a short text. False, with out partly written, at the first
// byte that is not ASCII.
bool widenAscii(QByteArrayView bytes, QChar *out)
{
    const auto *const in = reinterpret_cast<const uchar *>(bytes.data());
    const qsizetype size = bytes.size();
    qsizetype i = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= size; i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
        if (_mm_movemask_epi8(chunk) != 0)
            return false;
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_unpacklo_epi8(chunk, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i + 8), _mm_unpackhi_epi8(chunk, zero));
    }
#endif
    for (; i < size; ++i) {
        if (in[i] >= 0x80)
            return false;
        out[i] = QChar(char16_t(in[i]));
    }
    return true;
}

// Positions count from 1; 0 means "not found". The texts are short, so a plain loop
// beats the call into the library's vectorised search.
qsizetype positionOf(QStringView text, QChar c)
{
    const QChar *const chars = text.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (chars[i] == c)
            return i + 1;
    }
    return 0;
}

// At most n characters of text from position start on.
QStringView take(QStringView text, qsizetype start, qsizetype n)
{
    const qsizetype from = start - 1;
    if (from >= text.size())
        return {};
    return text.sliced(from, std::min(n, text.size() - from));
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

int twoDigits(QStringView text, qsizetype at)
{
    return (text[at].unicode() - u'0') * 10 + (text[at + 1].unicode() - u'0');
}

// What a datagram's header gave, as views into the datagram, the arrival or dateChars.
struct Cut
{
    QStringView date;
    QStringView time;
    QStringView host;
    QStringView tag; // where the name is looked for
    QStringView procId;
    QStringView message; // where the value is looked for
    // Left uninitialised: clearing it with the rest cost more than the classic header's whole
    // check for the other shapes.
    char16_t dateChars[6];
};

// "<", one to three digits, ">" at the very start, where p is the position of the first ">".
bool startsWithPriority(QStringView datagram, qsizetype p)
{
    if (p < 3 || p > 5 || datagram[0] != u'<')
        return false;
    return std::all_of(datagram.begin() + 1, datagram.begin() + p - 1, isDigit);
}

// The length of an RFC 3339 timestamp at the start of text, 0 when there is none:
// "2026-12-08T01:45:39", an optional fraction, then "Z" or "+hh:mm" / "-hh:mm".
qsizetype rfc3339Length(QStringView text)
{
    static constexpr char16_t shape[] = u"dddd-dd-ddTdd:dd:dd";
    constexpr qsizetype shapeSize = 19;
    if (text.size() <= shapeSize)
        return 0;
    for (qsizetype i = 0; i < shapeSize; ++i) {
        if (shape[i] == u'd' ? !isDigit(text[i]) : text[i] != shape[i])
            return 0;
    }
    const int month = twoDigits(text, 5);
    const int day = twoDigits(text, 8);
    if (month < 1 || month > 12 || day < 1 || day > 31)
        return 0;
    qsizetype i = shapeSize;
    if (text[i] == u'.') {
        const qsizetype digits = ++i;
        while (i < text.size() && isDigit(text[i]))
            ++i;
        if (i == digits)
            return 0;
    }
    if (i < text.size() && text[i] == u'Z')
        return i + 1;
    if (i + 6 <= text.size() && (text[i] == u'+' || text[i] == u'-') && isDigit(text[i + 1])
        && isDigit(text[i + 2]) && text[i + 3] == u':' && isDigit(text[i + 4])
        && isDigit(text[i + 5]))
        return i + 6;
    return 0;
}

// Date and time as the classic header writes them, from an RFC 3339 timestamp.
void takeRfc3339(QStringView timestamp, Cut &cut)
{
    const QStringView month = monthName(twoDigits(timestamp, 5));
    std::copy(month.utf16(), month.utf16() + 3, cut.dateChars);
    cut.dateChars[3] = u' ';
    cut.dateChars[4] = timestamp[8] == u'0' ? u' ' : timestamp[8].unicode();
    cut.dateChars[5] = timestamp[9].unicode();
    cut.date = QStringView(cut.dateChars, 6);
    cut.time = timestamp.sliced(11, 8);
}

// "Mmm dd hh:mm:ss " at the start of text, with an English month.
bool startsWithClassicTimestamp(QStringView text)
{
    static constexpr char16_t shape[] = u"??? *d dd:dd:dd ";
    constexpr qsizetype shapeSize = 16;
    if (text.size() < shapeSize || monthNumber(text.first(3)) == 0)
        return false;
    for (qsizetype i = 3; i < shapeSize; ++i) {
        const QChar c = text[i];
        const char16_t want = shape[i];
        if (want == u'd' ? !isDigit(c) : want == u'*' ? !(c == u' ' || isDigit(c)) : c != want)
            return false;
    }
    return true;
}

// Whether text starts with a word such as "senvo[CPU]:": a bracketed name, a colon at its end,
// and a space after it, where s is the position of text's first space. No classic header
// starts like this, since its first word is a month or a host name.
bool isTagWord(QStringView text, qsizetype s)
{
    // The colon first: it rules out nearly every host name at the cost of one comparison.
    if (s < 2 || text[s - 2] != u':')
        return false;
    const QStringView word = text.first(s - 1);
    const qsizetype a = positionOf(word, u'[');
    const qsizetype b = positionOf(word, u']');
    return a != 0 && b > a;
}

// Whether text, which holds no colon, starts with a tag such as "senvo[CPU]" that a relay
// wrote without its colon, where t is the position of text's first space: a bracketed name,
// no "=" in the word, and an "=" after it. Any other such text stays the message whole, as it
// always was (with no "=" at all, its first word is the value).
bool isColonlessTag(QStringView text, qsizetype t)
{
    if (t < 2)
        return false;
    const QStringView word = text.first(t - 1);
    const qsizetype a = positionOf(word, u'[');
    const qsizetype b = positionOf(word, u']');
    return a != 0 && b > a && positionOf(word, u'=') == 0 && positionOf(text, u'=') != 0;
}

// The length of RFC 5424 structured data at the start of text, "-" or one or more
// "[id name="value" ...]", 0 when it is malformed. Quoted values may hold spaces, "]" and
// the escapes \" \] \\, so they are skipped by the grammar, not by looking for "]".
qsizetype structuredDataLength(QStringView text)
{
    const auto isNameChar = [](QChar c) {
        return c.unicode() > u' ' && c.unicode() < 0x7f && c != u'=' && c != u']' && c != u'"';
    };
    const auto skipName = [&](qsizetype i) {
        const qsizetype from = i;
        while (i < text.size() && isNameChar(text[i]))
            ++i;
        return i == from ? 0 : i;
    };
    if (text.startsWith(u'-'))
        return 1;
    qsizetype i = 0;
    do {
        if (i >= text.size() || text[i] != u'[' || (i = skipName(i + 1)) == 0)
            return 0;
        while (i < text.size() && text[i] == u' ') {
            if ((i = skipName(i + 1)) == 0 || i + 1 >= text.size() || text[i] != u'='
                || text[i + 1] != u'"')
                return 0;
            for (i += 2; i < text.size() && text[i] != u'"'; ++i) {
                if (text[i] == u'\\')
                    ++i;
            }
            if (i >= text.size())
                return 0;
            ++i;
        }
        if (i >= text.size() || text[i] != u']')
            return 0;
        ++i;
    } while (i < text.size() && text[i] == u'[');
    return i;
}

// The next space-delimited word of an RFC 5424 header, which is moved past the word and
// the one space after it. False when the word is empty or nothing follows it.
bool nextField(QStringView &header, QStringView &field)
{
    const qsizetype s = positionOf(header, u' ');
    if (s < 2)
        return false;
    field = header.first(s - 1);
    header = header.sliced(s);
    return true;
}

// At most maxPart characters from the start of text.
QStringView firstPart(QStringView text)
{
    return text.first(std::min(text.size(), maxPart));
}

// "1 TIMESTAMP HOST APP-NAME PROCID MSGID STRUCTURED-DATA MSG", from "1 " on to the end of the
// datagram, once the timestamp or its "-" has been seen. Senders put long host names and
// several structured data elements before the message, so the usual window of maxPart
// characters starts at the message here; the header is read by one pass over the datagram.
bool cutRfc5424(QStringView header, qsizetype timestampLength, Arrival &arrival, Cut &cut)
{
    if (timestampLength == 1) {
        cut.date = arrival.receivedDate();
        cut.time = arrival.receivedTime();
    } else {
        takeRfc3339(header.sliced(2), cut);
    }
    header = header.sliced(2 + timestampLength + 1);
    QStringView messageId;
    if (!nextField(header, cut.host) || !nextField(header, cut.tag)
        || !nextField(header, cut.procId) || !nextField(header, messageId))
        return false;
    if (cut.host == u"-" && (cut.host = arrival.senderText()).isEmpty())
        return false;
    if (cut.procId == u"-")
        cut.procId = {};
    // Each field at most maxPart characters, as in the classic header.
    cut.host = firstPart(cut.host);
    cut.tag = firstPart(cut.tag);
    cut.procId = firstPart(cut.procId);
    const qsizetype data = structuredDataLength(header);
    if (data == 0 || (data < header.size() && header[data] != u' '))
        return false;
    QStringView message = header.sliced(std::min(data + 1, header.size()));
    // A byte-order mark may say that the message is UTF-8; it is no part of the text.
    if (message.startsWith(QChar(0xfeff)))
        message = message.sliced(1);
    cut.message = trimSpaces(firstPart(message));
    return true;
}

// "host tag[name]: message", "host tag[name] message" from a relay that drops the colon, or
// "tag[name]: message" from a sender that leaves its host out; s is the position of rest's
// first space.
bool cutHostAndTag(QStringView rest, qsizetype s, bool hostMissing, Arrival &arrival, Cut &cut)
{
    if (hostMissing) {
        // Only a datagram made up here, not one from a socket, has no sender.
        cut.host = arrival.senderText();
        if (cut.host.isEmpty())
            return false;
    } else {
        // With no space the datagram has no message, whatever else it holds.
        if (s == 0)
            return false;
        cut.host = trimSpaces(take(rest, 1, s - 1));
        rest = take(rest, s + 1, maxPart);
    }
    cut.tag = rest;
    if (const qsizetype k = positionOf(rest, u':'); k != 0)
        rest = trimSpaces(take(rest, k + 1, maxPart));
    else if (const qsizetype t = positionOf(rest, u' '); isColonlessTag(rest, t))
        rest = trimSpaces(take(rest, t + 1, maxPart));
    cut.message = rest;
    return true;
}

// The header as found after "<priority>", in maxPart characters, and all that follows the
// priority: the shapes that a classic header cannot take first, the fixed offsets for
// everything else.
bool cutHeader(QStringView header, QStringView afterPriority, bool priority, Arrival &arrival,
               Cut &cut)
{
    if (priority) {
        if (header.size() > 2 && header[0] == u'1' && header[1] == u' ') {
            const QStringView afterVersion = header.sliced(2);
            const qsizetype length =
                afterVersion.startsWith(u'-') ? 1 : rfc3339Length(afterVersion);
            if (length != 0 && length < afterVersion.size() && afterVersion[length] == u' ')
                return cutRfc5424(afterPriority, length, arrival, cut);
        }
        if (const qsizetype length = rfc3339Length(header);
            length != 0 && length < header.size() && header[length] == u' ') {
            takeRfc3339(header, cut);
            const QStringView rest = header.sliced(length + 1);
            const qsizetype s = positionOf(rest, u' ');
            return cutHostAndTag(rest, s, isTagWord(rest, s), arrival, cut);
        }
        if (const qsizetype s = positionOf(header, u' '); isTagWord(header, s)) {
            cut.date = arrival.receivedDate();
            cut.time = arrival.receivedTime();
            return cutHostAndTag(header, s, true, arrival, cut);
        }
    }
    // By offset, also when the datagram has no timestamp there.
    cut.date = take(header, 1, 6);
    cut.time = take(header, 8, 8);
    const QStringView rest = take(header, 17, maxPart);
    const qsizetype s = positionOf(rest, u' ');
    const bool hostMissing = priority && isTagWord(rest, s) && startsWithClassicTimestamp(header);
    return cutHostAndTag(rest, s, hostMissing, arrival, cut);
}

// The first "[" to the first "]" of the tag, and of "[procId]" after it when there is one.
// False when there is no such pair.
bool findName(const Cut &cut, QStringView &name, QString &joined)
{
    const qsizetype a = positionOf(cut.tag, u'[');
    const qsizetype b = positionOf(cut.tag, u']');
    if (cut.procId.isEmpty() || b != 0) {
        if (a == 0 || b == 0 || b < a)
            return false;
        name = take(cut.tag, a + 1, b - a - 1);
        return true;
    }
    if (a == 0) {
        const qsizetype close = positionOf(cut.procId, u']');
        name = close == 0 ? cut.procId : cut.procId.first(close - 1);
        return true;
    }
    // "ab[c" with process id "d": the name runs on into the process id, "c[d".
    joined = cut.tag.sliced(a).toString();
    joined += u'[';
    joined += cut.procId;
    const qsizetype close = positionOf(joined, u']');
    name = close == 0 ? QStringView(joined) : QStringView(joined).first(close - 1);
    return true;
}

// The value: from after the first "=" to the first space, or to the end of the message when
// no space follows it.
bool findValue(QStringView message, QStringView &value)
{
    const qsizetype e = positionOf(message, u'=');
    const qsizetype f = positionOf(message, u' ');
    if (f != 0) {
        if (f <= e)
            return false;
        value = trimSpaces(take(message, e + 1, f - e - 1));
        return true;
    }
    // The line end or string end some senders add is no part of the value.
    while (!message.isEmpty()
           && (message.back() == u'\r' || message.back() == u'\n' || message.back() == u'\0'))
        message.chop(1);
    if (message.isEmpty())
        return false;
    value = take(message, e + 1, maxPart);
    return true;
}

} // namespace

bool parseudp(Reading &reading, Arrival &arrival)
{
    QStringView afterPriority = reading.buffer;
    QStringView header = afterPriority;
    const qsizetype p = positionOf(afterPriority, u'>');
    if (p != 0) {
        afterPriority = afterPriority.sliced(p);
        header = take(afterPriority, 1, maxPart);
    }
    Cut cut;
    QString joined;
    QStringView name;
    QStringView value;
    // Without a name of its own a reading would be shown under whatever name came last.
    if (!cutHeader(header, afterPriority, startsWithPriority(reading.buffer, p), arrival, cut)
        || !findName(cut, name, joined) || !findValue(cut.message, value))
        return false;
    name = trimSpaces(name);

    // Every check is behind us: from here on the reading is updated as a whole.
    assignText(reading.date, cut.date);
    assignText(reading.time, cut.time);
    assignText(reading.host, cut.host);
    assignText(reading.name, u" ", name, {});
    assignText(reading.value, u" ", value, u" ");
    // Moved to the front by hand: remove(0, n) would leave the free space before the text,
    // and the next datagram would then need a new allocation to fit.
    const QStringView message = cut.message;
    const qsizetype length = message.size();
    const qsizetype offset = message.data() - reading.buffer.constData();
    if (length > 0 && offset > 0) {
        QChar *const data = reading.buffer.data();
        moveCharsDown(data, data + offset, length);
    }
    reading.buffer.truncate(length);
    return true;
}

void decodeDatagram(QByteArrayView bytes, Reading &reading)
{
    // One UTF-16 unit per byte at most; invalid bytes each become U+FFFD.
    reading.buffer.resize(bytes.size());
    if (widenAscii(bytes, reading.buffer.data()))
        return;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QChar *const begin = reading.buffer.data();
    QChar *const end = decoder.appendToBuffer(begin, bytes);
    reading.buffer.truncate(end - begin);
}
