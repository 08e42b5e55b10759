#pragma once
// The preview canvas: one byte per display pixel, and the drawing operations the
// preview renderer builds the screen from.

#include <array>
#include <cstdint>

namespace vorkal {

// Wider and taller than the largest screen so that texts and bars running past the
// right or bottom edge need no clipping there; pixels beyond even this are dropped.
constexpr int kCanvasColumns = 201;
constexpr int kCanvasRows = 101;

// Bits of a canvas byte.
constexpr uint8_t kPixelInk = 1;       // lit pixel; clear = paper
constexpr uint8_t kPixelSelected = 2;  // belongs to the selected element
constexpr uint8_t kPixelMarker = 4;    // belongs to an alignment marker

// Cell colour (0xAARRGGBB) of a canvas byte: paper white, marker grey, selected red,
// ink black.
uint32_t PreviewCellColour(uint8_t value);

class PreviewCanvas {
public:
    // Column-major: pixel (x, y) is pixels[x * kCanvasRows + y].
    std::array<uint8_t, kCanvasColumns * kCanvasRows> pixels{};

    // Drawing state. The cursor is an int so that a long text in the doubled font runs
    // off the canvas instead of wrapping round onto the screen.
    int cursorX = 0;
    int cursorY = 0;
    int font = 0;     // 0 small, 1 medium, 2 medium doubled
    uint8_t pen = 1;  // ink pixels get the pen, paper pixels pen XOR 1

    uint8_t at(int x, int y) const;

    // Sets columns 0 .. width - 1, rows 0 .. height - 1 to 0; the rest is kept.
    void clearVisible(int width, int height);

    // Draws one character cell at the cursor in the current font and advances the
    // cursor. Every pixel of the cell is written (ink and paper).
    void DrawGlyph(uint8_t code);

    // Framed bar with length L, size (height) S and fill F at the cursor.
    void DrawBar(int length, int size, int fill);

    // Free line from its 3-byte record; writes ink only.
    void DrawLine(uint8_t b0, uint8_t b1, uint8_t b2);

private:
    void put(int x, int y, bool ink);
    void putBlock(int x, int y, bool ink);  // 2 x 2 pixels
};

}  // namespace vorkal
