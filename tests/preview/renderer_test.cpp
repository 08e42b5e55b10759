#include <gtest/gtest.h>

#include "element_catalogue.h"
#include "preview_renderer.h"

using namespace vorkal;

namespace {

// A loaded configuration of the given variant whose layout 1 shows nothing: every
// record's first byte 255 (X out of range, hidden font bits, hidden line bit).
ConfigImage emptyConfig(DisplayVariant variant) {
    ConfigImage config;
    config.setVariant(variant);
    config.image.fill(0xFF);
    config.image[kLayoutByte] = 0x30;
    config.selectedLayout = 0;
    config.configurationLoaded = true;
    return config;
}

void setText(ConfigImage& config, int k, uint8_t r0, uint8_t r1) {
    const int offset = config.ElementOffset(k);
    config.image[offset] = r0;
    config.image[offset + 1] = r1;
}

PreviewCanvas render(ConfigImage& config, int selectedOffset = kNoSelection) {
    PreviewCanvas canvas;
    RenderPreview(canvas, config, selectedOffset);
    return canvas;
}

int visibleInk(const PreviewCanvas& canvas, const ConfigImage& config) {
    int n = 0;
    for (int x = 0; x < config.width(); ++x)
        for (int y = 0; y < config.height(); ++y) n += canvas.at(x, y) & kPixelInk;
    return n;
}

// Reference drawing of a text with the canvas primitives only.
PreviewCanvas textAt(int font, int x, int y, std::string_view text, uint8_t pen = 1) {
    PreviewCanvas canvas;
    canvas.font = font;
    canvas.pen = pen;
    canvas.cursorX = x;
    canvas.cursorY = y;
    for (char ch : text) canvas.DrawGlyph(uint8_t(ch));
    return canvas;
}

bool sameArea(const PreviewCanvas& a, const PreviewCanvas& b, int x0, int x1, int y0, int y1) {
    for (int x = x0; x <= x1; ++x)
        for (int y = y0; y <= y1; ++y)
            if (a.at(x, y) != b.at(x, y)) return false;
    return true;
}

}  // namespace

TEST(PreviewRenderer, NothingIsDrawnBeforeAConfigurationIsLoaded) {
    for (DisplayVariant v : {DisplayVariant::D84x48, DisplayVariant::D128x64}) {
        ConfigImage config;
        config.setVariant(v);
        config.LoadFactoryImage();
        config.selectedLayout = 0;
        PreviewCanvas canvas;
        canvas.pixels.fill(1);
        RenderPreview(canvas, config, kNoSelection);
        EXPECT_EQ(visibleInk(canvas, config), 0);
        EXPECT_EQ(config.lastShownX, (std::array<uint8_t, kLastShownXSize>{}));

        config.configurationLoaded = true;
        EXPECT_GT(visibleInk(render(config), config), 100);
    }
}

TEST(PreviewRenderer, RightEdgeAndHiddenElements) {
    struct Case {
        DisplayVariant variant;
        uint8_t r0;
        bool drawn;
        int lastShownX;  // expected afterwards; 7 = the value set before
    };
    const Case cases[] = {
        {DisplayVariant::D84x48, 82, true, 82},         // width - 2
        {DisplayVariant::D84x48, 83, false, 7},         // width - 1
        {DisplayVariant::D84x48, 99, false, 7},         // the editor's hidden X
        {DisplayVariant::D84x48, 0x80 | 99, false, 7},  // hidden, Big font kept
        {DisplayVariant::D128x64, 0x19, true, 50},      // X / 2 encoding
        {DisplayVariant::D128x64, 0x3F, true, 126},
        {DisplayVariant::D128x64, 0xD9, false, 7},  // font bits 3 = hidden
    };
    for (const Case& c : cases) {
        ConfigImage config = emptyConfig(c.variant);
        config.lastShownX[17] = 7;
        setText(config, 17, c.r0, 0x05);  // "FS"
        const PreviewCanvas canvas = render(config);
        SCOPED_TRACE(testing::Message() << "r0 " << int(c.r0));
        EXPECT_EQ(visibleInk(canvas, config) > 0, c.drawn);
        EXPECT_EQ(config.lastShownX[17], c.lastShownX);
    }
}

TEST(PreviewRenderer, TextIsDrawnFromItsOriginAndCutAtTheScreenEdge) {
    ConfigImage config = emptyConfig(DisplayVariant::D84x48);
    setText(config, 7, 60, 20);  // "19.00000E" small, 54 columns from X 60
    const PreviewCanvas canvas = render(config);
    const PreviewCanvas expected = textAt(0, 60, 20, CatalogueEntry(7).sampleText);
    EXPECT_TRUE(sameArea(canvas, expected, 0, 83, 0, 47));
    // The part past the screen lies in the hidden columns.
    EXPECT_TRUE(sameArea(canvas, expected, 84, 113, 20, 27));
    EXPECT_GT(visibleInk(canvas, config), 0);
}

