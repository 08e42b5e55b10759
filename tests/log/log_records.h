#pragma once
// Builds log records byte by byte, the way the display stores them.

#include "config_image.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorkal::test {

struct RecordFields {
    int hour = 0, minute = 0, second = 0;
    int32_t latitude = 0, longitude = 0;  // 0.00001 degree
    int course = 0, height = 0, speed = 0, distance = 0, rssi = 0;
};

inline std::array<uint8_t, 16> encodeRecord(const RecordFields& f) {
    const uint32_t lat = uint32_t(f.latitude) & 0x1FFFFFF;
    const uint32_t lon = uint32_t(f.longitude) & 0x3FFFFFF;
    std::array<uint8_t, 16> b{};
    b[0] = lat & 0xFF;
    b[1] = (lat >> 8) & 0xFF;
    b[2] = (lat >> 16) & 0xFF;
    b[3] = uint8_t(f.hour | ((lat >> 24) & 1) << 7);
    b[4] = lon & 0xFF;
    b[5] = (lon >> 8) & 0xFF;
    b[6] = (lon >> 16) & 0xFF;
    b[7] = uint8_t(((lon >> 24) & 1) | f.minute << 1 | ((lon >> 25) & 1) << 7);
    b[8] = uint8_t(f.second | ((f.speed >> 8) & 1) << 6 | ((f.course >> 8) & 1) << 7);
    b[9] = f.course & 0xFF;
    b[10] = f.height & 0xFF;
    b[11] = (f.height >> 8) & 0xFF;
    b[12] = f.speed & 0xFF;
    b[13] = f.distance & 0xFF;
    b[14] = (f.distance >> 8) & 0xFF;
    b[15] = uint8_t(f.rssi);
    return b;
}

// Slot r of the separate log memory.
inline void putLogRecord(ConfigImage& config, int r, const std::array<uint8_t, 16>& bytes) {
    std::copy(bytes.begin(), bytes.end(), config.logImage.begin() + 16 * r);
}

// Slot r of the in-image log area (first 9 bytes only).
inline void putInImageRecord(ConfigImage& config, int r, const std::array<uint8_t, 16>& bytes) {
    std::copy(bytes.begin(), bytes.begin() + 9, config.image.begin() + ConfigImage::inImageLogRecordOffset(r));
}

// A 128 x 64 log with `oldestFirst` in slots 0.. and every other slot erased.
inline ConfigImage largeLogWith(const std::vector<RecordFields>& oldestFirst) {
    ConfigImage config;
    config.setVariant(DisplayVariant::D128x64);
    config.separateLog = true;
    config.logImage.fill(0xFF);
    for (std::size_t r = 0; r < oldestFirst.size(); ++r) putLogRecord(config, int(r), encodeRecord(oldestFirst[r]));
    return config;
}

}  // namespace vorkal::test
