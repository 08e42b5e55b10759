// The layout editor driven through the real main window: loading a configuration,
// selecting and dragging elements with the mouse, the property controls and typed values.

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "dialogs.h"
#include "form1.h"
#include "layout_editor.h"
#include "preview_grid.h"
#include "preview_renderer.h"
#include "qt_printers.h"
#include "user_folders.h"

using namespace vorkal;

namespace {

class EditorTest : public ::testing::Test {
public:  // the placing helpers are used from case tables
    void SetUp() override {
        ASSERT_TRUE(settingsDir.isValid());
        UseTestFolders(settingsDir.path(), settingsDir.path());
        f.show();
    }

    // The factory image of a variant with every element hidden, so a test places only
    // what it needs; not yet shown.
    void emptyLayouts(bool large) {
        if (large) f.SetDisplay128x64();
        else f.SetDisplay84x48();
        f.config.LoadFactoryImage();
        ConfigImage& c = f.config;
        for (int layout = 0; layout < 3; ++layout) {
            uint8_t* rec = c.image.data() + layout * c.layoutStride();
            rec[0] = large ? 0x80 : 99;
            for (int k = 1; k <= c.listBound(); ++k) {
                rec[2 * k + 2] = large ? 0xC0 : 99;
                rec[2 * k + 3] = 0;
            }
        }
        for (int line = 0; line < 60 && large; ++line) c.image[size_t(512 + 3 * line)] = 0x80;
    }
    uint8_t* rec(int i) { return f.config.image.data() + f.config.ElementOffset(i); }
    // Text element k of layout 1 at (x, y) in `font`.
    void placeText(int k, int x, int y, int font = 0) {
        uint8_t* r = f.config.image.data() + 2 * k + 2;
        r[0] = f.config.is128x64() ? uint8_t(font << 6 | x / 2) : uint8_t(font << 7 | x);
        r[1] = uint8_t(y);
    }
    void placeBar(int x, int y, int length, int size) {
        uint8_t* r = f.config.image.data();
        r[0] = uint8_t(x), r[1] = uint8_t(y), r[2] = uint8_t(length), r[3] = uint8_t(size);
    }
    void placeLine(int line, int x, int y, int length, bool vertical, int thickness = 1) {
        uint8_t* r = f.config.image.data() + 512 + 3 * (line - 1);
        r[0] = uint8_t(x), r[1] = uint8_t((thickness - 1) << 6 | y), r[2] = uint8_t((vertical ? 0x80 : 0) | length);
    }
    void factory(bool large) {
        if (large) f.SetDisplay128x64();
        else f.SetDisplay84x48();
        f.config.LoadFactoryImage();
        f.ShowLoadedConfiguration();
    }

    // Centre of a preview cell in widget pixels.
    QPoint cell(int column, int row) const {
        const int cw = f.StringGrid1->cellWidth() + 1, ch = f.StringGrid1->cellHeight() + 1;
        return {column * cw + cw / 2, row * ch + ch / 2};
    }
    void press(int column, int row, Qt::MouseButton b = Qt::LeftButton, Qt::KeyboardModifiers m = {}) {
        QTest::mousePress(f.StringGrid1, b, m, cell(column, row));
    }
    void moveTo(QPoint p) { QTest::mouseMove(f.StringGrid1, p); }
    void release(int column, int row, Qt::MouseButton b = Qt::LeftButton, Qt::KeyboardModifiers m = {}) {
        QTest::mouseRelease(f.StringGrid1, b, m, cell(column, row));
    }
    void click(int column, int row, Qt::MouseButton b = Qt::LeftButton, Qt::KeyboardModifiers m = {}) {
        press(column, row, b, m);
        release(column, row, b, m);
    }
    void select(int entry) {
        f.ComboBox1->setCurrentIndex(entry);
        f.ComboBox1Change();
    }
    // Types into an edit key by key and leaves it.
    void type(QLineEdit* edit, const QString& keys) {
        edit->clear();
        QTest::keyClicks(edit, keys);
        QFocusEvent out(QEvent::FocusOut);
        QApplication::sendEvent(edit, &out);
    }

