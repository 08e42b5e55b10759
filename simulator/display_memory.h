#pragma once
// Everything the virtual display remembers: settings memory, log memory, program
// flash, the screen and the telemetry lines it was fed.

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace vorkal::sim {

// The three display builds; the sixth character of the version line tells them apart.
enum class SimVariant { D84x48, D84x48Log, D128x64 };

constexpr int kConfigMemorySize = 1024;
constexpr int kLogMemorySize = 32768;
constexpr int kFlashSize = 32768;
constexpr size_t kMaxTelemetryLines = 10000;  // oldest lines go first beyond this
constexpr int kSpeedCount = 5;
extern const int kSpeedRates[kSpeedCount];  // baud for speed index 0..4

// One byte per pixel, 1 = lit.
struct Framebuffer {
    int width = 84;
    int height = 48;
    std::vector<uint8_t> pixels = std::vector<uint8_t>(84 * 48, 0);

    void resize(int w, int h);
    void clear();
    bool pixel(int x, int y) const;
    // Pixels outside the screen are ignored.
    void setPixel(int x, int y, bool lit);
    int litCount() const;
};

struct DisplayMemory {
    SimVariant variant = SimVariant::D84x48Log;
    std::array<uint8_t, kConfigMemorySize> config{};
    std::vector<uint8_t> log = std::vector<uint8_t>(kLogMemorySize, 0xFF);
    std::vector<uint8_t> flash = std::vector<uint8_t>(kFlashSize, 0xFF);
    Framebuffer screen;
    std::deque<std::string> telemetry;
    int speedIndex = 0;             // the speed the display runs at now
    int shownLayout = 0;            // 0-based
    std::string version = "v1.23";  // five characters, from the flash at firmware start

    int width() const { return variant == SimVariant::D128x64 ? 128 : 84; }
    int height() const { return variant == SimVariant::D128x64 ? 64 : 48; }
    bool hasLogMemory() const { return variant != SimVariant::D84x48; }
    int configBlockCount() const { return variant == SimVariant::D128x64 ? 64 : 32; }
    int logRecordCount() const;  // 16-byte records of the log memory
    int logAddressRadix() const { return variant == SimVariant::D128x64 ? 64 : 32; }
    int logRecordsPerRead() const { return variant == SimVariant::D128x64 ? 8 : 1; }
    int layoutCount() const;  // from byte 508, at most 8
    // Speed index kept in bits 4-7 of byte 509; anything above 4 means 0.
    int storedSpeedIndex() const;
    char versionMarker() const;
    std::string versionLine() const { return version + versionMarker(); }

    // Factory settings for the variant, erased log, screen cleared.
    void reset(SimVariant v, const std::string& firmwareVersion);
    void addTelemetryLine(const std::string& line);
};

// Program flash as shipped: erased, with the firmware's name and version text near
// its start, so the version can be read back from the flash like from a HEX image.
std::vector<uint8_t> InitialFlash(const std::string& version);

// The version text of a firmware image: within its first 1001 bytes, which must hold
// "Vorkal", the five characters at the first of "v0." .. "v9." that occurs; "v?.??"
// when there is none. Unprintable characters read as '?'.
std::string VersionFromImage(const uint8_t* data, size_t size);

// True for a five-character version text such as "v1.23".
bool IsValidVersionText(const std::string& text);

// A short flight in the log memory (or the in-image log area without log memory),
// so that a newcomer sees a filled log table.
void FillDemoLog(DisplayMemory& memory);

}  // namespace vorkal::sim
