#pragma once

#include "senderaddress.h"

#include <QDateTime>
#include <QString>
#include <QStringView>

#include <functional>

// Who sent the datagram being parsed and when it came, for a datagram that names no host
// or carries no timestamp. Both are worked out only when such a datagram asks: the clock is
// read at most once per batch, and an address is turned into text once for a run of
// datagrams from the same sender.
class Arrival final
{
public:
    using Clock = std::function<QDateTime()>;

    // The clock gives this machine's time; tests give a fixed one.
    explicit Arrival(Clock clock = &QDateTime::currentDateTime);

    // The datagrams that follow came in one batch: they share one receive time.
    void startBatch() { m_timeRead = false; }
    void setSender(const SenderAddress &sender) { m_sender = sender; }

    // The sender's address as text, empty when unknown.
    QStringView senderText();
    // The receive time written as a datagram's timestamp would be: "Dec  8", "01:45:39".
    QStringView receivedDate();
    QStringView receivedTime();

private:
    void readClock();

    Clock m_clock;
    SenderAddress m_sender;
    SenderAddress m_textSender;
    QString m_senderText;
    bool m_textValid = false;
    bool m_timeRead = false;
    QString m_date;
    QString m_time;
};
