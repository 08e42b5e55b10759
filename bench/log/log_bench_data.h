#pragma once
// Shared by the log benchmarks: a median timer and a full 128 x 64 log.
#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

#include "config_image.h"
#include "log_record.h"

namespace vorkal::bench {

inline double medianMs(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Flights of varied records filling every slot, the way a long logging session leaves it.
inline ConfigImage fullLog() {
    ConfigImage config;
    config.setVariant(DisplayVariant::D128x64);
    config.separateLog = true;
    for (int r = 0; r < kLogSlots128x64; ++r) {
        const int seconds = 36000 + r * 2 + (r / 300) * 600;
        const int32_t lat = 5006143 + r * 7;
        const int32_t lon = -1993812 - r * 5;
        uint8_t* b = config.logImage.data() + 16 * r;
        const uint32_t ulat = uint32_t(lat) & 0x1FFFFFF, ulon = uint32_t(lon) & 0x3FFFFFF;
        b[0] = ulat & 0xFF;
        b[1] = (ulat >> 8) & 0xFF;
        b[2] = (ulat >> 16) & 0xFF;
        b[3] = uint8_t(seconds / 3600 | ((ulat >> 24) & 1) << 7);
        b[4] = ulon & 0xFF;
        b[5] = (ulon >> 8) & 0xFF;
        b[6] = (ulon >> 16) & 0xFF;
        b[7] = uint8_t(((ulon >> 24) & 1) | (seconds / 60 % 60) << 1 | ((ulon >> 25) & 1) << 7);
        b[8] = uint8_t(seconds % 60 | (r & 1) << 7);
        b[9] = uint8_t(r);
        b[10] = uint8_t(r * 3);
        b[11] = uint8_t(r >> 8);
        b[12] = uint8_t(r / 5);
        b[13] = uint8_t(r);
        b[14] = uint8_t(r >> 4);
        b[15] = uint8_t(r % 101);
    }
    return config;
}

}  // namespace vorkal::bench
