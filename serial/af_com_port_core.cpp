#include "af_com_port_core.h"

#include "af_port_map.h"
#include "af_safe_sync.h"
#include "port_details.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

std::string Format(const char* format, int value) {
    char text[128];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

int CurrentTid() { return static_cast<int>(::gettid()); }

void ApplyNice(int tid, int nice) {
    if (tid != 0) ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice);  // best effort
}

}  // namespace

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
TAfComPortCoreThread::TAfComPortCoreThread(TAfComPortCore& core, int handle) : core_(core), handle_(handle) {}

TAfComPortCoreThread::~TAfComPortCoreThread() { Join(); }

bool TAfComPortCoreThread::Start() {
    try {
        thread_ = std::thread(&TAfComPortCoreThread::Run, this);
    } catch (const std::system_error&) {
        return false;
    }
    std::unique_lock lock(startMutex_);
    return startChanged_.wait_for(lock, std::chrono::milliseconds(TAfComPortCore::ThreadStartTimeoutMs),
                                  [this] { return running_; });
}

void TAfComPortCoreThread::Run() {
    tid_ = CurrentTid();
    ApplyNice(tid_, nice_);
    {
        std::lock_guard lock(startMutex_);
        running_ = true;
    }
    startChanged_.notify_all();
    try {
        Execute();
    } catch (...) {
        HandleWorkerError(std::current_exception());
    }
}

void TAfComPortCoreThread::SetPriority(TAfThreadPriority priority) {
    nice_ = -static_cast<int>(priority);
    ApplyNice(tid_, nice_);
}

void TAfComPortCoreThread::StopWorker() {
    terminated_ = true;
    stopSignal_.Set();
    Join();
}

void TAfComPortCoreThread::Join() {
    if (thread_.joinable()) thread_.join();
}

void TAfComPortCoreThread::HandleWorkerError(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const EAfSilentAbort&) {
        return;
    } catch (...) {}
    AfSafeSync::PostException(error);
}

// ---------------------------------------------------------------------------------
TAfComPortWriteThread::TAfComPortWriteThread(TAfComPortCore& core, int handle, int32_t ringSize)
    : TAfComPortCoreThread(core, handle), ring(ringSize) {}

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
            bool empty = false;
            {
                std::lock_guard lock(core_.outputLock_);
                ring.Remove(static_cast<int32_t>(written));
                empty = ring.UsedCount() == 0;
            }
            if (empty) core_.SignalOutputDone();
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

void TAfComPortWriteThread::AcknowledgePurge() {
    purgeRequest_.Reset();
    std::unique_lock lock(purgeMutex_);
    if (!purgeRequested_) return;
    purgeAcknowledged_ = true;
    purgeChanged_.notify_all();
    // A new purge may begin right after this one ends; its generation releases us so
    // that the writer goes round and acknowledges it instead of sleeping through it.
    const uint64_t generation = purgeGeneration_;
    purgeChanged_.wait(
        lock, [this, generation] { return !purgeRequested_ || purgeGeneration_ != generation || terminated_; });
}

bool TAfComPortWriteThread::BeginPurge(int timeoutMs) {
    {
        std::lock_guard lock(purgeMutex_);
        purgeRequested_ = true;
        purgeAcknowledged_ = false;
        ++purgeGeneration_;
    }
    purgeChanged_.notify_all();
    purgeRequest_.Set();
    std::unique_lock lock(purgeMutex_);
    if (purgeChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return purgeAcknowledged_; }))
        return true;
    purgeRequested_ = false;
    lock.unlock();
    purgeChanged_.notify_all();
    return false;
}

void TAfComPortWriteThread::EndPurge() {
    {
        std::lock_guard lock(purgeMutex_);
        purgeRequested_ = false;
        purgeAcknowledged_ = false;
    }
    purgeChanged_.notify_all();
}

void TAfComPortWriteThread::StopWorker() {
    if (BeginPurge(TAfComPortCore::PurgeTimeoutMs)) {
        {
            std::lock_guard lock(core_.outputLock_);
            dataQueued.Reset();
            ring.Clear();
        }
        AfLinePosix::Purge(handle_, AfLinePosix::PurgeOutput);
    }
    {
        std::lock_guard lock(purgeMutex_);
        terminated_ = true;
        purgeRequested_ = false;
    }
    purgeChanged_.notify_all();
    TAfComPortCoreThread::StopWorker();
}

// ---------------------------------------------------------------------------------
TAfComPortEventThread::TAfComPortEventThread(TAfComPortCore& core, int handle)
    : TAfComPortCoreThread(core, handle), callback_(core.callback_) {}

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

