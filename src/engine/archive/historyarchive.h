#pragma once

#include "archivebatch.h"
#include "archivesettings.h"
#include "rollup.h"

#include "engine/reception/tablelistener.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QThread>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class ArchiveDatabase;
class ArchiveWriter;
class LimitWatch;
class ReadingsTable;

// The readings table remembered on disk, in one SQLite file: every point of the last hour or
// two, then per-minute and per-hour roll-ups, every change of state as an event, and the
// table's hosts with their last values, so that all of it outlives the program.
//
// What the table takes is noted as it is posted and handed once a second to a thread of the
// archive's own, which writes it in one transaction: reception never waits for the disk.
// When the file cannot be used (a folder that cannot be written, a full disk, a file another
// Senvo-Net holds, or one a newer Senvo-Net made) the archive says why in problem(), keeps what
// it was handed in memory and, where trying again can help, tries every minute.
//
// Reads are answered at once, on the caller's thread, from a connection of their own: the
// file in WAL mode lets them read while the writer writes.
class HistoryArchive final : public QObject, private TableListener
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HistoryArchive)

public:
    // This machine's date and time; tests set their own.
    using WallClock = std::function<QDateTime()>;
    enum class Resolution { Minutes, Hours };
    struct Point
    {
        qint64 timeMs = 0;
        float value = 0;
        bool gapBefore = false;
    };

    // Follows table (and the states limits gives its readings, when not null), both of which
    // must outlive the archive, from its next reading on. The file is opened at once.
    HistoryArchive(ReadingsTable &table, const LimitWatch *limits, const ArchiveSettings &settings,
                   QObject *parent = nullptr, WallClock clock = {});
    // Writes what is pending and closes the file.
    ~HistoryArchive() override;

    const ArchiveSettings &settings() const { return m_settings; }
    const QString &filePath() const { return m_settings.filePath(); }
    // The file's size as last measured, or -1 when it is not in use.
    qint64 fileBytes() const { return m_fileBytes; }
    // Why the readings are kept in memory only, in plain words naming the file; empty while
    // they are written to it.
    const QString &problem() const { return m_problem; }
    // What the user should hear of once, such as a damaged file moved aside; empty when none.
    const QString &notice() const { return m_notice; }
    // When this archive was made: points before it come from the file only.
    const QDateTime &startedAt() const { return m_startedAt; }

    // The hosts heard since since, in the order they stood in the table, with their last values:
    // for the table at start-up.
    std::vector<KeptHost> keptHosts(const QDateTime &since) const;
    // A reading's points in [fromMs, toMs), oldest first, as kept before they are rolled up.
    std::vector<Point> points(const QString &host, const QString &reading, qint64 fromMs,
                              qint64 toMs) const;
    // A reading's roll-ups of the spans that start in [fromMs, toMs), oldest first, those of
    // points not rolled up yet made as they are asked for.
    std::vector<Rollup> rollups(const QString &host, const QString &reading, qint64 fromMs,
                                qint64 toMs, Resolution resolution) const;
    // The events of [fromMs, toMs), newest first.
    std::vector<ArchiveEvent> events(qint64 fromMs, qint64 toMs) const;
    // The time of the oldest point, roll-up or event kept; 0 when there is none.
    qint64 oldestMs() const;

    // Hands over what is pending now rather than at the next tick, and waits until it is
    // written (or kept in memory): for a clean exit, and for tests.
    void flush();

Q_SIGNALS:
    // problem() or fileBytes() changed.
    void statusChanged();
    // Events were written: a list of them may be out of date.
    void eventsWritten();

private:
    // What the archive keeps of each row of the table, to tell what changed.
    struct Row
    {
        QString host;                // empty until first heard
        std::vector<quint32> series; // by pair; 0 for none yet
        std::vector<quint8> levels;  // by pair, the limit level last written
    };
    struct DueHost
    {
        int row = 0;
        int batch = 0; // the batch it fell due in
    };
    // What each reading touches, kept apart from the rows and small, so that a large table's
    // rows stay out of the processor's caches until the batch is made.
    enum RowFlag : quint8 { Known = 1, Touched = 2, HostDue = 4, Restored = 8 };
    // A host heard is written this many batches later: the points are what must not be lost,
    // and a host's last values are in its points too. Each batch takes the hosts that fell
    // due in it, so that a full table's hosts are spread over the seconds as they were heard.
    static constexpr int hostsEvery = 5;

    void readingPosted(int row, int pair, bool newName) override;
    void renumbered(const std::vector<int> &newRows, const std::vector<int> &newNames) override;

    Row &rowAt(int row);
    // Notes the number posted, when it is the first of its tenth.
    void take(int row, int pair, bool newName);
    // Notes a row first heard, or heard first since the last batch, then takes the number.
    void postedRarely(int row, int pair, bool newName);
    quint32 seriesOf(int row, int pair);
    void hostsSilent(const std::vector<int> &rows, bool silent);
    void rowsJudged(int first, int last);
    // Writes an event for each reading of row whose limit level changed; quietly, only notes
    // the levels.
    void noteLevels(int row, qint64 timeMs, bool quietly);
    // Makes the batch of what was taken since the last, and hands it to the writer, with the
    // hosts that fell due, or all of them.
    void handOver(bool everything);
    void takeHosts(bool everything);
    void retire(Row &row);
    void takeStatus(const QString &problem, const QString &notice, qint64 bytes);
    // The reading connection, opened as it is first needed; null while the file cannot be read.
    ArchiveDatabase *reader() const;
    qint64 nowMs() const;

    ReadingsTable &m_table;
    const LimitWatch *const m_limits;
    const ArchiveSettings m_settings;
    WallClock m_clock;
    QDateTime m_startedAt;
    QString m_problem;
    QString m_notice;
    qint64 m_fileBytes = -1;
    QThread m_thread;
    ArchiveWriter *m_writer = nullptr; // lives on m_thread
    mutable std::unique_ptr<ArchiveDatabase> m_reader;
    std::vector<Row> m_rows;
    std::vector<quint8> m_flags;      // by row
    std::vector<quint64> m_wordSince; // by row and pair: a word came since its last point
    std::vector<int> m_touched;       // rows heard since the last batch
    std::deque<DueHost> m_hostsDue;   // rows heard since their host was last written
    std::vector<int> m_restored;      // rows put back, whose levels are not noted yet
    int m_batches = 0;
    std::vector<TakenPoint> m_taken;
    // Series are numbered by row and pair as they are first heard; a host that comes back
    // after it was dropped gets new ones, which the file takes as its old.
    quint32 m_lastSeries = 0;
    ArchiveBatch m_pending;
};
