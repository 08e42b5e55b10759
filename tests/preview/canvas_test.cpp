#include <gtest/gtest.h>

#include <string>

#include "display_fonts.h"
#include "preview_canvas.h"

using namespace vorkal;

namespace {

constexpr uint8_t kUntouched = 6;  // a value no drawing here produces with pen 1

PreviewCanvas filledCanvas(uint8_t value) {
    PreviewCanvas canvas;
    canvas.pixels.fill(value);
    return canvas;
}

// Canvas values of row y, columns x0 .. x1, one digit per pixel.
std::string row(const PreviewCanvas& canvas, int y, int x0, int x1) {
    std::string s;
    for (int x = x0; x <= x1; ++x) s += char('0' + canvas.at(x, y));
    return s;
}

// Ink of a font's glyph cell at (c, r), read straight from the font tables.
bool expectedInk(int font, uint8_t code, int c, int r) {
    if (code == 176) code = 127;
    if (const uint8_t* a = ArrowGlyph(code)) {
        if (font != 0) c /= 2, r /= 2;
        return c < 7 && r < 8 && (a[c] >> r & 1);
    }
    if (font == 0) return c < 5 && (SmallGlyph(code)[c] >> r & 1);
    if (font == 2) c /= 2, r /= 2;
    if (c >= 7) return false;
    const uint8_t* g = MediumGlyph(code);
    return r < 8 ? (g[c] >> r & 1) : (g[7 + c] >> (r - 8) & 1);
}

}  // namespace

TEST(PreviewCanvas, GlyphCellsOfEveryFont) {
    struct Case {
        int font;
        uint8_t code;
        int width, height, advance;
    };
    const Case cases[] = {
        {0, '0', 6, 8, 6},    {0, 'g', 6, 8, 6},    {0, 2, 8, 8, 8},    {0, 176, 6, 8, 6},
        {1, '0', 8, 14, 8},   {1, 'g', 8, 14, 8},   {1, 3, 14, 16, 14}, {1, 124, 8, 14, 8},
        {2, '0', 16, 28, 16}, {2, 'y', 16, 28, 16}, {2, 7, 14, 16, 14}, {2, 176, 16, 28, 16},
    };
    const int x0 = 20, y0 = 10;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "font " << c.font << " code " << int(c.code));
        PreviewCanvas canvas = filledCanvas(kUntouched);
        canvas.font = c.font;
        canvas.pen = 1;
        canvas.cursorX = x0;
        canvas.cursorY = y0;
        canvas.DrawGlyph(c.code);
        EXPECT_EQ(canvas.cursorX, x0 + c.advance);
        EXPECT_EQ(canvas.cursorY, y0);
        int mismatches = 0, outside = 0;
        for (int x = x0 - 2; x < x0 + c.width + 2; ++x)
            for (int y = y0 - 2; y < y0 + c.height + 2; ++y) {
                const bool inCell = x >= x0 && x < x0 + c.width && y >= y0 && y < y0 + c.height;
                if (!inCell) {
                    outside += canvas.at(x, y) != kUntouched;
                    continue;
                }
                mismatches += canvas.at(x, y) != (expectedInk(c.font, c.code, x - x0, y - y0) ? 1 : 0);
            }
        EXPECT_EQ(mismatches, 0);
        EXPECT_EQ(outside, 0);
    }
}

TEST(PreviewCanvas, PenGivesInkAndPaperValues) {
    // The small "0" has ink at (1, 0) and paper at (0, 0).
    struct Case {
        uint8_t pen;
        uint8_t ink, paper;
    };
    const Case cases[] = {{1, 1, 0}, {0, 0, 1}, {3, 3, 2}, {2, 2, 3}, {5, 5, 4}, {4, 4, 5}};
    for (const Case& c : cases) {
        PreviewCanvas canvas = filledCanvas(kUntouched);
        canvas.pen = c.pen;
        canvas.DrawGlyph('0');
        EXPECT_EQ(canvas.at(1, 0), c.ink) << int(c.pen);
        EXPECT_EQ(canvas.at(0, 0), c.paper) << int(c.pen);
        EXPECT_EQ(canvas.at(5, 3), c.paper) << int(c.pen);  // the paper column
    }
}

