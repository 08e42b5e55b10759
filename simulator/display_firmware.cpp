#include "display_firmware.h"

#include <algorithm>

#include "sim_codec.h"
#include "text_drawing.h"

namespace vorkal::sim {

namespace {

const std::string kAccepted = "O\r\n";
const std::string kRefused = "E\r\n";
const std::string kMemoryError = "X\r\n";

uint8_t Byte(const std::string& s, size_t i) { return uint8_t(s[i]); }

}  // namespace

bool LineFramer::feed(uint8_t byte, std::string& line) {
    if (byte == '\r') return false;
    if (byte >= 0xF0) {
        buffer_.clear();
        overflow_ = false;
    }
    if (byte == '\n') {
        const bool complete = !overflow_;
        if (complete) line.swap(buffer_);
        buffer_.clear();
        overflow_ = false;
        return complete;
    }
    if (buffer_.size() >= kMaxLine) {
        overflow_ = true;
        buffer_.clear();
    }
    if (!overflow_) buffer_.push_back(char(byte));
    return false;
}

void LineFramer::clear() {
    buffer_.clear();
    overflow_ = false;
}

bool TakeFault(std::atomic<int>& count) {
    int value = count.load();
    while (true) {
        if (value < 0) return true;
        if (value == 0) return false;
        if (count.compare_exchange_weak(value, value - 1)) return true;
    }
}

FirmwareResult DisplayFirmware::handleLine(const std::string& line) {
    FirmwareResult result;
    if (line.empty()) return result;
    const uint8_t command = Byte(line, 0);
    if (command < 0xF0) {
        result.kind = FirmwareResult::Kind::Telemetry;
        memory_.addTelemetryLine(line);
        return result;
    }
    result.kind = FirmwareResult::Kind::Command;
    switch (command) {
    case 0xF1: result.reply = readConfigBlock(line); break;
    case 0xF2: result.reply = writeConfigBlock(line); break;
    case 0xF3: result.reply = writeText(line); break;
    case 0xF5:
        if (line ==
            "\xF5"
            "c") {
            memory_.screen.clear();
            result.reply = kAccepted;
        } else {
            result.reply = kRefused;
        }
        break;
    case 0xF6:
        if (line ==
            "\xF6"
            "v") {
            result.kind = FirmwareResult::Kind::VersionQuery;
            result.reply = memory_.versionLine() + "\r\n";
        } else {
            result.reply = kRefused;
        }
        break;
    case 0xF7:
        // Reset answers nothing; the display simply drops off the line.
        if (line ==
            "\xF7"
            "ReSeT")
            result.after = FirmwareResult::After::Reset;
        else result.reply = kRefused;
        break;
    case 0xF0:
        if (line.size() == 4 && line[1] == 'b' && line[3] == 'w' && line[2] >= '0' && line[2] < '0' + kSpeedCount) {
            const int index = line[2] - '0';
            // Kept in the settings memory so that the next start runs at it too.
            memory_.config[509] = uint8_t(index << 4 | (memory_.config[509] & 0x0F));
            result.reply = kAccepted;
            result.after = FirmwareResult::After::SetSpeed;
            result.speedIndex = index;
        } else {
            result.reply = kRefused;
        }
        break;
    case 0xF9: result.reply = showLayout(line); break;
    case 0xFA: result.reply = readLogBlock(line); break;
    case 0xFB: result.reply = writeLogRecord(line); break;
    default: result.reply = kRefused; break;
    }
    return result;
}

std::string DisplayFirmware::blockReply(const std::string& head, const uint8_t* data, size_t count) {
    std::string reply = head;
    reply.reserve(head.size() + 2 * count + 5);
    for (size_t i = 0; i < count; ++i) reply += HexPair(data[i]);
    uint8_t check = CheckByte(data, count);
    if (TakeFault(faults_.corruptCheckBytes)) check ^= 0x01;
    reply += ',';
    reply += HexPair(check);
    reply += "\r\n";
    return reply;
}

bool DisplayFirmware::decodeRecord(const std::string& line, size_t pos, uint8_t (&out)[16]) {
    if (line.size() != pos + 35 || line[pos + 32] != ',') return false;
    for (size_t i = 0; i < 16; ++i) {
        const auto value = ParseHexPair(line, pos + 2 * i);
        if (!value) return false;
        out[i] = *value;
    }
    const auto check = ParseHexPair(line, pos + 33);
    return check && CheckByteMatches(out, 16, *check);
}

std::string DisplayFirmware::readConfigBlock(const std::string& line) {
    if (line.size() != 3 || line[1] != 'r') return kRefused;
    const int block = Byte(line, 2) - '0';
    if (block < 0 || block >= memory_.configBlockCount()) return kRefused;
    return blockReply(std::string(1, line[2]), memory_.config.data() + 16 * block, 16);
}

std::string DisplayFirmware::writeConfigBlock(const std::string& line) {
    if (line.size() < 3 || line[1] != 'w') return kRefused;
    const int block = Byte(line, 2) - '0';
    if (block < 0 || block >= memory_.configBlockCount()) return kRefused;
    uint8_t data[16];
    if (!decodeRecord(line, 3, data)) return kRefused;
    if (TakeFault(faults_.refuseWrites)) return kRefused;
    std::copy(data, data + 16, memory_.config.begin() + 16 * block);
    return kAccepted;
}

std::string DisplayFirmware::writeText(const std::string& line) {
    // 0xF3 'd' F XX YY text
    if (line.size() < 7 || line[1] != 'd') return kRefused;
    const auto mode = HexDigitValue(line[2]);
    const auto x = ParseHexPair(line, 3);
    const auto y = ParseHexPair(line, 5);
    const std::string text = line.substr(7);
    if (!mode || !x || !y || text.size() > 16) return kRefused;
    // The digit is the font number plus twice a flag bit, which draws inverse here.
    DrawText(memory_.screen, memory_.variant, *x, *y, *mode & 1, (*mode & 2) != 0, text);
    return kAccepted;
}

std::string DisplayFirmware::showLayout(const std::string& line) {
    if (line.size() != 3 || line[1] != 'l') return kRefused;
    const int layout = Byte(line, 2) - '0';
    if (layout < 0 || layout >= memory_.layoutCount()) return kRefused;
    memory_.shownLayout = layout;
    // The settings memory follows, so the configurator reads back what is shown.
    memory_.config[508] = uint8_t((memory_.config[508] & 0xF8) | layout);
    DrawLayout(memory_, layout);
    return kAccepted;
}

int DisplayFirmware::logRecordNumber(const std::string& line) const {
    const int radix = memory_.logAddressRadix();
    const int high = Byte(line, 1) - '0';
    const int low = Byte(line, 2) - '0';
    if (high < 0 || low < 0 || low >= radix) return -1;
    const int record = high * radix + low;
    return record < memory_.logRecordCount() ? record : -1;
}

std::string DisplayFirmware::readLogBlock(const std::string& line) {
    if (line.size() != 3) return kRefused;
    if (!memory_.hasLogMemory() || TakeFault(faults_.logReadErrors)) return kMemoryError;
    const int record = logRecordNumber(line);
    const int records = memory_.logRecordsPerRead();
    if (record < 0 || record + records > memory_.logRecordCount()) return kRefused;
    return blockReply(line.substr(1, 2), memory_.log.data() + 16 * record, size_t(16 * records));
}

std::string DisplayFirmware::writeLogRecord(const std::string& line) {
    if (line.size() < 3 || !memory_.hasLogMemory()) return kRefused;
    const int record = logRecordNumber(line);
    if (record < 0) return kRefused;
    uint8_t data[16];
    if (!decodeRecord(line, 3, data)) return kRefused;
    if (TakeFault(faults_.refuseWrites)) return kRefused;
    std::copy(data, data + 16, memory_.log.begin() + 16 * record);
    return kAccepted;
}

}  // namespace vorkal::sim
