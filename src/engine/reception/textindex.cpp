#include "textindex.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cstring>

TextIndex::TextIndex()
{
    QRandomGenerator::global()->generate(m_keys.begin(), m_keys.end());
}

// NH, a universal hash: while the keys stay secret, no choice of texts collides more often
// than about once in 2^32 pairs. It takes four characters per multiply, and the keys cover
// 256 characters, more than a datagram's host or name can hold. A text hashes the same
// whether it is kept as Latin-1 or as UTF-16.
template<typename Char> quint64 TextIndex::hash(const Char *chars, qsizetype size) const
{
    qsizetype left = size;
    quint64 sum = quint64(quint32(left) + m_keys[0]) * quint64(m_keys[1]);
    size_t key = 2;
    const auto add = [&](const Char *four) {
        const quint32 low = quint32(four[0]) | quint32(four[1]) << 16;
        const quint32 high = quint32(four[2]) | quint32(four[3]) << 16;
        sum += quint64(low + m_keys[key]) * quint64(high + m_keys[key + 1]);
        key = key + 2 < m_keys.size() ? key + 2 : 2;
    };
    for (; left >= 4; left -= 4, chars += 4)
        add(chars);
    if (left > 0) {
        Char tail[4] = {};
        for (qsizetype i = 0; i < left; ++i)
            tail[i] = chars[i];
        add(tail);
    }
    // NH's best bits are its upper ones; mix them into the lower ones that pick the slot.
    sum ^= sum >> 32;
    sum *= 0x9E3779B97F4A7C15ull;
    return sum ^ (sum >> 29);
}

quint64 TextIndex::hash(const Place &place) const
{
    const char *const data = bytes(place);
    if (place.wide)
        return hash(reinterpret_cast<const char16_t *>(data), place.length);
    return hash(reinterpret_cast<const uchar *>(data), place.length);
}

const char *TextIndex::bytes(const Place &place) const
{
    return m_blocks[place.block].get() + place.offset;
}

bool TextIndex::equals(const Place &place, QStringView text) const
{
    if (place.length != size_t(text.size()))
        return false;
    const char16_t *const chars = text.utf16();
    const char *const data = bytes(place);
    if (place.wide) {
        const auto *const units = reinterpret_cast<const char16_t *>(data);
        return std::equal(chars, chars + text.size(), units);
    }
    const auto *const latin1 = reinterpret_cast<const uchar *>(data);
    return std::equal(chars, chars + text.size(), latin1,
                      [](char16_t a, uchar b) { return a == char16_t(b); });
}

int TextIndex::find(QStringView text) const
{
    if (m_slots.empty())
        return notFound;
    const quint64 h = hash(text.utf16(), text.size());
    const auto check = quint32(h >> 32);
    const size_t mask = m_slots.size() - 1;
    for (size_t i = size_t(h) & mask;; i = (i + 1) & mask) {
        const Slot &slot = m_slots[i];
        if (slot.id == notFound)
            return notFound;
        if (slot.check == check && equals(m_places[size_t(slot.id)], text))
            return slot.id;
    }
}

int TextIndex::insert(QStringView text)
{
    const int id = size();
    if (size_t(id + 1) * 2 > m_slots.size()) {
        // Slots hold no text: the hashes come again from the kept texts.
        m_slots.assign(std::max<size_t>(16, m_slots.size() * 2), Slot());
        for (int old = 0; old < id; ++old)
            place(hash(m_places[size_t(old)]), old);
    }
    m_places.push_back(store(text));
    place(hash(text.utf16(), text.size()), id);
    return id;
}

QString TextIndex::text(int id) const
{
    const Place &place = m_places[size_t(id)];
    const char *const data = bytes(place);
    if (place.wide)
        return QString(reinterpret_cast<const QChar *>(data), place.length);
    return QString::fromLatin1(data, place.length);
}

TextIndex::Place TextIndex::store(QStringView text)
{
    const char16_t *const chars = text.utf16();
    const bool wide = std::any_of(chars, chars + text.size(), [](char16_t c) { return c > 0xff; });
    const qsizetype size = wide ? text.size() * qsizetype(sizeof(char16_t)) : text.size();
    // UTF-16 units start at an even offset.
    const qsizetype offset = wide ? m_used + (m_used & 1) : m_used;
    Place place;
    place.length = quint32(text.size());
    place.wide = wide;
    if (size > blockSize) {
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(size_t(size)));
        m_used = blockSize;
        place.offset = 0;
    } else if (m_blocks.empty() || offset + size > blockSize) {
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(size_t(blockSize)));
        m_used = size;
        place.offset = 0;
    } else {
        m_used = offset + size;
        place.offset = quint32(offset);
    }
    place.block = quint32(m_blocks.size() - 1);
    char *const out = m_blocks.back().get() + place.offset;
    if (wide)
        std::memcpy(out, chars, size_t(size));
    else
        std::transform(chars, chars + text.size(), out, [](char16_t c) { return char(c); });
    return place;
}

void TextIndex::place(quint64 hash, int id)
{
    const size_t mask = m_slots.size() - 1;
    size_t i = size_t(hash) & mask;
    while (m_slots[i].id != notFound)
        i = (i + 1) & mask;
    m_slots[i].id = id;
    m_slots[i].check = quint32(hash >> 32);
}
