#include "text_drawing.h"

#include <algorithm>

#include "config_image.h"
#include "display_fonts.h"
#include "preview_canvas.h"
#include "preview_renderer.h"

namespace vorkal::sim {

namespace {

enum class Face { Small, Medium, Doubled };

struct Pen {
    Framebuffer& screen;
    bool inverse;
    int scale;
    // One glyph pixel, as a scale x scale block.
    void put(int x, int y, bool ink) const {
        for (int dy = 0; dy < scale; ++dy)
            for (int dx = 0; dx < scale; ++dx) screen.setPixel(x + dx, y + dy, ink != inverse);
    }
};

// Columns of `rows` rows from column bytes, then one paper column; returns the advance.
int DrawColumns(const Pen& pen, int x, int y, const uint8_t* columns, int count, int rows) {
    for (int c = 0; c <= count; ++c)
        for (int r = 0; r < rows; ++r) {
            const bool ink = c < count && (columns[c] >> r & 1);
            pen.put(x + c * pen.scale, y + r * pen.scale, ink);
        }
    return (count + 1) * pen.scale;
}

int DrawChar(Framebuffer& screen, Face face, bool inverse, int x, int y, uint8_t code) {
    if (code == 176) code = 127;
    if (const uint8_t* arrow = ArrowGlyph(code)) {
        // Arrows: 7 x 8 plus a paper column in the small font, doubled without one otherwise.
        if (face == Face::Small) return DrawColumns(Pen{screen, inverse, 1}, x, y, arrow, 7, 8);
        const Pen pen{screen, inverse, 2};
        for (int c = 0; c < 7; ++c)
            for (int r = 0; r < 8; ++r) pen.put(x + 2 * c, y + 2 * r, arrow[c] >> r & 1);
        return 14;
    }
    if (face == Face::Small) {
        static const uint8_t kBlank[5] = {};
        const uint8_t* glyph = SmallGlyph(code);
        return DrawColumns(Pen{screen, inverse, 1}, x, y, glyph ? glyph : kBlank, 5, 8);
    }
    static const uint8_t kBlank[14] = {};
    const uint8_t* glyph = MediumGlyph(code);
    if (!glyph) glyph = kBlank;
    const Pen pen{screen, inverse, face == Face::Doubled ? 2 : 1};
    const int advance = DrawColumns(pen, x, y, glyph, 7, 8);
    DrawColumns(pen, x, y + 8 * pen.scale, glyph + 7, 7, 6);
    return advance;
}

}  // namespace

void DrawText(Framebuffer& screen, SimVariant variant, int x, int y, int font, bool inverse, std::string_view text) {
    Face face;
    if (variant == SimVariant::D128x64) face = font == 0 ? Face::Medium : Face::Doubled;
    else face = font == 0 ? Face::Small : Face::Medium;
    for (char c : text) {
        if (x >= screen.width) break;
        x += DrawChar(screen, face, inverse, x, y, uint8_t(c));
    }
}

void DrawLayout(DisplayMemory& memory, int layout) {
    ConfigImage image;
    image.setVariant(memory.variant == SimVariant::D128x64 ? DisplayVariant::D128x64 : DisplayVariant::D84x48);
    std::copy(memory.config.begin(), memory.config.end(), image.image.begin());
    image.configurationLoaded = true;
    image.selectedLayout = layout;
    PreviewCanvas canvas;
    RenderPreview(canvas, image, kNoSelection);
    for (int y = 0; y < memory.screen.height; ++y)
        for (int x = 0; x < memory.screen.width; ++x)
            // Alignment markers are the editor's, not the display's.
            memory.screen.setPixel(x, y, (canvas.at(x, y) & (kPixelInk | kPixelMarker)) == kPixelInk);
}

}  // namespace vorkal::sim
