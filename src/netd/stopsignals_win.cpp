#include "stopsignals.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <atomic>

#include <windows.h>

// The console's handler runs on a thread of its own; the signal is queued to the object's.
namespace {

std::atomic<StopSignals *> watcher = nullptr;

BOOL WINAPI handle(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        if (StopSignals *const target = watcher.load())
            QMetaObject::invokeMethod(target, &StopSignals::stopAsked, Qt::QueuedConnection);
        // Windows ends the process when the handler returns from a close: wait for the
        // event loop to write what is pending.
        if (event == CTRL_CLOSE_EVENT || event == CTRL_SHUTDOWN_EVENT)
            Sleep(5000);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

struct StopSignals::Private
{
};

StopSignals::StopSignals(QObject *parent)
    : QObject(parent)
    , d(new Private)
{
    watcher = this;
    SetConsoleCtrlHandler(handle, TRUE);
}

StopSignals::~StopSignals()
{
    SetConsoleCtrlHandler(handle, FALSE);
    watcher = nullptr;
    delete d;
}
