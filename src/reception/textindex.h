#pragma once

#include <QStringView>
#include <QtGlobal>

#include <array>
#include <vector>

// Finds a text among those added, in constant time. The hash is keyed at random for each
// index, so that senders cannot choose texts that all land in one place. Texts are copied
// end to end into one buffer, which keeps a lookup among tens of thousands of hosts to
// about two cache misses.
class TextIndex final
{
public:
    TextIndex();

    // The id of text, or -1 when it was never added.
    int find(QStringView text) const;
    // Adds text, which must not be present yet. Ids count up from 0.
    int insert(QStringView text);
    int size() const { return m_count; }

private:
    struct Slot
    {
        quint32 check = 0; // the hash's upper half
        qint32 id = -1;    // -1 while the slot is free
        quint32 offset = 0;
        quint32 length = 0;
    };
    static constexpr int keyCount = 2 + 2 * 64;

    quint64 hash(QStringView text) const;
    void place(quint64 hash, const Slot &slot);

    std::array<quint32, keyCount> m_keys;
    std::vector<Slot> m_slots;    // a power of two, at most half full
    std::vector<char16_t> m_text; // every text added, end to end
    int m_count = 0;
};