TEST(PreviewRenderer, SmallFontCoversBigFont) {
    // Element 20 in the big font is drawn before element 17 in the small font, although
    // it comes later in the list; the small text's cells replace its ink and paper.
    ConfigImage config = emptyConfig(DisplayVariant::D84x48);
    setText(config, 20, 0x80 | 2, 3);  // "8.5A" Big, left aligned with marker
    setText(config, 17, 4, 5);         // "FS" small
    const PreviewCanvas canvas = render(config);
    const PreviewCanvas small = textAt(0, 4, 5, "FS");
    EXPECT_TRUE(sameArea(canvas, small, 4, 15, 5, 12));
    // Outside the small text the big one stays.
    const PreviewCanvas big = textAt(1, 2, 3, "8.5A");
    EXPECT_TRUE(sameArea(canvas, big, 2, 3, 3, 16));
    EXPECT_TRUE(sameArea(canvas, big, 2, 33, 13, 16));
}

TEST(PreviewRenderer, BarAndLinesCoverTexts) {
    ConfigImage config = emptyConfig(DisplayVariant::D128x64);
    setText(config, 17, 0, 0);  // "FS" small at (0, 0)
    config.image[0] = 0;        // bar at (0, 0), length 20, size 5
    config.image[1] = 0;
    config.image[2] = 20;
    config.image[3] = 5;
    const int line = config.ElementOffset(config.listBound() + 1);
    config.image[line] = 3;  // vertical line at X 3 from Y 0, 10 long
    config.image[line + 1] = 0;
    config.image[line + 2] = 0x80 | 10;
    const PreviewCanvas canvas = render(config);
    for (int x = 0; x <= 20; ++x) EXPECT_EQ(canvas.at(x, 0), 1) << x;  // the bar's top edge
    EXPECT_EQ(canvas.at(1, 1), 0);                                     // its paper gap
    for (int y = 0; y < 10; ++y) EXPECT_EQ(canvas.at(3, y), 1) << y;   // the line
}

TEST(PreviewRenderer, ColoursOfEachState) {
    // Element 1 (marker) right aligned at (0, 0): the ">" cell is columns 0-5, the
    // antenna symbol starts at column 6.
    struct Case {
        const char* state;
        uint8_t r1;
        bool selected;
        uint32_t ink, paper, markerInk, markerPaper;
    };
    const uint32_t black = 0xFF000000, white = 0xFFFFFFFF, red = 0xFFFF0000, grey = 0xFFD0D0D0;
    const Case cases[] = {
        {"normal", 0x80, false, black, white, grey, white},
        {"negative", 0xC0, false, white, black, white, grey},
        {"selected", 0x80, true, red, white, grey, white},
        {"selected negative", 0xC0, true, white, red, white, grey},
    };
    for (const Case& c : cases) {
        ConfigImage config = emptyConfig(DisplayVariant::D84x48);
        setText(config, 1, 0, c.r1);
        const int selected = c.selected ? config.ElementOffset(1) : config.ElementOffset(2);
        const PreviewCanvas canvas = render(config, selected);
        SCOPED_TRACE(c.state);
        // Antenna column 2 (0x7D) has ink in row 0 and paper in row 1.
        EXPECT_EQ(PreviewCellColour(canvas.at(6 + 2, 0)), c.ink);
        EXPECT_EQ(PreviewCellColour(canvas.at(6 + 2, 1)), c.paper);
        // ">" has ink at (1, 0) and paper at (0, 0).
        EXPECT_EQ(PreviewCellColour(canvas.at(1, 0)), c.markerInk);
        EXPECT_EQ(PreviewCellColour(canvas.at(0, 0)), c.markerPaper);
    }
}

TEST(PreviewRenderer, AlignmentMarkerPlacement) {
    struct Case {
        int k;
        uint8_t r1;
        int markerFrom, markerTo;
    };
    const Case cases[] = {
        {1, 0x80, 0, 5},    // right: marker first, "|80%" after it
        {1, 0x00, 24, 29},  // left: "|80%" then the marker
        {8, 0x80, -1, -1},  // GPS time has no marker
        {8, 0x00, -1, -1},
    };
    for (const Case& c : cases) {
        ConfigImage config = emptyConfig(DisplayVariant::D84x48);
        setText(config, c.k, 0, c.r1);
        const PreviewCanvas canvas = render(config);
        int from = -1, to = -1;
        for (int x = 0; x < 84; ++x)
            for (int y = 0; y < 48; ++y)
                if (canvas.at(x, y) & kPixelMarker) {
                    if (from < 0) from = x;
                    to = x;
                }
        EXPECT_EQ(from, c.markerFrom) << c.k << " " << int(c.r1);
        EXPECT_EQ(to, c.markerTo) << c.k << " " << int(c.r1);
    }
}

