#include "oracle.h"

#include "engine/reception/reading.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace {

qsizetype positionOf(const QString &text, QChar c)
{
    return text.indexOf(c) + 1;
}

QString take(const QString &text, qsizetype start, qsizetype n)
{
    return start > text.size() ? QString() : text.mid(start - 1, n);
}

QString trimmed(const QString &text)
{
    return literalTrim(text).toString();
}

} // namespace

QStringView literalTrim(QStringView text)
{
    while (text.startsWith(u' '))
        text = text.sliced(1);
    while (text.endsWith(u' '))
        text.chop(1);
    return text;
}

namespace {

const QString timestampPattern =
    uR"((\d{4})-(\d{2})-(\d{2})T(\d{2}:\d{2}:\d{2})(?:\.\d+)?(?:Z|[+-]\d{2}:\d{2}))"_qs;

// Date and time as a classic header writes them; empty when the month or day is impossible.
bool dateAndTime(const QRegularExpressionMatch &m, int first, QString &date, QString &time)
{
    const int month = m.captured(first + 2).toInt();
    const int day = m.captured(first + 3).toInt();
    if (month < 1 || month > 12 || day < 1 || day > 31)
        return false;
    date = QDate(2000, month, 1).toString(u"MMM"_qs) + u' '
           + QString::number(day).rightJustified(2, u' ');
    time = m.captured(first + 4);
    return true;
}

// A first word with a bracketed name, ending in ":", and a space after it.
bool startsWithTagWord(const QString &text)
{
    static const QRegularExpression tag(uR"(\A[^ \[\]]*\[[^ \]]*\][^ ]*: )"_qs);
    return tag.match(text).hasMatch();
}

// Name, value and message from the message part; false when there is no value.
bool cutValue(QString message, QString &value)
{
    const qsizetype e = positionOf(message, u'=');
    const qsizetype f = positionOf(message, u' ');
    if (f == 0) {
        static const QRegularExpression lineEnd(uR"([\r\n\x{0}]+\z)"_qs);
        message.remove(lineEnd);
        if (message.isEmpty())
            return false;
        value = u' ' + take(message, e + 1, 255) + u' ';
        return true;
    }
    if (f <= e)
        return false;
    value = u' ' + trimmed(take(message, e + 1, f - e - 1)) + u' ';
    return true;
}

bool bracketedName(const QString &text, QString &name)
{
    const qsizetype a = positionOf(text, u'[');
    const qsizetype b = positionOf(text, u']');
    if (a == 0 || b == 0 || b < a)
        return false;
    name = u' ' + trimmed(take(text, a + 1, b - a - 1));
    return true;
}

// Steps 5 to 8 of the classic cut, on what follows the timestamp.
bool cutHostTagAndValue(QString buffer, bool hostMissing, const QString &sender, Reading &out)
{
    if (hostMissing) {
        if (sender.isEmpty())
            return false;
        out.host = sender;
    } else {
        const qsizetype s = positionOf(buffer, u' ');
        if (s == 0)
            return false;
        out.host = trimmed(take(buffer, 1, s - 1));
        buffer = take(buffer, s + 1, 255);
    }
    if (!bracketedName(buffer, out.name))
        return false;
    // A relay's tag without its colon: a first word with a bracketed name and no "=", and an
    // "=" after it; no colon anywhere.
    static const QRegularExpression colonlessTag(
        uR"(\A[^ \[\]=]*\[[^ \]=]*\][^ =]* [^:]*=[^:]*\z)"_qs);
    if (const qsizetype k = positionOf(buffer, u':'); k != 0)
        buffer = trimmed(take(buffer, k + 1, 255));
    else if (colonlessTag.match(buffer).hasMatch())
        buffer = trimmed(take(buffer, positionOf(buffer, u' ') + 1, 255));
    out.buffer = buffer;
    return cutValue(buffer, out.value);
}

bool literalRfc5424(const QString &header, const QString &sender, const QDateTime &received,
                    Reading &out)
{
    // Possessive: the header may run to the end of a datagram of 65,507 characters.
    static const QString sdName = uR"([!#-<>-\\^-~]++)"_qs;
    static const QString sdParam = u" "_qs + sdName + uR"(="(?:\\.|[^"\\])*+")"_qs;
    static const QString sdElement = uR"(\[)"_qs + sdName + u"(?:"_qs + sdParam + uR"()*+\])"_qs;
    static const QRegularExpression rfc5424(uR"((?s)\A1 (?:-|)"_qs + timestampPattern
                                            + uR"() ([^ ]++) ([^ ]++) ([^ ]++) [^ ]++ (?:-|(?:)"_qs
                                            + sdElement + uR"()++)(?: (.*))?\z)"_qs);
    const QRegularExpressionMatch m = rfc5424.match(header);
    if (!m.hasMatch())
        return false;
    if (m.capturedLength(4) == 0) {
        out.date = received.toString(u"MMM"_qs) + u' '
                   + QString::number(received.date().day()).rightJustified(2, u' ');
        out.time = received.toString(u"hh:mm:ss"_qs);
    } else if (!dateAndTime(m, 0, out.date, out.time)) {
        return false;
    }
    out.host = m.captured(5) == u"-" ? sender : m.captured(5).left(255);
    if (out.host.isEmpty())
        return false;
    const QString tag =
        m.captured(6).left(255)
        + (m.captured(7) == u"-" ? QString() : u'[' + m.captured(7).left(255) + u']');
    if (!bracketedName(tag, out.name))
        return false;
    QString message = m.captured(8);
    if (message.startsWith(QChar(0xfeff)))
        message.remove(0, 1);
    // 255 characters from the start of the message, not from the ">".
    out.buffer = trimmed(message.left(255));
    return cutValue(out.buffer, out.value);
}

} // namespace

bool literalParse(Reading &r, const QString &sender, const QDateTime &received)
{
    QString buffer = r.buffer;
    static const QRegularExpression priority(uR"(\A<\d{1,3}>)"_qs);
    const bool hasPriority = priority.match(buffer).hasMatch();
    const qsizetype p = positionOf(buffer, u'>');
    const QString afterPriority = buffer.mid(p);
    if (p != 0)
        buffer = take(buffer, p + 1, 255);
    Reading out = r;
    if (hasPriority) {
        static const QRegularExpression version(u"\\A1 (?:-|"_qs + timestampPattern + u") "_qs);
        QString unusedDate;
        QString unusedTime;
        if (const QRegularExpressionMatch m = version.match(buffer);
            m.hasMatch()
            && (m.capturedLength(4) == 0 || dateAndTime(m, 0, unusedDate, unusedTime))) {
            if (!literalRfc5424(afterPriority, sender, received, out))
                return false;
            r = out;
            return true;
        }
        static const QRegularExpression rfc3339(u"\\A"_qs + timestampPattern + u" "_qs);
        if (const QRegularExpressionMatch m = rfc3339.match(buffer);
            m.hasMatch() && dateAndTime(m, 0, out.date, out.time)) {
            const QString rest = buffer.mid(m.capturedLength());
            if (!cutHostTagAndValue(rest, startsWithTagWord(rest), sender, out))
                return false;
            r = out;
            return true;
        }
        if (startsWithTagWord(buffer)) {
            out.date = received.toString(u"MMM"_qs) + u' '
                       + QString::number(received.date().day()).rightJustified(2, u' ');
            out.time = received.toString(u"hh:mm:ss"_qs);
            if (!cutHostTagAndValue(buffer, true, sender, out))
                return false;
            r = out;
            return true;
        }
    }
    out.date = take(buffer, 1, 6);
    out.time = take(buffer, 8, 8);
    static const QRegularExpression classic(
        u"\\A(?:Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ \\d]\\d \\d\\d:\\d\\d:\\d\\d "_qs);
    const QString rest = take(buffer, 17, 255);
    const bool hostMissing =
        hasPriority && classic.match(buffer).hasMatch() && startsWithTagWord(rest);
    if (!cutHostTagAndValue(rest, hostMissing, sender, out))
        return false;
    r = out;
    return true;
}

bool isUnsafeForDisplay(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7f && u <= 0x9f) || (u >= 0x202a && u <= 0x202e)
           || (u >= 0x2066 && u <= 0x2069) || u == 0x200e || u == 0x200f || u == 0x061c;
}

QString deepCopy(const QString &text)
{
    return QString(text.constData(), text.size());
}

QString senderText(const QHostAddress &address)
{
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    return mapped ? QHostAddress(ipv4).toString() : address.toString();
}
