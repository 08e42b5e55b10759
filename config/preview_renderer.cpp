#include "preview_renderer.h"

#include "element_catalogue.h"

namespace vorkal {

namespace {

// Bytes of the record at `offset`; bytes past the image read as hidden (255) so that a
// stray layout index can never read outside it.
struct Record {
    uint8_t r[4];
};

Record readRecord(const ConfigImage& config, int offset) {
    Record rec{{0xFF, 0xFF, 0xFF, 0xFF}};
    for (int i = 0; i < 4 && offset + i < kImageSize; ++i) rec.r[i] = config.image[offset + i];
    return rec;
}

uint8_t selectionBit(int offset, int selectedOffset) { return offset == selectedOffset ? kPixelSelected : 0; }

void drawText(PreviewCanvas& canvas, std::string_view text) {
    for (char ch : text) canvas.DrawGlyph(uint8_t(ch));
}

}  // namespace

void DrawElement(PreviewCanvas& canvas, ConfigImage& config, int k, int pass, int selectedOffset) {
    if (k < 0 || k > config.listBound()) return;
    const int offset = config.ElementOffset(k);
    const auto [r0, r1, r2, r3] = readRecord(config, offset).r;
    const bool large = config.is128x64();

    const int x = (large && k >= 1) ? 2 * (r0 & 0x3F) : (r0 & 0x7F);
    if (x > config.width() - 2) return;
    if (large && (r0 & 0xC0) == 0xC0) return;
    config.lastShownX[k] = uint8_t(x);

    if (k == kRssiBarElement) {
        if (r0 & 0x80) return;
        canvas.pen = kPixelInk | selectionBit(offset, selectedOffset);
        canvas.cursorX = x;
        canvas.cursorY = r1 & 0x3F;
        const int length = r2 & 0x7F;
        canvas.DrawBar(length, r3 & 0x1F, length / 2);
        return;
    }

    const int font = large ? (r0 >> 6) : (r0 >> 7);
    if (font != pass) return;

    const bool negative = r1 & 0x40;
    const bool right = r1 & 0x80;
    const CatalogueElement& element = CatalogueEntry(k);
    canvas.pen = (negative ? 0 : kPixelInk) | selectionBit(offset, selectedOffset);
    canvas.cursorX = x;
    canvas.cursorY = r1 & 0x3F;
    canvas.font = font;

    auto drawMarker = [&canvas](char glyph) {
        canvas.pen += kPixelMarker;
        canvas.DrawGlyph(uint8_t(glyph));
        canvas.pen -= kPixelMarker;
    };
    if (right && element.alignmentMarker) drawMarker('>');
    drawText(canvas, element.sampleText);
    if (!right && element.alignmentMarker) drawMarker('<');

    if (k == kTwoRowElement) {
        canvas.cursorX = x;
        canvas.cursorY = (r1 & 0x3F) + 8;
        drawText(canvas, element.sampleText);
    }
}

void RenderPreview(PreviewCanvas& canvas, ConfigImage& config, int selectedOffset) {
    canvas.clearVisible(config.width(), config.height());
    if (!config.configurationLoaded) return;

    const int bound = config.listBound();
    for (int pass = 2; pass >= 0; --pass)
        for (int k = 1; k <= bound; ++k) DrawElement(canvas, config, k, pass, selectedOffset);
    DrawElement(canvas, config, kRssiBarElement, 0, selectedOffset);

    if (!config.is128x64()) return;
    for (int line = 1; line <= kLinesPerLayout; ++line) {
        const int offset = config.ElementOffset(bound + line);
        const Record rec = readRecord(config, offset);
        if (rec.r[0] & 0x80) continue;
        canvas.pen = kPixelInk | selectionBit(offset, selectedOffset);
        canvas.DrawLine(rec.r[0], rec.r[1], rec.r[2]);
    }
}

void ClearPreview(PreviewCanvas& canvas, const ConfigImage& config) {
    canvas.clearVisible(config.width(), config.height());
    canvas.cursorX = 0;
    canvas.cursorY = 0;
}

}  // namespace vorkal