void TAfComPortEventThread::Report(TAfCoreEvent kind, uint32_t data, std::exception_ptr error) {
    TAfComPortCore::TAfCoreCallback callback;
    {
        std::lock_guard lock(callbackMutex_);
        callback = callback_;
    }
    if (!callback) {
        if (error) TAfComPortCoreThread::HandleWorkerError(error);
        return;
    }
    try {
        callback(&core_, kind, data, error);
    } catch (...) {
        if (kind == TAfCoreEvent::WorkerError) TAfComPortCoreThread::HandleWorkerError(std::current_exception());
        else HandleWorkerError(std::current_exception());
    }
}

void TAfComPortEventThread::HandleWorkerError(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const EAfSilentAbort&) {
        return;
    } catch (...) {}
    Report(TAfCoreEvent::WorkerError, 0, error);
}

void TAfComPortEventThread::StopWorker() {
    {
        std::lock_guard lock(callbackMutex_);
        callback_ = nullptr;
    }
    TAfComPortCoreThread::StopWorker();
}

// ---------------------------------------------------------------------------------
TAfComPortCore::TAfComPortCore() = default;

TAfComPortCore::~TAfComPortCore() { CloseIfOpen(); }

void TAfComPortCore::FailOpen(const char* message, int systemError) {
    Close();
    throw EAfComPortCoreError(message, systemError);
}

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
    writer_ = std::make_unique<TAfComPortWriteThread>(*this, fd, outQueueSize_);
    writer_->SetPriority(writerPriority_);
    if (!writer_->Start()) FailOpen("Error creating threads");
    active_ = true;
    reader_ = std::make_unique<TAfComPortEventThread>(*this, fd);
    reader_->SetPriority(readerPriority_);
    if (!reader_->Start()) FailOpen("Error creating threads");
    open_ = true;
    return true;
}

void TAfComPortCore::CloseIfOpen() {
    Close();
    open_ = false;
}

void TAfComPortCore::Close() {
    if (handle_ < 0) return;
    active_ = false;
    {
        std::lock_guard lock(lineLock_);
        AfLinePosix::Purge(handle_, AfLinePosix::PurgeInput | AfLinePosix::PurgeOutput);
    }
    // Not under the line lock: the reader's poll takes it, and a report in flight
    // ends when its sync target is disabled or times out.
    if (writer_) {
        writer_->StopWorker();
        writer_.reset();
    }
    if (reader_) {
        reader_->StopWorker();
        reader_.reset();
    }
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

// The terminal layer's input queue has a fixed size; only the ring's size is ours to choose.
void TAfComPortCore::SetQueueSizes(int32_t /*inSize*/, int32_t outSize) { outQueueSize_ = outSize; }

void TAfComPortCore::SetPriorities(TAfThreadPriority reader, TAfThreadPriority writer) {
    readerPriority_ = reader;
    writerPriority_ = writer;
    if (reader_) reader_->SetPriority(reader);
    if (writer_) writer_->SetPriority(writer);
}

void TAfComPortCore::SetCallback(TAfCoreCallback callback) { callback_ = std::move(callback); }

bool TAfComPortCore::QueueOutput(const void* bytes, int32_t count) {
    if (!active_) return false;
    bool appended = false;
    {
        std::lock_guard lock(outputLock_);
        appended = writer_->ring.Append(bytes, count);
    }
    if (appended) writer_->dataQueued.Set();
    return appended;
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

bool TAfComPortCore::PurgeOutput() {
    if (!active_) return false;
    if (!writer_->BeginPurge(PurgeTimeoutMs)) return false;
    {
        std::lock_guard lock(outputLock_);
        writer_->dataQueued.Reset();
        writer_->ring.Clear();
    }
    const bool purged = AfLinePosix::Purge(handle_, AfLinePosix::PurgeOutput);
    writer_->EndPurge();
    return purged;
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

uint32_t TAfComPortCore::TakeLineEvents() {
    if (!active_) return 0;
    std::lock_guard lock(lineLock_);
    PollLineLocked();
    const uint32_t mask = pendingLineEvents_;
    pendingLineEvents_ = 0;
    return mask;
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

uint32_t TAfComPortCore::FetchLineErrors() {
    if (!active_) return 0;
    std::lock_guard lock(lineLock_);
    const uint32_t errors = lineErrors_;
    lineErrors_ = 0;
    return errors;
}

int32_t TAfComPortCore::OutputUsed() {
    if (!active_) return 0;
    std::lock_guard lock(outputLock_);
    return writer_->ring.UsedCount();
}

int32_t TAfComPortCore::OutputFree() {
    if (!active_) return 0;
    std::lock_guard lock(outputLock_);
    return writer_->ring.FreeCount();
}

void TAfComPortCore::LineSignal(int escapeCode) {
    if (active_) AfLinePosix::EscapeFunction(handle_, escapeCode);
}