    QTemporaryDir settingsDir;
    ScriptedDialogs scripted;
    DialogsGuard guard{&scripted};
    TForm1 f;
};

}  // namespace

TEST_F(EditorTest, ShowingAConfigurationBuildsTheEditor) {
    struct Case {
        bool large;
        uint8_t layoutByte, speedByte;
        int layouts, columns, selected;
        uint8_t speedAfter;
        int speedIndex, entries;
    };
    const Case cases[] = {
        {false, 0x30, 0x13, 3, 1, 0, 0x13, 1, 21},
        {false, 0xF2, 0x93, 8, 2, 2, 0x03, 0, 21},  // count above 8, speed index beyond the list
        {true, 0x47, 0x43, 4, 1, 3, 0x43, 4, 43},   // current layout beyond the count: the last
        {true, 0x55, 0x50, 5, 2, 5 - 1, 0x00, 0, 43},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "layout byte " << int(c.layoutByte));
        if (c.large) f.SetDisplay128x64();
        else f.SetDisplay84x48();
        f.config.LoadFactoryImage();
        f.config.image[508] = c.layoutByte;
        f.config.image[509] = c.speedByte;
        select(0);
        f.ComboBox1->setCurrentIndex(5);  // a selection made before the load is dropped
        f.ShowLoadedConfiguration();
        EXPECT_EQ(f.RadioGroup3->count(), c.layouts);
        EXPECT_EQ(f.RadioGroup3->items().last(), QString::number(c.layouts));
        EXPECT_EQ(f.RadioGroup3->itemIndex(), std::min(c.selected, c.layouts - 1));
        EXPECT_EQ(f.config.selectedLayout, f.RadioGroup3->itemIndex());
        EXPECT_EQ(f.RadioGroup3->button(c.layouts - 1)->x() > f.RadioGroup3->button(0)->x(), c.columns == 2);
        EXPECT_EQ(f.config.image[509], c.speedAfter);
        EXPECT_EQ(f.ComboBox3->currentText(), kDisplaySpeedTexts[c.speedIndex]);
        EXPECT_EQ(f.ComboBox1->count(), c.entries);
        EXPECT_EQ(f.ComboBox1->currentIndex(), 0);
        EXPECT_EQ(f.view(), TForm1::View::Screen);
        EXPECT_TRUE(f.config.configurationLoaded);
        EXPECT_TRUE(f.Button2->isEnabled());
        EXPECT_TRUE(f.RadioGroup6->isHidden());
        EXPECT_FALSE(f.Button6->isHidden());
        EXPECT_FALSE(f.Button4->isEnabled());  // no display answers
        // The bar's controls are loaded from the selected layout.
        const uint8_t* bar = f.config.image.data() + f.config.selectedLayout * f.config.layoutStride();
        EXPECT_EQ(f.UpDown2->position(), std::min(bar[1] & 0x3F, f.UpDown2->max()));
        EXPECT_FALSE(f.StaticText3->isHidden());
        EXPECT_TRUE(f.RadioGroup1->isHidden());
    }
}

TEST_F(EditorTest, LoadingResetsTextYBeyondTheScreen) {
    emptyLayouts(false);
    ConfigImage& c = f.config;
    c.image[2 * 3 + 3] = 0xC0 | 50;        // layout 1, element 3: Y 50 with right + negative
    c.image[45 + 2 * 7 + 3] = 48;          // layout 2, element 7: Y 48 is not beyond 48
    c.image[90 + 2 * 20 + 3] = 0x80 | 49;  // layout 3, element 20
    c.image[1] = 50;                       // the bar is not corrected
    f.ShowLoadedConfiguration();
    EXPECT_EQ(c.image[2 * 3 + 3], 0);
    EXPECT_EQ(c.image[45 + 2 * 7 + 3], 48);
    EXPECT_EQ(c.image[90 + 2 * 20 + 3], 0);
    EXPECT_EQ(c.image[1], 50);
}

