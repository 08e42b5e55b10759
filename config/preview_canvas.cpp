#include "preview_canvas.h"

#include "display_fonts.h"

namespace vorkal {

uint32_t PreviewCellColour(uint8_t value) {
    if (!(value & kPixelInk)) return 0xFFFFFFFF;
    if (value & kPixelMarker) return 0xFFD0D0D0;
    if (value & kPixelSelected) return 0xFFFF0000;
    return 0xFF000000;
}

uint8_t PreviewCanvas::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= kCanvasColumns || y >= kCanvasRows) return 0;
    return pixels[x * kCanvasRows + y];
}

void PreviewCanvas::clearVisible(int width, int height) {
    for (int x = 0; x < width && x < kCanvasColumns; ++x)
        for (int y = 0; y < height && y < kCanvasRows; ++y) pixels[x * kCanvasRows + y] = 0;
}

void PreviewCanvas::put(int x, int y, bool ink) {
    if (x < 0 || y < 0 || x >= kCanvasColumns || y >= kCanvasRows) return;
    pixels[x * kCanvasRows + y] = ink ? pen : uint8_t(pen ^ 1);
}

void PreviewCanvas::putBlock(int x, int y, bool ink) {
    put(x, y, ink);
    put(x + 1, y, ink);
    put(x, y + 1, ink);
    put(x + 1, y + 1, ink);
}

void PreviewCanvas::DrawGlyph(uint8_t code) {
    const int x = cursorX;
    const int y = cursorY;

    if (const uint8_t* arrow = ArrowGlyph(code)) {
        if (font == 0) {
            for (int c = 0; c < 8; ++c)
                for (int r = 0; r < 8; ++r) put(x + c, y + r, c < 7 && (arrow[c] >> r & 1));
            cursorX += 8;
        } else {
            for (int c = 0; c < 7; ++c)
                for (int r = 0; r < 8; ++r) putBlock(x + 2 * c, y + 2 * r, arrow[c] >> r & 1);
            cursorX += 14;
        }
        return;
    }

    // Codes without a glyph (control codes, most of the upper half) show as a space.
    if (font == 0) {
        const uint8_t* g = SmallGlyph(code);
        if (!g) g = SmallGlyph(' ');
        for (int c = 0; c < 6; ++c)
            for (int r = 0; r < 8; ++r) put(x + c, y + r, c < 5 && (g[c] >> r & 1));
        cursorX += 6;
        return;
    }

    const uint8_t* g = MediumGlyph(code);
    if (!g) g = MediumGlyph(' ');
    // Bit r of the upper byte is row r, bit r - 8 of the lower byte is row r (8..13);
    // column 7 is the paper column.
    auto inkAt = [g](int c, int r) {
        if (c >= 7) return false;
        return r < 8 ? (g[c] >> r & 1) != 0 : (g[7 + c] >> (r - 8) & 1) != 0;
    };
    if (font == 1) {
        for (int c = 0; c < 8; ++c)
            for (int r = 0; r < 14; ++r) put(x + c, y + r, inkAt(c, r));
        cursorX += 8;
    } else {
        for (int c = 0; c < 8; ++c)
            for (int r = 0; r < 14; ++r) putBlock(x + 2 * c, y + 2 * r, inkAt(c, r));
        cursorX += 16;
    }
}

void PreviewCanvas::DrawBar(int length, int size, int fill) {
    const int x = cursorX;
    const int y = cursorY;
    const int L = length;
    const int S = size;

    if (S < 3) {
        // Too thin for frame and gap (only from a read image): a solid strip of S rows.
        for (int r = 0; r < S; ++r)
            for (int c = x; c <= x + L; ++c) put(c, y + r, true);
        return;
    }
    for (int c = x; c <= x + L; ++c) put(c, y, true);
    for (int c = x + 1; c <= x + L - 2; ++c) put(c, y + 1, false);
    if (S >= 5) {
        for (int r = y + 2; r <= y + S - 3; ++r) {
            for (int c = x; c <= x + fill; ++c) put(c, r, true);
            for (int c = x + fill + 1; c <= x + L - 2; ++c) put(c, r, false);
        }
    }
    for (int c = x + 1; c <= x + L - 2; ++c) put(c, y + S - 2, false);
    for (int c = x; c <= x + L - 1; ++c) put(c, y + S - 1, true);
    for (int r = y; r <= y + S - 1; ++r) {
        put(x, r, true);
        put(x + L, r, true);
    }
}

void PreviewCanvas::DrawLine(uint8_t b0, uint8_t b1, uint8_t b2) {
    if (b0 & 0x80) return;
    const int startX = b0 & 0x7F;
    const int startY = b1 & 0x3F;
    const int thickness = (b1 >> 6) + 1;
    const bool vertical = b2 & 0x80;
    const int length = vertical ? (b2 & 0x3F) : (b2 & 0x7F);
    if (length == 0) return;

    for (int strand = 0; strand < thickness; ++strand) {
        const int x0 = vertical ? startX + strand : startX;
        const int y0 = vertical ? startY : startY + strand;
        if (x0 > 127 || y0 > 63) break;
        for (int i = 0; i < length; ++i) {
            const int x = vertical ? x0 : x0 + i;
            const int y = vertical ? y0 + i : y0;
            if (x > 127 || y > 63) break;
            put(x, y, true);
        }
    }
}

}  // namespace vorkal
