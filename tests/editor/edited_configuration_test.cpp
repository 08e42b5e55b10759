// The edited configuration without a window: steps that nest, undo and redo, the
// unsaved mark measured against what was saved, and the editing operations with what
// each reports.

#include <gtest/gtest.h>

#include <QSignalSpy>

#include "edited_configuration.h"
#include "element_catalogue.h"
#include "layout_editor.h"

using namespace vorkal;

namespace {

// A factory configuration of one variant, shown (as after an Import) and saved.
struct Edited {
    explicit Edited(DisplayVariant variant = DisplayVariant::D84x48) {
        ConfigImage& c = model.image();
        c.setVariant(variant);
        c.separateLog = variant == DisplayVariant::D128x64;
        c.LoadFactoryImage();
        c.configurationLoaded = true;
        c.selectedLayout = 0;
        model.markSaved();
    }
    ConfigImage& c() { return model.image(); }
    ElementValues at(int i) { return DecodeElement(model.image(), i); }
    void place(int i, int x, int y) {
        StoreX(c(), i, x);
        StoreY(c(), i, y);
    }
    EditedConfiguration model;
};

}  // namespace

TEST(EditedConfiguration, NestedStepsRecordOnceAndOnlyWhenSomethingChanged) {
    Edited e;
    const auto start = e.c().image;
    {
        const EditedConfiguration::Step outer(e.model);
        StoreY(e.c(), 1, 10);
        {
            const EditedConfiguration::Step inner(e.model);
            StoreY(e.c(), 2, 11);
        }
        EXPECT_EQ(e.model.history().undoCount(), 0) << "the inner step recorded on its own";
    }
    EXPECT_EQ(e.model.history().undoCount(), 1);
    { const EditedConfiguration::Step nothing(e.model); }
    EXPECT_EQ(e.model.history().undoCount(), 1) << "a step that changed nothing was recorded";
    const int y3 = e.at(3).y;
    {
        const EditedConfiguration::Step quiet(e.model, false);  // showing the image, not editing it
        StoreY(e.c(), 3, 12);
    }
    EXPECT_EQ(e.model.history().undoCount(), 1);
    StoreY(e.c(), 3, y3);

    ASSERT_TRUE(e.model.undo());
    EXPECT_EQ(e.c().image, start) << "both changes of the one step are undone";
    EXPECT_FALSE(e.model.undo());
    ASSERT_TRUE(e.model.redo());
    EXPECT_EQ(e.at(1).y, 10);
    EXPECT_EQ(e.at(2).y, 11);

    // Before a configuration is shown nothing is recorded and nothing steps.
    EditedConfiguration empty;
    {
        const EditedConfiguration::Step step(empty);
        empty.image().image[100] = 7;
    }
    EXPECT_FALSE(empty.history().canUndo());
    EXPECT_FALSE(empty.hasUnsavedChanges());
}

TEST(EditedConfiguration, NoUndoWhileAStepIsOpenAndADragIsOneStep) {
    Edited e;
    e.model.openStep();
    StoreY(e.c(), 1, 20);
    EXPECT_FALSE(e.model.undo()) << "undo in the middle of a step";
    e.model.closeStep();

    const int y = e.at(1).y;
    e.model.beginDrag();
    for (int dy = 1; dy <= 5; ++dy) e.model.moveElement(1, e.at(1).x, y + dy);
    EXPECT_EQ(e.model.history().undoCount(), 1) << "the drag recorded before its release";
    e.model.endDrag();
    EXPECT_EQ(e.model.history().undoCount(), 2);
    e.model.endDrag();  // a second release closes nothing more
    EXPECT_FALSE(e.model.stepOpen());

    // An undo during a drag ends the drag first, then takes it back whole.
    e.model.beginDrag();
    e.model.moveElement(1, e.at(1).x, 2);
    ASSERT_TRUE(e.model.undo());
    EXPECT_EQ(e.at(1).y, y + 5);
    EXPECT_FALSE(e.model.stepOpen());
    EXPECT_FALSE(e.model.dragging());
}

