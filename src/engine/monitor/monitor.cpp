#include "monitor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

// Enough to show what kind of mistakes a file holds without a message taller than the screen.
constexpr qsizetype mistakesShown = 8;

QString tr(const char *text)
{
    return QCoreApplication::translate("Monitor", text);
}

// others: the mistakes in the settings beside the limits (senders, metrics).
QString problemWith(const JsonSettings &settings, const LimitRules &rules,
                    const QStringList &others)
{
    const QString file = QDir::toNativeSeparators(settings.path());
    const QString keptReceiving = tr("Readings are received and shown as always.");
    const QString remedy = tr("Correct the file and start Senvo-Net again, or set the limits "
                              "in Tools \u2192 Limits\u2026, whose OK writes the file.");
    if (!settings.readError().isEmpty())
        return tr("The limits in %1 cannot be read: %2.").arg(file, settings.readError())
               + u"\n\n"_qs + keptReceiving + u' ' + tr("No limits apply.") + u' ' + remedy;
    const QStringList errors = rules.errors() + others;
    if (errors.isEmpty())
        return {};
    QStringList lines = errors.first(std::min(errors.size(), mistakesShown));
    if (errors.size() > mistakesShown)
        lines.append(tr("and %1 more").arg(errors.size() - mistakesShown));
    if (rules.errors().isEmpty())
        return tr("Some settings in %1 cannot be applied:").arg(file) + u"\n\n"_qs
               + lines.join(u'\n') + u"\n\n"_qs
               + tr("The other settings apply. Correct the file and start Senvo-Net again, or "
                    "set them in Tools \u2192 Settings\u2026, whose OK writes the file.");
    return tr("Some limits in %1 cannot be applied:").arg(file) + u"\n\n"_qs + lines.join(u'\n')
           + u"\n\n"_qs + keptReceiving + u' ' + tr("The other limits apply.") + u' ' + remedy;
}

} // namespace

Monitor::Monitor(const SettingsFile &settings, QObject *parent, DatagramSocket *socket,
                 const ReceiveClock *clock, Notifier::Clock notifyClock)
    : QObject(parent)
    , m_table(nullptr, ReadingsTable::defaultHostLimit, clock)
    , m_receiver(&m_table, nullptr, socket)
    , m_portSetting(settings, &m_receiver)
    , m_limits(m_table)
    , m_jsonSettings(settings)
    , m_notifier(notifyClock ? std::move(notifyClock) : Notifier::steadyClock())
    , m_trouble(m_table, m_limits, m_notifier)
    , m_overview(m_table)
    , m_history(m_table)
    , m_metrics(m_table, m_receiver)
    , m_tcp(m_receiver)
    , m_tls(m_receiver)
    , m_dataDirectory(settings.dataDirectoryInUse())
{
    m_tcp.setObjectName(u"SenvoTCP"_qs);
    m_tls.setObjectName(u"SenvoTLS"_qs);
    // Every host reports for the first time again on the new port.
    connect(&m_portSetting, &PortSetting::portApplied, &m_notifier, &Notifier::restartGrace);
    connect(&m_notifier, &Notifier::gathered, &m_actions, &ActionRunner::take);
    putJsonInForce();
}

