#pragma once

#include "engine/notify/troublesummary.h"

#include <QHostAddress>
#include <QLabel>
#include <QTimer>

class Monitor;
class TableFullNotice;
class TableSaveFlow;

// The main window's line about the receiver: where it listens, the hosts in trouble, the
// senders ignored, the actions that failed, a save under way or just done; in red when nothing is
// received. Its tooltip tells more, and where the history is kept.
class StatusLine final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusLine)

public:
    // What the line tells.
    struct Facts
    {
        bool listening = false;
        QHostAddress address; // null for every address
        quint16 port = 0;
        bool tableFull = false;
        int savingPercent = -1; // -1 while no save is under way
        TroubleSummary trouble;
        double ignored = 0;
        QString told;        // a save that worked, told for a while
        quint16 tcpPort = 0; // 0 while not listening for syslog over TCP
        quint16 tlsPort = 0;
        qint64 refused = 0; // TCP and TLS clients turned away
        int failedActions = 0;
    };

    static QString textOf(const Facts &facts);

    // All must outlive the line.
    StatusLine(Monitor &monitor, const TableFullNotice &tableFull, const TableSaveFlow &saving,
               QWidget *parent);

    // Tells what the engine now says.
    void refresh();

private:
    Facts facts() const;
    // The last client refused and what else closed connections, for the tooltip.
    QString streamsToolTip() const;
    // Where the history is kept on disk and how large it is, or why it is not.
    QString historyToolTip() const;

    Monitor &m_monitor;
    const TableFullNotice &m_tableFull;
    const TableSaveFlow &m_saving;
    QString m_told;
    QTimer m_toldTimer;
};