TEST(EditedConfiguration, ADraggedElementKeepsTheGrabbedPointUnderThePointer) {
    Edited e;
    e.place(1, 10, 10);
    e.model.markSaved();
    const ElementValues before = e.at(1);
    e.model.dragTo(1, 40, 30);  // no drag open: nothing moves
    EXPECT_EQ(e.at(1).x, before.x);
    EXPECT_EQ(e.at(1).y, before.y);
    EXPECT_EQ(e.model.history().undoCount(), 0);

    // Pressed 3 cells right of and 2 below the element's corner.
    e.model.beginDrag(3, 2);
    EXPECT_TRUE(e.model.dragging());
    e.model.dragTo(1, before.x + 3 + 10, before.y + 2 + 4);
    EXPECT_EQ(e.at(1).x, before.x + 10);
    EXPECT_EQ(e.at(1).y, before.y + 4);
    e.model.endDrag();
    EXPECT_FALSE(e.model.dragging());
    e.model.dragTo(1, 0, 0);  // after the release the pointer drags nothing
    EXPECT_EQ(e.at(1).x, before.x + 10);
    EXPECT_EQ(e.model.history().undoCount(), 1);
}

TEST(EditedConfiguration, UnsavedMeansDifferentFromWhatWasSavedLast) {
    Edited e;
    QSignalSpy state(&e.model, &EditedConfiguration::stateChanged);
    EXPECT_FALSE(e.model.hasUnsavedChanges());
    e.model.nudgeElement(1, 0, 1);
    EXPECT_TRUE(e.model.hasUnsavedChanges());
    EXPECT_GE(state.count(), 1);
    e.model.undo();
    EXPECT_FALSE(e.model.hasUnsavedChanges()) << "undone back to the saved image";
    e.model.redo();
    EXPECT_TRUE(e.model.hasUnsavedChanges());

    // Two edits that cancel out are two steps but the saved image again.
    e.model.undo();
    e.model.nudgeElement(1, 0, 1);
    e.model.nudgeElement(1, 0, -1);
    EXPECT_EQ(e.model.history().undoCount(), 2);
    EXPECT_FALSE(e.model.hasUnsavedChanges());

    // Saved after an edit (Export): undoing past it marks again, redoing clears.
    e.model.nudgeElement(1, 0, 2);
    e.model.markSaved();
    EXPECT_FALSE(e.model.hasUnsavedChanges());
    e.model.undo();
    EXPECT_TRUE(e.model.hasUnsavedChanges());
    e.model.redo();
    EXPECT_FALSE(e.model.hasUnsavedChanges());

    // The log, the variant and the separate-log flag count as much as the layouts.
    struct Case {
        const char* name;
        std::function<void(ConfigImage&)> change;
    };
    const Case cases[] = {
        {"log byte", [](ConfigImage& c) { c.logImage[4000] ^= 1; }},
        {"separate log", [](ConfigImage& c) { c.separateLog = !c.separateLog; }},
        {"variant", [](ConfigImage& c) { c.setVariant(DisplayVariant::D128x64); }},
        {"speed byte", [](ConfigImage& c) { c.image[kSpeedByte] ^= 0x10; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            const EditedConfiguration::Step step(e.model);
            c.change(e.c());
        }
        EXPECT_TRUE(e.model.hasUnsavedChanges());
        e.model.undo();
        EXPECT_FALSE(e.model.hasUnsavedChanges());
    }
}

// What the display changes outside any step (the poll's header read, a variant it
// announces) is not the user's: it marks nothing, and undoing the user's edit after it
// clears the mark again.
TEST(EditedConfiguration, ChangesOutsideAStepAreNoEdits) {
    Edited e;
    e.c().image[kLayoutByte] = 0x41;
    e.c().setVariant(DisplayVariant::D128x64);
    EXPECT_FALSE(e.model.hasUnsavedChanges());
    e.model.nudgeElement(1, 0, 1);
    EXPECT_TRUE(e.model.hasUnsavedChanges());
    e.model.undo();
    EXPECT_FALSE(e.model.hasUnsavedChanges());

    // Never saved: nothing is marked until the user edits.
    EditedConfiguration fresh;
    fresh.image().LoadFactoryImage();
    fresh.image().configurationLoaded = true;
    EXPECT_FALSE(fresh.hasUnsavedChanges());
    {
        const EditedConfiguration::Step step(fresh);
        fresh.image().image[1] ^= 1;
    }
    EXPECT_TRUE(fresh.hasUnsavedChanges());
}

// Receive, Import and Load Defaults mark the image saved inside their step: what counts
// is the image when the step ends, corrections made on showing it included.
TEST(EditedConfiguration, SavedInsideAStepCountsFromTheStepsEnd) {
    Edited e;
    e.model.nudgeElement(1, 0, 1);
    {
        const EditedConfiguration::Step step(e.model);
        e.c().image.fill(0x20);
        e.model.markSaved();
        EXPECT_TRUE(e.model.hasUnsavedChanges()) << "saved before the step ended";
        e.c().image[3] = 0x21;  // corrected while it is shown
    }
    EXPECT_FALSE(e.model.hasUnsavedChanges());
    e.model.undo();
    EXPECT_TRUE(e.model.hasUnsavedChanges()) << "the edit before the received image";
}

TEST(EditedConfiguration, UndoReportsTheVariantBeforeAndWhetherTheLogChanged) {
    Edited e;
    QSignalSpy restored(&e.model, &EditedConfiguration::restored);
    {
        const EditedConfiguration::Step import(e.model);
        e.c().setVariant(DisplayVariant::D128x64);
        e.c().separateLog = true;
        e.c().logImage[10] = 1;
    }
    {
        const EditedConfiguration::Step edit(e.model);
        e.c().image[5] ^= 1;
    }
    ASSERT_TRUE(e.model.undo());
    ASSERT_EQ(restored.count(), 1);
    EXPECT_EQ(restored.at(0).at(0).value<DisplayVariant>(), DisplayVariant::D128x64);
    EXPECT_FALSE(restored.at(0).at(1).toBool());
    ASSERT_TRUE(e.model.undo());
    EXPECT_EQ(restored.at(1).at(0).value<DisplayVariant>(), DisplayVariant::D128x64);
    EXPECT_TRUE(restored.at(1).at(1).toBool());
    EXPECT_EQ(e.c().variant(), DisplayVariant::D84x48);
    EXPECT_FALSE(e.c().separateLog);
    EXPECT_FALSE(e.model.undo());
    EXPECT_EQ(restored.count(), 2) << "a failed undo reported a restore";
}

TEST(EditedConfiguration, TwoHundredStepsCanBeUndone) {
    Edited e;
    const auto start = e.c().image;
    e.place(0, 20, 20);
    e.model.markSaved();
    const auto placed = e.c().image;
    for (int n = 0; n < 200; ++n) ASSERT_TRUE(e.model.nudgeElement(0, n % 2 ? -1 : 1, 0));
    EXPECT_EQ(e.model.history().undoCount(), 200);
    for (int n = 0; n < 200; ++n) ASSERT_TRUE(e.model.undo());
    EXPECT_EQ(e.c().image, placed);
    EXPECT_NE(e.c().image, start);
    EXPECT_FALSE(e.model.hasUnsavedChanges());
}

// Nudges stay on the screen; an element that keeps only even X positions moves two
// pixels for one; a hidden one does not move.
TEST(EditedConfiguration, NudgesKeepTheElementOnTheScreen) {
    struct Case {
        const char* name;
        bool large;
        int entry;
        int x, y;
        int dx, dy;
        int wantX, wantY;
    };
    const Case cases[] = {
        {"right", false, 1, 40, 20, 1, 0, 41, 20},         {"eight left", false, 1, 40, 20, -8, 0, 32, 20},
        {"left edge", false, 1, 3, 20, -8, 0, 0, 20},      {"right edge 84", false, 1, 82, 20, 1, 0, 82, 20},
        {"top edge", false, 0, 10, 0, 0, -1, 10, 0},       {"bottom edge", false, 1, 10, 44, 0, 8, 10, 46},
        {"even X right", true, 1, 10, 20, 1, 0, 12, 20},   {"even X left", true, 1, 10, 20, -1, 0, 8, 20},
        {"even X eight", true, 1, 10, 20, 8, 0, 18, 20},   {"even X edge", true, 1, 126, 20, 1, 0, 126, 20},
        {"line to 127", true, 23, 126, 63, 8, 0, 127, 63}, {"line bottom", true, 23, 5, 60, 0, 8, 5, 63},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Edited e(c.large ? DisplayVariant::D128x64 : DisplayVariant::D84x48);
        e.place(c.entry, c.x, c.y);
        QSignalSpy moved(&e.model, &EditedConfiguration::elementChanged);
        ASSERT_TRUE(e.model.nudgeElement(c.entry, c.dx, c.dy));
        EXPECT_EQ(e.at(c.entry).x, c.wantX);
        EXPECT_EQ(e.at(c.entry).y, c.wantY);
        ASSERT_EQ(moved.count(), 1);
        EXPECT_EQ(moved.at(0).at(0).toInt(), c.entry);
        EXPECT_EQ(moved.at(0).at(1).toInt(), c.wantX);
        EXPECT_EQ(moved.at(0).at(2).toInt(), c.wantY);
        const bool changed = c.wantX != c.x || c.wantY != c.y;
        EXPECT_EQ(e.model.history().undoCount(), changed ? 1 : 0);
    }

    Edited hidden(DisplayVariant::D128x64);
    StoreVisible(hidden.c(), 1, false, 0, hidden.at(1).x);
    const auto before = hidden.c().image;
    EXPECT_FALSE(hidden.model.nudgeElement(1, 1, 0));
    EXPECT_FALSE(hidden.model.centreElementHorizontally(1));
    EXPECT_EQ(hidden.c().image, before);
    EXPECT_FALSE(hidden.model.nudgeElement(999, 1, 0)) << "an entry the variant does not have";
}

TEST(EditedConfiguration, CopyLayoutAndCentreAreOneStepEach) {
    Edited e(DisplayVariant::D128x64);
    ConfigImage& c = e.c();
    const auto before = c.image;
    QSignalSpy layout(&e.model, &EditedConfiguration::layoutChanged);
    EXPECT_FALSE(e.model.copyLayoutTo(0)) << "onto itself";
    EXPECT_FALSE(e.model.copyLayoutTo(c.layoutCount())) << "a layout that does not exist";
    EXPECT_EQ(layout.count(), 0);
    ASSERT_TRUE(e.model.copyLayoutTo(2));
    EXPECT_EQ(layout.count(), 1);
    EXPECT_TRUE(std::equal(c.image.begin(), c.image.begin() + 48, c.image.begin() + 2 * 62));
    EXPECT_TRUE(std::equal(before.begin() + 62, before.begin() + 124, c.image.begin() + 62));
    const auto copied = c.image;

    ASSERT_TRUE(e.model.centreElementHorizontally(1));
    EXPECT_EQ(e.at(1).x, CentredX(c, 1, e.model.maxX(1)));
    EXPECT_EQ(e.model.history().undoCount(), 2);
    e.model.undo();
    EXPECT_EQ(c.image, copied);
    e.model.undo();
    EXPECT_EQ(c.image, before);
    EXPECT_FALSE(e.model.hasUnsavedChanges());
}

TEST(EditedConfiguration, ADisplayOfTheOtherVariantPutsTheConfigurationAwayUntilUndo) {
    Edited e;
    {
        const EditedConfiguration::Step step(e.model);
        StoreY(e.c(), 2, 12);
    }
    ASSERT_TRUE(e.model.hasUnsavedChanges());
    e.c().logLoaded = true;
    const auto bytes = e.c().image;
    const int stepsBefore = e.model.history().undoCount();

    EXPECT_FALSE(e.model.followVariant(DisplayVariant::D84x48)) << "the same variant put something away";
    EXPECT_TRUE(e.model.followVariant(DisplayVariant::D128x64));
    EXPECT_EQ(e.c().variant(), DisplayVariant::D128x64);
    EXPECT_TRUE(e.c().separateLog) << "a 128 x 64 display always keeps its log apart";
    EXPECT_FALSE(e.c().configurationLoaded);
    EXPECT_FALSE(e.c().logLoaded) << "the other display's log stayed";
    EXPECT_EQ(e.model.putAwayVariant(), DisplayVariant::D84x48);
    EXPECT_EQ(e.model.history().undoCount(), stepsBefore + 1) << "putting away is one undo step";
    EXPECT_TRUE(e.model.hasUnsavedChanges()) << "the mark went away with the configuration";

    // Back at the first variant with nothing shown: nothing more is put away or recorded.
    EXPECT_FALSE(e.model.followVariant(DisplayVariant::D84x48));
    EXPECT_EQ(e.model.putAwayVariant(), DisplayVariant::D84x48);
    EXPECT_FALSE(e.c().configurationLoaded);

    // Undo walks back to the configuration as it was, bytes and all.
    while (!e.c().configurationLoaded && e.model.undo()) {}
    EXPECT_TRUE(e.c().configurationLoaded);
    EXPECT_EQ(e.c().variant(), DisplayVariant::D84x48);
    EXPECT_EQ(e.c().image, bytes);
    EXPECT_TRUE(e.model.hasUnsavedChanges());
}

TEST(EditedConfiguration, PuttingAwayInsideAnOpenStepJoinsThatStep) {
    Edited e;
    const int stepsBefore = e.model.history().undoCount();
    {
        const EditedConfiguration::Step receive(e.model);
        EXPECT_TRUE(e.model.followVariant(DisplayVariant::D128x64));
    }
    EXPECT_EQ(e.model.history().undoCount(), stepsBefore + 1);
    EXPECT_FALSE(e.model.hasUnsavedChanges()) << "a saved configuration put away became unsaved";
}
