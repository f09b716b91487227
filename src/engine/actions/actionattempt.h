#pragma once

#include <QObject>
#include <QString>

// One try at one action with one batch, run on the event loop; finished() comes once, and
// the attempt may then be deleted.
class ActionAttempt : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ActionAttempt)

public:
    struct Outcome
    {
        bool ok = false;
        // The failure may pass (the network, the server): worth another try later.
        bool retry = false;
        QString detail; // "exit 0", "HTTP 503 Service Unavailable", "connection refused"
    };

    using QObject::QObject;

    virtual void start() = 0;

    // "30 s", or "250 ms" for what is not whole seconds.
    static QString durationText(int ms);

Q_SIGNALS:
    void finished(const ActionAttempt::Outcome &outcome);
};
