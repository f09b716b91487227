#include "archiveblocks.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace ArchiveBlocks {
namespace {

constexpr char pointsFormat = 1;
constexpr char rollupsFormat = 1;

void putVarint(QByteArray &out, quint64 value)
{
    while (value >= 0x80) {
        out.append(char(value | 0x80));
        value >>= 7;
    }
    out.append(char(value));
}

class Reader
{
public:
    explicit Reader(QByteArrayView bytes)
        : m_bytes(bytes)
    {
    }
    bool varint(quint64 &value)
    {
        value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (m_at >= m_bytes.size())
                return false;
            const auto byte = quint8(m_bytes[m_at++]);
            value |= quint64(byte & 0x7f) << shift;
            if ((byte & 0x80) == 0)
                return true;
        }
        return false;
    }
    bool word(quint32 &value)
    {
        if (m_bytes.size() - m_at < 4)
            return false;
        std::memcpy(&value, m_bytes.data() + m_at, 4);
        m_at += 4;
        return true;
    }
    bool atEnd() const { return m_at == m_bytes.size(); }

private:
    QByteArrayView m_bytes;
    qsizetype m_at = 0;
};

void putWord(QByteArray &out, quint32 value)
{
    char bytes[4];
    std::memcpy(bytes, &value, 4);
    out.append(bytes, 4);
}

} // namespace

QByteArray packPoints(std::span<const ArchivePoint> points, qint64 baseMs)
{
    QByteArray out;
    out.reserve(qsizetype(points.size()) * 8 + 4);
    out.append(pointsFormat);
    putVarint(out, points.size());
    for (const ArchivePoint &point : points) {
        putVarint(out, (quint64(point.series) << 1) | (point.gapBefore ? 1 : 0));
        putVarint(out, quint64(std::max<qint64>(point.timeMs - baseMs, 0)));
        putWord(out, std::bit_cast<quint32>(point.value));
    }
    return out;
}

std::vector<ArchivePoint> unpackPoints(const QByteArray &blob, qint64 baseMs)
{
    if (blob.isEmpty() || blob.front() != pointsFormat)
        return {};
    Reader reader(QByteArrayView(blob).sliced(1));
    quint64 count = 0;
    if (!reader.varint(count) || count > quint64(blob.size()))
        return {};
    std::vector<ArchivePoint> points;
    points.reserve(count);
    for (quint64 i = 0; i < count; ++i) {
        quint64 series = 0;
        quint64 offset = 0;
        quint32 bits = 0;
        if (!reader.varint(series) || !reader.varint(offset) || !reader.word(bits))
            return {};
        points.push_back({baseMs + qint64(offset), quint32(series >> 1), std::bit_cast<float>(bits),
                          (series & 1) != 0});
    }
    return points;
}

QByteArray packRollups(std::span<const Rollup> rollups, qint64 baseMs, qint64 stepMs)
{
    QByteArray plain;
    plain.reserve(qsizetype(rollups.size()) * 20);
    putVarint(plain, rollups.size());
    qint64 slotBefore = -1;
    for (const Rollup &rollup : rollups) {
        const qint64 slot = (rollup.timeMs - baseMs) / stepMs;
        putVarint(plain, quint64(slot - slotBefore - 1));
        slotBefore = slot;
    }
    for (const Rollup &rollup : rollups)
        putVarint(plain, rollup.count);
    for (float Rollup::*column :
         {&Rollup::lowest, &Rollup::highest, &Rollup::average, &Rollup::last}) {
        quint32 before = 0;
        for (const Rollup &rollup : rollups) {
            const auto bits = std::bit_cast<quint32>(rollup.*column);
            putWord(plain, bits ^ before);
            before = bits;
        }
    }
    const QByteArray compressed = qCompress(plain, 9);
    QByteArray out(1, rollupsFormat);
    const quint16 check = qChecksum(compressed);
    out.append(char(check >> 8)).append(char(check & 0xff));
    out.append(compressed);
    return out;
}

std::vector<Rollup> unpackRollups(const QByteArray &blob, qint64 baseMs, qint64 stepMs)
{
    // Checked before it is uncompressed: some versions of the decompressor overrun their buffer
    // on a stream cut short.
    constexpr qsizetype header = 3;
    if (blob.size() < header + 4 || blob.front() != rollupsFormat)
        return {};
    const QByteArrayView compressed = QByteArrayView(blob).sliced(header);
    if (qChecksum(compressed) != ((quint16(quint8(blob[1])) << 8) | quint8(blob[2])))
        return {};
    const QByteArray plain =
        qUncompress(reinterpret_cast<const uchar *>(compressed.data()), compressed.size());
    Reader reader(plain);
    quint64 count = 0;
    if (!reader.varint(count) || count > quint64(plain.size()))
        return {};
    std::vector<Rollup> rollups(count);
    qint64 slot = -1;
    for (Rollup &rollup : rollups) {
        quint64 skipped = 0;
        if (!reader.varint(skipped) || skipped > quint64(std::numeric_limits<int>::max()))
            return {};
        slot += qint64(skipped) + 1;
        rollup.timeMs = baseMs + slot * stepMs;
    }
    for (Rollup &rollup : rollups) {
        quint64 value = 0;
        if (!reader.varint(value))
            return {};
        rollup.count = quint32(value);
    }
    for (float Rollup::*column :
         {&Rollup::lowest, &Rollup::highest, &Rollup::average, &Rollup::last}) {
        quint32 before = 0;
        for (Rollup &rollup : rollups) {
            quint32 bits = 0;
            if (!reader.word(bits))
                return {};
            before ^= bits;
            rollup.*column = std::bit_cast<float>(before);
        }
    }
    if (!reader.atEnd())
        return {};
    return rollups;
}

namespace {

// Gathers what falls in one step, from points or finer roll-ups.
class Gatherer
{
public:
    explicit Gatherer(qint64 stepMs)
        : m_stepMs(stepMs)
    {
    }

    void add(qint64 timeMs, float lowest, float highest, double sum, float last, quint32 count)
    {
        const qint64 start = stepStart(timeMs, m_stepMs);
        if (m_count == 0 || start != m_current.timeMs) {
            finish();
            m_current = {start, lowest, highest, 0, last, 0};
        }
        m_current.lowest = std::min(m_current.lowest, lowest);
        m_current.highest = std::max(m_current.highest, highest);
        m_current.last = last;
        m_sum += sum;
        m_count += count;
    }
    std::vector<Rollup> take()
    {
        finish();
        return std::move(m_done);
    }

private:
    void finish()
    {
        if (m_count == 0)
            return;
        m_current.count = m_count;
        m_current.average = float(m_sum / m_count);
        m_done.push_back(m_current);
        m_sum = 0;
        m_count = 0;
    }

    const qint64 m_stepMs;
    Rollup m_current;
    double m_sum = 0;
    quint32 m_count = 0;
    std::vector<Rollup> m_done;
};

} // namespace

std::vector<Rollup> rollUp(std::span<const ArchivePoint> points, qint64 stepMs)
{
    Gatherer gatherer(stepMs);
    for (const ArchivePoint &point : points)
        gatherer.add(point.timeMs, point.value, point.value, point.value, point.value, 1);
    return gatherer.take();
}

std::vector<Rollup> rollUp(std::span<const Rollup> rollups, qint64 stepMs)
{
    Gatherer gatherer(stepMs);
    for (const Rollup &rollup : rollups) {
        gatherer.add(rollup.timeMs, rollup.lowest, rollup.highest,
                     double(rollup.average) * rollup.count, rollup.last, rollup.count);
    }
    return gatherer.take();
}

} // namespace ArchiveBlocks