TEST(PreviewCanvas, CellColours) {
    struct Case {
        uint8_t value;
        uint32_t colour;
    };
    const Case cases[] = {
        {0, 0xFFFFFFFF}, {2, 0xFFFFFFFF}, {4, 0xFFFFFFFF}, {6, 0xFFFFFFFF},
        {1, 0xFF000000}, {3, 0xFFFF0000}, {5, 0xFFD0D0D0}, {7, 0xFFD0D0D0},
    };
    for (const Case& c : cases) EXPECT_EQ(PreviewCellColour(c.value), c.colour) << int(c.value);
}

TEST(PreviewCanvas, GlyphsWithoutTableEntryDrawAsSpace) {
    for (int font : {0, 1, 2}) {
        for (uint8_t code : {uint8_t(0), uint8_t(9), uint8_t(31), uint8_t(128), uint8_t(255)}) {
            PreviewCanvas space = filledCanvas(kUntouched), other = filledCanvas(kUntouched);
            space.font = other.font = font;
            space.DrawGlyph(' ');
            other.DrawGlyph(code);
            EXPECT_EQ(other.pixels, space.pixels) << font << " " << int(code);
            EXPECT_EQ(other.cursorX, space.cursorX);
        }
    }
}

TEST(PreviewCanvas, BarRowsBySize) {
    // Bar at (5, 5), length 10, fill 5; columns 4 .. 16, rows 4 .. 5 + size.
    // Column x + L - 1 inside the frame is not part of any step and keeps its value.
    const std::string outside = "6666666666666";
    const std::string top = "6111111111116";
    const std::string gap = "6100000000616";
    const std::string fillRow = "6111111000616";
    const std::string bottom = top;
    struct Case {
        int size;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {3, {outside, top, gap, bottom, outside}},
        {4, {outside, top, gap, gap, bottom, outside}},
        {5, {outside, top, gap, fillRow, gap, bottom, outside}},
        {7, {outside, top, gap, fillRow, fillRow, fillRow, gap, bottom, outside}},
    };
    for (const Case& c : cases) {
        PreviewCanvas canvas = filledCanvas(kUntouched);
        canvas.cursorX = 5;
        canvas.cursorY = 5;
        canvas.DrawBar(10, c.size, 5);
        std::vector<std::string> rows;
        for (int y = 4; y <= 5 + c.size; ++y) rows.push_back(row(canvas, y, 4, 16));
        EXPECT_EQ(rows, c.rows) << "size " << c.size;
    }
}

TEST(PreviewCanvas, BarsBelowSizeThreeStayInTheirRows) {
    for (int size : {0, 1, 2}) {
        PreviewCanvas canvas = filledCanvas(kUntouched);
        canvas.cursorX = 5;
        canvas.cursorY = 5;
        canvas.DrawBar(10, size, 5);
        int written = 0, stray = 0;
        for (int x = 0; x < kCanvasColumns; ++x)
            for (int y = 0; y < kCanvasRows; ++y) {
                if (canvas.at(x, y) == kUntouched) continue;
                ++written;
                stray += x < 5 || x > 15 || y < 5 || y >= 5 + size;
            }
        EXPECT_EQ(written, 11 * size) << size;
        EXPECT_EQ(stray, 0) << size;
    }
}

