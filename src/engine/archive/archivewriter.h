#pragma once

#include "archivebatch.h"
#include "archivedatabase.h"
#include "archivesettings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLockFile>
#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

// Writes the archive's batches to its file, on a thread of its own, and keeps the file in
// shape: an hour's points rolled up once it is past, what is too old or over the cap let go.
// While the file cannot be written the batches wait in memory (an hour's worth at most, the
// oldest points let go first) and the file is tried again every minute.
class ArchiveWriter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ArchiveWriter)

public:
    using WallClock = std::function<QDateTime()>;
    static constexpr int retryMs = 60'000;
    static constexpr int maintainMs = 60'000;
    // Batches kept while the file cannot be written: an hour's, at one a second.
    static constexpr size_t maxWaiting = 3600;

    ArchiveWriter(const ArchiveSettings &settings, WallClock clock, QObject *parent = nullptr);
    ~ArchiveWriter() override;

    // Opens the file, moving a damaged one aside; on the thread that made the writer, before
    // it is moved to its own.
    void openFile();
    // On the writer's thread from now on: the timers, and the first maintenance.
    void start();
    // Writes batch, and what waits before it, or keeps it waiting.
    void write(ArchiveBatch batch);
    // Writes what waits, if it can, and closes the file.
    void finish();

    // Why the file is not written, in plain words; empty while it is.
    const QString &problem() const { return m_problem; }
    // Something the user should hear of once, such as a damaged file moved aside.
    const QString &notice() const { return m_notice; }
    // Retries and maintenance, as the timers would run them: for tests.
    void retryNow();
    void maintainNow();

Q_SIGNALS:
    void statusChanged(const QString &problem, const QString &notice, qint64 bytes);
    void eventsWritten();

private:
    enum class Retry { Never, EveryMinute };

    void writeWaiting();
    void setProblem(const QString &problem, Retry retry);
    void moveAside(const QString &why);
    void keepWithinMemory();
    void report();

    const ArchiveSettings m_settings;
    WallClock m_clock;
    ArchiveDatabase m_database;
    QLockFile m_lock;
    ArchiveDatabase::SeriesNames m_names;
    std::deque<ArchiveBatch> m_waiting;
    QString m_problem;
    QString m_notice;
    bool m_retry = false;
    bool m_noticeTold = true;
    QTimer *m_retryTimer = nullptr;
    QTimer *m_maintainTimer = nullptr;
    qint64 m_prunedAtMs = 0;
    qint64 m_lostPoints = 0;
};
