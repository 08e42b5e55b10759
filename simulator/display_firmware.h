#pragma once
// The display's firmware side: turns received bytes into command lines and answers
// them from the display's memory.

#include <atomic>
#include <cstdint>
#include <string>

#include "display_memory.h"

namespace vorkal::sim {

// Splits the received byte stream into lines. CR is ignored, LF ends a line, and a
// command byte (0xF0 and above) always starts a new line, which resynchronises after
// noise. Overlong lines are dropped whole.
class LineFramer {
public:
    static constexpr size_t kMaxLine = 512;
    // True when `byte` completed a line, which is then in `line`.
    bool feed(uint8_t byte, std::string& line);
    void clear();

private:
    std::string buffer_;
    bool overflow_ = false;
};

// Fault switches the firmware itself consults. A count says how many of the next
// replies are affected; -1 means all of them.
struct FirmwareFaults {
    std::atomic<int> corruptCheckBytes{0};  // block read replies with a wrong check byte
    std::atomic<int> refuseWrites{0};       // writes answered with a refusal
    std::atomic<int> logReadErrors{0};      // log reads answered with the memory error "X"
};

// Takes one from a fault count; true when this reply is to be affected.
bool TakeFault(std::atomic<int>& count);

struct FirmwareResult {
    enum class Kind { Telemetry, Command, VersionQuery, Ignored };
    enum class After { Nothing, SetSpeed, Reset };
    Kind kind = Kind::Ignored;
    std::string reply;  // complete reply line with CR LF; empty for no reply
    After after = After::Nothing;
    int speedIndex = 0;  // for After::SetSpeed
};

class DisplayFirmware {
public:
    DisplayFirmware(DisplayMemory& memory, FirmwareFaults& faults) : memory_(memory), faults_(faults) {}

    // Handles one line (without CR LF). The caller holds whatever lock guards the memory.
    FirmwareResult handleLine(const std::string& line);

private:
    std::string readConfigBlock(const std::string& line);
    std::string writeConfigBlock(const std::string& line);
    std::string writeText(const std::string& line);
    std::string readLogBlock(const std::string& line);
    std::string writeLogRecord(const std::string& line);
    std::string showLayout(const std::string& line);
    // Data bytes, ',' and check byte, prefixed with `head`, as a reply line.
    std::string blockReply(const std::string& head, const uint8_t* data, size_t count);
    // Decodes 32 hex digits at `pos` followed by ',' and a matching check byte.
    bool decodeRecord(const std::string& line, size_t pos, uint8_t (&out)[16]);
    // Record number from the two log address characters, or -1.
    int logRecordNumber(const std::string& line) const;

    DisplayMemory& memory_;
    FirmwareFaults& faults_;
};

}  // namespace vorkal::sim
