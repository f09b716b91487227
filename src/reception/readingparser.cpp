#include "readingparser.h"

#include "reading.h"
#include "textfield.h"

#include <QStringDecoder>

#include <algorithm>

namespace {

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

// Assigns in place so that a field that is not shared keeps its storage.
void assign(QString &field, QStringView prefix, QStringView text, QStringView suffix)
{
    if (const qsizetype size = prefix.size() + text.size() + suffix.size(); field.size() != size)
        field.resize(size);
    QChar *const out = field.data();
    copyChars(out, prefix.data(), prefix.size());
    copyChars(out + prefix.size(), text.data(), text.size());
    copyChars(out + prefix.size() + text.size(), suffix.data(), suffix.size());
}

} // namespace

bool parseudp(Reading &reading)
{
    constexpr qsizetype maxPart = 255;
    QStringView buffer = reading.buffer;

    if (const qsizetype p = positionOf(buffer, u'>'); p != 0)
        buffer = take(buffer, p + 1, maxPart);

    const QStringView date = take(buffer, 1, 6);
    const QStringView time = take(buffer, 8, 8);
    buffer = take(buffer, 17, maxPart);

    const qsizetype s = positionOf(buffer, u' ');
    const QStringView host = s != 0 ? trimSpaces(take(buffer, 1, s - 1)) : QStringView();
    buffer = take(buffer, s + 1, maxPart);

    const qsizetype a = positionOf(buffer, u'[');
    const qsizetype b = positionOf(buffer, u']');
    // Without a name of its own a reading would be shown under whatever name came last.
    if (a == 0 || b == 0 || b < a)
        return false;
    const QStringView name = trimSpaces(take(buffer, a + 1, b - a - 1));

    if (const qsizetype k = positionOf(buffer, u':'); k != 0)
        buffer = trimSpaces(take(buffer, k + 1, maxPart));

    const qsizetype e = positionOf(buffer, u'=');
    const qsizetype f = positionOf(buffer, u' ');
    if (f <= e)
        return false;
    const QStringView value = trimSpaces(take(buffer, e + 1, f - e - 1));

    // Every check is behind us: from here on the reading is updated as a whole.
    assign(reading.date, {}, date, {});
    assign(reading.time, {}, time, {});
    if (s != 0)
        assign(reading.host, {}, host, {});
    assign(reading.name, u" ", name, {});
    assign(reading.value, u" ", value, u" ");
    // Moved to the front by hand: remove(0, n) would leave the free space before the text,
    // and the next datagram would then need a new allocation to fit.
    const qsizetype length = buffer.size();
    const qsizetype offset = buffer.data() - reading.buffer.constData();
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
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QChar *const begin = reading.buffer.data();
    QChar *const end = decoder.appendToBuffer(begin, bytes);
    reading.buffer.truncate(end - begin);
}
