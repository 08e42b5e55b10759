#include "af_com_port_core.h"

#include <cstdio>
#include <cstring>
#include <windows.h>

// The core on Windows: an overlapped handle on "\\.\COMn", event objects as signals,
// WaitCommEvent in the reader and overlapped writes in the writer.

namespace {

std::string Format(const char* format, int value) {
    char text[128];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

HANDLE H(TAfHandle handle) { return static_cast<HANDLE>(handle); }

// An overlapped record with its own manual-reset completion event.
struct Overlapped {
    OVERLAPPED record{};
    Overlapped() { record.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~Overlapped() {
        if (record.hEvent) ::CloseHandle(record.hEvent);
    }
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;
    void Rearm() {
        HANDLE event = record.hEvent;
        record = OVERLAPPED{};
        record.hEvent = event;
        ::ResetEvent(event);
    }
};

constexpr DWORD kEventMask = AfCommEvent::Mask;

}  // namespace

intptr_t AfThisSystemThread() {
    HANDLE self = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &self,
                      THREAD_SET_INFORMATION | THREAD_QUERY_INFORMATION, FALSE, 0);
    return reinterpret_cast<intptr_t>(self);
}

void AfReleaseSystemThread(intptr_t thread) {
    if (thread != 0) ::CloseHandle(reinterpret_cast<HANDLE>(thread));
}

// The priorities are the system's own values (-15 idle ... 15 time-critical).
void AfApplyThreadPriority(intptr_t thread, int priority) {
    if (thread != 0) ::SetThreadPriority(reinterpret_cast<HANDLE>(thread), priority);
}

bool AfPurgeSystemOutput(TAfHandle handle) { return ::PurgeComm(H(handle), PURGE_TXABORT | PURGE_TXCLEAR) != 0; }

// A mask of 0 completes the reader's pending event wait with an empty mask; the input
// purge aborts a read in flight.
void AfWakeLineWait(TAfHandle handle) {
    ::SetCommMask(H(handle), 0);
    ::PurgeComm(H(handle), PURGE_RXABORT | PURGE_RXCLEAR);
}

// ---------------------------------------------------------------------------------
TAfSignal::TAfSignal() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
TAfSignal::~TAfSignal() {
    if (event_) ::CloseHandle(event_);
}
void TAfSignal::Set() { ::SetEvent(event_); }
void TAfSignal::Reset() { ::ResetEvent(event_); }

// ---------------------------------------------------------------------------------
void TAfComPortWriteThread::Execute() {
    const HANDLE waits[3] = {stopSignal_.Event(), purgeRequest_.Event(), dataQueued.Event()};
    while (!terminated_) {
        const DWORD which = ::WaitForMultipleObjects(3, waits, FALSE, INFINITE);
        if (which == WAIT_OBJECT_0) break;
        if (which == WAIT_OBJECT_0 + 1) {
            AcknowledgePurge();
        } else if (which == WAIT_OBJECT_0 + 2) {
            dataQueued.Reset();
            Drain();
        } else {
            throw std::runtime_error("Writer wait failed");
        }
    }
}

// Writes the ring's contiguous spans until it is empty, one overlapped write at a time.
// The span is used in place without the output lock: appends only touch the free part
// and emptying the ring waits for this thread to stand still (the purge handshake).
void TAfComPortWriteThread::Drain() {
    Overlapped write;
    while (!terminated_) {
        const uint8_t* span = nullptr;
        int32_t count = 0;
        {
            std::lock_guard lock(core_.outputLock_);
            count = ring.ContiguousCount();
            span = ring.ReadPointer();
        }
        if (count == 0) return;
        write.Rearm();
        DWORD written = 0;
        if (!::WriteFile(H(handle_), span, DWORD(count), &written, &write.record)) {
            if (::GetLastError() != ERROR_IO_PENDING) return;  // stays queued until the next append
            const HANDLE waits[3] = {stopSignal_.Event(), purgeRequest_.Event(), write.record.hEvent};
            for (;;) {
                const DWORD which = ::WaitForMultipleObjects(3, waits, FALSE, INFINITE);
                if (which == WAIT_OBJECT_0) {
                    ::CancelIoEx(H(handle_), &write.record);
                    ::GetOverlappedResult(H(handle_), &write.record, &written, TRUE);
                    return;
                }
                if (which == WAIT_OBJECT_0 + 1) {
                    // The purge that follows aborts the pending write.
                    AcknowledgePurge();
                    continue;
                }
                break;
            }
            if (!::GetOverlappedResult(H(handle_), &write.record, &written, TRUE)) return;
        }
        if (written == 0) return;
        Written(static_cast<int32_t>(written));
    }
}

// ---------------------------------------------------------------------------------
void TAfComPortEventThread::Execute() {
    Overlapped wait;
    DWORD mask = 0;
    bool waitPending = false;
    bool quiet = false;  // the mask was set to 0: only stop, output-done and the poll remain
    bool hungUp = false;
    core_.outputDone_.Reset();

    const auto completed = [&](DWORD events) {
        ::ResetEvent(wait.record.hEvent);
        if (events != 0) {
            Report(TAfCoreEvent::CommEvent, events);
        } else {
            waitPending = true;
            quiet = true;
        }
    };
    while (!terminated_) {
        if (!waitPending && !quiet && !hungUp) {
            wait.Rearm();
            mask = 0;
            if (::WaitCommEvent(H(handle_), &mask, &wait.record)) {
                completed(mask);
                continue;
            }
            const DWORD error = ::GetLastError();
            if (error == ERROR_IO_PENDING) {
                waitPending = true;
            } else if (error == ERROR_ACCESS_DENIED || error == ERROR_BAD_COMMAND ||
                       error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_INVALID_HANDLE ||
                       error == ERROR_OPERATION_ABORTED || error == ERROR_GEN_FAILURE) {
                // The adapter went away: say so once, then only the stop is waited for.
                if (!terminated_) {
                    hungUp = true;
                    core_.lineHungUp_ = true;
                    Report(TAfCoreEvent::LineHangUp, 0);
                }
                continue;
            }
        }
        const HANDLE waits[3] = {stopSignal_.Event(), wait.record.hEvent, core_.outputDone_.Event()};
        const DWORD which = ::WaitForMultipleObjects(3, waits, FALSE, TAfComPortCore::PollIntervalMs);
        if (which == WAIT_OBJECT_0) {
            terminated_ = true;
        } else if (which == WAIT_OBJECT_0 + 1) {
            DWORD unused = 0;
            if (waitPending && !quiet && ::GetOverlappedResult(H(handle_), &wait.record, &unused, FALSE)) {
                waitPending = false;
                completed(mask);
            } else {
                ::ResetEvent(wait.record.hEvent);
                if (waitPending && !quiet) waitPending = false;  // failed: start a new wait
            }
        } else if (which == WAIT_OBJECT_0 + 2) {
            core_.outputDone_.Reset();
            Report(TAfCoreEvent::OutputDone, 0);
        } else if (which == WAIT_TIMEOUT) {
            if (!hungUp) Poll();
            // The status query found the device gone (an adapter unplugged): say so once.
            if (!hungUp && core_.lineHungUp_ && !terminated_) {
                hungUp = true;
                Report(TAfCoreEvent::LineHangUp, 0);
            }
        } else {
            throw std::runtime_error("Reader wait failed");
        }
    }
    if (waitPending && !quiet) {
        ::CancelIoEx(H(handle_), &wait.record);
        DWORD unused = 0;
        ::GetOverlappedResult(H(handle_), &wait.record, &unused, TRUE);
    }
}

// Nothing happened for 200 ms: collect line errors and re-report unread input.
void TAfComPortEventThread::Poll() {
    const TAfComStat stat = core_.StatusQuery();
    if (stat.InQueue > 0 && !terminated_) Report(TAfCoreEvent::InputWaiting, stat.InQueue);
}

// ---------------------------------------------------------------------------------
bool TAfComPortCore::Open(uint16_t portNumber) {
    if (open_ || handle_ != AfNoHandle) return false;
    const std::string invalid = Format("Invalid port number (COM%d)", portNumber);
    if (portNumber == 0) throw EAfComPortCoreError(invalid);
    wchar_t path[32];
    std::swprintf(path, 32, L"\\\\.\\COM%d", int(portNumber));
    const HANDLE handle = ::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            throw EAfComPortCoreError(invalid, int(error));
        throw EAfComPortCoreError(Format("Can't open device COM%d", portNumber), int(error));
    }
    handle_ = handle;
    lineHungUp_ = false;

    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!::SetCommTimeouts(handle, &timeouts)) FailOpen("Error setting timeouts", int(::GetLastError()));
    if (!::SetupComm(handle, DWORD(inQueueSize_), DWORD(outQueueSize_)))
        FailOpen("Error initializing buffers", int(::GetLastError()));
    if (!::SetCommMask(handle, kEventMask)) FailOpen(" Error setting EventMask", int(::GetLastError()));
    static_assert(sizeof(DCB) == sizeof(TAfDcb));
    DCB dcb;
    std::memcpy(&dcb, &dcb_, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!::SetCommState(handle, &dcb)) {
        const int error = int(::GetLastError());
        if (::GetCommState(handle, &dcb)) std::memcpy(static_cast<void*>(&dcb_), &dcb, sizeof dcb);
        FailOpen("Error setting parameters from DCB", error);
    }
    {
        std::lock_guard lock(lineLock_);
        lineErrors_ = 0;
        pendingLineEvents_ = 0;
        readEvent_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    StartWorkers();
    return true;
}

