#include "archivewriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

ArchiveWriter::ArchiveWriter(const ArchiveSettings &settings, WallClock clock, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_clock(clock ? std::move(clock) : WallClock([] { return QDateTime::currentDateTime(); }))
    , m_database(settings.filePath())
    , m_lock(settings.filePath() + QLatin1String(".lock"))
{
}

ArchiveWriter::~ArchiveWriter() = default;

void ArchiveWriter::openFile()
{
    const QString file = QDir::toNativeSeparators(m_settings.filePath());
    // The lock file goes beside the history: its folder first.
    QDir().mkpath(QFileInfo(m_settings.filePath()).absolutePath());
    if (!m_lock.isLocked() && !m_lock.tryLock(0)) {
        if (m_lock.error() == QLockFile::LockFailedError) {
            setProblem(tr("Another Senvo-Net is keeping its history in %1: this one keeps its "
                          "history in memory only.")
                           .arg(file),
                       Retry::Never);
        } else {
            setProblem(tr("The history cannot be written to %1 (its folder cannot be written): "
                          "it is kept in memory only, and tried again every minute.")
                           .arg(file),
                       Retry::EveryMinute);
        }
        return;
    }
    ArchiveDatabase::Open opened = m_database.open(ArchiveDatabase::Access::ReadWrite);
    if (opened == ArchiveDatabase::Open::Damaged) {
        moveAside(m_database.error());
        opened = m_database.open(ArchiveDatabase::Access::ReadWrite);
    }
    switch (opened) {
    case ArchiveDatabase::Open::Opened:
        setProblem({}, Retry::Never);
        writeWaiting();
        break;
    case ArchiveDatabase::Open::Newer:
        setProblem(tr("%1 was made by a newer Senvo-Net: it is left as it is, and the history is "
                      "kept in memory only.")
                       .arg(file),
                   Retry::Never);
        break;
    case ArchiveDatabase::Open::Damaged:
    case ArchiveDatabase::Open::Failed:
        setProblem(tr("The history cannot be written to %1 (%2): it is kept in memory only, and "
                      "tried again every minute.")
                       .arg(file, m_database.error()),
                   Retry::EveryMinute);
        break;
    }
}

void ArchiveWriter::moveAside(const QString &why)
{
    m_database.close();
    const QString path = m_settings.filePath();
    const QString aside =
        path + QLatin1String(".damaged-") + m_clock().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    // The journal files belong to the damaged file: they go with it, or would be replayed into
    // the fresh one.
    bool moved = QFile::rename(path, aside);
    for (const char *suffix : {"-wal", "-shm"}) {
        if (QFile::exists(path + QLatin1String(suffix)))
            QFile::rename(path + QLatin1String(suffix), aside + QLatin1String(suffix));
    }
    m_notice = moved
                   ? tr("%1 could not be read as a history (%2): it was moved aside as %3, and a "
                        "new one was started.")
                         .arg(QDir::toNativeSeparators(path), why, QDir::toNativeSeparators(aside))
                   : tr("%1 could not be read as a history (%2), and could not be moved aside.")
                         .arg(QDir::toNativeSeparators(path), why);
    m_noticeTold = false;
}

void ArchiveWriter::start()
{
    m_retryTimer = new QTimer(this);
    m_retryTimer->setInterval(retryMs);
    connect(m_retryTimer, &QTimer::timeout, this, &ArchiveWriter::retryNow);
    m_maintainTimer = new QTimer(this);
    m_maintainTimer->setInterval(maintainMs);
    connect(m_maintainTimer, &QTimer::timeout, this, &ArchiveWriter::maintainNow);
    m_maintainTimer->start();
    if (m_retry)
        m_retryTimer->start();
    // Hours that ended while no program ran are rolled up here rather than where the file
    // was opened, which may be the window's thread.
    maintainNow();
}

void ArchiveWriter::write(ArchiveBatch batch)
{
    batch.makePoints();
    for (const ArchiveSeries &series : batch.newSeries)
        m_names.insert(series.id, {series.host, series.reading});
    m_waiting.push_back(std::move(batch));
    writeWaiting();
    keepWithinMemory();
}

void ArchiveWriter::writeWaiting()
{
    if (!m_database.isOpen())
        return;
    bool events = false;
    while (!m_waiting.empty()) {
        if (!m_database.write(m_waiting.front(), m_names)) {
            if (m_database.lastFailureWasDamage()) {
                moveAside(m_database.error());
                openFile();
                if (m_database.isOpen())
                    continue;
            } else {
                m_database.close();
                setProblem(
                    tr("The history cannot be written to %1 (%2): it is kept in memory "
                       "only, and tried again every minute.")
                        .arg(QDir::toNativeSeparators(m_settings.filePath()), m_database.error()),
                    Retry::EveryMinute);
            }
            break;
        }
        const ArchiveBatch &written = m_waiting.front();
        events = events || !written.events.empty();
        for (const quint32 series : written.retiredSeries) {
            m_names.remove(series);
            m_database.forget(series);
        }
        m_waiting.pop_front();
    }
    if (events)
        Q_EMIT eventsWritten();
}

void ArchiveWriter::keepWithinMemory()
{
    // Past an hour of waiting the oldest batch's points go; its events and hosts, which are
    // few and cannot be had again, go into the next batch.
    while (m_waiting.size() > maxWaiting) {
        ArchiveBatch oldest = std::move(m_waiting.front());
        m_waiting.pop_front();
        ArchiveBatch &next = m_waiting.front();
        m_lostPoints += qint64(oldest.points.size());
        next.events.insert(next.events.begin(), oldest.events.begin(), oldest.events.end());
        const auto mentioned = [&next](const QString &host) {
            return next.removedHosts.contains(host)
                   || std::any_of(next.hosts.begin(), next.hosts.end(),
                                  [&host](const KeptHost &kept) { return kept.host == host; });
        };
        for (KeptHost &host : oldest.hosts) {
            if (!mentioned(host.host))
                next.hosts.push_back(std::move(host));
        }
        for (const QString &host : std::as_const(oldest.removedHosts)) {
            if (!mentioned(host))
                next.removedHosts.append(host);
        }
        next.retiredSeries.insert(next.retiredSeries.end(), oldest.retiredSeries.begin(),
                                  oldest.retiredSeries.end());
    }
}

void ArchiveWriter::retryNow()
{
    if (!m_retry)
        return;
    openFile();
    maintainNow();
}

void ArchiveWriter::maintainNow()
{
    if (!m_database.isOpen()) {
        report();
        return;
    }
    const qint64 now = m_clock().toMSecsSinceEpoch();
    // An hour's points are kept for an hour after it ends, so that the last hour is whole.
    bool ok = m_database.rollUp(now - ArchiveDatabase::hourMs);
    if (ok && now - m_prunedAtMs >= ArchiveDatabase::hourMs) {
        ok = m_database.prune(now, m_settings.minuteDays(), m_settings.hourDays(),
                              ArchiveSettings::eventDays, m_settings.maxBytes());
        if (ok)
            m_prunedAtMs = now;
    }
    if (!ok && m_database.lastFailureWasDamage()) {
        moveAside(m_database.error());
        openFile();
    } else if (!ok) {
        m_database.close();
        setProblem(tr("The history cannot be written to %1 (%2): it is kept in memory only, and "
                      "tried again every minute.")
                       .arg(QDir::toNativeSeparators(m_settings.filePath()), m_database.error()),
                   Retry::EveryMinute);
    }
    report();
}

void ArchiveWriter::finish()
{
    writeWaiting();
    m_database.close();
    if (m_lock.isLocked())
        m_lock.unlock();
}

void ArchiveWriter::setProblem(const QString &problem, Retry retry)
{
    m_problem = problem;
    m_retry = retry == Retry::EveryMinute;
    if (m_retryTimer) {
        if (m_retry && !m_retryTimer->isActive())
            m_retryTimer->start();
        else if (!m_retry)
            m_retryTimer->stop();
    }
    report();
}

void ArchiveWriter::report()
{
    QString notice;
    if (!m_noticeTold) {
        notice = m_notice;
        m_noticeTold = true;
    }
    Q_EMIT statusChanged(m_problem, notice, m_database.isOpen() ? m_database.usedBytes() : -1);
}
