#include "platform/SignalWatcher.h"

#include <QPointer>

#include <csignal>
#include <windows.h>

namespace {

QPointer<SignalWatcher> &watcher()
{
    static QPointer<SignalWatcher> current;
    return current;
}

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    const int number = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    QMetaObject::invokeMethod(
        watcher().data(), [number] { Q_EMIT watcher()->interrupted(number); },
        Qt::QueuedConnection);
    return TRUE;
}

} // namespace

SignalWatcher::SignalWatcher(QObject *parent) : QObject(parent)
{
    watcher() = this;
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

SignalWatcher::~SignalWatcher()
{
    ::SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    watcher() = nullptr;
}
