#include "layout_editor.h"

#include <algorithm>

#include "element_catalogue.h"

namespace vorkal {

namespace {

// The record of entry `i` in the selected layout; four bytes always fit in the image
// (the last line record ends at byte 991).
uint8_t* record(ConfigImage& config, int i) { return config.image.data() + config.ElementOffset(i); }
const uint8_t* record(const ConfigImage& config, int i) { return config.image.data() + config.ElementOffset(i); }

// 128 x 64 text elements keep X / 2 and the font (3 = hidden) in byte 0.
bool halfX(const ConfigImage& config, int i) { return config.is128x64() && EntryKindOf(config, i) == EntryKind::Text; }

}  // namespace

EntryKind EntryKindOf(const ConfigImage& config, int i) {
    const int bound = config.listBound();
    if (i == 0) return EntryKind::Bar;
    if (i >= 1 && i <= bound) return EntryKind::Text;
    if (config.is128x64() && i > bound && i <= bound + kLinesPerLayout) return EntryKind::Line;
    return EntryKind::None;
}

ElementValues DecodeElement(const ConfigImage& config, int i) {
    const uint8_t* r = record(config, i);
    const EntryKind kind = EntryKindOf(config, i);
    ElementValues v;
    if (halfX(config, i)) {
        v.x = 2 * (r[0] & 0x3F);
        v.visible = (r[0] >> 6) < 3;
    } else if ((r[0] & 0x7F) < config.width() - 1) {
        v.visible = true;
        v.x = r[0] & 0x7F;
    } else {
        v.visible = false;
        v.x = i < kLastShownXSize ? config.lastShownX[size_t(i)] : 0;
    }
    v.y = r[1] & 0x3F;
    switch (kind) {
    case EntryKind::Line:
        v.x = r[0] & 0x7F;
        v.length = r[2] & 0x7F;
        v.size = (r[1] >> 6) + 1;
        v.flag = (r[2] & 0x80) != 0;
        v.visible = (r[0] & 0x80) == 0;
        break;
    case EntryKind::Text:
        v.flag = (r[1] & 0x40) != 0;
        if (config.is128x64()) v.font = (r[0] >> 6) < 3 ? r[0] >> 6 : -1;
        else v.font = r[0] >> 7;
        v.alignment = r[1] >> 7;
        break;
    case EntryKind::Bar:
        if (config.is128x64()) v.visible = (r[0] & 0x80) == 0;
        v.length = r[2] & 0x7F;
        v.size = r[3] & 0x3F;
        break;
    case EntryKind::None: break;
    }
    return v;
}

int FallbackX(const ConfigImage& config, int i) {
    const uint8_t b0 = record(config, i)[0];
    return halfX(config, i) ? 2 * (b0 & 0x3F) : b0 & 0x7F;
}

int FallbackY(const ConfigImage& config, int i) { return record(config, i)[1] & 0x3F; }

int FallbackLength(const ConfigImage& config, int i) { return record(config, i)[2] & 0x7F; }

int FallbackSize(const ConfigImage& config, int i) {
    const uint8_t* r = record(config, i);
    return EntryKindOf(config, i) == EntryKind::Line ? (r[1] >> 6) + 1 : r[3] & 0x3F;
}

void StoreX(ConfigImage& config, int i, int x) {
    uint8_t* r = record(config, i);
    if (halfX(config, i)) r[0] = uint8_t((r[0] & 0xC0) | ((x / 2) & 0x3F));
    else r[0] = uint8_t((r[0] & 0x80) | (x & 0x7F));
}

void StoreY(ConfigImage& config, int i, int y) {
    uint8_t* r = record(config, i);
    r[1] = uint8_t((r[1] & 0xC0) | (y & 0x3F));
}

void StoreVisible(ConfigImage& config, int i, bool visible, int fontSelection, int xPosition) {
    uint8_t* r = record(config, i);
    if (halfX(config, i)) {
        const int font = visible ? std::clamp(fontSelection, 0, 2) : 3;
        r[0] = uint8_t((r[0] & 0x3F) | (font << 6));
    } else if (config.is128x64()) {
        r[0] = uint8_t(visible ? r[0] & 0x7F : r[0] | 0x80);
    } else {
        r[0] = uint8_t((r[0] & 0x80) | (visible ? xPosition & 0x7F : 99));
    }
}

void StoreFlag(ConfigImage& config, int i, bool set) {
    uint8_t* r = record(config, i);
    switch (EntryKindOf(config, i)) {
    case EntryKind::Line: r[2] = uint8_t(set ? r[2] | 0x80 : r[2] & 0x7F); break;
    case EntryKind::Text: r[1] = uint8_t(set ? r[1] | 0x40 : r[1] & ~0x40); break;
    default: break;
    }
}

// A font chosen for a hidden 128 x 64 element replaces the hidden marker: it shows again.
void StoreFont(ConfigImage& config, int i, int font) {
    if (EntryKindOf(config, i) != EntryKind::Text) return;
    uint8_t* r = record(config, i);
    if (config.is128x64()) r[0] = uint8_t((r[0] & 0x3F) | (std::clamp(font, 0, 2) << 6));
    else r[0] = uint8_t((r[0] & 0x7F) | ((font & 1) << 7));
}

void StoreAlignment(ConfigImage& config, int i, int alignment) {
    if (EntryKindOf(config, i) != EntryKind::Text) return;
    uint8_t* r = record(config, i);
    r[1] = uint8_t((r[1] & 0x7F) | ((alignment & 1) << 7));
}

void StoreLength(ConfigImage& config, int i, int length) {
    uint8_t* r = record(config, i);
    switch (EntryKindOf(config, i)) {
    case EntryKind::Bar: r[2] = uint8_t(length & 0xFF); break;
    case EntryKind::Line: r[2] = uint8_t((r[2] & 0x80) | (length & 0x7F)); break;
    default: break;
    }
}

void StoreSize(ConfigImage& config, int i, int size) {
    uint8_t* r = record(config, i);
    switch (EntryKindOf(config, i)) {
    case EntryKind::Bar: r[3] = uint8_t(size & 0xFF); break;
    case EntryKind::Line: r[1] = uint8_t((r[1] & 0x3F) | ((64 * (size - 1)) & 0xC0)); break;
    default: break;
    }
}

void CorrectTextY(ConfigImage& config) {
    for (int layout = 0; layout < config.layoutCount(); ++layout) {
        for (int k = 1; k <= config.listBound(); ++k) {
            uint8_t& b1 = config.image[size_t(layout * config.layoutStride() + 2 * k + 3)];
            if ((b1 & 0x3F) > config.height()) b1 = 0;
        }
    }
}

int CorrectSpeedByte(ConfigImage& config) {
    uint8_t& speed = config.image[kSpeedByte];
    if (speed >= 80) speed &= 0x0F;
    return speed >> 4;
}

ElementBox HitBox(const ConfigImage& config, int i) {
    const uint8_t* r = record(config, i);
    ElementBox box;
    box.x = halfX(config, i) ? 2 * (r[0] & 0x3F) : r[0] & 0x7F;
    box.y = r[1] & 0x3F;
    const int thickness = (r[1] >> 6) + 1;
    switch (EntryKindOf(config, i)) {
    case EntryKind::Bar:
        box.width = r[2] & 0x7F;
        box.height = r[3] & 0x3F;
        box.visible = r[0] < config.width() - 1;
        break;
    case EntryKind::Line:
        if (r[2] & 0x80) {
            box.width = thickness;
            box.height = r[2] & 0x3F;
        } else {
            box.width = r[2] & 0x7F;
            box.height = thickness;
        }
        box.visible = r[0] < config.width() - 1;
        break;
    case EntryKind::Text: {
        static const int kCharWidth[3] = {6, 8, 16};
        static const int kHeight[3] = {7, 14, 28};
        const int n = int(CatalogueEntry(i).sampleText.size());
        const int font = config.is128x64() ? std::min(r[0] >> 6, 2) : r[0] >> 7;
        box.width = kCharWidth[font] * n;
        box.height = kHeight[font];
        box.visible = config.is128x64() ? r[0] < 192 : (r[0] & 0x7F) < config.width() - 1;
        break;
    }
    case EntryKind::None: break;
    }
    return box;
}

int HitTest(const ConfigImage& config, int column, int row) {
    const int last = config.listBound() + (config.is128x64() ? kLinesPerLayout : 0);
    for (int i = 0; i <= last; ++i)
        if (HitBox(config, i).contains(column, row)) return i;
    return -1;
}

bool StoresEvenX(const ConfigImage& config, int i) { return halfX(config, i); }

int CentredX(const ConfigImage& config, int i, int maxX) {
    const ElementBox box = HitBox(config, i);
    int drawnWidth = box.width;
    if (EntryKindOf(config, i) == EntryKind::Bar) drawnWidth += 1;  // edges at x and x + L
    const CatalogueElement& element = CatalogueEntry(std::min(i, kCatalogueSize - 1));
    if (EntryKindOf(config, i) == EntryKind::Text && element.alignmentMarker && !element.sampleText.empty())
        drawnWidth += box.width / int(element.sampleText.size());  // one more character cell
    int x = std::clamp((config.width() - drawnWidth) / 2, 0, maxX);
    if (halfX(config, i)) x &= ~1;
    return x;
}

void CopyLayoutElements(ConfigImage& config, int from, int to) {
    const int count = config.layoutCount();
    if (from == to || from < 0 || to < 0 || from >= count || to >= count) return;
    const int elementBytes = 2 * config.listBound() + 4;  // bar record and text records
    const int stride = config.layoutStride();
    std::copy_n(config.image.begin() + from * stride, elementBytes, config.image.begin() + to * stride);
    if (config.is128x64()) {
        constexpr int kLineBytes = 3 * kLinesPerLayout;
        std::copy_n(config.image.begin() + kLineRecordsStart + from * kLineBytes, kLineBytes,
                    config.image.begin() + kLineRecordsStart + to * kLineBytes);
    }
}

}  // namespace vorkal
