// The serial core: the open device, its line and output locks, and the two worker
// threads (reader and writer) that run while the port is open. It keeps no input
// buffer; received bytes stay in the system queue until the owner reads them.
// af_com_port_core.cpp holds what both systems share; af_com_port_core_posix.cpp and
// af_com_port_core_win32.cpp map the device, the signals and the waits.
#pragma once

#include "af_circular_buffer.h"
#include "af_com_port_types.h"
#ifndef _WIN32
#include "af_line_posix.h"
#endif

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// The open device: a file descriptor, or a Windows handle.
#ifdef _WIN32
using TAfHandle = void*;
inline const TAfHandle AfNoHandle = reinterpret_cast<void*>(-1);
#else
using TAfHandle = int;
constexpr TAfHandle AfNoHandle = -1;
#endif

// An event flag that threads can wait for together with others: an eventfd for poll()
// on POSIX, a manual-reset event for WaitForMultipleObjects on Windows.
class TAfSignal {
public:
    TAfSignal();
    ~TAfSignal();
    TAfSignal(const TAfSignal&) = delete;
    TAfSignal& operator=(const TAfSignal&) = delete;
    void Set();
    void Reset();
#ifdef _WIN32
    void* Event() const { return event_; }

private:
    void* event_;
#else
    int Fd() const { return fd_; }

private:
    int fd_;
#endif
};

class TAfComPortCore;

// What each system maps: the calling thread (a thread id, or a thread handle to be
// released), its priority, the output purge, and waking a reader's line wait at close.
intptr_t AfThisSystemThread();
void AfReleaseSystemThread(intptr_t thread);
void AfApplyThreadPriority(intptr_t thread, int priority);
bool AfPurgeSystemOutput(TAfHandle handle);
void AfWakeLineWait(TAfHandle handle);

class TAfComPortCoreThread {
public:
    TAfComPortCoreThread(TAfComPortCore& core, TAfHandle handle);
    virtual ~TAfComPortCoreThread();
    // Starts the thread and waits up to 3000 ms for it to run.
    bool Start();
    virtual void StopWorker();
    void SetPriority(TAfThreadPriority priority);

protected:
    virtual void Execute() = 0;
    // Shows the message on the user-interface thread unless it is a silent abort.
    virtual void HandleWorkerError(std::exception_ptr error);
    void Join();

    TAfComPortCore& core_;
    const TAfHandle handle_;
    TAfSignal stopSignal_;
    std::atomic<bool> terminated_{false};

private:
    void Run();

    std::thread thread_;
    std::mutex startMutex_;
    std::condition_variable startChanged_;
    bool running_ = false;
    // The running thread as the system knows it (a thread id, or a thread handle), for
    // priority changes from other threads.
    std::atomic<intptr_t> systemThread_{0};
    std::atomic<int> priority_{0};
};

// The writer: drains the output ring into the port in contiguous spans.
class TAfComPortWriteThread : public TAfComPortCoreThread {
public:
    TAfComPortWriteThread(TAfComPortCore& core, TAfHandle handle, int32_t ringSize);
    void StopWorker() override;
    // Purge handshake: waits up to timeoutMs until the writer stands still between
    // spans; true means it now waits for EndPurge, so the ring may be emptied.
    bool BeginPurge(int timeoutMs);
    void EndPurge();

    TAfCircularBuffer ring;  // guarded by the core's output lock
    TAfSignal dataQueued;

protected:
    void Execute() override;

private:
    void Drain();
    void AcknowledgePurge();
    // Takes the written bytes off the ring; signals an emptied ring.
    void Written(int32_t count);

    TAfSignal purgeRequest_;
    std::mutex purgeMutex_;
    std::condition_variable purgeChanged_;
    bool purgeRequested_ = false;
    bool purgeAcknowledged_ = false;
    uint64_t purgeGeneration_ = 0;  // counts purges begun
};

// The reader: waits for line events, polls for unread input every 200 ms and
// reports to the core's callback.
class TAfComPortEventThread : public TAfComPortCoreThread {
public:
    TAfComPortEventThread(TAfComPortCore& core, TAfHandle handle);
    void StopWorker() override;

protected:
    void Execute() override;
    void HandleWorkerError(std::exception_ptr error) override;

private:
    void Report(TAfCoreEvent kind, uint32_t data, std::exception_ptr error = nullptr);
    void Poll();

