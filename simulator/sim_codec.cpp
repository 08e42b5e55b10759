#include "sim_codec.h"

namespace vorkal::sim {

std::string HexPair(uint8_t value) {
    static const char kDigits[] = "0123456789ABCDEF";
    return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

std::optional<uint8_t> HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return uint8_t(c - '0');
    if (c >= 'A' && c <= 'F') return uint8_t(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return uint8_t(c - 'a' + 10);
    return std::nullopt;
}

std::optional<uint8_t> ParseHexPair(std::string_view text, size_t pos) {
    if (pos + 2 > text.size()) return std::nullopt;
    const auto high = HexDigitValue(text[pos]);
    const auto low = HexDigitValue(text[pos + 1]);
    if (!high || !low) return std::nullopt;
    return uint8_t(*high << 4 | *low);
}

uint8_t CheckSum(const uint8_t* data, size_t count) {
    unsigned sum = 1;
    for (size_t i = 0; i < count; ++i) sum += data[i];
    return uint8_t(sum);
}

}  // namespace vorkal::sim
