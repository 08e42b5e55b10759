#include "af_com_port_core.h"

#include "af_port_map.h"
#include "port_details.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

// The core on POSIX: a non-blocking descriptor, eventfd signals, poll() and epoll waits.

namespace {

std::string Format(const char* format, int value) {
    char text[128];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

intptr_t AfThisSystemThread() { return static_cast<intptr_t>(::gettid()); }
void AfReleaseSystemThread(intptr_t) {}

// Best effort, as the thread's nice value (a higher priority is a lower nice value).
void AfApplyThreadPriority(intptr_t thread, int priority) {
    if (thread != 0) ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), -priority);
}

bool AfPurgeSystemOutput(TAfHandle handle) { return AfLinePosix::Purge(handle, AfLinePosix::PurgeOutput); }

// The reader's epoll wait ends on its stop signal; the line needs no waking.
void AfWakeLineWait(TAfHandle) {}

// ---------------------------------------------------------------------------------
TAfSignal::TAfSignal() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
TAfSignal::~TAfSignal() {
    if (fd_ >= 0) ::close(fd_);
}
void TAfSignal::Set() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(fd_, &one, sizeof one);
}
void TAfSignal::Reset() {
    uint64_t value = 0;
    [[maybe_unused]] ssize_t n = ::read(fd_, &value, sizeof value);
}

// ---------------------------------------------------------------------------------
void TAfComPortWriteThread::Execute() {
    pollfd fds[3] = {{stopSignal_.Fd(), POLLIN, 0}, {purgeRequest_.Fd(), POLLIN, 0}, {dataQueued.Fd(), POLLIN, 0}};
    while (!terminated_) {
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("Writer wait failed");
        }
        if (fds[0].revents) break;
        if (fds[1].revents) AcknowledgePurge();
        if (fds[2].revents) {
            dataQueued.Reset();
            Drain();
        }
    }
}

// Writes the ring's contiguous spans until it is empty. The span is used in place
// without the output lock: appends only touch the free part and emptying the ring
// waits for this thread to stand still (the purge handshake).
void TAfComPortWriteThread::Drain() {
    while (!terminated_) {
        const uint8_t* span = nullptr;
        int32_t count = 0;
        {
            std::lock_guard lock(core_.outputLock_);
            count = ring.ContiguousCount();
            span = ring.ReadPointer();
        }
        if (count == 0) return;
        const ssize_t written = ::write(handle_, span, static_cast<size_t>(count));
        if (written > 0) {
            Written(static_cast<int32_t>(written));
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno != EAGAIN)
            return;  // the span stays queued until the next append, a purge or the close
        // The driver's queue is full: wait until it takes more, or for a stop or purge.
        pollfd fds[3] = {{stopSignal_.Fd(), POLLIN, 0}, {purgeRequest_.Fd(), POLLIN, 0}, {handle_, POLLOUT, 0}};
        if (::poll(fds, 3, -1) < 0 && errno != EINTR) return;
        if (fds[0].revents) return;
        if (fds[1].revents) AcknowledgePurge();
        if (fds[2].revents & (POLLERR | POLLHUP | POLLNVAL)) return;
    }
}

// ---------------------------------------------------------------------------------
void TAfComPortEventThread::Execute() {
    const int epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    if (epollFd < 0) throw std::runtime_error("Reader wait failed");
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{epollFd};

    // The line is edge-triggered: like a received-character event it fires when new
    // bytes arrive, not while old ones stay unread (those are left to the poll).
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = stopSignal_.Fd();
    ::epoll_ctl(epollFd, EPOLL_CTL_ADD, stopSignal_.Fd(), &ev);
    ev.data.fd = core_.outputDone_.Fd();
    ::epoll_ctl(epollFd, EPOLL_CTL_ADD, core_.outputDone_.Fd(), &ev);
    ev.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
    ev.data.fd = handle_;
    bool lineWatched = ::epoll_ctl(epollFd, EPOLL_CTL_ADD, handle_, &ev) == 0;
    bool hungUp = false;

    while (!terminated_) {
        epoll_event events[3];
        const int n = ::epoll_wait(epollFd, events, 3, TAfComPortCore::PollIntervalMs);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("Reader wait failed");
        }
        if (n == 0) {
            if (!hungUp) Poll();
            continue;
        }
        uint32_t mask = 0;
        bool lost = false;
        for (int i = 0; i < n; ++i) {
            if (events[i].data.fd == stopSignal_.Fd()) {
                terminated_ = true;
            } else if (events[i].data.fd == core_.outputDone_.Fd()) {
                core_.outputDone_.Reset();
                Report(TAfCoreEvent::OutputDone, 0);
            } else {
                if (events[i].events & EPOLLIN) mask |= AfCommEvent::RxChar;
                if (events[i].events & (EPOLLHUP | EPOLLERR | EPOLLRDHUP)) lost = true;
            }
        }
        if (terminated_) break;
        if (!hungUp) mask |= core_.TakeLineEvents();
        if (lost && !hungUp) {
            // A device that went away keeps signalling; stop watching it and say so once.
            hungUp = true;
            core_.lineHungUp_ = true;
            if (lineWatched) ::epoll_ctl(epollFd, EPOLL_CTL_DEL, handle_, nullptr);
            lineWatched = false;
            mask &= ~AfCommEvent::RxChar;
        }
        if (mask) Report(TAfCoreEvent::CommEvent, mask);
        if (lost && hungUp && !terminated_) Report(TAfCoreEvent::LineHangUp, 0);
    }
}

// Nothing happened for 200 ms: collect line errors and re-report unread input.
void TAfComPortEventThread::Poll() {
    const TAfComStat stat = core_.StatusQuery();
    if (const uint32_t mask = core_.TakeLineEvents()) Report(TAfCoreEvent::CommEvent, mask);
    if (stat.InQueue > 0 && !terminated_) Report(TAfCoreEvent::InputWaiting, stat.InQueue);
}

