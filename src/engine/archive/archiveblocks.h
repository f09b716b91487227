#pragma once

#include "archivebatch.h"
#include "rollup.h"

#include <QByteArray>

#include <span>
#include <vector>

// How points and roll-ups are packed into the file's blobs: one blob for a host's points of a
// second, one for a reading's minutes of an hour, one for its hours of a day. A row per point
// would cost more than the point itself.
//
// Roll-ups are laid out column by column, each value stored as the bits that changed from the
// value before it, then compressed: readings move slowly, so most of those bits are zero.
namespace ArchiveBlocks {

// Points of several readings, any order; times as milliseconds after baseMs (never before).
QByteArray packPoints(std::span<const ArchivePoint> points, qint64 baseMs);
// Empty for a blob that is not one packPoints() made.
std::vector<ArchivePoint> unpackPoints(const QByteArray &blob, qint64 baseMs);

// Roll-ups in time order, each starting in [baseMs, baseMs + 255 * stepMs].
QByteArray packRollups(std::span<const Rollup> rollups, qint64 baseMs, qint64 stepMs);
// Empty for a blob that is not one packRollups() made.
std::vector<Rollup> unpackRollups(const QByteArray &blob, qint64 baseMs, qint64 stepMs);

// One roll-up for each step of stepMs (on the epoch's grid) that holds points, in time order;
// points must be in time order.
std::vector<Rollup> rollUp(std::span<const ArchivePoint> points, qint64 stepMs);
// The same for coarser steps of finer roll-ups, weighting each average by its count.
std::vector<Rollup> rollUp(std::span<const Rollup> rollups, qint64 stepMs);

// The start of the step of stepMs that holds timeMs.
inline qint64 stepStart(qint64 timeMs, qint64 stepMs)
{
    const qint64 rest = timeMs % stepMs;
    return timeMs - (rest < 0 ? rest + stepMs : rest);
}

} // namespace ArchiveBlocks
