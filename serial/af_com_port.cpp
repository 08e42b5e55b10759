#include "af_com_port.h"

#include "af_safe_sync.h"
#include "trace_log.h"

#include <QMetaMethod>
#include <QMetaObject>

namespace {

// Guards the queued hang-up call between the reader and the user-interface thread
// (Qt's own queue locking is invisible to race checkers).
std::mutex hangUpMutex;

// Clears a flag on every way out of a scope.
struct FlagReset {
    std::atomic<bool>& flag;
    ~FlagReset() { flag = false; }
};

}  // namespace

int32_t BaudRateValue(TAfBaudrate rate) {
    static constexpr int32_t rates[] = {110,   300,   600,   1200,  2400,   4800,   9600,   14400,
                                        19200, 38400, 56000, 57600, 115200, 128000, 256000, 0};
    return rates[static_cast<int>(rate)];
}

TAfCustomSerialPort::TAfCustomSerialPort(QObject* owner) : TAfDataDispConnComponent(owner) {
    core_.SetCallback([this](TAfComPortCore*, TAfCoreEvent kind, uint32_t data, std::exception_ptr error) {
        CoreEvent(kind, data, std::move(error));
    });
    syncId_ = AfSafeSync::RegisterTarget([this](int) { SyncTarget(); });
    UpdateDcb();
}

TAfCustomSerialPort::~TAfCustomSerialPort() {
    destroying_ = true;
    AfSafeSync::UnregisterTarget(syncId_);
    core_.CloseIfOpen();  // no OnPortClose on the way out
}

void TAfCustomSerialPort::ReportError(const QString& message) const {
    qCInfo(vorkal::lcSerial).noquote() << "error:" << message << objectName();
    throw EAfComPortError(QStringLiteral("%1 - %2 ").arg(message, objectName()).toStdString());
}

void TAfCustomSerialPort::RecomputeLimits() {
    if (flowControl_ == TAfFlowControl::fwNone) {
        xOnLim_ = 0;
        xOffLim_ = 0;
    } else {
        xOnLim_ = static_cast<int16_t>(inBufSize_ / 4);
        xOffLim_ = static_cast<int16_t>(inBufSize_ - inBufSize_ / 4);
    }
}

void TAfCustomSerialPort::UpdateDcb() {
    TAfDcb d;
    d.DCBlength = sizeof(TAfDcb);
    d.BaudRate = static_cast<uint32_t>(baudRate_ == TAfBaudrate::brUser ? userBaudRate_ : BaudRateValue(baudRate_));
    d.ByteSize = static_cast<uint8_t>(4 + static_cast<int>(databits_));
    d.Parity = static_cast<uint8_t>(parity_);
    d.StopBits = static_cast<uint8_t>(stopbits_);
    d.XonChar = xOnChar_;
    d.XoffChar = xOffChar_;
    d.XonLim = static_cast<uint16_t>(xOnLim_);
    d.XoffLim = static_cast<uint16_t>(xOffLim_);

    uint32_t f = AfDcbFlag::Binary;
    switch (flowControl_) {
    case TAfFlowControl::fwNone: break;
    case TAfFlowControl::fwXOnXOff: f |= AfDcbFlag::OutX | AfDcbFlag::InX; break;
    case TAfFlowControl::fwRtsCts: f |= AfDcbFlag::OutxCtsFlow | AfDcbFlag::RtsControlHandshake; break;
    case TAfFlowControl::fwDtrDsr: f |= AfDcbFlag::OutxDsrFlow | AfDcbFlag::DtrControlHandshake; break;
    }
    if (options_ & coParityCheck) f |= AfDcbFlag::Parity;
    if (options_ & coDsrSensitivity) f |= AfDcbFlag::DsrSensitivity;
    if (options_ & coIgnoreXOff) f |= AfDcbFlag::TxContinueOnXoff;
    if (options_ & coErrorChar) f |= AfDcbFlag::ErrorChar;
    if (options_ & coStripNull) f |= AfDcbFlag::Null;
    if (dtr_ && flowControl_ != TAfFlowControl::fwDtrDsr) f |= AfDcbFlag::DtrControlEnable;
    if (rts_ && flowControl_ != TAfFlowControl::fwRtsCts) f |= AfDcbFlag::RtsControlEnable;
    d.Flags = f;
    dcb_ = d;

    if (core_.IsOpen()) {
        try {
            core_.SetDcb(dcb_);
        } catch (const EAfComPortCoreError&) {
            dcb_ = core_.Dcb();  // the device's current record; the properties keep their values
            throw;
        }
    }
}

void TAfCustomSerialPort::SetBaudRate(TAfBaudrate value) {
    baudRate_ = value;
    if (value != TAfBaudrate::brUser) userBaudRate_ = 0;
    UpdateDcb();
}

void TAfCustomSerialPort::SetUserBaudRate(int32_t value) {
    userBaudRate_ = value;
    baudRate_ = TAfBaudrate::brUser;
    UpdateDcb();
}

