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
        char16_t all = 0;
        for (qsizetype i = 0; i < size; ++i)
            all |= chars[i];
        m_wide = all > 0xff;
        const qsizetype bytes = m_wide ? size * qsizetype(sizeof(char16_t)) : size;
        // resize() would round a new allocation up for growth that never comes.
        if (m_bytes.capacity() >= bytes && m_bytes.isDetached())
            m_bytes.resize(bytes);
        else
            m_bytes = QByteArray(bytes, Qt::Uninitialized);
        char *const out = m_bytes.data();
        if (m_wide) {
            std::memcpy(out, chars, size_t(size) * sizeof(char16_t));
            return;
        }
        for (qsizetype i = 0; i < size; ++i)
            out[i] = char(chars[i]);
    }

    QString toString() const
    {
        if (!m_wide)
            return QString::fromLatin1(m_bytes);
        return QString(reinterpret_cast<const QChar *>(m_bytes.constData()),
                       m_bytes.size() / qsizetype(sizeof(char16_t)));
    }

private:
    QByteArray m_bytes; // Latin-1, or UTF-16 units when m_wide
    bool m_wide = false;
};