void Monitor::putJsonInForce()
{
    const QJsonObject &json = m_jsonSettings.object();
    m_notifier.setChoices(NotifyChoices::fromJson(json.value(NotifyChoices::jsonKey).toObject()));
    const LimitRules rules(json);
    const SendersSettings senders = SendersSettings::fromObject(json);
    const MetricsSettings metrics = MetricsSettings::fromObject(json);
    const StreamSettings streams = StreamSettings::fromObject(json);
    m_actionSettings = ActionSettings::fromObject(json);
    if (!m_started) {
        m_archiveSettings = ArchiveSettings::fromObject(
            json, QFileInfo(m_jsonSettings.path()).absolutePath(), m_dataDirectory);
    }
    m_actionsProblem = m_actionSettings.rules().isEmpty()
                           ? QString()
                           : ActionSettings::unsafeFile(m_jsonSettings.path());
    m_actions.setRules(m_actionsProblem.isEmpty() ? m_actionSettings.sound() : QList<ActionRule>());
    QStringList others = senders.errors() + metrics.errors() + streams.errors()
                         + m_actionSettings.errors() + m_archiveSettings.errors();
    if (!m_actionsProblem.isEmpty())
        others.append(m_actionsProblem);
    m_limitsProblem = problemWith(m_jsonSettings, rules, others);
    m_limits.setRules(rules);
    m_receiver.setSenderFilter(senders.filter());
    const QString previous = m_senders.listenAddress();
    m_senders = senders;
    m_portSetting.setListenAddress(senders.listenAddress());
    if (m_started) {
        serveMetrics(metrics);
        m_streamProblem = listenStreams(streams, previous != senders.listenAddress());
    } else {
        m_metricsSettings = metrics;
        m_streamSettings = streams;
    }
    // Only a running service reads the file again while it listens.
    if (m_receiver.isListening() && previous != senders.listenAddress()
        && !m_receiver.rebind(QString::number(m_receiver.port()), senders.listenAddress())) {
        m_listenProblem = tr("Senvo-Net cannot listen on %1: %2")
                              .arg(senders.listenAddress(), m_receiver.errorString());
    }
}

QString Monitor::reloadSettings()
{
    m_jsonSettings.reload();
    m_listenProblem.clear();
    putJsonInForce();
    QStringList problems{m_limitsProblem, m_listenProblem, m_metricsProblem, m_streamProblem};
    problems.removeAll(QString());
    return problems.join(u"\n\n"_qs);
}

SettingsFile::SaveResult Monitor::applyLimits(const LimitRules &rules)
{
    QJsonObject changed;
    rules.writeTo(changed);
    const SettingsFile::SaveResult result = m_jsonSettings.save(changed);
    if (result.saved)
        m_limits.setRules(rules);
    return result;
}

Monitor::SendersResult Monitor::applySenders(const SendersSettings &senders)
{
    SendersResult result;
    const QString previous = m_portSetting.listenAddress();
    const auto sameAddress = [](const QString &a, const QString &b) {
        return DatagramReceiver::addressFromText(a) == DatagramReceiver::addressFromText(b)
               && DatagramReceiver::addressFromText(a).has_value();
    };
    const bool moved = !sameAddress(previous, senders.listenAddress());
    const bool rebound = moved && m_receiver.isListening();
    const QString port = QString::number(m_receiver.port());
    if (rebound && !m_receiver.rebind(port, senders.listenAddress())) {
        result.message = tr("Senvo-Net cannot listen on %1: %2\n\nReadings are still received "
                            "as before, and nothing was changed.")
                             .arg(senders.listenAddress().isEmpty() ? tr("every address")
                                                                    : senders.listenAddress(),
                                  m_receiver.errorString());
        return result;
    }
    QJsonObject changed;
    senders.writeTo(changed);
    const SettingsFile::SaveResult saved = m_jsonSettings.save(changed);
    if (!saved.saved) {
        if (rebound)
            m_receiver.rebind(port, previous);
        result.message =
            tr("The senders could not be saved, so nothing was changed.\n\n%1").arg(saved.error);
        return result;
    }
    m_senders = senders;
    m_portSetting.setListenAddress(senders.listenAddress());
    m_receiver.setSenderFilter(senders.filter());
    if (moved)
        m_streamProblem = listenStreams(m_streamSettings, true);
    // Not listening (a port or address that failed): try the new address at once.
    if (moved && !m_receiver.isListening())
        m_receiver.bind(m_portSetting.portText(), senders.listenAddress());
    result.applied = true;
    Q_EMIT sendersApplied();
    return result;
}

