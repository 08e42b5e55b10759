// Random configuration images of both variants: whatever the bytes say, drawing stays
// on the canvas (the sanitized build checks the memory side) and every element stays
// right of and below its own origin on the visible screen.
#include <gtest/gtest.h>

#include <random>

#include "element_catalogue.h"
#include "preview_renderer.h"

using namespace vorkal;

namespace {

struct Origin {
    int x, y;
    bool shown;
};

// Where element-list entry i of the selected layout starts, decoded independently.
Origin originOf(const ConfigImage& config, int i) {
    const int offset = config.ElementOffset(i);
    const uint8_t r0 = config.image[offset], r1 = config.image[offset + 1];
    const bool large = config.is128x64();
    if (i > config.listBound()) return {r0 & 0x7F, r1 & 0x3F, !(r0 & 0x80)};
    const int x = (large && i >= 1) ? 2 * (r0 & 0x3F) : (r0 & 0x7F);
    bool shown = x <= config.width() - 2 && !(large && (r0 & 0xC0) == 0xC0);
    if (i == 0 && (r0 & 0x80)) shown = false;
    return {x, r1 & 0x3F, shown};
}

// Hides every entry of the selected layout but `keep`.
void hideAllBut(ConfigImage& config, int keep) {
    const int entries = config.listBound() + 1 + (config.is128x64() ? kLinesPerLayout : 0);
    for (int i = 0; i < entries; ++i)
        if (i != keep) config.image[config.ElementOffset(i)] = 0xFF;
}

}  // namespace

TEST(PreviewSafety, RandomImagesOfBothVariants) {
    std::mt19937 rng(20240611);
    // Leftovers beyond the screen (garbage, then whatever earlier images drew there)
    // must not change what is shown.
    PreviewCanvas dirty;
    for (uint8_t& p : dirty.pixels) p = uint8_t(rng() & 7);
    for (DisplayVariant variant : {DisplayVariant::D84x48, DisplayVariant::D128x64}) {
        SCOPED_TRACE(variant == DisplayVariant::D128x64 ? "128 x 64" : "84 x 48");
        for (int round = 0; round < 1500; ++round) {
            ConfigImage config;
            config.setVariant(variant);
            for (uint8_t& b : config.image) b = uint8_t(rng());
            config.selectedLayout = int(rng() % 8);
            config.configurationLoaded = true;
            const int entries = config.listBound() + 1 + (config.is128x64() ? kLinesPerLayout : 0);
            const int selected = config.ElementOffset(int(rng() % entries));

            PreviewCanvas clean;
            RenderPreview(dirty, config, selected);
            RenderPreview(clean, config, selected);
            for (int x = 0; x < config.width(); ++x)
                for (int y = 0; y < config.height(); ++y) {
                    ASSERT_EQ(dirty.at(x, y), clean.at(x, y)) << round << " at " << x << "," << y;
                    ASSERT_LE(clean.at(x, y), 7);
                }
            for (int k = 0; k <= config.listBound(); ++k)
                ASSERT_LE(config.lastShownX[k], config.width() - 2) << round << " element " << k;

            // Every third image: each entry alone draws nothing left of or above itself.
            if (round % 3) continue;
            for (int i = 0; i < entries; ++i) {
                ConfigImage alone = config;
                hideAllBut(alone, i);
                const Origin o = originOf(alone, i);
                PreviewCanvas canvas;
                RenderPreview(canvas, alone, kNoSelection);
                for (int x = 0; x < config.width(); ++x)
                    for (int y = 0; y < config.height(); ++y) {
                        if (!canvas.at(x, y)) continue;
                        ASSERT_TRUE(o.shown) << round << " entry " << i;
                        ASSERT_TRUE(x >= o.x && y >= o.y)
                            << round << " entry " << i << " pixel " << x << "," << y << " origin " << o.x << "," << o.y;
                    }
            }
        }
    }
}
