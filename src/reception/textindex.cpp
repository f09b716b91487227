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
// 256 characters, more than a datagram's host or name can hold.
quint64 TextIndex::hash(QStringView text) const
{
    const char16_t *chars = text.utf16();
    qsizetype left = text.size();
    quint64 sum = quint64(quint32(left) + m_keys[0]) * quint64(m_keys[1]);
    size_t key = 2;
    const auto add = [&](const char16_t *four) {
        quint32 low;
        quint32 high;
        std::memcpy(&low, four, sizeof low);
        std::memcpy(&high, four + 2, sizeof high);
        sum += quint64(low + m_keys[key]) * quint64(high + m_keys[key + 1]);
        key = key + 2 < m_keys.size() ? key + 2 : 2;
    };
    for (; left >= 4; left -= 4, chars += 4)
        add(chars);
    if (left > 0) {
        char16_t tail[4] = {};
        for (qsizetype i = 0; i < left; ++i)
            tail[i] = chars[i];
        add(tail);
    }
    // NH's best bits are its upper ones; mix them into the lower ones that pick the slot.
    sum ^= sum >> 32;
    sum *= 0x9E3779B97F4A7C15ull;
    return sum ^ (sum >> 29);
}

int TextIndex::find(QStringView text) const
{
    if (m_slots.empty())
        return -1;
    const quint64 h = hash(text);
    const auto check = quint32(h >> 32);
    const size_t mask = m_slots.size() - 1;
    for (size_t i = size_t(h) & mask;; i = (i + 1) & mask) {
        const Slot &slot = m_slots[i];
        if (slot.id < 0)
            return -1;
        if (slot.check == check && slot.length == size_t(text.size())
            && std::equal(text.begin(), text.end(), m_text.begin() + slot.offset,
                          [](QChar a, char16_t b) { return a.unicode() == b; }))
            return slot.id;
    }
}

int TextIndex::insert(QStringView text)
{
    if (size_t(m_count + 1) * 2 > m_slots.size()) {
        std::vector<Slot> old(std::max<size_t>(16, m_slots.size() * 2));
        old.swap(m_slots);
        for (const Slot &slot : old) {
            if (slot.id >= 0)
                place(hash(QStringView(m_text.data() + slot.offset, slot.length)), slot);
        }
    }
    Slot slot;
    slot.id = m_count++;
    slot.offset = quint32(m_text.size());
    slot.length = quint32(text.size());
    m_text.insert(m_text.end(), text.utf16(), text.utf16() + text.size());
    place(hash(text), slot);
    return slot.id;
}

void TextIndex::place(quint64 hash, const Slot &slot)
{
    const size_t mask = m_slots.size() - 1;
    size_t i = size_t(hash) & mask;
    while (m_slots[i].id >= 0)
        i = (i + 1) & mask;
    m_slots[i] = slot;
    m_slots[i].check = quint32(hash >> 32);
}