void TAfCustomSerialPort::SetDatabits(TAfDatabits value) {
    databits_ = value;
    UpdateDcb();
}
void TAfCustomSerialPort::SetParity(TAfParity value) {
    parity_ = value;
    UpdateDcb();
}
void TAfCustomSerialPort::SetStopbits(TAfStopbits value) {
    stopbits_ = value;
    UpdateDcb();
}
void TAfCustomSerialPort::SetOptions(TAfComOptions value) {
    options_ = value;
    UpdateDcb();
}
void TAfCustomSerialPort::SetXOnChar(char value) {
    xOnChar_ = value;
    UpdateDcb();
}
void TAfCustomSerialPort::SetXOffChar(char value) {
    xOffChar_ = value;
    UpdateDcb();
}

void TAfCustomSerialPort::SetFlowControl(TAfFlowControl value) {
    flowControl_ = value;
    RecomputeLimits();
    UpdateDcb();
}

void TAfCustomSerialPort::SetXOnLim(int16_t value) {
    xOnLim_ = value;
    xOffLim_ = static_cast<int16_t>(inBufSize_ - value);
}

void TAfCustomSerialPort::SetXOffLim(int16_t value) {
    xOffLim_ = value;
    xOnLim_ = static_cast<int16_t>(inBufSize_ - value);
}

void TAfCustomSerialPort::SetDTR(bool value) {
    dtr_ = value;
    if (IsOpen()) core_.LineSignal(value ? AfEscape::SetDtr : AfEscape::ClrDtr);
}

void TAfCustomSerialPort::SetRTS(bool value) {
    rts_ = value;
    if (IsOpen()) core_.LineSignal(value ? AfEscape::SetRts : AfEscape::ClrRts);
}

void TAfCustomSerialPort::SetInBufSize(int32_t value) {
    if (IsOpen()) ReportError(QStringLiteral("Port is not closed"));
    inBufSize_ = value;
    RecomputeLimits();
}

void TAfCustomSerialPort::SetOutBufSize(int32_t value) {
    if (IsOpen()) ReportError(QStringLiteral("Port is not closed"));
    outBufSize_ = value;
}

void TAfCustomSerialPort::Loaded() {
    if (autoOpen_) OpenPort();
    else UpdateDcb();
}

void TAfCustomSerialPort::OpenPort() {
    if (core_.IsOpen()) return;
    AfSafeSync::EnableTarget(syncId_, true);
    core_.SetDcb(dcb_);
    core_.SetQueueSizes(inBufSize_, outBufSize_);
    core_.SetPriorities(eventThreadPriority_, writeThreadPriority_);
    closing_ = false;
    ++connection_;
    UpdateOutputDoneListeners();
    try {
        OpenDevice();
    } catch (const std::exception& e) {
        qCInfo(vorkal::lcSerial).noquote() << "open failed:" << e.what();
        AfSafeSync::EnableTarget(syncId_, false);
        throw;
    } catch (...) {
        AfSafeSync::EnableTarget(syncId_, false);
        throw;
    }
    qCInfo(vorkal::lcSerial).noquote() << "open" << DeviceLabel() << "at" << dcb_.BaudRate << "baud";
    emit OnPortOpen(this);
}

void TAfCustomSerialPort::ClosePort() {
    closing_ = true;
    FlagReset reset{closing_};
    // Disabling first drops reports on their way and frees a reader waiting in one.
    AfSafeSync::EnableTarget(syncId_, false);
    if (core_.IsOpen()) {
        core_.CloseIfOpen();
        qCInfo(vorkal::lcSerial).noquote() << "closed" << DeviceLabel();
    }
    emit OnPortClose(this);
}

int32_t TAfCustomSerialPort::InQueueCount() { return IsOpen() ? static_cast<int32_t>(core_.StatusQuery().InQueue) : 0; }

uint8_t TAfCustomSerialPort::ReadByte() {
    uint8_t value = 0;
    ReadBlock(&value, 1);
    return value;
}

void TAfCustomSerialPort::ReadBlock(void* buffer, int32_t count) {
    if (closing_) return;
    if (core_.Read(buffer, count) != count) ReportError(QStringLiteral("Read data error"));
}

void TAfCustomSerialPort::SendText(const QByteArray& text) {
    if (!text.isEmpty()) SendBlock(text.constData(), static_cast<int32_t>(text.size()));
}

void TAfCustomSerialPort::SendByte(uint8_t value) { SendBlock(&value, 1); }

void TAfCustomSerialPort::SendBlock(const void* bytes, int32_t count) {
    if (closing_) return;
    if (outputDoneListenersStale_) UpdateOutputDoneListeners();
    if (!core_.QueueOutput(bytes, count))
        ReportError(QString::asprintf("Write data error [requested: %d, free: %d]", count, OutQueueFree()));
}

void TAfCustomSerialPort::DiscardInput() {
    if (!closing_) core_.PurgeInput();
}

void TAfCustomSerialPort::DiscardOutput() {
    if (!closing_) core_.PurgeOutput();
}

int32_t TAfCustomSerialPort::OutQueueUsed() { return core_.OutputUsed(); }
int32_t TAfCustomSerialPort::OutQueueFree() { return core_.OutputFree(); }