    std::mutex callbackMutex_;
    std::function<void(TAfComPortCore*, TAfCoreEvent, uint32_t, std::exception_ptr)> callback_;
};

class TAfComPortCore {
public:
    // (core, kind, data, error) on the reader thread; error is set for WorkerError.
    using TAfCoreCallback = std::function<void(TAfComPortCore*, TAfCoreEvent, uint32_t, std::exception_ptr)>;

    static constexpr int PollIntervalMs = 200;
    static constexpr int PurgeTimeoutMs = 2000;
    static constexpr int ThreadStartTimeoutMs = 3000;

    TAfComPortCore();
    ~TAfComPortCore();
    TAfComPortCore(const TAfComPortCore&) = delete;
    TAfComPortCore& operator=(const TAfComPortCore&) = delete;

    // False when already open; throws EAfComPortCoreError on failure, leaving it closed.
    bool Open(uint16_t portNumber);
    void CloseIfOpen();

    // Stores the record; while active applies it at once. A refusal reads the
    // device's record back into the core's copy and throws.
    void SetDcb(const TAfDcb& dcb);
    const TAfDcb& Dcb() const { return dcb_; }
    void SetQueueSizes(int32_t inSize, int32_t outSize);
    void SetPriorities(TAfThreadPriority reader, TAfThreadPriority writer);
    void SetCallback(TAfCoreCallback callback);
    // Whether the writer signals an emptied ring (kind OutputDone). On by default; the
    // component turns it off while nobody listens, sparing a reader wake-up and a
    // user-interface hand-off after every write. Any thread may change it at any time.
    void SetReportOutputDone(bool on) { reportOutputDone_ = on; }

    bool QueueOutput(const void* bytes, int32_t count);
    int32_t Read(void* buffer, int32_t count);
    bool PurgeInput();
    bool PurgeOutput();
    // Collects line errors and counts the input queue. The system's output count is not
    // asked for: the ring is the output queue the program sees.
    TAfComStat StatusQuery();
    uint32_t FetchLineErrors();
    int32_t OutputUsed();
    int32_t OutputFree();
    void LineSignal(int escapeCode);

    bool IsOpen() const { return open_; }
    // The reader saw the line hang up; the close it reported may still be queued for the
    // user-interface thread. Any thread may ask.
    bool LineHungUp() const { return lineHungUp_; }

private:
    friend class TAfComPortEventThread;
    friend class TAfComPortWriteThread;

    void Close();
    [[noreturn]] void FailOpen(const char* message, int systemError = 0);
    // The end of the open on both systems: the writer, active, the reader, open.
    void StartWorkers();
    // Writer first (its purge handshake), then the reader; not under the line lock.
    void StopWorkers();
    // Reads the driver's counters (or modem levels) under the line lock; collects
    // error bits and the event bits the reader has still to report. Returns the new error bits.
    uint32_t PollLineLocked();
    // Called by the reader: line-event bits (Cts, Dsr, Rlsd, Ring, Err) since the last call.
    uint32_t TakeLineEvents();
    void SignalOutputDone() {
        if (reportOutputDone_) outputDone_.Set();
    }

    TAfHandle handle_ = AfNoHandle;
    TAfDcb dcb_{};
    std::atomic<bool> active_{false};
    std::atomic<bool> open_{false};
    std::atomic<bool> lineHungUp_{false};
    int32_t inQueueSize_ = 8192;
    int32_t outQueueSize_ = 4096;
    TAfThreadPriority readerPriority_ = TAfThreadPriority::tpNormal;
    TAfThreadPriority writerPriority_ = TAfThreadPriority::tpHigher;
    TAfCoreCallback callback_;

    std::mutex lineLock_;
    uint32_t lineErrors_ = 0;  // collected error bits, until fetched
    uint32_t pendingLineEvents_ = 0;
#ifndef _WIN32
    bool countersSupported_ = false;
    bool levelsSupported_ = false;
    AfLinePosix::Counters counters_{};
    uint32_t levels_ = 0;
#else
    // The completion event of reads; only Read() uses it, under the line lock.
    void* readEvent_ = nullptr;
#endif

    std::mutex outputLock_;
    TAfSignal outputDone_;
    std::atomic<bool> reportOutputDone_{true};

    std::unique_ptr<TAfComPortWriteThread> writer_;
    std::unique_ptr<TAfComPortEventThread> reader_;
};
