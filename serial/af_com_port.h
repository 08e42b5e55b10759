// The serial port component: published properties, the line-parameter record, the
// read/write/discard operations and the events, raised on the user-interface thread.
#pragma once

#include "af_com_port_core.h"

#include <QByteArray>
#include <QFlags>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>

enum class TAfBaudrate {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000,
    brUser
};
enum class TAfDatabits { db4, db5, db6, db7, db8 };
enum class TAfParity { paNone, paOdd, paEven, paMark, paSpace };
enum class TAfStopbits { sbOne, sbOneAndHalf, sbTwo };
enum class TAfFlowControl { fwNone, fwXOnXOff, fwRtsCts, fwDtrDsr };
enum TAfComOption {
    coParityCheck = 0x01,
    coDsrSensitivity = 0x02,
    coIgnoreXOff = 0x04,
    coErrorChar = 0x08,
    coStripNull = 0x10
};
Q_DECLARE_FLAGS(TAfComOptions, TAfComOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TAfComOptions)

// Bits per second named by a TAfBaudrate value (0 for brUser).
int32_t BaudRateValue(TAfBaudrate rate);

// Carries the link to a data dispatcher; never set in this program.
class TAfDataDispConnComponent : public QObject {
    Q_OBJECT
public:
    explicit TAfDataDispConnComponent(QObject* owner = nullptr) : QObject(owner) {}
    virtual void SendBlock(const void* bytes, int32_t count) = 0;
    virtual void ClosePort() {}
    virtual void OpenPort() {}
};

class TAfCustomSerialPort : public TAfDataDispConnComponent {
    Q_OBJECT
public:
    static constexpr int SyncTimeoutMs = 2000;

    explicit TAfCustomSerialPort(QObject* owner = nullptr);
    ~TAfCustomSerialPort() override;

    bool IsOpen() const { return core_.IsOpen(); }
    // Open, but the line has hung up and the close is on its way to this thread.
    bool LineHungUp() const { return core_.IsOpen() && core_.LineHungUp(); }
    void OpenPort() override;
    void ClosePort() override;
    // After loading from the window description: opens when AutoOpen, else builds the record.
    void Loaded();

    int32_t InQueueCount();
    uint8_t ReadByte();
    void ReadBlock(void* buffer, int32_t count);
    void SendText(const QByteArray& text);
    void SendByte(uint8_t value);
    void SendBlock(const void* bytes, int32_t count) override;
    void DiscardInput();
    void DiscardOutput();
    int32_t OutQueueUsed();
    int32_t OutQueueFree();

    TAfBaudrate BaudRate() const { return baudRate_; }
    void SetBaudRate(TAfBaudrate value);
    int32_t UserBaudRate() const { return userBaudRate_; }
    void SetUserBaudRate(int32_t value);
    TAfDatabits Databits() const { return databits_; }
    void SetDatabits(TAfDatabits value);
    TAfParity Parity() const { return parity_; }
    void SetParity(TAfParity value);
    TAfStopbits Stopbits() const { return stopbits_; }
    void SetStopbits(TAfStopbits value);
    TAfFlowControl FlowControl() const { return flowControl_; }
    void SetFlowControl(TAfFlowControl value);
    TAfComOptions Options() const { return options_; }
    void SetOptions(TAfComOptions value);
    char XOnChar() const { return xOnChar_; }
    void SetXOnChar(char value);
    char XOffChar() const { return xOffChar_; }
    void SetXOffChar(char value);
    int16_t XOnLim() const { return xOnLim_; }
    void SetXOnLim(int16_t value);
    int16_t XOffLim() const { return xOffLim_; }
    void SetXOffLim(int16_t value);
    bool DTR() const { return dtr_; }
    void SetDTR(bool value);
    bool RTS() const { return rts_; }
    void SetRTS(bool value);
    int32_t InBufSize() const { return inBufSize_; }
    void SetInBufSize(int32_t value);
    int32_t OutBufSize() const { return outBufSize_; }
    void SetOutBufSize(int32_t value);
    TAfThreadPriority EventThreadPriority() const { return eventThreadPriority_; }
    void SetEventThreadPriority(TAfThreadPriority value) { eventThreadPriority_ = value; }
    TAfThreadPriority WriteThreadPriority() const { return writeThreadPriority_; }
    void SetWriteThreadPriority(TAfThreadPriority value) { writeThreadPriority_ = value; }
    bool AutoOpen() const { return autoOpen_; }
    void SetAutoOpen(bool value) { autoOpen_ = value; }

