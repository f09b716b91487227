#pragma once

#include "reception/datagramreceiver.h"
#include "reception/readingstable.h"

#include <QObject>
#include <QWidget>

#include <memory>

class QLineEdit;

// The application's receiving path as the user has it: receiver, readings table, a
// table view and the two counters, all on this thread, shown on screen.
class ReceivingWindow final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReceivingWindow)

public:
    explicit ReceivingWindow(QObject *parent = nullptr);

    void show();
    DatagramReceiver &receiver() { return m_receiver; }
    ReadingsTable &table() { return m_table; }
    // The number the packets counter shows on screen.
    double shownPackets() const;

private:
    ReadingsTable m_table;
    DatagramReceiver m_receiver;
    std::unique_ptr<QWidget> m_window; // declared last: goes before the table it shows
    QLineEdit *m_packetsReceived = nullptr;
    QLineEdit *m_receivedBytes = nullptr;
};