SettingsFile::SaveResult Monitor::applyNotifyChoices(const NotifyChoices &choices)
{
    QJsonObject changed;
    changed.insert(
        NotifyChoices::jsonKey,
        choices.toJson(m_jsonSettings.object().value(NotifyChoices::jsonKey).toObject()));
    const SettingsFile::SaveResult result = m_jsonSettings.save(changed);
    if (result.saved)
        m_notifier.setChoices(choices);
    return result;
}

TroubleSummary Monitor::troubleSummary() const
{
    return {m_limits.criticalHosts(), m_limits.warningHosts(), m_table.silence().silentHosts(),
            m_table.hostCount()};
}

QString Monitor::archiveProblem() const
{
    if (!m_archive)
        return {};
    QStringList told;
    for (const QString &text : {m_archive->notice(), m_archive->problem()}) {
        if (!text.isEmpty())
            told.append(text);
    }
    return told.join(u'\n');
}

void Monitor::listenAtStartUp()
{
    if (!m_archive) {
        m_archive = std::make_unique<HistoryArchive>(m_table, &m_limits, m_archiveSettings);
        // The table first, so that the window is usable at once; the history follows as asked.
        if (m_archiveSettings.restoreHosts())
            m_table.restoreHosts(m_archive->keptHosts(QDateTime::currentDateTime().addDays(-1)));
        // Takes note of the states they came back in before anything is heard.
        m_archive->flush();
    }
    m_listenProblem = m_portSetting.bindAtStartUp(m_portSetting.read());
    m_started = true;
    serveMetrics(m_metricsSettings);
    m_streamProblem = listenStreams(m_streamSettings, true);
}

QString Monitor::listenStreams(const StreamSettings &settings, bool force)
{
    const StreamSettings previous = m_streamSettings;
    m_streamSettings = settings;
    const QString addressText = m_senders.listenAddress();
    const std::optional<QHostAddress> given = DatagramReceiver::addressFromText(addressText);
    const QHostAddress address =
        given && !given->isNull() ? *given : QHostAddress(QHostAddress::Any);
    const QString where = addressText.isEmpty() ? tr("every address") : addressText;
    QStringList problems;
    const auto cannot = [&](const QString &kind, quint16 port, const QString &why) {
        problems.append(tr("Senvo-Net cannot take syslog over %1 on %2, port %3: %4. The "
                           "other listeners run as always.")
                            .arg(kind, where)
                            .arg(port)
                            .arg(why));
    };

    const bool tcpSame = previous.tcpPort() == settings.tcpPort()
                         && m_tcp.isListening() == (settings.tcpPort() != 0);
    if (force || !tcpSame) {
        m_tcp.stop();
        m_tcp.setPlain();
        if (settings.tcpPort() != 0 && (!given || !m_tcp.listen(address, settings.tcpPort())))
            cannot(u"TCP"_qs, settings.tcpPort(),
                   given ? m_tcp.errorString() : tr("it is not an IP address"));
    }

    // A TCP port moved is no reason to cut the relays off TLS.
    StreamSettings tlsPrevious = previous;
    tlsPrevious.setTcpPort(settings.tcpPort());
    const bool tlsSame =
        tlsPrevious == settings && m_tls.isListening() == (settings.tlsPort() != 0);
    if (force || !tlsSame) {
        m_tls.stop();
        if (settings.tlsPort() != 0) {
            QString why;
            const StreamListener::TlsFiles files{settings.certificate(), settings.privateKey(),
                                                 settings.clientCA(), settings.allowedClients()};
            const QString folder = QFileInfo(m_jsonSettings.path()).absolutePath();
            if (const std::optional<QSslConfiguration> configuration =
                    StreamListener::tlsConfiguration(files, folder, &why)) {
                m_tls.setTls(*configuration, AllowedClients(settings.allowedClients()));
                if (!given || !m_tls.listen(address, settings.tlsPort()))
                    cannot(u"TLS"_qs, settings.tlsPort(),
                           given ? m_tls.errorString() : tr("it is not an IP address"));
            } else {
                cannot(u"TLS"_qs, settings.tlsPort(), why);
            }
        }
    }
    return problems.join(u"\n\n"_qs);
}

