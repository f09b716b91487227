#pragma once

#include <QString>
#include <QStringView>

#include <cstring>
#include <type_traits>

// Trims only the space character: tabs and other white space are part of the text.
inline QStringView trimSpaces(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.sliced(begin, end - begin);
}

// Copies count characters between texts that do not overlap. The texts of a reading are
// short, and copying them inline costs less than a call to the library's memcpy.
inline void copyChars(QChar *to, const QChar *from, qsizetype count)
{
    const auto bytes = size_t(count) * sizeof(QChar);
    auto *out = reinterpret_cast<char *>(to);
    const auto *in = reinterpret_cast<const char *>(from);
    // Two fixed-size copies, the second ending where the text ends, cover every length
    // from that size to twice it.
    const auto headAndTail = [&](auto size) {
        std::memcpy(out, in, size);
        std::memcpy(out + bytes - size, in + bytes - size, size);
    };
    if (bytes > 32)
        std::memcpy(out, in, bytes);
    else if (bytes >= 16)
        headAndTail(std::integral_constant<size_t, 16>());
    else if (bytes >= 8)
        headAndTail(std::integral_constant<size_t, 8>());
    else if (bytes >= 4)
        headAndTail(std::integral_constant<size_t, 4>());
    else if (bytes == 2)
        *to = *from;
}

// Moves count characters to an earlier place in the same text; the two ranges may overlap.
inline void moveCharsDown(QChar *to, const QChar *from, qsizetype count)
{
    auto *out = reinterpret_cast<char *>(to);
    const auto *in = reinterpret_cast<const char *>(from);
    auto bytes = size_t(count) * sizeof(QChar);
    // Each word is read before anything at or past it is written, as the target lies lower.
    for (; bytes >= 8; bytes -= 8, in += 8, out += 8) {
        char word[8];
        std::memcpy(word, in, 8);
        std::memcpy(out, word, 8);
    }
    for (; bytes >= 2; bytes -= 2, in += 2, out += 2) {
        char unit[2];
        std::memcpy(unit, in, 2);
        std::memcpy(out, unit, 2);
    }
}

// Replaces field's text, keeping its storage when it is not shared and large enough:
// the per-datagram path then allocates nothing.
inline void assignText(QString &field, QStringView text)
{
    if (field.size() != text.size())
        field.resize(text.size());
    copyChars(field.data(), text.data(), text.size());
}

// As above, with prefix and suffix written around text.
inline void assignText(QString &field, QStringView prefix, QStringView text, QStringView suffix)
{
    if (const qsizetype size = prefix.size() + text.size() + suffix.size(); field.size() != size)
        field.resize(size);
    QChar *const out = field.data();
    copyChars(out, prefix.data(), prefix.size());
    copyChars(out + prefix.size(), text.data(), text.size());
    copyChars(out + prefix.size() + text.size(), suffix.data(), suffix.size());
}
