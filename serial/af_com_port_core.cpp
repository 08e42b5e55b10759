#include "af_com_port_core.h"

#include "af_safe_sync.h"

#include <chrono>

// What the reader, the writer and the core do alike on every system: starting and
// stopping the workers, the purge handshake, reports to the callback and the ring.

TAfComPortCoreThread::TAfComPortCoreThread(TAfComPortCore& core, TAfHandle handle) : core_(core), handle_(handle) {}

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
    systemThread_ = AfThisSystemThread();
    AfApplyThreadPriority(systemThread_, priority_);
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
    AfReleaseSystemThread(systemThread_.exchange(0));
}

void TAfComPortCoreThread::SetPriority(TAfThreadPriority priority) {
    priority_ = static_cast<int>(priority);
    AfApplyThreadPriority(systemThread_, priority_);
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
TAfComPortWriteThread::TAfComPortWriteThread(TAfComPortCore& core, TAfHandle handle, int32_t ringSize)
    : TAfComPortCoreThread(core, handle), ring(ringSize) {}

void TAfComPortWriteThread::Written(int32_t count) {
    bool empty = false;
    {
        std::lock_guard lock(core_.outputLock_);
        ring.Remove(count);
        empty = ring.UsedCount() == 0;
    }
    if (empty) core_.SignalOutputDone();
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
        AfPurgeSystemOutput(handle_);
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
TAfComPortEventThread::TAfComPortEventThread(TAfComPortCore& core, TAfHandle handle)
    : TAfComPortCoreThread(core, handle), callback_(core.callback_) {}

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
    terminated_ = true;
    AfWakeLineWait(handle_);
    TAfComPortCoreThread::StopWorker();
}

// ---------------------------------------------------------------------------------
TAfComPortCore::TAfComPortCore() = default;

TAfComPortCore::~TAfComPortCore() { CloseIfOpen(); }

void TAfComPortCore::FailOpen(const char* message, int systemError) {
    Close();
    throw EAfComPortCoreError(message, systemError);
}

void TAfComPortCore::StartWorkers() {
    writer_ = std::make_unique<TAfComPortWriteThread>(*this, handle_, outQueueSize_);
    writer_->SetPriority(writerPriority_);
    if (!writer_->Start()) FailOpen("Error creating threads");
    active_ = true;
    reader_ = std::make_unique<TAfComPortEventThread>(*this, handle_);
    reader_->SetPriority(readerPriority_);
    if (!reader_->Start()) FailOpen("Error creating threads");
    open_ = true;
}

// A report in flight ends when its sync target is disabled or times out.
void TAfComPortCore::StopWorkers() {
    if (writer_) {
        writer_->StopWorker();
        writer_.reset();
    }
    if (reader_) {
        reader_->StopWorker();
        reader_.reset();
    }
}

void TAfComPortCore::CloseIfOpen() {
    Close();
    open_ = false;
}

void TAfComPortCore::SetQueueSizes(int32_t inSize, int32_t outSize) {
    inQueueSize_ = inSize;
    outQueueSize_ = outSize;
}

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

bool TAfComPortCore::PurgeOutput() {
    if (!active_) return false;
    if (!writer_->BeginPurge(PurgeTimeoutMs)) return false;
    {
        std::lock_guard lock(outputLock_);
        writer_->dataQueued.Reset();
        writer_->ring.Clear();
    }
    const bool purged = AfPurgeSystemOutput(handle_);
    writer_->EndPurge();
    return purged;
}

uint32_t TAfComPortCore::TakeLineEvents() {
    if (!active_) return 0;
    std::lock_guard lock(lineLock_);
    PollLineLocked();
    const uint32_t mask = pendingLineEvents_;
    pendingLineEvents_ = 0;
    return mask;
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