QString Monitor::applyStreams(const StreamSettings &settings)
{
    const StreamSettings previous = m_streamSettings;
    if (const QString problem = listenStreams(settings, false); !problem.isEmpty()) {
        listenStreams(previous, false);
        return problem + u"\n\n"_qs + tr("Nothing was changed.");
    }
    QJsonObject whole = m_jsonSettings.object();
    settings.writeTo(whole);
    QJsonObject changed;
    for (const QLatin1StringView key : {StreamSettings::tcpKey, StreamSettings::tlsKey}) {
        const QJsonValue value = whole.value(key);
        changed.insert(key, value.isUndefined() ? QJsonValue() : value);
    }
    const SettingsFile::SaveResult saved = m_jsonSettings.save(changed);
    if (!saved.saved) {
        listenStreams(previous, false);
        return tr("The TCP and TLS settings could not be saved, so nothing was changed.\n\n%1")
            .arg(saved.error);
    }
    m_streamProblem.clear();
    return {};
}

// Listened on again only where the address or the list changed, so that a scrape under way
// is not cut off for nothing.
void Monitor::serveMetrics(const MetricsSettings &settings)
{
    const bool same = m_metrics.isListening() == settings.isOn()
                      && settings.listen() == m_metricsSettings.listen()
                      && settings.allowed() == m_metricsSettings.allowed();
    m_metricsSettings = settings;
    if (!same || !m_metricsProblem.isEmpty())
        m_metricsProblem = m_metrics.listen(settings);
}

QString Monitor::applyMetrics(const MetricsSettings &settings)
{
    const MetricsSettings previous = m_metricsSettings;
    const bool wasServing = m_metrics.isListening();
    const bool moved = settings.listen() != previous.listen() || !wasServing;
    if (moved || settings.allowed() != previous.allowed()) {
        if (const QString problem = m_metrics.listen(settings); !problem.isEmpty()) {
            if (wasServing)
                m_metrics.listen(previous);
            return problem + u"\n\n"_qs + tr("Nothing was changed.");
        }
    }
    QJsonObject whole = m_jsonSettings.object();
    settings.writeTo(whole);
    QJsonObject changed;
    const QJsonValue metrics = whole.value(MetricsSettings::key);
    changed.insert(MetricsSettings::key, metrics.isUndefined() ? QJsonValue() : metrics);
    const SettingsFile::SaveResult saved = m_jsonSettings.save(changed);
    if (!saved.saved) {
        if (wasServing)
            m_metrics.listen(previous);
        else
            m_metrics.stop();
        return tr("The metrics settings could not be saved, so nothing was changed.\n\n%1")
            .arg(saved.error);
    }
    m_metricsSettings = settings;
    m_metricsProblem.clear();
    return {};
}

QString Monitor::applyActions(const ActionSettings &settings)
{
    QJsonObject whole = m_jsonSettings.object();
    settings.writeTo(whole);
    QJsonObject changed;
    const QJsonValue actions = whole.value(ActionSettings::key);
    changed.insert(ActionSettings::key, actions.isUndefined() ? QJsonValue() : actions);
    const SettingsFile::SaveResult saved = m_jsonSettings.save(changed);
    if (!saved.saved)
        return tr("The actions could not be saved, so nothing was changed.\n\n%1").arg(saved.error);
    m_actionSettings = settings;
    const QString path = m_jsonSettings.path();
    if (!settings.rules().isEmpty() && !ActionSettings::makeSafe(path)) {
        m_actionsProblem = ActionSettings::unsafeFile(path);
        m_actions.setRules({});
        return m_actionsProblem;
    }
    m_actionsProblem.clear();
    m_actions.setRules(settings.sound());
    return {};
}
