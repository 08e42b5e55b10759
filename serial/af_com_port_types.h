// Types shared by the serial core and the serial port component.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// The line-parameter record, laid out as the Windows device control block (28 bytes).
#pragma pack(push, 1)
struct TAfDcb {
    uint32_t DCBlength = 0;
    uint32_t BaudRate = 0;
    uint32_t Flags = 0;
    uint16_t wReserved = 0;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 0;
    uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    uint16_t wReserved1 = 0;
};
#pragma pack(pop)
static_assert(sizeof(TAfDcb) == 28);

// Flag bits of TAfDcb::Flags.
namespace AfDcbFlag {
constexpr uint32_t Binary = 0x0001;
constexpr uint32_t Parity = 0x0002;
constexpr uint32_t OutxCtsFlow = 0x0004;
constexpr uint32_t OutxDsrFlow = 0x0008;
constexpr uint32_t DtrControlEnable = 0x0010;
constexpr uint32_t DtrControlHandshake = 0x0020;
constexpr uint32_t DsrSensitivity = 0x0040;
constexpr uint32_t TxContinueOnXoff = 0x0080;
constexpr uint32_t OutX = 0x0100;
constexpr uint32_t InX = 0x0200;
constexpr uint32_t ErrorChar = 0x0400;
constexpr uint32_t Null = 0x0800;
constexpr uint32_t RtsControlEnable = 0x1000;
constexpr uint32_t RtsControlHandshake = 0x2000;
}  // namespace AfDcbFlag

// Bits of a communication-event mask (kind CommEvent).
namespace AfCommEvent {
constexpr uint32_t RxChar = 0x0001;
constexpr uint32_t Cts = 0x0008;
constexpr uint32_t Dsr = 0x0010;
constexpr uint32_t Rlsd = 0x0020;
constexpr uint32_t Err = 0x0080;
constexpr uint32_t Ring = 0x0100;
constexpr uint32_t Mask = 441;
}  // namespace AfCommEvent

// Line-error bits collected by the status query.
namespace AfLineError {
constexpr uint32_t RxOver = 0x0001;
constexpr uint32_t Overrun = 0x0002;
constexpr uint32_t RxParity = 0x0004;
constexpr uint32_t Frame = 0x0008;
constexpr uint32_t Break = 0x0010;
}  // namespace AfLineError

// What the core reports to its callback on the reader thread. LineHangUp is this
// platform's addition: the device went away (adapter unplugged, pseudo-terminal
// closed); it is reported once per connection.
enum class TAfCoreEvent : int { OutputDone = 0, CommEvent = 1, InputWaiting = 2, WorkerError = 3, LineHangUp = 4 };

// System thread priorities; applied best-effort as the thread's nice value (negated).
enum class TAfThreadPriority : int {
    tpIdle = -15,
    tpLowest = -2,
    tpLower = -1,
    tpNormal = 0,
    tpHigher = 1,
    tpHighest = 2,
    tpTimeCritical = 15
};

// Escape function codes of the core's line-signal operation.
namespace AfEscape {
constexpr int SetRts = 3;
constexpr int ClrRts = 4;
constexpr int SetDtr = 5;
constexpr int ClrDtr = 6;
}  // namespace AfEscape

struct TAfComStat {
    uint32_t Errors = 0;
    uint32_t InQueue = 0;
};

class EAfComPortCoreError : public std::runtime_error {
public:
    explicit EAfComPortCoreError(const std::string& message, int systemError = 0)
        : std::runtime_error(message), systemError_(systemError) {}
    // The errno of the step that failed (EWOULDBLOCK: another program holds the device's
    // lock; EBUSY: another program has it open); 0 when no system call failed. It tells
    // why an open failed without touching the device again.
    int SystemError() const { return systemError_; }

private:
    int systemError_ = 0;
};

class EAfComPortError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
