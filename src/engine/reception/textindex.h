#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <array>
#include <memory>
#include <vector>

// Distinct texts, numbered from 0 in the order added, each kept once and found again in
// constant time. The hash is keyed at random for each index, so that senders cannot choose
// texts that all land in one place. Texts are kept as Latin-1 where every character fits,
// as nearly all do, packed into large blocks: a full table holds two million names.
class TextIndex final
{
public:
    static constexpr int notFound = -1;

    TextIndex();

    // The id of text, or notFound when it was never added.
    int find(QStringView text) const;
    // Adds text, which must not be present yet. Ids count up from 0.
    int insert(QStringView text);
    int size() const { return int(m_places.size()); }
    QString text(int id) const;

private:
    struct Slot
    {
        quint32 check = 0;    // the hash's upper half
        qint32 id = notFound; // while the slot is free
    };
    struct Place
    {
        quint32 block;
        quint32 offset;
        quint32 length : 31; // characters
        quint32 wide : 1;    // UTF-16 units rather than Latin-1 bytes
    };
    static constexpr int keyCount = 2 + 2 * 64;
    static constexpr qsizetype blockSize = 64 * 1024;

    template<typename Char> quint64 hash(const Char *chars, qsizetype size) const;
    quint64 hash(const Place &place) const;
    bool equals(const Place &place, QStringView text) const;
    const char *bytes(const Place &place) const;
    Place store(QStringView text);
    void place(quint64 hash, int id);

    std::array<quint32, keyCount> m_keys;
    std::vector<Slot> m_slots; // a power of two, at most half full
    std::vector<Place> m_places;
    // Filled in order and never moved; a text longer than a block gets one of its own.
    std::vector<std::unique_ptr<char[]>> m_blocks;
    qsizetype m_used = blockSize; // in the last block
};
