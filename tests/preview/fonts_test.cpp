#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "display_fonts.h"

using namespace vorkal;

namespace {

std::vector<uint8_t> bytes(const uint8_t* p, int n) {
    return p ? std::vector<uint8_t>(p, p + n) : std::vector<uint8_t>{};
}

// Rows (0-based from the top) that hold ink anywhere in the glyph.
uint32_t smallRows(uint8_t code) {
    uint32_t rows = 0;
    for (int c = 0; c < kSmallGlyphBytes; ++c) rows |= SmallGlyph(code)[c];
    return rows;
}
uint32_t mediumRows(uint8_t code) {
    const uint8_t* g = MediumGlyph(code);
    uint32_t rows = 0;
    for (int c = 0; c < 7; ++c) rows |= g[c] | uint32_t(g[7 + c]) << 8;
    return rows;
}

}  // namespace

TEST(DisplayFonts, FixedGlyphsAreExact) {
    using V = std::vector<uint8_t>;
    EXPECT_EQ(bytes(ArrowGlyph(1), 7), (V{0x08, 0x0C, 0x7E, 0x0F, 0x7E, 0x0C, 0x08}));
    EXPECT_EQ(bytes(ArrowGlyph(2), 7), (V{0x10, 0x18, 0x6D, 0x37, 0x1F, 0x0F, 0x1F}));
    EXPECT_EQ(bytes(ArrowGlyph(5), 7), (V{0x08, 0x18, 0x3F, 0x78, 0x3F, 0x18, 0x08}));
    EXPECT_EQ(bytes(ArrowGlyph(8), 7), (V{0x1F, 0x0F, 0x1F, 0x37, 0x6D, 0x18, 0x10}));

    EXPECT_EQ(bytes(SmallGlyph('0'), 5), (V{0x3E, 0x51, 0x49, 0x45, 0x3E}));
    EXPECT_EQ(bytes(SmallGlyph(124), 5), (V{0x06, 0x49, 0x7D, 0x49, 0x06}));
    EXPECT_EQ(bytes(SmallGlyph(125), 5), (V{0x41, 0x7E, 0x7C, 0x4A, 0x11}));
    EXPECT_EQ(bytes(SmallGlyph(126), 5), (V{0x3E, 0x1C, 0x08, 0x1C, 0x3E}));
    EXPECT_EQ(bytes(SmallGlyph(127), 5), (V{0x04, 0x0A, 0x11, 0x0A, 0x04}));

    EXPECT_EQ(bytes(MediumGlyph('0'), 14),
              (V{0xFC, 0xFE, 0x82, 0x62, 0x12, 0xFE, 0xFC, 0x03, 0x07, 0x04, 0x04, 0x04, 0x07, 0x03}));
    EXPECT_EQ(bytes(MediumGlyph(124), 14),
              (V{0x38, 0x44, 0x1A, 0xFA, 0x1A, 0x44, 0x38, 0x00, 0x04, 0x06, 0x07, 0x06, 0x04, 0x00}));
    EXPECT_EQ(bytes(MediumGlyph(125), 14),
              (V{0x00, 0x06, 0xF8, 0xF0, 0x28, 0x44, 0x40, 0x06, 0x06, 0x07, 0x07, 0x06, 0x06, 0x00}));
    EXPECT_EQ(bytes(MediumGlyph(126), 14),
              (V{0xFC, 0xF0, 0x60, 0x60, 0x60, 0xF0, 0xFC, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03}));
    EXPECT_EQ(bytes(MediumGlyph(127), 14),
              (V{0x00, 0x0C, 0x1E, 0x12, 0x1E, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));

    // The degree sign of the sample texts is drawn from position 127.
    EXPECT_EQ(SmallGlyph(176), SmallGlyph(127));
    EXPECT_EQ(MediumGlyph(176), MediumGlyph(127));
}

TEST(DisplayFonts, CodesWithoutGlyph) {
    for (int code : {0, 9, 31, 128, 175, 177, 255}) {
        EXPECT_EQ(SmallGlyph(uint8_t(code)), nullptr) << code;
        EXPECT_EQ(MediumGlyph(uint8_t(code)), nullptr) << code;
    }
    for (int code : {0, 9, 32, 65}) EXPECT_EQ(ArrowGlyph(uint8_t(code)), nullptr) << code;
    for (int code = 1; code <= 8; ++code) EXPECT_NE(ArrowGlyph(uint8_t(code)), nullptr) << code;
}

TEST(DisplayFonts, EveryGlyphDistinct) {
    std::set<std::string> small, medium;
    auto key = [](const uint8_t* p, int n) { return std::string(reinterpret_cast<const char*>(p), n); };
    for (int code = 32; code <= 127; ++code) {
        EXPECT_TRUE(small.insert(key(SmallGlyph(uint8_t(code)), 5)).second) << "small " << char(code);
        EXPECT_TRUE(medium.insert(key(MediumGlyph(uint8_t(code)), 14)).second) << "medium " << char(code);
    }
}

TEST(DisplayFonts, DigitsAndCapitalsStandOnTheSameRows) {
    std::string codes = "0123456789";
    for (char c = 'A'; c <= 'Z'; ++c) codes += c;
    for (char c : codes) {
        // Small: rows 0-6, reaching both the top and the bottom row.
        EXPECT_EQ(smallRows(uint8_t(c)) & ~0x7Fu, 0u) << c;
        EXPECT_EQ(smallRows(uint8_t(c)) & 0x41u, 0x41u) << c;
        // Medium: rows 1-10.
        EXPECT_EQ(mediumRows(uint8_t(c)) & ~0x7FEu, 0u) << c;
        EXPECT_EQ(mediumRows(uint8_t(c)) & 0x402u, 0x402u) << c;
    }
    // Lower bytes of the medium font hold rows 8-13 only; descenders use them.
    for (int code = 32; code <= 127; ++code)
        for (int c = 7; c < 14; ++c) EXPECT_EQ(MediumGlyph(uint8_t(code))[c] & 0xC0, 0) << code;
    for (char c : std::string("gjpqy")) {
        EXPECT_NE(smallRows(uint8_t(c)) & 0x80u, 0u) << c;
        EXPECT_NE(mediumRows(uint8_t(c)) & 0x3800u, 0u) << c;
    }
    // Every printable glyph has ink, except the space.
    for (int code = 33; code <= 127; ++code) {
        EXPECT_NE(smallRows(uint8_t(code)), 0u) << code;
        EXPECT_NE(mediumRows(uint8_t(code)), 0u) << code;
    }
}
