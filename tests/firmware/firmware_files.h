#pragma once
// Firmware images and their Intel HEX text, for tests and benchmarks.

#include <QByteArray>
#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vorkal::testing {

// A firmware image: the display's marker and a version near the start, random bytes
// (with plenty of 0xA5) elsewhere.
inline std::vector<uint8_t> MakeFirmware(int length, const char* version, unsigned seed = 1) {
    std::vector<uint8_t> image(static_cast<size_t>(length));
    std::mt19937 random(seed);
    for (auto& b : image) b = (random() % 8 == 0) ? 0xA5 : uint8_t(random());
    const std::string banner = std::string("Vorkal firmware ") + version;
    if (length >= 0x40 + int(banner.size())) std::copy(banner.begin(), banner.end(), image.begin() + 0x40);
    return image;
}

// Intel HEX text of `image` from address 0, 16 bytes a record.
inline QByteArray ToHex(const std::vector<uint8_t>& image) {
    QByteArray text;
    for (size_t at = 0; at < image.size(); at += 16) {
        const size_t n = std::min<size_t>(16, image.size() - at);
        QByteArray record;
        record.append(char(n)).append(char(at >> 8)).append(char(at & 0xFF)).append(char(0));
        record.append(reinterpret_cast<const char*>(image.data() + at), qsizetype(n));
        uint8_t sum = 0;
        for (char c : record) sum = uint8_t(sum + uint8_t(c));
        record.append(char(uint8_t(-sum)));
        text += ":" + record.toHex().toUpper() + "\r\n";
    }
    return text + ":00000001FF\r\n";
}

}  // namespace vorkal::testing