// ---------------------------------------------------------------------------------
bool TAfComPortCore::Open(uint16_t portNumber) {
    if (open_ || handle_ >= 0) return false;
    const std::string invalid = Format("Invalid port number (COM%d)", portNumber);
    if (portNumber == 0) throw EAfComPortCoreError(invalid);
    const QString path = DevicePathForComNumber(portNumber);
    if (path.isEmpty()) throw EAfComPortCoreError(invalid, ENOENT);
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENODEV || error == ENXIO) throw EAfComPortCoreError(invalid, error);
        throw EAfComPortCoreError(Format("Can't open device COM%d", portNumber), error);
    }
    // Exclusive: the lock keeps out other programs (and a second open here), even root.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        throw EAfComPortCoreError(Format("Can't open device COM%d", portNumber), error);
    }
    // Another program reading the same terminal would take the replies away; the
    // open is refused as on a system with truly exclusive ports.
    if (::isatty(fd) && !FindDeviceHolders(path).empty()) {
        ::close(fd);
        throw EAfComPortCoreError(Format("Can't open device COM%d", portNumber), EBUSY);
    }
    ::ioctl(fd, TIOCEXCL);
    handle_ = fd;
    lineHungUp_ = false;

    if (!AfLinePosix::SetRawNoTimeouts(fd)) FailOpen("Error setting timeouts", errno);
    AfLinePosix::RequestLowLatency(fd);
    if (!AfLinePosix::ApplyDcb(fd, dcb_)) {
        const int error = errno;
        AfLinePosix::ReadDcb(fd, dcb_);
        FailOpen("Error setting parameters from DCB", error);
    }
    {
        std::lock_guard lock(lineLock_);
        lineErrors_ = 0;
        pendingLineEvents_ = 0;
        countersSupported_ = AfLinePosix::ReadCounters(fd, counters_);
        levelsSupported_ = !countersSupported_ && AfLinePosix::ModemLevels(fd, levels_);
    }
    StartWorkers();
    return true;
}

void TAfComPortCore::Close() {
    if (handle_ < 0) return;
    active_ = false;
    {
        std::lock_guard lock(lineLock_);
        AfLinePosix::Purge(handle_, AfLinePosix::PurgeInput | AfLinePosix::PurgeOutput);
    }
    // Not under the line lock: the reader's poll takes it.
    StopWorkers();
    // The exclusive mark belongs to the terminal, not to this descriptor: it would
    // outlive the close while another process (a simulator) keeps the device open.
    ::ioctl(handle_, TIOCNXCL);
    ::close(handle_);
    handle_ = -1;
    open_ = false;
}

void TAfComPortCore::SetDcb(const TAfDcb& dcb) {
    dcb_ = dcb;
    if (!active_) return;
    if (!AfLinePosix::ApplyDcb(handle_, dcb_)) {
        AfLinePosix::ReadDcb(handle_, dcb_);
        throw EAfComPortCoreError("Error setting parameters from DCB");
    }
}

int32_t TAfComPortCore::Read(void* buffer, int32_t count) {
    if (!active_) return -1;
    if (count <= 0) return 0;
    std::lock_guard lock(lineLock_);
    ssize_t n;
    do {
        n = ::read(handle_, buffer, static_cast<size_t>(count));
    } while (n < 0 && errno == EINTR);
    return n > 0 ? static_cast<int32_t>(n) : 0;
}

bool TAfComPortCore::PurgeInput() {
    if (!active_) return false;
    std::lock_guard lock(lineLock_);
    return AfLinePosix::Purge(handle_, AfLinePosix::PurgeInput);
}

uint32_t TAfComPortCore::PollLineLocked() {
    uint32_t newErrors = 0;
    if (countersSupported_) {
        AfLinePosix::Counters now;
        if (AfLinePosix::ReadCounters(handle_, now)) {
            const AfLinePosix::Counters& was = counters_;
            if (now.cts != was.cts) pendingLineEvents_ |= AfCommEvent::Cts;
            if (now.dsr != was.dsr) pendingLineEvents_ |= AfCommEvent::Dsr;
            if (now.dcd != was.dcd) pendingLineEvents_ |= AfCommEvent::Rlsd;
            if (now.ring != was.ring) pendingLineEvents_ |= AfCommEvent::Ring;
            if (now.bufOverrun != was.bufOverrun) newErrors |= AfLineError::RxOver;
            if (now.overrun != was.overrun) newErrors |= AfLineError::Overrun;
            if (now.parity != was.parity) newErrors |= AfLineError::RxParity;
            if (now.frame != was.frame) newErrors |= AfLineError::Frame;
            if (now.brk != was.brk) newErrors |= AfLineError::Break;
            counters_ = now;
        }
    } else if (levelsSupported_) {
        uint32_t now = 0;
        if (AfLinePosix::ModemLevels(handle_, now)) {
            pendingLineEvents_ |= now ^ levels_;
            levels_ = now;
        }
    }
    if (newErrors) {
        lineErrors_ |= newErrors;
        pendingLineEvents_ |= AfCommEvent::Err;
    }
    return newErrors;
}

TAfComStat TAfComPortCore::StatusQuery() {
    TAfComStat stat;
    if (!active_) return stat;
    std::lock_guard lock(lineLock_);
    stat.Errors = PollLineLocked();
    int in = 0;
    AfLinePosix::InputCount(handle_, in);
    stat.InQueue = static_cast<uint32_t>(std::max(in, 0));
    return stat;
}

void TAfComPortCore::LineSignal(int escapeCode) {
    if (active_) AfLinePosix::EscapeFunction(handle_, escapeCode);
}
