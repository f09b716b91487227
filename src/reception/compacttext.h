#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstring>

// Text kept in half the memory while every character fits in Latin-1, as readings nearly
// always do; other text is kept as it is. A full table holds two million of these.
class CompactText final
{
public:
    // Keeps the storage when it is not shared and large enough: no allocation per datagram.
    void assign(QStringView text)
    {
        const char16_t *const chars = text.utf16();
        const qsizetype size = text.size();
        // Narrowed in one pass; the rare wider character starts it again as UTF-16.
        char *const out = storage(size);
        char16_t all = 0;
        for (qsizetype i = 0; i < size; ++i) {
            all |= chars[i];
            out[i] = char(chars[i]);
        }
        m_wide = all > 0xff;
        if (m_wide) {
            const auto bytes = size * qsizetype(sizeof(char16_t));
            std::memcpy(storage(bytes), chars, size_t(bytes));
        }
    }

    QString toString() const
    {
        if (!m_wide)
            return QString::fromLatin1(m_bytes);
        return QString(reinterpret_cast<const QChar *>(m_bytes.constData()),
                       m_bytes.size() / qsizetype(sizeof(char16_t)));
    }

private:
    // Room for exactly that many bytes.
    char *storage(qsizetype bytes)
    {
        if (m_bytes.size() != bytes || !m_bytes.isDetached()) {
            // resize() would round a new allocation up for growth that never comes.
            if (m_bytes.capacity() >= bytes && m_bytes.isDetached())
                m_bytes.resize(bytes);
            else
                m_bytes = QByteArray(bytes, Qt::Uninitialized);
        }
        return m_bytes.data();
    }

    QByteArray m_bytes; // Latin-1, or UTF-16 units when m_wide
    bool m_wide = false;
};