TEST(PreviewRenderer, SecondRowOfTheDebugElement) {
    struct Case {
        DisplayVariant variant;
        uint8_t r0;
        int font, y;
    };
    const Case cases[] = {
        {DisplayVariant::D84x48, 0x00, 0, 10},
        {DisplayVariant::D84x48, 0x80, 1, 40},  // second row at Y 48, below the screen
        {DisplayVariant::D128x64, 0x40, 1, 20},
    };
    for (const Case& c : cases) {
        ConfigImage config = emptyConfig(c.variant);
        setText(config, 18, c.r0, uint8_t(c.y));
        const PreviewCanvas canvas = render(config);
        PreviewCanvas expected = textAt(c.font, 0, c.y, "-00004 -02000");
        expected.cursorX = 0;
        expected.cursorY = c.y + 8;
        for (char ch : std::string_view("-00004 -02000")) expected.DrawGlyph(uint8_t(ch));
        EXPECT_TRUE(sameArea(canvas, expected, 0, 200, 0, 100)) << c.y;
    }
}

TEST(PreviewRenderer, DoubledFontAtTheRightEdgeShowsOnlyItsFirstColumns) {
    ConfigImage config = emptyConfig(DisplayVariant::D128x64);
    setText(config, 18, 0x80 | 63, 0);  // font 2 at X 126: 13 glyphs of 16 columns
    const PreviewCanvas canvas = render(config);
    PreviewCanvas first = textAt(2, 126, 0, "-");
    first.cursorX = 126;
    first.cursorY = 8;  // the second row's first glyph
    first.DrawGlyph('-');
    EXPECT_TRUE(sameArea(canvas, first, 0, 127, 0, 63));
    EXPECT_EQ(config.lastShownX[18], 126);
}

TEST(PreviewRenderer, BarRecord) {
    struct Case {
        DisplayVariant variant;
        uint8_t r0;
        bool selected;
        uint8_t expectedTopLeft;  // canvas value at the bar's origin (10, 5)
        int lastShownX;
    };
    const Case cases[] = {
        {DisplayVariant::D84x48, 10, false, 1, 10},
        {DisplayVariant::D84x48, 10, true, 3, 10},
        {DisplayVariant::D84x48, 99, false, 0, 0},  // hidden the editor's way
        {DisplayVariant::D128x64, 10, false, 1, 10},
        {DisplayVariant::D128x64, 0x80 | 10, false, 0, 10},  // hidden bit: X still noted
    };
    for (const Case& c : cases) {
        ConfigImage config = emptyConfig(c.variant);
        config.image[0] = c.r0;
        config.image[1] = 0xC0 | 5;   // bits 6-7 are not part of Y
        config.image[2] = 0x80 | 30;  // bit 7 is not part of the length
        config.image[3] = 0xE0 | 9;   // bits 5-7 are not part of the size
        const PreviewCanvas canvas = render(config, c.selected ? 0 : kNoSelection);
        SCOPED_TRACE(testing::Message() << int(c.r0) << " selected " << c.selected);
        EXPECT_EQ(canvas.at(10, 5), c.expectedTopLeft);
        EXPECT_EQ(config.lastShownX[0], c.lastShownX);
        if (c.expectedTopLeft) {
            EXPECT_EQ(canvas.at(40, 5), c.expectedTopLeft);  // top edge to X + L
            EXPECT_EQ(canvas.at(41, 5), 0);
            EXPECT_EQ(canvas.at(10, 13), c.expectedTopLeft);  // bottom row Y + S - 1
            EXPECT_EQ(canvas.at(10, 14), 0);
            EXPECT_EQ(canvas.at(25, 8), c.expectedTopLeft);  // fill to X + L / 2
            EXPECT_EQ(canvas.at(26, 8), c.expectedTopLeft ^ 1);
        }
    }
}

TEST(PreviewRenderer, FactoryLinesOfTheLargeDisplay) {
    ConfigImage config;
    config.setVariant(DisplayVariant::D128x64);
    config.LoadFactoryImage();
    config.selectedLayout = 0;
    config.configurationLoaded = true;
    const int firstLine = config.ElementOffset(config.listBound() + 1);
    const PreviewCanvas canvas = render(config, firstLine);
    // Line 1: horizontal across the screen at Y 51 from X 0, 126 long, selected (red).
    // Line 3 (vertical, X 64-65, drawn after it) crosses it in its own colour.
    for (int x = 0; x < 126; ++x) ASSERT_EQ(canvas.at(x, 51), x == 64 || x == 65 ? 1 : 3) << x;
    EXPECT_EQ(canvas.at(126, 51), 0);
    // Line 3: vertical, thickness 2, at X 64-65 from Y 38.
    EXPECT_EQ(canvas.at(64, 40) & 3, 1);
    EXPECT_EQ(canvas.at(65, 40) & 3, 1);
}

TEST(PreviewRenderer, ClearPreviewResetsScreenAndCursor) {
    ConfigImage config;
    config.LoadFactoryImage();
    config.configurationLoaded = true;
    config.selectedLayout = 0;
    PreviewCanvas canvas = render(config);
    canvas.pixels[90 * kCanvasRows + 2] = 1;  // beyond the 84 x 48 screen
    ClearPreview(canvas, config);
    EXPECT_EQ(visibleInk(canvas, config), 0);
    EXPECT_EQ(canvas.cursorX, 0);
    EXPECT_EQ(canvas.cursorY, 0);
    EXPECT_EQ(canvas.at(90, 2), 1);
}
