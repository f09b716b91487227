#pragma once

#include "engine/monitor/monitor.h"
#include "gui/mainwindow/mainform.h"

#include <QObject>
#include <QTemporaryDir>

#include <memory>

class QLineEdit;

// The application's monitor, listening on a given port, and its main window over it: the
// receiver and readings table, the table view and counters, all on this thread and shown
// on screen. Its settings file lives in a folder of its own, so the user's stored port is
// neither read nor changed.
class ReceivingWindow final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReceivingWindow)

public:
    explicit ReceivingWindow(quint16 port, QObject *parent = nullptr);

    // False when the settings folder could not be made or the port could not be bound.
    bool isListening() const;
    QString errorString() const;

    void show();
    // Opens the overview beside the main window, sorted by the first reading heard, highest
    // first.
    void showOverview();
    void findHost(const QString &text) { m_window->findHost(text); }
    DatagramReceiver &receiver() { return m_monitor->receiver(); }
    ReadingsTable &table() { return m_monitor->table(); }
    // The number the packets counter shows on screen.
    double shownPackets() const;

private:
    QTemporaryDir m_settingsDirectory;
    std::unique_ptr<Monitor> m_monitor;
    std::unique_ptr<MainForm> m_window;
    QLineEdit *m_packetsReceived = nullptr;
};
