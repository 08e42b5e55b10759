#include "display_link.h"

#include <QMetaObject>
#include <atomic>
#include <windows.h>

// Ctrl+C, Ctrl+Break and closing the console window on Windows: the system calls the
// control handler on a thread of its own, which hands the event to the event loop.

namespace vorkal::cli {

namespace {

std::atomic<InterruptWatch*> currentWatch{nullptr};
std::atomic<bool> interruptsHeld{false};
std::atomic<int> interruptsCancelling{0};

BOOL WINAPI OnConsoleControl(DWORD kind) {
    if (kind != CTRL_C_EVENT && kind != CTRL_BREAK_EVENT && kind != CTRL_CLOSE_EVENT) return FALSE;
    InterruptWatch* watch = currentWatch;
    if (!watch) return FALSE;
    const bool held = interruptsHeld;
    // A second Ctrl+C ends the program at once (the system's own handler does it), should
    // the cancel itself hang; never while held.
    if (!held && ++interruptsCancelling >= 2) return FALSE;
    QMetaObject::invokeMethod(watch, "deliverInterrupt", Qt::QueuedConnection, Q_ARG(bool, held));
    return TRUE;
}

}  // namespace

InterruptWatch::InterruptWatch() {
    currentWatch = this;
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void InterruptWatch::setHeld(bool held) { interruptsHeld = held; }

bool InterruptWatch::held() const { return interruptsHeld; }

InterruptWatch::~InterruptWatch() {
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    currentWatch = nullptr;
}

}  // namespace vorkal::cli
