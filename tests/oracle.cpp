#include "oracle.h"

#include "reception/reading.h"

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

bool literalParse(Reading &r)
{
    QString buffer = r.buffer;
    if (const qsizetype p = positionOf(buffer, u'>'); p != 0)
        buffer = take(buffer, p + 1, 255);
    const QString date = take(buffer, 1, 6);
    const QString time = take(buffer, 8, 8);
    buffer = take(buffer, 17, 255);
    const qsizetype s = positionOf(buffer, u' ');
    QString host = r.host;
    if (s != 0)
        host = trimmed(take(buffer, 1, s - 1));
    buffer = take(buffer, s + 1, 255);
    const qsizetype a = positionOf(buffer, u'[');
    const qsizetype b = positionOf(buffer, u']');
    if (a == 0 || b == 0 || b < a)
        return false;
    const QString name = u' ' + trimmed(take(buffer, a + 1, b - a - 1));
    if (const qsizetype k = positionOf(buffer, u':'); k != 0)
        buffer = trimmed(take(buffer, k + 1, 255));
    const qsizetype e = positionOf(buffer, u'=');
    const qsizetype f = positionOf(buffer, u' ');
    if (f <= e)
        return false;
    r = {buffer, date, time, host, name, u' ' + trimmed(take(buffer, e + 1, f - e - 1)) + u' '};
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
