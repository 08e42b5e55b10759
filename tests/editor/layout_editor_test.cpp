// Editor logic without widgets: hit boxes, the bit work of the writers, load-time
// corrections and the settings-file layout.

#include <gtest/gtest.h>

#include "layout_editor.h"
#include "settings_file.h"

using namespace vorkal;

namespace {

ConfigImage image(bool large) {
    ConfigImage c;
    c.setVariant(large ? DisplayVariant::D128x64 : DisplayVariant::D84x48);
    c.image[kLayoutByte] = 0x30;
    c.selectedLayout = 0;
    return c;
}

}  // namespace

TEST(LayoutEditorLogic, HitBoxFollowsTheBoxTable) {
    struct Case {
        const char* what;
        bool large;
        int entry;
        uint8_t r0, r1, r2, r3;
        ElementBox box;
    };
    const Case cases[] = {
        {"bar", false, 0, 10, 0xC5, 0xD0, 0xEE, {10, 5, 0x50, 0x2E, true}},
        {"bar with bit 7 set", false, 0, 0x8A, 5, 20, 8, {10, 5, 20, 8, false}},
        {"84 x 48 small text, 3 characters", false, 4, 82, 0xC7, 0, 0, {82, 7, 18, 7, true}},
        {"84 x 48 big text at X 83 is hidden", false, 4, 0x80 | 83, 7, 0, 0, {83, 7, 24, 14, false}},
        {"128 x 64 medium text", true, 2, 0x40 | 20, 9, 0, 0, {40, 9, 32, 14, true}},
        {"128 x 64 big text", true, 2, 0x80 | 20, 9, 0, 0, {40, 9, 64, 28, true}},
        {"128 x 64 hidden text", true, 2, 0xC0 | 20, 9, 0, 0, {40, 9, 64, 28, false}},
        {"single-character element", true, 19, 0, 0, 0, 0, {0, 0, 6, 7, true}},
        {"horizontal line, thickness 3", true, 23, 100, 0x80 | 51, 126, 0, {100, 51, 126, 3, true}},
        {"vertical line, six length bits", true, 24, 45, 0x40 | 38, 0x80 | 0x40 | 25, 0, {45, 38, 2, 25, true}},
        {"line at X 127 counts as hidden", true, 24, 127, 0, 10, 0, {127, 0, 10, 1, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ConfigImage config = image(c.large);
        uint8_t* r = config.image.data() + config.ElementOffset(c.entry);
        r[0] = c.r0, r[1] = c.r1, r[2] = c.r2;
        if (c.entry == 0) r[3] = c.r3;
        const ElementBox b = HitBox(config, c.entry);
        EXPECT_EQ(b.x, c.box.x);
        EXPECT_EQ(b.y, c.box.y);
        EXPECT_EQ(b.width, c.box.width);
        EXPECT_EQ(b.height, c.box.height);
        EXPECT_EQ(b.visible, c.box.visible);
    }
    // A box of width 0 contains nothing.
    EXPECT_FALSE((ElementBox{5, 5, 0, 10, true}).contains(5, 5));
}

TEST(LayoutEditorLogic, WritersChangeOnlyTheirBits) {
    struct Case {
        const char* what;
        bool large;
        int entry;
        void (*store)(ConfigImage&, int);
        int byte;
        uint8_t before, after;
    };
    const Case cases[] = {
        {"84 x 48 X keeps the font bit", false, 3, [](ConfigImage& c, int i) { StoreX(c, i, 81); }, 0, 0x85, 0x80 | 81},
        {"128 x 64 X keeps the font and halves", true, 3, [](ConfigImage& c, int i) { StoreX(c, i, 51); }, 0, 0x85,
         0x80 | 25},
        {"line X keeps hidden bit", true, 23, [](ConfigImage& c, int i) { StoreX(c, i, 127); }, 0, 0x80, 0xFF},
        {"Y keeps top bits", false, 3, [](ConfigImage& c, int i) { StoreY(c, i, 46); }, 1, 0xC1, 0xC0 | 46},
        {"hide on 84 x 48", false, 3, [](ConfigImage& c, int i) { StoreVisible(c, i, false, 0, 5); }, 0, 0x85, 0xE3},
        {"show on 84 x 48", false, 0, [](ConfigImage& c, int i) { StoreVisible(c, i, true, 0, 5); }, 0, 0x63, 5},
        {"hide on 128 x 64", true, 3, [](ConfigImage& c, int i) { StoreVisible(c, i, false, 1, 0); }, 0, 0x59, 0xD9},
        {"show on 128 x 64 in font 2", true, 3, [](ConfigImage& c, int i) { StoreVisible(c, i, true, 2, 0); }, 0, 0xD9,
         0x99},
        {"hide 128 x 64 bar", true, 0, [](ConfigImage& c, int i) { StoreVisible(c, i, false, 2, 0); }, 0, 0x05, 0x85},
        {"thickness 5 wraps to 1", true, 23, [](ConfigImage& c, int i) { StoreSize(c, i, 5); }, 1, 0xC7, 0x07},
        {"thickness 0 wraps to 4", true, 23, [](ConfigImage& c, int i) { StoreSize(c, i, 0); }, 1, 0x07, 0xC7},
        {"bar size keeps the low byte", false, 0, [](ConfigImage& c, int i) { StoreSize(c, i, 300); }, 3, 8, 44},
        {"line length keeps vertical", true, 23, [](ConfigImage& c, int i) { StoreLength(c, i, 200); }, 2, 0x80,
         0x80 | 72},
        {"font on 84 x 48", false, 3, [](ConfigImage& c, int i) { StoreFont(c, i, 1); }, 0, 0x05, 0x85},
        {"font not for the bar", false, 0, [](ConfigImage& c, int i) { StoreFont(c, i, 1); }, 0, 0x05, 0x05},
        {"alignment not for lines", true, 23, [](ConfigImage& c, int i) { StoreAlignment(c, i, 1); }, 1, 0x05, 0x05},
        {"vertical", true, 23, [](ConfigImage& c, int i) { StoreFlag(c, i, true); }, 2, 0x05, 0x85},
        {"negative off", false, 3, [](ConfigImage& c, int i) { StoreFlag(c, i, false); }, 1, 0xC5, 0x85},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ConfigImage config = image(c.large);
        const auto untouched = config.image;
        const size_t at = config.ElementOffset(c.entry) + c.byte;
        config.image[at] = c.before;
        c.store(config, c.entry);
        EXPECT_EQ(config.image[at], c.after);
        config.image[at] = untouched[at];
        EXPECT_TRUE(config.image == untouched);  // no other byte changed
    }
}

TEST(LayoutEditorLogic, DecodeTakesTheLastShownXOfAHiddenElement) {
    ConfigImage config = image(false);
    config.lastShownX[5] = 37;
    config.image[config.ElementOffset(5)] = 0x80 | 99;
    config.image[config.ElementOffset(5) + 1] = 0x80 | 12;
    const ElementValues v = DecodeElement(config, 5);
    EXPECT_FALSE(v.visible);
    EXPECT_EQ(v.x, 37);
    EXPECT_EQ(v.y, 12);
    EXPECT_EQ(v.font, 1);
    EXPECT_EQ(v.alignment, 1);
    EXPECT_EQ(FallbackX(config, 5), 99);
}

TEST(LayoutEditorLogic, LoadCorrections) {
    const struct {
        uint8_t before, after;
        int index;
    } speeds[] = {{0x43, 0x43, 4}, {79, 79, 4}, {80, 0, 0}, {0x93, 0x03, 0}, {0xFF, 0x0F, 0}};
    for (const auto& s : speeds) {
        ConfigImage config = image(false);
        config.image[kSpeedByte] = s.before;
        EXPECT_EQ(CorrectSpeedByte(config), s.index);
        EXPECT_EQ(config.image[kSpeedByte], s.after);
    }
    // Y beyond the height in layouts within the count only.
    ConfigImage config = image(true);
    config.image[kLayoutByte] = 0x20;
    config.image[62 + 2 * 22 + 3] = 0x80 | 63;  // layout 2, element 22
    config.image[124 + 2 * 1 + 3] = 0x3F;       // layout 3: beyond the count
    CorrectTextY(config);
    EXPECT_EQ(config.image[62 + 2 * 22 + 3], 0x80 | 63);  // 63 does not exceed 64
    EXPECT_EQ(config.image[124 + 2 * 1 + 3], 0x3F);
    config.setVariant(DisplayVariant::D84x48);
    config.image[45 + 2 * 20 + 3] = 0x80 | 49;
    CorrectTextY(config);
    EXPECT_EQ(config.image[45 + 2 * 20 + 3], 0);
}

TEST(LayoutEditorLogic, SettingsFileContent) {
    struct Case {
        bool large, separateLog;
        int size;
        bool accepted;
    };
    const Case cases[] = {
        {false, false, 512, true}, {false, true, 8704, true}, {true, true, 33792, true}, {true, false, 1024, false}};
    for (const Case& c : cases) {
        ConfigImage config = image(c.large);
        config.separateLog = c.separateLog;
        for (size_t i = 0; i < config.image.size(); ++i) config.image[i] = uint8_t(i);
        for (size_t i = 0; i < config.logImage.size(); ++i) config.logImage[i] = uint8_t(i / 3);
        const QByteArray file = SettingsFileBytes(config);
        ASSERT_EQ(file.size(), c.size);
        EXPECT_EQ(IsSettingsFileSize(file.size()), c.accepted);
        if (!c.accepted) continue;
        ConfigImage back = image(!c.large);
        back.image.fill(0xEE);
        back.separateLog = !c.separateLog;
        EXPECT_EQ(LoadSettingsFile(back, file), c.large ? DisplayVariant::D128x64 : DisplayVariant::D84x48);
        EXPECT_EQ(back.separateLog, c.separateLog);
        EXPECT_TRUE(std::equal(back.image.begin(), back.image.begin() + (c.large ? 1024 : 512), config.image.begin()));
        if (!c.large) {
            EXPECT_EQ(back.image[512], 0xEE);
        }
        EXPECT_TRUE(std::equal(back.logImage.begin(), back.logImage.begin() + (c.size - (c.large ? 1024 : 512)),
                               config.logImage.begin()));
    }
    ConfigImage config = image(false);
    const auto before = config.image;
    LoadSettingsFile(config, QByteArray(513, 'x'));
    EXPECT_TRUE(config.image == before);
}
