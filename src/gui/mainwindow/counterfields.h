#pragma once

#include <QObject>

class DatagramReceiver;
class QLabel;
class QLineEdit;
class QWidget;

// The window's two counters, Packets Received and Bytes Received: each a label and a field
// that shows the receiver's count and takes a number typed into it as the new count. They
// stand at the top right of the window, where they stay in view beside the status line, moved
// left as far as their digits need.
class CounterFields final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CounterFields)

public:
    // The labels and fields are made on client, in the window's tab order from here.
    CounterFields(DatagramReceiver &receiver, QWidget *client);

    // Shows the receiver's counts, except in a field being typed into, and lays the
    // counters out for them.
    void update();
    // Where the counters begin on the line: what stands to their left ends there.
    int left() const;
    // The line the counters take, from the window's top.
    int lineHeight() const;
    int bottom() const;

Q_SIGNALS:
    // A typed count was taken by the receiver.
    void countTyped();

private:
    void layout();
    void takeTyped(QLineEdit *field, void (DatagramReceiver::*set)(double), double current);

    DatagramReceiver &m_receiver;
    QWidget *const m_client;
    QLabel *m_packetsLabel = nullptr;
    QLabel *m_bytesLabel = nullptr;
    QLineEdit *m_packetsReceived = nullptr;
    QLineEdit *m_receivedBytes = nullptr;
};
