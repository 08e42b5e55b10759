#pragma once
// The display's bitmap fonts, shared by the preview and the virtual display.
//
// Glyphs are column bytes, left column first. In a column byte bit i is row i counted
// from the top of the glyph (bit 0 = top row); a set bit is ink.

#include <cstdint>

namespace vorkal {

constexpr int kArrowGlyphBytes = 7;    // 7 columns x 8 rows
constexpr int kSmallGlyphBytes = 5;    // 5 columns x 8 rows
constexpr int kMediumGlyphBytes = 14;  // 7 columns x 14 rows, see MediumGlyph

// Direction arrows, codes 1-8: north, north-east, east, ... north-west.
// Returns the 7 column bytes, or nullptr for any other code.
const uint8_t* ArrowGlyph(uint8_t code);

// Small font, codes 32-127 (176, the degree sign, is drawn as 127).
// Returns the 5 column bytes (rows 0-7), or nullptr for a code without a glyph.
const uint8_t* SmallGlyph(uint8_t code);

// Medium font, codes 32-127 (176 as 127). Returns 14 bytes: bytes 0-6 are the 7
// columns' rows 0-7, bytes 7-13 the same columns' rows 8-13 (bits 0-5); nullptr for a
// code without a glyph.
const uint8_t* MediumGlyph(uint8_t code);

}  // namespace vorkal
