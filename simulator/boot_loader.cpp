#include "boot_loader.h"

#include "display_firmware.h"

namespace vorkal::sim {

namespace {
const uint8_t kHandshake[5] = {'M', 'o', 'f', 'e', 0xFF};
}

void BootLoader::restart() {
    handshakeIndex_ = 0;
    state_ = State::Command;
    verifying_ = false;
    address_ = 0;
    inBlock_ = 0;
    streamBytes_ = 0;
    streamFailed_ = blockFailed_ = mismatchReported_ = false;
}

bool BootLoader::matchHandshake(uint8_t byte) {
    if (byte == kHandshake[handshakeIndex_]) {
        if (++handshakeIndex_ == 5) {
            handshakeIndex_ = 0;
            return true;
        }
        return false;
    }
    handshakeIndex_ = byte == kHandshake[0] ? 1 : 0;
    return false;
}

BootLoader::Output BootLoader::feed(uint8_t byte) {
    Output out;
    switch (state_) {
    case State::Command:
        if (byte == kEscape) {
            state_ = State::CommandPrefix;
            handshakeIndex_ = 0;
        } else if (matchHandshake(byte)) {
            out.bytes.push_back(char(kHandshakeReply));
            out.handshake = true;
        }
        break;
    case State::CommandPrefix:
        state_ = State::Command;
        command(byte, out);
        break;
    case State::Data:
        ++streamBytes_;
        if (byte == kEscape) state_ = State::DataEscape;
        else dataByte(byte, out);
        break;
    case State::DataEscape:
        ++streamBytes_;
        state_ = State::Data;
        if (byte == 0x25) {
            dataByte(kEscape, out);  // an escaped 0xA5 (0xA5 + 0x80)
        } else if (byte == 0x80) {
            endOfData(out);
        } else {
            // Any other command ends the stream unfinished.
            streamFailed_ = true;
            state_ = State::Command;
            command(byte, out);
        }
        break;
    }
    return out;
}

void BootLoader::command(uint8_t code, Output& out) {
    switch (code) {
    case 0xA5: break;  // start of a command sequence
    case 0x01:
        out.bytes += char(kFrame);
        out.bytes += char(3);
        out.bytes += char(blockSize_ >> 8);
        out.bytes += char(blockSize_ & 0xFF);
        break;
    case 0x04:
    case 0x07:
        verifying_ = code == 0x07;
        state_ = State::Data;
        address_ = 0;
        inBlock_ = 0;
        streamBytes_ = 0;
        streamFailed_ = blockFailed_ = mismatchReported_ = false;
        if (!verifying_) programmed_ = 0;
        break;
    case 0x80: out.bytes += char(kFailure); break;  // end without a stream
    case 0x05: out.startFirmware = true; break;
    default: break;
    }
}

void BootLoader::dataByte(uint8_t byte, Output& out) {
    const bool inFlash = address_ < int(memory_.flash.size());
    if (verifying_) {
        if (!inFlash || memory_.flash[size_t(address_)] != byte) {
            streamFailed_ = true;
            if (!mismatchReported_) out.bytes += char(kFailure);
            mismatchReported_ = true;
        }
        ++address_;
        return;
    }
    if (inFlash) {
        memory_.flash[size_t(address_)] = faults_.corruptFlash ? uint8_t(~byte) : byte;
        ++programmed_;
    } else {
        blockFailed_ = streamFailed_ = true;
    }
    ++address_;
    if (++inBlock_ == blockSize_) {
        inBlock_ = 0;
        if (TakeFault(faults_.refuseBlocks)) blockFailed_ = streamFailed_ = true;
        out.bytes += char(blockFailed_ ? kFailure : kSuccess);
        out.blockAcknowledged = !blockFailed_;
        blockFailed_ = false;
    }
}

void BootLoader::endOfData(Output& out) {
    state_ = State::Command;
    out.bytes += char(streamFailed_ ? kFailure : kSuccess);
}

}  // namespace vorkal::sim
