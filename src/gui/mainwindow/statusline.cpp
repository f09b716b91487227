#include "statusline.h"

#include "engine/archive/historyarchive.h"
#include "engine/monitor/monitor.h"
#include "engine/tableview/tablefullnotice.h"
#include "gui/common/notice.h"
#include "gui/tablefile/tablesaveflow.h"

#include <QDir>
#include <QLocale>

QString StatusLine::textOf(const Facts &facts)
{
    if (!facts.told.isEmpty())
        return facts.told;
    if (!facts.listening)
        return tr("Not listening \u2014 see Tools \u2192 Options");
    if (facts.savingPercent >= 0)
        return tr("Saving the table\u2026 %1%").arg(facts.savingPercent);
    const QString port = facts.address.isNull()
                             ? tr("UDP port %1").arg(facts.port)
                             : tr("%1, UDP port %2").arg(facts.address.toString()).arg(facts.port);
    QString where = port;
    if (facts.tcpPort != 0)
        where += tr(", TCP %1").arg(facts.tcpPort);
    if (facts.tlsPort != 0)
        where += tr(", TLS %1").arg(facts.tlsPort);
    QString text = facts.tableFull ? tr("Listening on %1 \u2014 table full").arg(where)
                                   : tr("Listening on %1").arg(where);
    text += facts.trouble.text();
    if (facts.ignored > 0)
        text += tr(" \u00b7 %1 ignored").arg(QLocale().toString(facts.ignored, 'f', 0));
    if (facts.refused > 0)
        text += tr(" \u00b7 %1 refused").arg(QLocale().toString(facts.refused));
    if (facts.failedActions > 0)
        text += facts.failedActions == 1 ? tr(" \u00b7 1 action failed")
                                         : tr(" \u00b7 %1 actions failed").arg(facts.failedActions);
    return text;
}

StatusLine::StatusLine(Monitor &monitor, const TableFullNotice &tableFull,
                       const TableSaveFlow &saving, QWidget *parent)
    : QLabel(parent)
    , m_monitor(monitor)
    , m_tableFull(tableFull)
    , m_saving(saving)
{
    setObjectName(u"listeningStatus"_qs);
    m_toldTimer.setSingleShot(true);
    m_toldTimer.setInterval(toldMs);
    connect(&m_toldTimer, &QTimer::timeout, this, [this] {
        m_told.clear();
        refresh();
    });
    connect(&saving, &TableSaveFlow::told, this, [this](const QString &text) {
        m_told = text;
        m_toldTimer.start();
        refresh();
    });
    const DatagramReceiver *receiver = &monitor.receiver();
    connect(receiver, &DatagramReceiver::listeningChanged, this, &StatusLine::refresh);
    connect(receiver, &DatagramReceiver::ignoredChanged, this, &StatusLine::refresh);
    connect(&monitor.portSetting(), &PortSetting::portApplied, this, &StatusLine::refresh);
    connect(&monitor.table().silence(), &SilenceWatch::silentHostsChanged, this,
            &StatusLine::refresh);
    connect(&monitor.limits(), &LimitWatch::countsChanged, this, &StatusLine::refresh);
    connect(&monitor, &Monitor::sendersApplied, this, &StatusLine::refresh);
    connect(&monitor.tcp(), &StreamListener::countsChanged, this, &StatusLine::refresh);
    connect(&monitor.tls(), &StreamListener::countsChanged, this, &StatusLine::refresh);
    connect(&monitor.actions(), &ActionRunner::changed, this, &StatusLine::refresh);
    if (const HistoryArchive *archive = monitor.archive())
        connect(archive, &HistoryArchive::statusChanged, this, &StatusLine::refresh);
}

