#include "statusline.h"

#include "engine/monitor/monitor.h"
#include "engine/tableview/tablefullnotice.h"
#include "gui/common/notice.h"
#include "gui/tablefile/tablesaveflow.h"

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
    QString text = facts.tableFull ? tr("Listening on %1 \u2014 table full").arg(port)
                                   : tr("Listening on %1").arg(port);
    text += facts.trouble.text();
    if (facts.ignored > 0)
        text += tr(" \u00b7 %1 ignored").arg(QLocale().toString(facts.ignored, 'f', 0));
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
    connect(&monitor.actions(), &ActionRunner::changed, this, &StatusLine::refresh);
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
    facts.failedActions = m_monitor.actions().failedCount();
    return facts;
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
        setToolTip(m_monitor.receiver().errorString());
        shown.setColor(QPalette::WindowText, Qt::red);
    } else {
        setText(text);
        if (now.savingPercent >= 0)
            return;
        const DatagramReceiver &receiver = m_monitor.receiver();
        QStringList tips = m_monitor.actions().failures();
        if (now.ignored > 0)
            tips.prepend(
                tr("Last ignored: %1 at %2")
                    .arg(receiver.lastIgnoredSender().toText(),
                         QLocale().toString(receiver.lastIgnoredAt().time(), u"HH:mm:ss"_qs)));
        setToolTip(tips.join(u'\n'));
    }
    setPalette(shown);
}
