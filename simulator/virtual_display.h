#pragma once
// The virtual display on a pseudo-terminal: registers itself as COM<n> in the port
// directory and plays the display (firmware and boot loader) on its own thread.
//
// Typical use in a test:
//     VirtualDisplayOptions o;  o.portDir = tempDir;  o.comNumber = 42;
//     VirtualDisplay display(o);
//     ASSERT_TRUE(display.start(&error)) << error;
//     ... the program opens COM42 ...
//     display.setRefuseWrites(1);          // faults can be switched at any time
//     EXPECT_EQ(display.configMemory()[508], 0x30);

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "boot_loader.h"
#include "display_firmware.h"
#include "display_memory.h"

namespace vorkal::sim {

struct VirtualDisplayOptions {
    int comNumber = 99;
    SimVariant variant = SimVariant::D84x48Log;
    // 0..4 = 57600, 38400, 19200, 9600, 4800 baud; written into byte 509 (bits 4-7),
    // from where the display takes its speed again after every reset.
    int speedIndex = 0;
    bool pace = false;        // bytes take 10 bits at the display's speed, both ways
    int bootBlockSize = 512;  // 512 or 1792, reported by the boot loader
    std::string version = "v1.23";
    int resetOffMs = 50;       // off the line after a reset
    int bootWindowMs = 500;    // boot loader waits this long for the handshake
    std::string portDir;       // empty: DefaultPortDirectory()
    bool registerPort = true;  // false: only the pseudo-terminal, no COM link
    bool demoLog = false;      // start with a short recorded flight in the log
    // Called on the display's thread for every line or boot byte group in and out.
    std::function<void(const std::string&)> trace;
};

// The two passes of a firmware update in which the boot loader takes the image.
enum class BootPass { Program, Verify };

enum class DisplayMode { Stopped, Firmware, Offline, BootWindow, BootLoader, HungUp };
const char* DisplayModeName(DisplayMode mode);

struct DisplayCounters {
    uint64_t bytesIn = 0;         // read from the line, garbage included
    uint64_t bytesOut = 0;        // written to the line
    uint64_t garbageBytesIn = 0;  // arrived while the PC side ran at another speed
    uint64_t commands = 0;        // command lines (0xF0.. first), version queries included
    uint64_t versionQueries = 0;
    uint64_t telemetryLines = 0;
    uint64_t replies = 0;  // command replies sent (version lines not counted)
    uint64_t repliesDropped = 0;
    uint64_t resets = 0;
    uint64_t handshakes = 0;  // handshakes answered 0xA6
    uint64_t blocksAcknowledged = 0;
    uint64_t firmwareStarts = 0;  // start-up, end of a reset window, command 0x05
    uint64_t hangUps = 0;
    uint64_t portOpens = 0;  // opens of the pseudo-terminal by the PC side
    uint64_t portCloses = 0;
};

class VirtualDisplay {
public:
    explicit VirtualDisplay(VirtualDisplayOptions options = {});
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // Opens the pseudo-terminal, registers COM<n> and starts the display's thread.
    bool start(std::string* error = nullptr);
    // Stops the thread, removes the link, closes the pseudo-terminal. Idempotent.
    void stop();

    int comNumber() const { return options_.comNumber; }
    std::string slavePath() const;
    std::string linkPath() const;
    DisplayMode mode() const;
    DisplayCounters counters() const;

    // Memory, read and written under the display's lock (safe while it runs).
    std::array<uint8_t, kConfigMemorySize> configMemory() const;
    void setConfigMemory(const std::array<uint8_t, kConfigMemorySize>& bytes);
    std::vector<uint8_t> logMemory() const;
    void setLogMemory(const std::vector<uint8_t>& bytes);  // up to 32768 bytes
    std::vector<uint8_t> flash() const;
    Framebuffer framebuffer() const;
    std::vector<std::string> telemetryLines() const;
    std::string versionLine() const;
    int speedIndex() const;
    // Runs at speed index `index` (0..4) from now on and keeps it in byte 509.
    void setSpeedIndex(int index);
    int shownLayout() const;
    // Any other access: `fn` runs under the lock.
    void withMemory(const std::function<void(DisplayMemory&)>& fn);

    // Faults, switchable at any time. Counts affect that many of the next replies
    // (-1: all of them, 0: off).
    void setDropEveryNthReply(int n);      // every Nth command reply is not sent
    void setCorruptCheckBytes(int count);  // block reads with a wrong check byte
    void setRefuseWrites(int count);       // configuration and log writes refused
    void setLogReadErrors(int count);      // log reads answered "X"
    void setReplyDelayMs(int ms);          // command replies this much late
    void setHangUpAfterCommands(int n);    // close the line after the Nth command from now
    // Close the line once the boot loader has received `bytes` bytes of the image stream
    // in `pass` (escapes included), before it acts on the last one; once, 0: off.
    void setHangUpInBootStream(BootPass pass, int bytes);
    void setMute(bool mute);              // send nothing at all
    void setRefuseBootBlocks(int count);  // program blocks answered 0xAB
    void setCorruptFlash(bool corrupt);   // flash keeps wrong bytes; verify fails
    void setPacing(bool pace);

    // As if the reset command arrived (also what power-cycling does).
    void reset();
    // Closes the master side now: the PC side sees a hang-up; the link is removed.
    void hangUp();
    // After a hang-up: a new pseudo-terminal under the same COM number.
    bool replug(std::string* error = nullptr);

    // Waits until `condition` holds or `timeoutMs` passes; returns its last value. The
    // condition runs without the display's lock, so it may call any accessor above;
    // it is checked again whenever the display changes state, and every 10 ms.
    bool waitFor(const std::function<bool()>& condition, int timeoutMs) const;

private:
    struct Impl;
    VirtualDisplayOptions options_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vorkal::sim
