#pragma once

#include "engine/actions/actionrunner.h"
#include "engine/actions/actionsettings.h"
#include "engine/archive/archivesettings.h"
#include "engine/archive/historyarchive.h"
#include "engine/history/historystore.h"
#include "engine/limits/limitwatch.h"
#include "engine/metrics/metricsserver.h"
#include "engine/metrics/metricssettings.h"
#include "engine/notify/notifier.h"
#include "engine/notify/troublefeed.h"
#include "engine/notify/troublesummary.h"
#include "engine/overview/overviewmodel.h"
#include "engine/reception/datagramreceiver.h"
#include "engine/reception/readingstable.h"
#include "engine/reception/streamlistener.h"
#include "engine/settings/jsonsettings.h"
#include "engine/settings/portsetting.h"
#include "engine/settings/senderssettings.h"
#include "engine/settings/streamsettings.h"

#include <QObject>

#include <memory>

class DatagramSocket;
class ReceiveClock;
class SettingsFile;

// The engine: the readings table, the receiver that fills it, the port it listens on, the
// limits applied to it and the readings' history, wired together, with Senvo-Net.json read
// once at start-up. It outlives any window, so that every window, and whatever else watches
// the readings, shares the one table; main() makes it and hands it to the main window. The
// overview's aligned columns follow the table from the start.
class Monitor final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Monitor)

public:
    // Takes ownership of socket; without one the platform's own is used. The table reads
    // the time from clock, which must outlive the monitor, or from its own; the notifier
    // from notifyClock, or from its own.
    explicit Monitor(const SettingsFile &settings, QObject *parent = nullptr,
                     DatagramSocket *socket = nullptr, const ReceiveClock *clock = nullptr,
                     Notifier::Clock notifyClock = {});

    ReadingsTable &table() { return m_table; }
    const ReadingsTable &table() const { return m_table; }
    DatagramReceiver &receiver() { return m_receiver; }
    const DatagramReceiver &receiver() const { return m_receiver; }
    PortSetting &portSetting() { return m_portSetting; }
    HistoryStore &history() { return m_history; }
    const HistoryStore &history() const { return m_history; }
    LimitWatch &limits() { return m_limits; }
    const LimitWatch &limits() const { return m_limits; }
    // Senvo-Net.json as read at start-up; each part saves its own keys through it.
    JsonSettings &jsonSettings() { return m_jsonSettings; }
    const JsonSettings &jsonSettings() const { return m_jsonSettings; }
    // Decides what the desktop is told of hosts in trouble, with the choices in Senvo-Net.json.
    Notifier &notifier() { return m_notifier; }
    // How many hosts are critical, warning and silent now.
    TroubleSummary troubleSummary() const;

    // Who may send and where to listen, as in force.
    const SendersSettings &senders() const { return m_senders; }
    struct SendersResult
    {
        bool applied = false;
        QString message; // what the user is to be told; empty when applied
    };
    // Listens on the new address (bound again only when it changed, nothing received lost),
    // writes the file, every other key kept, and lets through only the senders listed.
    // When the address cannot be bound or the file cannot be written nothing changes.
    SendersResult applySenders(const SendersSettings &senders);

    // Where and to whom the readings are served to Prometheus, as in force.
    const MetricsSettings &metricsSettings() const { return m_metricsSettings; }
    MetricsServer &metrics() { return m_metrics; }
    // Why the endpoint is not served as Senvo-Net.json asks; empty when it is, or is off.
    const QString &metricsProblem() const { return m_metricsProblem; }
    // Serves on the new address (listened on again only when it changed), then writes the
    // file, every other key kept. When the address cannot be listened on or the file cannot
    // be written nothing changes; returns what the user is to be told, empty when applied.
    QString applyMetrics(const MetricsSettings &settings);

    // Syslog over TCP and over TLS, on the senders' listen address, as in force.
    const StreamSettings &streamSettings() const { return m_streamSettings; }
    StreamListener &tcp() { return m_tcp; }
    const StreamListener &tcp() const { return m_tcp; }
    StreamListener &tls() { return m_tls; }
    const StreamListener &tls() const { return m_tls; }
    // Why TCP or TLS is not listened on as Senvo-Net.json asks (a port in use, a certificate
    // that cannot be read), naming the file; empty when both are, or are off.
    const QString &streamProblem() const { return m_streamProblem; }
    // Listens as settings say (only where something changed), then writes the file, every
    // other key kept. Returns what the user is to be told, empty when applied; when a
    // listener cannot start or the file cannot be written nothing changes.
    QString applyStreams(const StreamSettings &settings);

    // The actions as Senvo-Net.json holds them, those with a mistake included.
    const ActionSettings &actionSettings() const { return m_actionSettings; }
    // Runs the sound actions on what the notifier gathers, and keeps how each went.
    ActionRunner &actions() { return m_actions; }
    const ActionRunner &actions() const { return m_actions; }
    // Why no action runs although Senvo-Net.json lists some; empty when they run.
    const QString &actionsProblem() const { return m_actionsProblem; }
    // Writes the actions into Senvo-Net.json, every other key kept, lets its owner alone
    // write the file when it lists any, and runs the sound ones from now on. When the file
    // cannot be written nothing changes; returns what the user is to be told, empty when
    // applied.
    QString applyActions(const ActionSettings &settings);

    // Reads Senvo-Net.json again and puts it in force as at start-up, the listening address
    // included; returns what cannot be applied, empty when all of it is.
    QString reloadSettings();

    // Puts back the hosts heard before start-up, silent until heard again, with no
    // notification for them (see ReadingsTable::restoreHosts()): once, before the first
    // datagram. listenAtStartUp() does it with what the history on disk kept.
    void restoreHosts(const std::vector<KeptHost> &hosts) { m_table.restoreHosts(hosts); }
    // What the user is to hear of the history on disk at start-up (a damaged file moved aside,
    // a file that cannot be written), naming the file; empty when nothing.
    QString archiveProblem() const;
    // The readings remembered on disk; null until start-up.
    HistoryArchive *archive() { return m_archive.get(); }
    const HistoryArchive *archive() const { return m_archive.get(); }

    // Opens the history on disk and, unless Senvo-Net.json says not to, puts back the hosts
    // heard in the last day; reads the stored port and listens on it, once, before a window
    // shows the readings; serves the metrics when Senvo-Net.json asks for them.
    void listenAtStartUp();
    // What went wrong reading the port or listening at start-up; empty when nothing did.
    const QString &listenProblem() const { return m_listenProblem; }

    // What was wrong with the limits or the senders at start-up, in one message that names the
    // file; empty when nothing was. The sound rules are applied all the same.
    const QString &limitsProblem() const { return m_limitsProblem; }
    // Writes rules into Senvo-Net.json, every other key kept, and once the file is written
    // applies them to the whole table; when it cannot be written nothing changes.
    SettingsFile::SaveResult applyLimits(const LimitRules &rules);
    // The same for what is notified.
    SettingsFile::SaveResult applyNotifyChoices(const NotifyChoices &choices);
    // Follows the table from the start, so that its columns stand in the order the names were
    // first heard whenever the overview is opened.
    OverviewModel &overview() { return m_overview; }