void TAfComPortCore::Close() {
    if (handle_ == AfNoHandle) return;
    active_ = false;
    {
        std::lock_guard lock(lineLock_);
        ::PurgeComm(H(handle_), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    }
    // Not under the line lock: the reader's poll takes it.
    StopWorkers();
    ::CloseHandle(H(handle_));
    handle_ = AfNoHandle;
    if (readEvent_) ::CloseHandle(readEvent_);
    readEvent_ = nullptr;
    open_ = false;
}

void TAfComPortCore::SetDcb(const TAfDcb& dcb) {
    dcb_ = dcb;
    if (!active_) return;
    DCB record;
    std::memcpy(&record, &dcb_, sizeof record);
    record.DCBlength = sizeof record;
    if (!::SetCommState(H(handle_), &record)) {
        if (::GetCommState(H(handle_), &record)) std::memcpy(static_cast<void*>(&dcb_), &record, sizeof record);
        throw EAfComPortCoreError("Error setting parameters from DCB");
    }
}

int32_t TAfComPortCore::Read(void* buffer, int32_t count) {
    if (!active_) return -1;
    if (count <= 0) return 0;
    std::lock_guard lock(lineLock_);
    OVERLAPPED record{};
    record.hEvent = readEvent_;
    ::ResetEvent(readEvent_);
    DWORD read = 0;
    if (!::ReadFile(H(handle_), buffer, DWORD(count), &read, &record)) {
        // With the open's time-outs the read completes at once with what has arrived;
        // a pending one is waited for, an aborted or failed one read nothing.
        if (::GetLastError() != ERROR_IO_PENDING || !::GetOverlappedResult(H(handle_), &record, &read, TRUE))
            read = 0;
    }
    ::ResetEvent(readEvent_);
    return int32_t(read);
}

bool TAfComPortCore::PurgeInput() {
    if (!active_) return false;
    std::lock_guard lock(lineLock_);
    return ::PurgeComm(H(handle_), PURGE_RXABORT | PURGE_RXCLEAR) != 0;
}

uint32_t TAfComPortCore::PollLineLocked() {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!::ClearCommError(H(handle_), &errors, &stat)) return 0;
    const uint32_t newErrors =
        errors & (AfLineError::RxOver | AfLineError::Overrun | AfLineError::RxParity | AfLineError::Frame |
                  AfLineError::Break);
    lineErrors_ |= newErrors;
    return newErrors;
}

TAfComStat TAfComPortCore::StatusQuery() {
    TAfComStat stat;
    if (!active_) return stat;
    std::lock_guard lock(lineLock_);
    DWORD errors = 0;
    COMSTAT comStat{};
    if (::ClearCommError(H(handle_), &errors, &comStat)) {
        stat.Errors = errors;
        lineErrors_ |= errors;
        stat.InQueue = comStat.cbInQue;
    } else {
        // A port whose device went away refuses every call from then on.
        lineHungUp_ = true;
    }
    return stat;
}

void TAfComPortCore::LineSignal(int escapeCode) {
    if (active_) ::EscapeCommFunction(H(handle_), DWORD(escapeCode));
}
