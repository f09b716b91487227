#pragma once

#include <QAnyStringView>
#include <QString>
#include <QStringView>

#include <cstring>
#include <memory>

// Text kept in half the memory while every character fits in Latin-1, as readings nearly
// always do; other text is kept as it is. A full table holds two million of these, so the
// length lives in the one allocation and the object is a single pointer.
class CompactText final
{
public:
    CompactText() = default;
    CompactText(const CompactText &other) { *this = other; }
    CompactText(CompactText &&) noexcept = default;
    CompactText &operator=(const CompactText &other)
    {
        if (this != &other) {
            const Header header = other.header();
            std::memcpy(storage(header.bytes, header.wide), other.text(), header.bytes);
        }
        return *this;
    }
    CompactText &operator=(CompactText &&) noexcept = default;
    ~CompactText() = default;

    // Keeps the storage when it is large enough: no allocation per datagram.
    void assign(QStringView text)
    {
        const char16_t *const chars = text.utf16();
        const auto size = quint32(text.size());
        // Narrowed in one pass; the rare wider character starts it again as UTF-16.
        char *const out = storage(size, false);
        char16_t all = 0;
        for (quint32 i = 0; i < size; ++i) {
            all |= chars[i];
            out[i] = char(chars[i]);
        }
        if (all > 0xff)
            std::memcpy(storage(size * quint32(sizeof(char16_t)), true), chars,
                        size * sizeof(char16_t));
    }

    // The text where it is kept, Latin-1 or UTF-16, without a copy; valid until it changes.
    QAnyStringView view() const
    {
        const Header header = this->header();
        if (header.wide)
            return QStringView(reinterpret_cast<const char16_t *>(text()),
                               qsizetype(header.bytes / sizeof(char16_t)));
        return QLatin1StringView(text(), qsizetype(header.bytes));
    }

    QString toString() const
    {
        const Header header = this->header();
        if (!header.wide)
            return QString::fromLatin1(text(), qsizetype(header.bytes));
        return QString(reinterpret_cast<const QChar *>(text()),
                       qsizetype(header.bytes / sizeof(char16_t)));
    }

private:
    struct Header
    {
        quint32 capacity = 0; // bytes
        quint32 bytes : 31 = 0;
        quint32 wide : 1 = 0; // UTF-16 units rather than Latin-1 bytes
    };

    Header header() const
    {
        Header header;
        if (m_data)
            std::memcpy(&header, m_data.get(), sizeof header);
        return header;
    }
    const char *text() const { return m_data ? m_data.get() + sizeof(Header) : nullptr; }

    // Room for that many bytes, allocated to size.
    char *storage(quint32 bytes, bool wide)
    {
        Header header = this->header();
        if (!m_data || header.capacity < bytes) {
            m_data = std::make_unique_for_overwrite<char[]>(sizeof(Header) + bytes);
            header.capacity = bytes;
        }
        header.bytes = bytes;
        header.wide = wide;
        std::memcpy(m_data.get(), &header, sizeof header);
        return m_data.get() + sizeof(Header);
    }

    std::unique_ptr<char[]> m_data; // a Header, then the text
};