Q_SIGNALS:
    // Other senders are let through, or another address is listened on.
    void sendersApplied();

private:
    void putJsonInForce();
    void serveMetrics(const MetricsSettings &settings);
    // Starts or stops each listener as settings say; force listens again even where nothing
    // changed (another address). Why either is off against the settings, empty when none is.
    QString listenStreams(const StreamSettings &settings, bool force);

    ReadingsTable m_table;
    DatagramReceiver m_receiver;
    PortSetting m_portSetting;
    LimitWatch m_limits;
    JsonSettings m_jsonSettings;
    SendersSettings m_senders;
    Notifier m_notifier;
    TroubleFeed m_trouble;
    QString m_limitsProblem;
    QString m_listenProblem;
    OverviewModel m_overview;
    HistoryStore m_history;
    MetricsSettings m_metricsSettings;
    MetricsServer m_metrics;
    QString m_metricsProblem;
    StreamSettings m_streamSettings;
    StreamListener m_tcp;
    StreamListener m_tls;
    QString m_streamProblem;
    ActionSettings m_actionSettings;
    ActionRunner m_actions;
    QString m_actionsProblem;
    const QString m_dataDirectory;
    ArchiveSettings m_archiveSettings;
    // After the table and the limits, which it follows: made last, gone first.
    std::unique_ptr<HistoryArchive> m_archive;
    bool m_started = false;
};