// Reader thread: hand the report to the user-interface thread and wait for it.
void TAfCustomSerialPort::CoreEvent(TAfCoreEvent kind, quint32 data, std::exception_ptr error) {
    if (closing_ || destroying_) return;
    if (kind == TAfCoreEvent::LineHangUp) {
        // Queued, not synced: the close must happen even when the user-interface
        // thread is busy for longer than a sync call waits.
        std::lock_guard lock(hangUpMutex);
        const quint64 connection = connection_;
        QMetaObject::invokeMethod(
            this,
            [this, connection] {
                quint64 which;
                TAfCustomSerialPort* self;
                {
                    std::lock_guard lock(hangUpMutex);
                    which = connection;
                    self = this;
                }
                self->HandleHangUp(which);
            },
            Qt::QueuedConnection);
        return;
    }
    if (kind != TAfCoreEvent::WorkerError && OnNonSyncEvent) {
        OnNonSyncEvent(this, kind, data);
        return;
    }
    {
        std::lock_guard lock(pendingMutex_);
        pending_ = Pending{true, kind, data, std::move(error)};
    }
    const bool enabled = AfSafeSync::CallTarget(syncId_, SyncTimeoutMs);
    {
        // A report not taken in time is dropped; its bytes wait for the next poll.
        std::lock_guard lock(pendingMutex_);
        pending_.valid = false;
    }
    if (!enabled) throw EAfSilentAbort();
}

// User-interface thread, inside the sync call.
void TAfCustomSerialPort::SyncTarget() {
    if (closing_) return;
    Pending report;
    {
        std::lock_guard lock(pendingMutex_);
        if (!pending_.valid) return;
        report = pending_;
        pending_.valid = false;
    }
    emit OnSyncEvent(this, report.kind, report.data);
    switch (report.kind) {
    case TAfCoreEvent::OutputDone:
        emit OnOutBufFree(this);
        // A handler whose receiver went away may have left no trace in disconnectNotify.
        UpdateOutputDoneListeners();
        break;
    case TAfCoreEvent::CommEvent: {
        const quint32 mask = report.data;
        if (mask & AfCommEvent::RxChar) emit OnDataRecived(this, static_cast<int>(core_.StatusQuery().InQueue));
        const quint32 errors = core_.FetchLineErrors();
        if (mask & AfCommEvent::Err) emit OnLineError(this, errors);
        if (mask & AfCommEvent::Cts) emit OnCTSChanged(this);
        if (mask & AfCommEvent::Dsr) emit OnDSRChanged(this);
        if (mask & AfCommEvent::Ring) emit OnRINGDetected(this);
        if (mask & AfCommEvent::Rlsd) emit OnRLSDChanged(this);
        break;
    }
    case TAfCoreEvent::InputWaiting: emit OnDataRecived(this, static_cast<int>(report.data)); break;
    case TAfCoreEvent::WorkerError:
        if (report.error) std::rethrow_exception(report.error);
        break;
    case TAfCoreEvent::LineHangUp: break;
    }
}

namespace {

bool IsOutputDoneSignal(const QMetaMethod& signal) {
    return signal == QMetaMethod::fromSignal(&TAfCustomSerialPort::OnOutBufFree) ||
           signal == QMetaMethod::fromSignal(&TAfCustomSerialPort::OnSyncEvent);
}

}  // namespace

void TAfCustomSerialPort::connectNotify(const QMetaMethod& signal) {
    if (IsOutputDoneSignal(signal)) {
        core_.SetReportOutputDone(true);  // at once: the ring may be draining now
        outputDoneListenersStale_ = true;
    }
}

void TAfCustomSerialPort::disconnectNotify(const QMetaMethod& signal) {
    // An invalid signal means everything was disconnected.
    if (!signal.isValid() || IsOutputDoneSignal(signal)) outputDoneListenersStale_ = true;
}

void TAfCustomSerialPort::UpdateOutputDoneListeners() {
    outputDoneListenersStale_ = false;  // first, so that a change meanwhile marks it again
    core_.SetReportOutputDone(OnNonSyncEvent ||
                              isSignalConnected(QMetaMethod::fromSignal(&TAfCustomSerialPort::OnOutBufFree)) ||
                              isSignalConnected(QMetaMethod::fromSignal(&TAfCustomSerialPort::OnSyncEvent)));
}

// The device went away: close on this thread so that the owner gets OnPortClose.
void TAfCustomSerialPort::HandleHangUp(quint64 connection) {
    if (closing_ || connection != connection_ || !IsOpen()) return;
    qCInfo(vorkal::lcSerial).noquote() << "the line hung up:" << DeviceLabel() << "is gone";
    emit OnSyncEvent(this, TAfCoreEvent::LineHangUp, 0);
    emit OnDeviceLost(this);
    ClosePort();
}

void TAfCustomComPort::SetComNumber(uint16_t value) {
    if (!IsOpen()) {
        comNumber_ = value;
        return;
    }
    ClosePort();
    comNumber_ = value;
    OpenPort();
}

void TAfCustomComPort::OpenDevice() { core_.Open(comNumber_); }
QString TAfCustomComPort::DeviceLabel() const { return QStringLiteral("COM%1").arg(comNumber_); }