    // The component's line-parameter record (28 bytes).
    const TAfDcb& Dcb() const { return dcb_; }
    TAfComPortCore& Core() { return core_; }

    // Runs on the reader thread for kinds OutputDone, CommEvent and InputWaiting;
    // when set, those kinds never reach the user-interface thread. Set it only while closed.
    // Output-done reports are made only while this, OnOutBufFree or OnSyncEvent has a handler.
    std::function<void(TAfCustomSerialPort* sender, TAfCoreEvent kind, quint32 data)> OnNonSyncEvent;

signals:
    void OnDataRecived(QObject* Sender, int Count);
    void OnPortOpen(QObject* Sender);
    void OnPortClose(QObject* Sender);
    void OnLineError(QObject* Sender, quint32 Errors);
    void OnCTSChanged(QObject* Sender);
    void OnDSRChanged(QObject* Sender);
    void OnRINGDetected(QObject* Sender);
    void OnRLSDChanged(QObject* Sender);
    void OnOutBufFree(QObject* Sender);
    void OnSyncEvent(QObject* Sender, TAfCoreEvent EventKind, quint32 Data);
    // The device went away under the open port (adapter pulled); OnPortClose follows.
    void OnDeviceLost(QObject* Sender);

protected:
    virtual void OpenDevice() = 0;
    // The port as a trace names it.
    virtual QString DeviceLabel() const { return objectName(); }
    // Throws EAfComPortError "<message> - <component name> ".
    [[noreturn]] void ReportError(const QString& message) const;
    virtual void ExecuteConfigDialog() {}
    void UpdateDcb();
    // Keep track of handlers for output-done reports. Qt may call these with its own
    // locks held, so they only set flags.
    void connectNotify(const QMetaMethod& signal) override;
    void disconnectNotify(const QMetaMethod& signal) override;

    TAfComPortCore core_;

private:
    struct Pending {
        bool valid = false;
        TAfCoreEvent kind = TAfCoreEvent::OutputDone;
        quint32 data = 0;
        std::exception_ptr error;
    };

    void RecomputeLimits();
    void CoreEvent(TAfCoreEvent kind, quint32 data, std::exception_ptr error);
    void SyncTarget();
    void HandleHangUp(quint64 connection);
    // Tells the core whether anyone listens for output-done reports (user-interface thread).
    void UpdateOutputDoneListeners();

    TAfBaudrate baudRate_ = TAfBaudrate::br115200;
    int32_t userBaudRate_ = 0;
    TAfDatabits databits_ = TAfDatabits::db8;
    TAfParity parity_ = TAfParity::paNone;
    TAfStopbits stopbits_ = TAfStopbits::sbOne;
    TAfFlowControl flowControl_ = TAfFlowControl::fwNone;
    TAfComOptions options_;
    char xOnChar_ = 17;
    char xOffChar_ = 19;
    int16_t xOnLim_ = 0;
    int16_t xOffLim_ = 0;
    bool dtr_ = true;
    bool rts_ = true;
    int32_t inBufSize_ = 4096;
    int32_t outBufSize_ = 2048;
    TAfThreadPriority eventThreadPriority_ = TAfThreadPriority::tpNormal;
    TAfThreadPriority writeThreadPriority_ = TAfThreadPriority::tpHighest;
    bool autoOpen_ = false;

    TAfDcb dcb_{};
    quint32 syncId_ = 0;
    std::atomic<bool> closing_{false};
    std::atomic<bool> destroying_{false};
    std::atomic<quint64> connection_{0};
    std::atomic<bool> outputDoneListenersStale_{true};
    std::mutex pendingMutex_;
    Pending pending_;
};

class TAfCustomComPort : public TAfCustomSerialPort {
    Q_OBJECT
public:
    explicit TAfCustomComPort(QObject* owner = nullptr) : TAfCustomSerialPort(owner) {}
    uint16_t ComNumber() const { return comNumber_; }
    // While open: closes (OnPortClose), stores the number and opens again (OnPortOpen).
    void SetComNumber(uint16_t value);

protected:
    void OpenDevice() override;
    QString DeviceLabel() const override;

private:
    uint16_t comNumber_ = 0;
};

class TAfComPort : public TAfCustomComPort {
    Q_OBJECT
public:
    explicit TAfComPort(QObject* owner = nullptr) : TAfCustomComPort(owner) {}
};