TEST_F(EditorTest, ConfigurationWithoutLayoutsIsNotShown) {
    factory(false);
    f.config.image[508] = 0x00;
    f.ShowLoadedConfiguration();
    ASSERT_EQ(scripted.messages().size(), 1);
    EXPECT_EQ(f.RadioGroup3->count(), 3);  // the editor still shows the earlier configuration
}

TEST_F(EditorTest, ClickSelectsTheFirstHitInListOrder) {
    struct Case {
        const char* what;
        bool large;
        std::function<void(EditorTest&)> place;
        int column, row;
        int expected;  // -1: nothing hit, selection unchanged
    };
    const Case cases[] = {
        {"bar before a text drawn over it", false,
         [](EditorTest& t) { t.placeBar(10, 10, 30, 10), t.placeText(5, 12, 12); }, 13, 13, 0},
        {"earlier text before a later one", false,
         [](EditorTest& t) { t.placeText(9, 20, 30, 1), t.placeText(4, 22, 31); }, 23, 32, 4},
        {"later text where only it lies", false,
         [](EditorTest& t) { t.placeText(9, 20, 30, 1), t.placeText(4, 22, 31); }, 21, 42, 9},
        {"hidden element is passed over", false,
         [](EditorTest& t) { t.placeText(2, 40, 5), t.placeText(3, 40, 5), t.f.config.image[2 * 2 + 2] = 99; }, 41, 6,
         3},
        {"right edge of a box is exclusive", false, [](EditorTest& t) { t.placeText(19, 30, 20); }, 36, 20,
         -1},  // one character: 6 wide
        {"text before a line", true,
         [](EditorTest& t) { t.placeText(2, 40, 20, 1), t.placeLine(1, 0, 25, 120, false, 2); }, 41, 26, 2},
        {"vertical line box", true, [](EditorTest& t) { t.placeLine(3, 60, 10, 30, true, 3); }, 62, 39, 25},
        {"vertical line uses six length bits", true, [](EditorTest& t) { t.placeLine(3, 60, 10, 0x40 | 5, true); }, 60,
         16, -1},
        {"big font on 128 x 64", true, [](EditorTest& t) { t.placeText(4, 10, 10, 2); }, 10 + 16 * 3 - 1, 10 + 27, 4},
        {"two-row element hits its first row only", false, [](EditorTest& t) { t.placeText(18, 0, 20); }, 5, 28, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        emptyLayouts(c.large);
        c.place(*this);
        f.ShowLoadedConfiguration();
        select(1);
        click(c.column, c.row);
        EXPECT_EQ(f.ComboBox1->currentIndex(), c.expected < 0 ? 1 : c.expected);
        if (c.expected >= 0) {
            EXPECT_EQ(f.UpDown2->position(), rec(c.expected)[1] & 0x3F);
        }
    }
}

TEST_F(EditorTest, ClicksThatAreIgnored) {
    emptyLayouts(false);
    placeText(6, 10, 10);
    // Before a configuration is shown nothing can be hit.
    click(11, 11);
    EXPECT_EQ(f.ComboBox1->currentIndex(), 0);  // the empty design-time entry
    f.ShowLoadedConfiguration();
    click(11, 11, Qt::RightButton);
    click(11, 11, Qt::LeftButton, Qt::ControlModifier);
    click(11, 11, Qt::LeftButton, Qt::ShiftModifier);
    click(11, 11, Qt::LeftButton, Qt::AltModifier);
    EXPECT_EQ(f.ComboBox1->currentIndex(), 0);
    // Below the last row of the grid is outside the screen.
    QTest::mouseClick(f.StringGrid1, Qt::LeftButton, {}, QPoint(5, 48 * 6 + 1));
    EXPECT_EQ(f.ComboBox1->currentIndex(), 0);
    click(11, 11);
    EXPECT_EQ(f.ComboBox1->currentIndex(), 6);
}

TEST_F(EditorTest, DraggingKeepsTheGrabOffsetAndStopsAtTheEdges) {
    struct Case {
        const char* what;
        bool large;
        int entry;
        std::function<void(EditorTest&)> place;
        int grabColumn, grabRow;
        int toColumn, toRow;
        int x, y;  // stored afterwards
        int shownX;
    };
    const Case cases[] = {
        {"text follows the mouse", false, 7, [](EditorTest& t) { t.placeText(7, 20, 20); }, 22, 23, 40, 30, 38, 27, 38},
        {"text stops at 0", false, 7, [](EditorTest& t) { t.placeText(7, 20, 20); }, 22, 23, 1, 0, 0, 0, 0},
        {"text stops at width - 2, height - 2", false, 7, [](EditorTest& t) { t.placeText(7, 20, 20); }, 20, 20, 83, 47,
         82, 46, 82},
        {"bar stops at width - 2", true, 0, [](EditorTest& t) { t.placeBar(5, 5, 20, 8); }, 5, 5, 127, 63, 126, 62,
         126},
        {"line stops at width - 1, height - 1", true, 23, [](EditorTest& t) { t.placeLine(1, 5, 5, 20, false); }, 5, 5,
         127, 63, 127, 63, 127},
        {"odd X of a 128 x 64 text is stored even", true, 3, [](EditorTest& t) { t.placeText(3, 10, 10, 1); }, 10, 10,
         51, 12, 50, 12, 51},  // the edit shows the up-down's 51
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        emptyLayouts(c.large);
        c.place(*this);
        uint8_t* r = rec(c.entry);
        const uint8_t highBits0 = r[0] & (c.entry >= 1 && c.large && c.entry <= 22 ? 0xC0 : 0x80);
        const uint8_t highBits1 = r[1] & 0xC0;
        f.ShowLoadedConfiguration();
        press(c.grabColumn, c.grabRow);
        ASSERT_EQ(f.ComboBox1->currentIndex(), c.entry);
        moveTo(cell((c.grabColumn + c.toColumn) / 2, (c.grabRow + c.toRow) / 2));
        moveTo(cell(c.toColumn, c.toRow));
        moveTo(QPoint(-3, -3));  // off the grid: ignored
        release(c.toColumn, c.toRow);
        moveTo(cell(0, 0));  // after the release nothing moves
        const ElementValues v = DecodeElement(f.config, c.entry);
        EXPECT_EQ(v.x, c.x);
        EXPECT_EQ(v.y, c.y);
        EXPECT_EQ(f.Edit1->text(), QString::number(c.shownX));
        EXPECT_EQ(r[0] & (c.entry >= 1 && c.large && c.entry <= 22 ? 0xC0 : 0x80), highBits0);
        EXPECT_EQ(r[1] & 0xC0, highBits1);
    }
}

TEST_F(EditorTest, HiddenSmallDisplayElementGetsItsLastShownXBack) {
    emptyLayouts(false);
    placeText(8, 30, 12, 1);  // big font: bit 7
    f.ShowLoadedConfiguration();
    select(8);
    EXPECT_TRUE(f.CheckBox1->isChecked());
    f.CheckBox1->click();
    EXPECT_EQ(rec(8)[0], 0x80 | 99);  // font bit kept
    select(2);
    select(8);
    EXPECT_FALSE(f.CheckBox1->isChecked());
    EXPECT_EQ(f.Edit1->text(), "30");
    f.UpDown1->click(TUpDown::Direction::Up);  // not visible: the image keeps X 99
    EXPECT_EQ(rec(8)[0], 0x80 | 99);
    f.CheckBox1->click();
    EXPECT_EQ(rec(8)[0], 0x80 | 31);
}

TEST_F(EditorTest, LargeDisplayHidingKeepsPositionAndAFontShowsAgain) {
    emptyLayouts(true);
    placeText(5, 50, 12, 0);
    f.ShowLoadedConfiguration();
    select(5);
    EXPECT_EQ(rec(5)[0], 0x19);
    f.CheckBox1->click();
    EXPECT_EQ(rec(5)[0], 0xD9);
    select(0);
    select(5);
    EXPECT_EQ(f.Edit1->text(), "50");
    EXPECT_EQ(f.RadioGroup1->itemIndex(), 0);  // the hidden element leaves the choice as it was
    f.RadioGroup1->button(1)->click();
    EXPECT_EQ(rec(5)[0], 0x40 | 0x19);
    EXPECT_FALSE(f.CheckBox1->isChecked());
    // The bar and lines hide with bit 7.
    placeLine(2, 30, 40, 50, false);
    select(24);
    f.CheckBox1->click();
    EXPECT_EQ(rec(24)[0], 0x80 | 30);
    f.CheckBox1->click();
    EXPECT_EQ(rec(24)[0], 30);
}

TEST_F(EditorTest, PropertyControlsWriteTheirBits) {
    struct Case {
        const char* what;
        bool large;
        int entry;
        std::function<void(TForm1&)> act;
        int byte;
        uint8_t before, after;
    };
    const Case cases[] = {
        {"negative on", false, 4, [](TForm1& f) { f.CheckBox2->click(); }, 1, 0x8A, 0xCA},
        {"vertical on", true, 23, [](TForm1& f) { f.CheckBox2->click(); }, 2, 0x14, 0x94},
        {"right alignment", false, 4, [](TForm1& f) { f.RadioGroup2->button(1)->click(); }, 1, 0x4A, 0xCA},
        {"big font on 84 x 48", false, 4, [](TForm1& f) { f.RadioGroup1->button(1)->click(); }, 0, 0x0A, 0x8A},
        {"medium font on 128 x 64", true, 4, [](TForm1& f) { f.RadioGroup1->button(1)->click(); }, 0, 0x05, 0x45},
        {"bar length up", false, 0, [](TForm1& f) { f.UpDown3->click(TUpDown::Direction::Up); }, 2, 0x14, 0x15},
        {"bar size down", false, 0, [](TForm1& f) { f.UpDown4->click(TUpDown::Direction::Down); }, 3, 0x08, 0x07},
        {"line length keeps vertical", true, 23, [](TForm1& f) { f.UpDown3->click(TUpDown::Direction::Up); }, 2, 0x94,
         0x95},
        {"line thickness", true, 23, [](TForm1& f) { f.UpDown4->click(TUpDown::Direction::Up); }, 1, 0x45, 0x85},
        {"Y keeps the top bits", false, 4, [](TForm1& f) { f.UpDown2->click(TUpDown::Direction::Up); }, 1, 0xCA, 0xCB},
        {"X of a 128 x 64 text", true, 4, [](TForm1& f) { f.UpDown1->click(TUpDown::Direction::Up); }, 0, 0x45,
         0x45},  // 10 -> 11 is stored as 10
        {"bar ignores negative", false, 0, [](TForm1& f) { f.CheckBox2->click(); }, 1, 0x0A, 0x0A},
        {"text ignores length", false, 4, [](TForm1& f) { f.UpDown3->click(TUpDown::Direction::Up); }, 0, 0x0A, 0x0A},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        emptyLayouts(c.large);
        placeBar(2, 10, 20, 8);
        placeText(4, 10, 10);
        placeLine(1, 5, 5, 20, false, 2);
        f.ShowLoadedConfiguration();
        rec(c.entry)[c.byte] = c.before;
        select(c.entry);
        c.act(f);
        EXPECT_EQ(rec(c.entry)[c.byte], c.after);
    }
}

TEST_F(EditorTest, TypedValues) {
    struct Case {
        const char* what;
        bool large;
        int entry;
        int edit;  // 1 .. 4
        QString keys;
        QString shown;
        int byte;
        uint8_t after;
    };
    const Case cases[] = {
        {"X 90 on 84 x 48 stores 82", false, 4, 1, "90", "82", 0, 82},
        {"letters are refused", false, 4, 1, "1x5", "15", 0, 15},
        {"odd X on 128 x 64", true, 4, 1, "51", "51", 0, 25},
        {"Y 70 on 128 x 64 stores 63", true, 4, 2, "70", "63", 1, 0xC0 | 63},
        {"Y keeps alignment and negative", false, 4, 2, "47", "47", 1, 0xC0 | 47},
        {"empty X falls back to the image", false, 4, 1, "", "10", 0, 10},
        {"thickness 5 wraps to 1", true, 23, 4, "5", "5", 1, 0x05},
        {"thickness 4", true, 23, 4, "4", "4", 1, 0xC5},
        {"bar length 200 is kept", false, 0, 3, "200", "200", 2, 200},
        {"bar size beyond its range is kept", false, 0, 4, "40", "40", 3, 40},
        {"line length keeps vertical", true, 25, 3, "300", "300", 2, 0x80 | (300 & 0x7F)},
        {"length of a text element is ignored", false, 4, 3, "9", "", 0, 10},
        {"too many digits fall back", false, 0, 3, "99999999999", "20", 2, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        emptyLayouts(c.large);
        placeBar(2, 10, 20, 8);
        placeText(4, 10, 10);
        placeLine(1, 5, 5, 20, false, 2);
        placeLine(3, 5, 5, 20, true);
        f.ShowLoadedConfiguration();
        if (c.entry == 4 && c.edit == 2) rec(4)[1] |= 0xC0;
        select(c.entry);
        QLineEdit* edits[] = {f.Edit1, f.Edit2, f.Edit3, f.Edit4};
        QLineEdit* edit = edits[c.edit - 1];
        type(edit, c.keys);
        EXPECT_EQ(edit->text(), c.shown.isEmpty() ? c.keys : c.shown);
        EXPECT_EQ(rec(c.entry)[c.byte], c.after);
    }
}

// A typed value is applied and drawn when the edit is left and when Enter is pressed in it.
TEST_F(EditorTest, TypedValuesShowAtOnceAndEnterAppliesThem) {
    struct Case {
        const char* what;
        int edit;  // 1 .. 4
        bool enter;
        QString keys;
        int byte;
        uint8_t after;
    };
    const Case cases[] = {
        {"Y left", 2, false, "30", 1, 30},       {"Y with Enter", 2, true, "31", 1, 31},
        {"X with Enter", 1, true, "40", 0, 40},  {"length with Enter", 3, true, "25", 2, 25},
        {"size with Enter", 4, true, "6", 3, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        emptyLayouts(false);
        placeBar(2, 10, 20, 8);
        f.ShowLoadedConfiguration();
        select(0);
        QLineEdit* edits[] = {f.Edit1, f.Edit2, f.Edit3, f.Edit4};
        QLineEdit* edit = edits[c.edit - 1];
        edit->setFocus();
        edit->clear();
        QTest::keyClicks(edit, c.keys);
        if (c.enter) QTest::keyClick(edit, Qt::Key_Return);
        else type(edit, c.keys);
        EXPECT_EQ(rec(0)[c.byte], c.after);
        EXPECT_EQ(edit->text(), c.keys);
        PreviewCanvas expected;
        RenderPreview(expected, f.config, f.config.ElementOffset(0));
        EXPECT_TRUE(expected.pixels == f.previewCanvas.pixels) << "the preview lags behind the image";
    }
}
