#pragma once

#include <QObject>

// The operating system asking the service to end (SIGTERM, SIGINT; a console's Ctrl+C or its
// closing on Windows) or to read its settings again (SIGHUP), told on the event loop's
// thread, where it is safe to act on.
class StopSignals final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StopSignals)

public:
    // One at a time: the signals reach a process, not an object.
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

Q_SIGNALS:
    void stopAsked();
    void reloadAsked();

private:
    struct Private;
    Private *const d;
};
