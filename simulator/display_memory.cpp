#include "display_memory.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "config_image.h"

namespace vorkal::sim {

const int kSpeedRates[kSpeedCount] = {57600, 38400, 19200, 9600, 4800};

void Framebuffer::resize(int w, int h) {
    width = w;
    height = h;
    pixels.assign(size_t(w) * h, 0);
}

void Framebuffer::clear() { std::fill(pixels.begin(), pixels.end(), 0); }

bool Framebuffer::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return false;
    return pixels[size_t(y) * width + x] != 0;
}

void Framebuffer::setPixel(int x, int y, bool lit) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    pixels[size_t(y) * width + x] = lit ? 1 : 0;
}

int Framebuffer::litCount() const { return int(std::count(pixels.begin(), pixels.end(), 1)); }

int DisplayMemory::logRecordCount() const {
    switch (variant) {
    case SimVariant::D84x48: return 0;
    case SimVariant::D84x48Log: return 512;
    case SimVariant::D128x64: return 2048;
    }
    return 0;
}

int DisplayMemory::layoutCount() const { return std::min(config[508] >> 4, 8); }

int DisplayMemory::storedSpeedIndex() const {
    const int index = config[509] >> 4;
    return index < kSpeedCount ? index : 0;
}

char DisplayMemory::versionMarker() const {
    switch (variant) {
    case SimVariant::D84x48: return ' ';
    case SimVariant::D84x48Log: return '+';
    case SimVariant::D128x64: return '*';
    }
    return ' ';
}

void DisplayMemory::reset(SimVariant v, const std::string& firmwareVersion) {
    variant = v;
    ConfigImage factory;
    factory.setVariant(v == SimVariant::D128x64 ? DisplayVariant::D128x64 : DisplayVariant::D84x48);
    factory.LoadFactoryImage();
    std::copy(factory.image.begin(), factory.image.end(), config.begin());
    std::fill(log.begin(), log.end(), 0xFF);
    flash = InitialFlash(firmwareVersion);
    version = VersionFromImage(flash.data(), flash.size());
    screen.resize(width(), height());
    telemetry.clear();
    speedIndex = storedSpeedIndex();
    shownLayout = config[508] & 0x07;
}

void DisplayMemory::addTelemetryLine(const std::string& line) {
    telemetry.push_back(line);
    while (telemetry.size() > kMaxTelemetryLines) telemetry.pop_front();
}

std::vector<uint8_t> InitialFlash(const std::string& version) {
    std::vector<uint8_t> flash(kFlashSize, 0xFF);
    const std::string banner = "Vorkal display firmware " + version;
    std::copy(banner.begin(), banner.end(), flash.begin() + 0x40);
    flash[0x40 + banner.size()] = 0;
    return flash;
}

std::string VersionFromImage(const uint8_t* data, size_t size) {
    const std::string_view head(reinterpret_cast<const char*>(data), std::min<size_t>(size, 1001));
    if (head.find("Vorkal") == std::string_view::npos) return "v?.??";
    for (char digit = '0'; digit <= '9'; ++digit) {
        const char pattern[] = {'v', digit, '.', 0};
        const size_t at = head.find(pattern);
        if (at == std::string_view::npos) continue;
        std::string text(head.substr(at, 5));
        for (char& c : text)
            if (uint8_t(c) < 0x20 || uint8_t(c) > 0x7E) c = '?';
        return text;
    }
    return "v?.??";
}

bool IsValidVersionText(const std::string& text) {
    if (text.size() != 5 || text[0] != 'v' || text[2] != '.') return false;
    if (text[1] < '0' || text[1] > '9') return false;
    return std::all_of(text.begin(), text.end(), [](char c) { return c > 0x20 && c < 0x7F; });
}

namespace {

// One log record as the display stores it (9 common bytes, then course, height,
// speed, distance, RSSI).
std::array<uint8_t, 16> EncodeLogRecord(double lat, double lon, int h, int m, int s, int course, int height, int speed,
                                        int distance, int rssi) {
    std::array<uint8_t, 16> r{};
    const int32_t la = int32_t(std::lround(lat * 100000));
    const int32_t lo = int32_t(std::lround(lon * 100000));
    const uint32_t ula = uint32_t(la) & 0x1FFFFFF;
    const uint32_t ulo = uint32_t(lo) & 0x3FFFFFF;
    r[0] = uint8_t(ula);
    r[1] = uint8_t(ula >> 8);
    r[2] = uint8_t(ula >> 16);
    r[3] = uint8_t((h & 0x1F) | (la < 0 ? 0x80 : 0));
    r[4] = uint8_t(ulo);
    r[5] = uint8_t(ulo >> 8);
    r[6] = uint8_t(ulo >> 16);
    r[7] = uint8_t(((ulo >> 24) & 1) | ((m & 0x3F) << 1) | (lo < 0 ? 0x80 : 0));
    r[8] = uint8_t((s & 0x3F) | ((speed >> 8) & 1) << 6 | ((course >> 8) & 1) << 7);
    r[9] = uint8_t(course);
    r[10] = uint8_t(height);
    r[11] = uint8_t(height >> 8);
    r[12] = uint8_t(speed);
    r[13] = uint8_t(distance);
    r[14] = uint8_t(distance >> 8);
    r[15] = uint8_t(rssi);
    return r;
}

}  // namespace

void FillDemoLog(DisplayMemory& memory) {
    // A circle of about 300 m around a field, one record every 10 seconds.
    const double kPi = 3.14159265358979;
    const int count = 40;
    for (int i = 0; i < count; ++i) {
        const double a = 2 * kPi * i / count;
        const double lat = 50.06143 + 0.0027 * std::sin(a);
        const double lon = 19.93658 + 0.0042 * std::cos(a);
        const int t = 12 * 3600 + 5 * 60 + i * 10;
        const int course = int(std::lround(std::fmod(450 - a * 180 / kPi, 360)));
        const auto rec = EncodeLogRecord(lat, lon, t / 3600, t / 60 % 60, t % 60, course, 20 + (i * 7) % 130,
                                         35 + i % 20, 300 + (i * 13) % 40, 100 - i % 30);
        if (memory.hasLogMemory()) {
            std::copy(rec.begin(), rec.end(), memory.log.begin() + 16 * i);
        } else {
            const int slots = 56 - 5 * memory.layoutCount();
            if (i >= slots) break;
            std::copy(rec.begin(), rec.begin() + 9, memory.config.begin() + 495 - 9 * i);
        }
    }
}

}  // namespace vorkal::sim
