#include "display_link.h"

#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>

// Ctrl+C and SIGTERM on POSIX: the handler writes a byte into a pipe that the event
// loop watches.

namespace vorkal::cli {

namespace {

int interruptPipe[2] = {-1, -1};
// Written on the main thread, read by the handler.
volatile sig_atomic_t interruptsHeld = 0;
volatile sig_atomic_t interruptsCancelling = 0;
constexpr char kCancelByte = 1;
constexpr char kHeldByte = 2;

void OnInterrupt(int signalNumber) {
    const int saved = errno;
    const bool held = interruptsHeld != 0;
    const char byte = held ? kHeldByte : kCancelByte;
    [[maybe_unused]] const ssize_t n = write(interruptPipe[1], &byte, 1);
    // A second Ctrl+C ends the program at once, should the cancel itself hang; never
    // while held, where ending would do the harm the hold is there to prevent.
    const int cancelling = interruptsCancelling + 1;
    interruptsCancelling = cancelling;
    if (!held && cancelling >= 2) {
        signal(signalNumber, SIG_DFL);
        raise(signalNumber);
    }
    errno = saved;
}

}  // namespace

InterruptWatch::InterruptWatch() {
    if (interruptPipe[0] < 0 && pipe2(interruptPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(interruptPipe[0], QSocketNotifier::Read, this);
    QObject::connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        bool cancel = false, held = false;
        for (ssize_t n; (n = read(interruptPipe[0], buffer, sizeof buffer)) > 0;)
            for (ssize_t i = 0; i < n; ++i) (buffer[i] == kHeldByte ? held : cancel) = true;
        report(cancel, held);
    });
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void InterruptWatch::setHeld(bool held) { interruptsHeld = held ? 1 : 0; }

bool InterruptWatch::held() const { return interruptsHeld != 0; }

InterruptWatch::~InterruptWatch() {
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
}

}  // namespace vorkal::cli
