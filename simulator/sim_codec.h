#pragma once
// Hex fields and the check byte as the display's firmware handles them. Kept apart
// from the configurator's own protocol code on purpose, so that one shared mistake
// cannot pass unnoticed on both ends of the line.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorkal::sim {

// Two upper-case hex digits.
std::string HexPair(uint8_t value);

// One hex digit (either case); nullopt for anything else.
std::optional<uint8_t> HexDigitValue(char c);

// The byte written as two hex digits at text[pos], text[pos + 1]; nullopt when the
// text is too short or a digit is not hexadecimal.
std::optional<uint8_t> ParseHexPair(std::string_view text, size_t pos);

// Sum over the data, starting at 1, modulo 256.
uint8_t CheckSum(const uint8_t* data, size_t count);

// The check byte that goes on the line: the sum XOR 0xA5.
inline uint8_t CheckByte(const uint8_t* data, size_t count) { return CheckSum(data, count) ^ 0xA5; }

// True when `check` is the right check byte for the data.
inline bool CheckByteMatches(const uint8_t* data, size_t count, uint8_t check) {
    return uint8_t(check ^ CheckSum(data, count)) == 0xA5;
}

}  // namespace vorkal::sim
