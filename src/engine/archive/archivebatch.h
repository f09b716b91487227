#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

// What the archive is handed once a second, to be written in one transaction. Times are
// milliseconds since the epoch, on this machine's clock.

// A reading of a host, numbered for the points that follow it.
struct ArchiveSeries
{
    quint32 id = 0;
    QString host;
    QString reading;
};

// One value of a reading whose values are numbers, as heard.
struct ArchivePoint
{
    qint64 timeMs = 0;
    quint32 series = 0;
    float value = 0;
    bool gapBefore = false; // silent, or a word, since the point before
};

// A change of a reading's state (normal, warning, critical) or of its host's (heard, silent,
// first heard, removed by the user); reading is empty for a host's.
struct ArchiveEvent
{
    qint64 timeMs = 0;
    QString host;
    QString reading;
    QString from; // empty for a host first heard
    QString to;
    QString value;

    friend bool operator==(const ArchiveEvent &, const ArchiveEvent &) = default;
};

// A row of the readings table as last heard: its readings' names and values, in the table's
// order.
struct KeptHost
{
    QString host;
    qint64 lastHeardMs = 0;
    QList<std::pair<QString, QString>> readings;
    int position = 0; // its row: hosts come back in the order they stood

    friend bool operator==(const KeptHost &, const KeptHost &) = default;
};

// A number as the table took it: the table's thread only notes it, and the writer makes it a
// point, so that a busy table is not slowed by the archive.
struct TakenPoint
{
    quint32 row = 0;
    quint32 tenths = 0; // on the table's clock
    float value = 0;
    quint8 pair = 0;
    bool gapBefore = false;
};

struct ArchiveBatch
{
    std::vector<ArchiveSeries> newSeries;
    std::vector<ArchivePoint> points;
    std::vector<ArchiveEvent> events;
    std::vector<KeptHost> hosts; // heard since the last batch
    QStringList removedHosts;
    std::vector<quint32> retiredSeries; // series no point will come for again
    // Numbers taken, with the series of each row's pairs: takenSeries[rowStart[row] + pair].
    std::vector<TakenPoint> taken;
    std::vector<quint32> takenSeries;
    std::vector<quint32> rowStart;
    std::vector<quint8> rowPairs; // how many of a row's pairs takenSeries holds
    qint64 originMs = 0;          // when the table's clock read 0

    bool isEmpty() const
    {
        return newSeries.empty() && points.empty() && events.empty() && hosts.empty()
               && removedHosts.isEmpty() && taken.empty() && retiredSeries.empty();
    }
    // Makes points of what was taken.
    void makePoints()
    {
        points.reserve(points.size() + taken.size());
        for (const TakenPoint &point : taken) {
            // A row the table dropped before its pairs were named has no series: its points
            // go with it.
            if (point.row >= rowStart.size() || point.pair >= rowPairs[point.row])
                continue;
            const quint32 series = takenSeries[rowStart[point.row] + point.pair];
            if (series != 0) {
                points.push_back(
                    {originMs + qint64(point.tenths) * 100, series, point.value, point.gapBefore});
            }
        }
        taken = {};
    }
};
