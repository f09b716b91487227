#include "daemon.h"

#include "engine/monitor/monitor.h"
#include "senvoversion.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

namespace {

// The least time between two lines on refused clients of one listener, so that a flood of
// clients cannot flood the log.
constexpr qint64 refusalGapMs = 60'000;

} // namespace

Daemon::Daemon(Monitor &monitor, const DaemonLog &log, QObject *parent)
    : QObject(parent)
    , m_monitor(monitor)
    , m_log(log)
{
    connect(&m_signals, &StopSignals::stopAsked, this, [this] {
        m_log.write(DaemonLog::Level::Notice, tr("Stopping."));
        QCoreApplication::quit();
    });
    connect(&m_signals, &StopSignals::reloadAsked, this, &Daemon::reload);
    connect(&m_monitor.notifier(), &Notifier::notify, this,
            [this](const Notification &notification) {
                m_log.write(notification.critical ? DaemonLog::Level::Warning
                                                  : DaemonLog::Level::Notice,
                            notification.title + u": "_qs + notification.body);
            });
    const ActionRunner *actions = &m_monitor.actions();
    connect(actions, &ActionRunner::attempted, this,
            [this](const QString &name, const ActionResult &result) {
                m_log.write(result.ok ? DaemonLog::Level::Info : DaemonLog::Level::Warning,
                            tr("Action \"%1\": %2").arg(name, result.text()));
            });
    for (std::size_t i = 0; i < m_refusals.size(); ++i)
        connect(i == 0 ? &m_monitor.tcp() : &m_monitor.tls(), &StreamListener::countsChanged, this,
                [this, i] { tellRefused(i); });
    connect(actions, &ActionRunner::dropped, this, [this](const QString &name) {
        m_log.write(DaemonLog::Level::Warning,
                    tr("Action \"%1\": a batch was dropped, as %2 were waiting.")
                        .arg(name)
                        .arg(ActionRunner::maxWaiting));
    });
}

void Daemon::start(const QString &configFolder)
{
    m_log.write(DaemonLog::Level::Info,
                tr("senvo-netd %1 started; settings from %2.")
                    .arg(SenvoVersion::text, QDir::toNativeSeparators(configFolder)));
    if (!m_monitor.limitsProblem().isEmpty())
        m_log.write(DaemonLog::Level::Warning, m_monitor.limitsProblem());
    m_monitor.listenAtStartUp();
    if (HistoryArchive *archive = m_monitor.archive()) {
        if (m_monitor.archiveProblem().isEmpty()) {
            m_log.write(DaemonLog::Level::Info,
                        tr("Keeping the history in %1.")
                            .arg(QDir::toNativeSeparators(archive->filePath())));
        } else {
            m_log.write(DaemonLog::Level::Warning, m_monitor.archiveProblem());
        }
        // Each change told once: a disk that fills, or writes again.
        connect(archive, &HistoryArchive::statusChanged, this, [this, archive] {
            if (archive->problem() == m_archiveProblem)
                return;
            m_archiveProblem = archive->problem();
            m_log.write(
                m_archiveProblem.isEmpty() ? DaemonLog::Level::Notice : DaemonLog::Level::Warning,
                m_archiveProblem.isEmpty() ? tr("The history is written to %1 again.")
                                                 .arg(QDir::toNativeSeparators(archive->filePath()))
                                           : m_archiveProblem);
        });
        m_archiveProblem = archive->problem();
    }
    tellListening();
}

void Daemon::reload()
{
    m_log.write(DaemonLog::Level::Notice, tr("Reading Senvo-Net.json again."));
    const QString problem = m_monitor.reloadSettings();
    if (!problem.isEmpty())
        m_log.write(DaemonLog::Level::Warning, problem);
    tellListening();
}

void Daemon::tellListening()
{
    const DatagramReceiver &receiver = m_monitor.receiver();
    if (!m_monitor.listenProblem().isEmpty()) {
        m_log.write(DaemonLog::Level::Error, m_monitor.listenProblem());
    } else if (receiver.isListening()) {
        const QString address =
            receiver.address().isNull() ? tr("every address") : receiver.address().toString();
        m_log.write(
            DaemonLog::Level::Info,
            tr("Listening for readings on UDP port %1, %2.").arg(receiver.port()).arg(address));
    }
    if (!m_monitor.streamProblem().isEmpty())
        m_log.write(DaemonLog::Level::Error, m_monitor.streamProblem());
    for (const StreamListener *listener : {&m_monitor.tcp(), &m_monitor.tls()}) {
        if (listener->isListening())
            m_log.write(DaemonLog::Level::Info, tr("Listening for syslog over %1 on port %2.")
                                                    .arg(listener->isTls() ? u"TLS"_qs : u"TCP"_qs)
                                                    .arg(listener->serverPort()));
    }
    const MetricsServer &metrics = m_monitor.metrics();
    if (!m_monitor.metricsProblem().isEmpty()) {
        m_log.write(DaemonLog::Level::Error, m_monitor.metricsProblem());
    } else if (metrics.isListening()) {
        const QHostAddress address = metrics.serverAddress();
        const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                                 ? u'[' + address.toString() + u']'
                                 : address.toString();
        m_log.write(
            DaemonLog::Level::Info,
            tr("Serving metrics on http://%1:%2/metrics.").arg(host).arg(metrics.serverPort()));
    }
}

void Daemon::tellRefused(std::size_t listener)
{
    const StreamListener &from = listener == 0 ? m_monitor.tcp() : m_monitor.tls();
    RefusalsTold &told = m_refusals[listener];
    const qint64 untold = from.counts().refused - told.count;
    if (untold <= 0 || told.waiting)
        return;
    if (told.last.isValid() && !told.last.hasExpired(refusalGapMs)) {
        // The last of those that come meanwhile is told when the minute is up.
        told.waiting = true;
        QTimer::singleShot(refusalGapMs - told.last.elapsed(), this, [this, listener] {
            m_refusals[listener].waiting = false;
            tellRefused(listener);
        });
        return;
    }
    told.count += untold;
    told.last.start();
    QString line = tr("Refused a syslog client over %1, %2, as %3.")
                       .arg(listener == 0 ? u"TCP"_qs : u"TLS"_qs, from.lastRefused().toText(),
                            from.lastRefusedWhy());
    if (untold > 1)
        line += u' ' + tr("%1 were refused since the last such line.").arg(untold);
    m_log.write(DaemonLog::Level::Warning, line);
}
