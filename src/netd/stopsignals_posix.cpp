#include "stopsignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

// A signal handler may only write to a descriptor; the event loop reads the other end.
namespace {

int writeEnd = -1;

void handle(int signal)
{
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(writeEnd, &byte, 1);
}

} // namespace

struct StopSignals::Private
{
    int ends[2] = {-1, -1};
    QSocketNotifier *notifier = nullptr;
};

StopSignals::StopSignals(QObject *parent)
    : QObject(parent)
    , d(new Private)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, d->ends) != 0)
        return;
    writeEnd = d->ends[0];
    d->notifier = new QSocketNotifier(d->ends[1], QSocketNotifier::Read, this);
    connect(d->notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        if (::read(d->ends[1], &byte, 1) != 1)
            return;
        if (byte == SIGHUP)
            Q_EMIT reloadAsked();
        else
            Q_EMIT stopAsked();
    });
    struct sigaction action = {};
    action.sa_handler = handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

StopSignals::~StopSignals()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
    writeEnd = -1;
    for (const int end : d->ends) {
        if (end >= 0)
            ::close(end);
    }
    delete d;
}