StatusLine::Facts StatusLine::facts() const
{
    const DatagramReceiver &receiver = m_monitor.receiver();
    Facts facts;
    facts.listening = receiver.isListening();
    facts.address = receiver.address();
    facts.port = receiver.port();
    facts.tableFull = m_tableFull.told();
    facts.savingPercent = m_saving.isSaving() ? m_saving.percentWritten() : -1;
    facts.trouble = m_monitor.troubleSummary();
    facts.ignored = receiver.ignored();
    facts.told = m_told;
    facts.tcpPort = m_monitor.tcp().isListening() ? m_monitor.tcp().serverPort() : 0;
    facts.tlsPort = m_monitor.tls().isListening() ? m_monitor.tls().serverPort() : 0;
    facts.refused = m_monitor.tcp().counts().refused + m_monitor.tls().counts().refused;
    facts.failedActions = m_monitor.actions().failedCount();
    return facts;
}

QString StatusLine::streamsToolTip() const
{
    QStringList lines;
    const StreamListener *last = nullptr;
    for (const StreamListener *listener : {&m_monitor.tcp(), &m_monitor.tls()}) {
        if (listener->counts().refused > 0
            && (!last || listener->lastRefusedAt() > last->lastRefusedAt()))
            last = listener;
    }
    if (last)
        lines.append(tr("Last refused: %1 at %2, as %3")
                         .arg(last->lastRefused().toText(),
                              QLocale().toString(last->lastRefusedAt().time(), u"HH:mm:ss"_qs),
                              last->lastRefusedWhy()));
    StreamListener::Counts closed;
    for (const StreamListener *listener : {&m_monitor.tcp(), &m_monitor.tls()}) {
        const StreamListener::Counts &counts = listener->counts();
        closed.tooLarge += counts.tooLarge;
        closed.badFrames += counts.badFrames;
        closed.idleTimedOut += counts.idleTimedOut;
        closed.frameTimedOut += counts.frameTimedOut;
        closed.handshakeTimedOut += counts.handshakeTimedOut;
    }
    if (closed.tooLarge + closed.badFrames + closed.idleTimedOut + closed.frameTimedOut
            + closed.handshakeTimedOut
        > 0)
        lines.append(tr("Connections closed: %1 frame too large, %2 bad octet count, %3 silent, "
                        "%4 frame unfinished, %5 handshake unfinished")
                         .arg(closed.tooLarge)
                         .arg(closed.badFrames)
                         .arg(closed.idleTimedOut)
                         .arg(closed.frameTimedOut)
                         .arg(closed.handshakeTimedOut));
    return lines.join(u'\n');
}

QString StatusLine::historyToolTip() const
{
    const HistoryArchive *const archive = m_monitor.archive();
    if (!archive)
        return {};
    if (!archive->problem().isEmpty())
        return archive->problem();
    const QString path = QDir::toNativeSeparators(archive->filePath());
    if (archive->fileBytes() < 0)
        return tr("History: %1").arg(path);
    // Counted in 1024s, as the "maxSize" setting is.
    return tr("History: %1, %2")
        .arg(path, QLocale().formattedDataSize(archive->fileBytes(), 1,
                                               QLocale::DataSizeTraditionalFormat));
}

void StatusLine::refresh()
{
    const Facts now = facts();
    const QString text = textOf(now);
    QPalette shown = parentWidget()->palette();
    if (!now.told.isEmpty()) {
        setText(fontMetrics().elidedText(text, Qt::ElideMiddle, width()));
        setToolTip(text);
    } else if (!now.listening) {
        setText(text);
        QStringList tip{m_monitor.receiver().errorString(), historyToolTip()};
        tip.removeAll(QString());
        setToolTip(tip.join(u'\n'));
        shown.setColor(QPalette::WindowText, Qt::red);
    } else {
        setText(text);
        if (now.savingPercent >= 0)
            return;
        const DatagramReceiver &receiver = m_monitor.receiver();
        QStringList tip;
        if (now.ignored > 0)
            tip.append(
                tr("Last ignored: %1 at %2")
                    .arg(receiver.lastIgnoredSender().toText(),
                         QLocale().toString(receiver.lastIgnoredAt().time(), u"HH:mm:ss"_qs)));
        if (const QString streams = streamsToolTip(); !streams.isEmpty())
            tip.append(streams);
        tip += m_monitor.actions().failures();
        if (const QString history = historyToolTip(); !history.isEmpty())
            tip.append(history);
        setToolTip(tip.join(u'\n'));
    }
    setPalette(shown);
}