TEST(PreviewCanvas, DrawingPastTheCanvasIsDropped) {
    // A bar of length 127 at X 126 and a doubled-font text reaching far right and down.
    PreviewCanvas canvas = filledCanvas(0);
    canvas.cursorX = 126;
    canvas.cursorY = 63;
    canvas.DrawBar(127, 31, 63);
    EXPECT_EQ(canvas.at(126, 63), 1);
    EXPECT_EQ(canvas.at(200, 63), 1);  // top edge up to the last canvas column
    EXPECT_EQ(canvas.at(200, 93), 1);  // bottom edge

    PreviewCanvas text = filledCanvas(0);
    text.font = 2;
    text.cursorX = 190;
    text.cursorY = 90;
    for (int i = 0; i < 20; ++i) text.DrawGlyph('8');
    EXPECT_EQ(text.cursorX, 190 + 20 * 16);  // no wrap round to the left
    for (int x = 0; x < 190; ++x)
        for (int y = 0; y < kCanvasRows; ++y) ASSERT_EQ(text.at(x, y), 0) << x << "," << y;
}

TEST(PreviewCanvas, Lines) {
    struct Case {
        const char* name;
        uint8_t b0, b1, b2;
        int count, minX, maxX, minY, maxY;
    };
    const Case cases[] = {
        {"length 0", 10, 10, 0x00, 0, 0, 0, 0, 0},
        {"vertical length 0", 10, 10, 0x80, 0, 0, 0, 0, 0},
        {"hidden", 0x8A, 10, 20, 0, 0, 0, 0, 0},
        {"horizontal", 10, 20, 5, 5, 10, 14, 20, 20},
        {"stops at X 127", 100, 5, 126, 28, 100, 127, 5, 5},
        {"vertical ignores bit 6", 3, 0, 0x80 | 100, 36, 3, 3, 0, 35},
        {"horizontal uses bit 6", 0, 3, 100, 100, 0, 99, 3, 3},
        {"vertical stops at Y 63", 7, 50, 0x80 | 30, 14, 7, 7, 50, 63},
        {"vertical thickness 2", 45, 0x40 | 38, 0x80 | 25, 50, 45, 46, 38, 62},
        {"horizontal thickness 4", 0, 0xC0 | 10, 3, 12, 0, 2, 10, 13},
        {"strands stop at X 127", 126, 0xC0 | 0, 0x80 | 5, 10, 126, 127, 0, 4},
        {"strands stop at Y 63", 0, 0x80 | 62, 4, 8, 0, 3, 62, 63},
    };
    for (const Case& c : cases) {
        PreviewCanvas canvas = filledCanvas(kUntouched);
        canvas.pen = 3;
        canvas.DrawLine(c.b0, c.b1, c.b2);
        int count = 0, other = 0, minX = 999, maxX = -1, minY = 999, maxY = -1;
        for (int x = 0; x < kCanvasColumns; ++x)
            for (int y = 0; y < kCanvasRows; ++y) {
                const uint8_t v = canvas.at(x, y);
                if (v == kUntouched) continue;
                if (v != 3) {
                    ++other;
                    continue;
                }  // lines write ink only
                ++count;
                minX = std::min(minX, x), maxX = std::max(maxX, x);
                minY = std::min(minY, y), maxY = std::max(maxY, y);
            }
        SCOPED_TRACE(c.name);
        EXPECT_EQ(other, 0);
        EXPECT_EQ(count, c.count);
        if (c.count == 0) continue;
        EXPECT_EQ(minX, c.minX);
        EXPECT_EQ(maxX, c.maxX);
        EXPECT_EQ(minY, c.minY);
        EXPECT_EQ(maxY, c.maxY);
    }
}

TEST(PreviewCanvas, ClearVisibleKeepsTheRest) {
    PreviewCanvas canvas = filledCanvas(kUntouched);
    canvas.clearVisible(84, 48);
    EXPECT_EQ(canvas.at(0, 0), 0);
    EXPECT_EQ(canvas.at(83, 47), 0);
    EXPECT_EQ(canvas.at(84, 0), kUntouched);
    EXPECT_EQ(canvas.at(0, 48), kUntouched);
}
