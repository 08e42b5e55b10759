// The serial core: the open device, its line and output locks, and the two worker
// threads (reader and writer) that run while the port is open. It keeps no input
// buffer; received bytes stay in the system queue until the owner reads them.
#pragma once

#include "af_circular_buffer.h"
#include "af_com_port_types.h"
#include "af_line_posix.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// An event flag on an eventfd, so that threads can wait for several with poll().
class TAfSignal {
public:
    TAfSignal();
    ~TAfSignal();
    TAfSignal(const TAfSignal&) = delete;
    TAfSignal& operator=(const TAfSignal&) = delete;
    void Set();
    void Reset();
    int Fd() const { return fd_; }

private:
    int fd_;
};

class TAfComPortCore;

class TAfComPortCoreThread {
public:
    TAfComPortCoreThread(TAfComPortCore& core, int handle);
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
    const int handle_;
    TAfSignal stopSignal_;
    std::atomic<bool> terminated_{false};

private:
    void Run();

    std::thread thread_;
    std::mutex startMutex_;
    std::condition_variable startChanged_;
    bool running_ = false;
    std::atomic<int> tid_{0};
    std::atomic<int> nice_{0};
};

// The writer: drains the output ring into the port in contiguous spans.
class TAfComPortWriteThread : public TAfComPortCoreThread {
public:
    TAfComPortWriteThread(TAfComPortCore& core, int handle, int32_t ringSize);
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
    TAfComPortEventThread(TAfComPortCore& core, int handle);
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
    // Reads the driver's counters (or modem levels) under the line lock; collects
    // error bits and the event bits the reader has still to report. Returns the new error bits.
    uint32_t PollLineLocked();
    // Called by the reader: line-event bits (Cts, Dsr, Rlsd, Ring, Err) since the last call.
    uint32_t TakeLineEvents();
    void SignalOutputDone() {
        if (reportOutputDone_) outputDone_.Set();
    }

    int handle_ = -1;
    TAfDcb dcb_{};
    std::atomic<bool> active_{false};
    std::atomic<bool> open_{false};
    std::atomic<bool> lineHungUp_{false};
    int32_t outQueueSize_ = 4096;
    TAfThreadPriority readerPriority_ = TAfThreadPriority::tpNormal;
    TAfThreadPriority writerPriority_ = TAfThreadPriority::tpHigher;
    TAfCoreCallback callback_;

    std::mutex lineLock_;
    uint32_t lineErrors_ = 0;  // collected error bits, until fetched
    uint32_t pendingLineEvents_ = 0;
    bool countersSupported_ = false;
    bool levelsSupported_ = false;
    AfLinePosix::Counters counters_{};
    uint32_t levels_ = 0;

    std::mutex outputLock_;
    TAfSignal outputDone_;
    std::atomic<bool> reportOutputDone_{true};

    std::unique_ptr<TAfComPortWriteThread> writer_;
    std::unique_ptr<TAfComPortEventThread> reader_;
};
