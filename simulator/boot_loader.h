#pragma once
// The display's boot loader: answers the handshake, identifies the processor by its
// block size, programs and verifies the flash from escaped byte streams.

#include <atomic>
#include <cstdint>
#include <string>

#include "display_memory.h"

namespace vorkal::sim {

struct BootFaults {
    std::atomic<int> refuseBlocks{0};       // next N program blocks answered 0xAB (-1: all)
    std::atomic<bool> corruptFlash{false};  // programmed bytes land wrong, so verify fails
};

class BootLoader {
public:
    static constexpr uint8_t kHandshakeReply = 0xA6;
    static constexpr uint8_t kFrame = 0xA8;
    static constexpr uint8_t kSuccess = 0xAA;
    static constexpr uint8_t kFailure = 0xAB;
    static constexpr uint8_t kEscape = 0xA5;

    BootLoader(DisplayMemory& memory, BootFaults& faults) : memory_(memory), faults_(faults) {}

    void setBlockSize(int size) { blockSize_ = size; }
    int blockSize() const { return blockSize_; }

    // Back to waiting for a command, as after power-up.
    void restart();

    // Watches for the handshake string "Mofe" 0xFF; true when `byte` completed it.
    bool matchHandshake(uint8_t byte);

    struct Output {
        std::string bytes;           // reply bytes, possibly none
        bool startFirmware = false;  // command 0x05 seen
        bool handshake = false;
        bool blockAcknowledged = false;
    };
    // One byte received while the boot loader runs.
    Output feed(uint8_t byte);

    int programmedBytes() const { return programmed_; }
    // Bytes of the current program or verify stream received so far, escapes included.
    int streamBytes() const { return streamBytes_; }
    bool inStream() const { return state_ == State::Data || state_ == State::DataEscape; }
    bool verifying() const { return verifying_; }

private:
    enum class State { Command, CommandPrefix, Data, DataEscape };
    void command(uint8_t code, Output& out);
    void dataByte(uint8_t byte, Output& out);
    void endOfData(Output& out);

    DisplayMemory& memory_;
    BootFaults& faults_;
    int blockSize_ = 512;
    int handshakeIndex_ = 0;
    State state_ = State::Command;
    bool verifying_ = false;
    int address_ = 0;  // next flash address of the data stream
    int inBlock_ = 0;  // data bytes of the current block
    bool streamFailed_ = false;
    bool blockFailed_ = false;
    bool mismatchReported_ = false;
    int programmed_ = 0;
    int streamBytes_ = 0;
};

}  // namespace vorkal::sim
