// The edit history on its own: steps as byte runs, undo and redo across variants and
// the log image, dropping redo steps, the capacity, state ids and the memory it holds.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "edit_history.h"

using namespace vorkal;

namespace {

std::unique_ptr<ConfigImage> factoryImage(DisplayVariant v) {
    auto c = std::make_unique<ConfigImage>();
    c->setVariant(v);
    c->LoadFactoryImage();
    c->separateLog = v == DisplayVariant::D128x64;
    return c;
}

bool same(const ConfigImage& a, const ConfigImage& b) {
    return a.image == b.image && a.logImage == b.logImage && a.variant() == b.variant() &&
           a.separateLog == b.separateLog && a.configurationLoaded == b.configurationLoaded;
}

}  // namespace

TEST(EditHistory, UndoAndRedoWalkTheStepsBothWays) {
    EditHistory history;
    auto config = factoryImage(DisplayVariant::D84x48);
    config->configurationLoaded = true;
    std::vector<ConfigImage> states{*config};
    // A small edit, a scattered edit, a whole new image with another variant and a log,
    // and the image put away unchanged when a display of the other variant answers.
    const auto edits = std::vector<std::function<void(ConfigImage&)>>{
        [](ConfigImage& c) { c.image[4] = 0x30; },
        [](ConfigImage& c) { c.image[0] = 7, c.image[9] = 1, c.image[400] = 2, c.image[1023] = 3; },
        [](ConfigImage& c) {
            c.setVariant(DisplayVariant::D128x64);
            c.LoadFactoryImage();
            c.separateLog = true;
            c.logImage.fill(0x5A);
            c.logImage[kLogImageSize - 1] = 1;
        },
        [](ConfigImage& c) {
            c.setVariant(DisplayVariant::D84x48);
            c.configurationLoaded = false;
        },
    };
    for (const auto& edit : edits) {
        const ConfigImage before = *config;
        edit(*config);
        ASSERT_TRUE(history.record(before, *config));
        states.push_back(*config);
    }
    EXPECT_EQ(history.undoCount(), 4);

    for (int s = 3; s >= 0; --s) {
        bool logChanged = false;
        ASSERT_TRUE(history.undo(*config, &logChanged));
        EXPECT_TRUE(same(*config, states[size_t(s)])) << "after undoing to state " << s;
        EXPECT_EQ(logChanged, s == 2);
    }
    EXPECT_FALSE(history.undo(*config));
    for (int s = 1; s <= 4; ++s) {
        ASSERT_TRUE(history.redo(*config));
        EXPECT_TRUE(same(*config, states[size_t(s)])) << "after redoing to state " << s;
    }
    EXPECT_FALSE(history.redo(*config));
}

TEST(EditHistory, NoStepForNoChangeAndANewStepDropsTheRedoSteps) {
    EditHistory history;
    auto config = factoryImage(DisplayVariant::D84x48);
    EXPECT_FALSE(history.record(*config, *config));
    const uint64_t start = history.stateId();
    const uint8_t factory11 = config->image[11];

    ConfigImage before = *config;
    config->image[10] = 1;
    history.record(before, *config);
    const uint64_t afterFirst = history.stateId();
    before = *config;
    config->image[11] = 2;
    history.record(before, *config);
    EXPECT_NE(history.stateId(), afterFirst);

    history.undo(*config);
    EXPECT_EQ(history.stateId(), afterFirst);
    history.undo(*config);
    EXPECT_EQ(history.stateId(), start);
    EXPECT_EQ(history.redoCount(), 2);

    before = *config;
    config->image[12] = 3;
    history.record(before, *config);
    EXPECT_EQ(history.redoCount(), 0);
    EXPECT_EQ(history.undoCount(), 1);
    // The new branch is a state of its own, never mistaken for the dropped ones.
    EXPECT_NE(history.stateId(), start);
    EXPECT_NE(history.stateId(), afterFirst);
    EXPECT_FALSE(history.redo(*config));
    EXPECT_EQ(config->image[11], factory11);  // the dropped step is gone for good

    history.clear();
    EXPECT_FALSE(history.canUndo());
    EXPECT_EQ(config->image[12], 3);
}

// Undo puts back only what the step changed: a byte the window did not change through
// a step (the status poll's header read) keeps its newer value.
TEST(EditHistory, UndoLeavesBytesOutsideTheStepAlone) {
    EditHistory history;
    auto config = factoryImage(DisplayVariant::D84x48);
    const ConfigImage before = *config;
    config->image[4] = 60;
    history.record(before, *config);
    config->image[509] = 0x23;  // changed outside any step
    history.undo(*config);
    EXPECT_EQ(config->image[4], before.image[4]);
    EXPECT_EQ(config->image[509], 0x23);
    history.redo(*config);
    EXPECT_EQ(config->image[4], 60);
    EXPECT_EQ(config->image[509], 0x23);
}

TEST(EditHistory, KeepsItsCapacityAndLittleMemoryForSmallSteps) {
    EditHistory history(200);
    auto config = factoryImage(DisplayVariant::D128x64);
    const ConfigImage first = *config;
    for (int n = 0; n < 250; ++n) {
        const ConfigImage before = *config;
        config->image[4] = uint8_t(n);  // an element moved
        config->image[5] = uint8_t(n / 2);
        history.record(before, *config);
    }
    EXPECT_EQ(history.undoCount(), 200);
    while (history.undo(*config)) {}
    // The oldest 50 steps went: undoing all that is kept ends after step 50.
    EXPECT_EQ(config->image[4], 49);
    EXPECT_NE(config->image[4], first.image[4]);
    // 200 two-byte steps: a small fraction of one 33792-byte copy each.
    EXPECT_LT(history.memoryBytes(), size_t(200 * 256));

    // A whole import holds one copy of the bytes it changed.
    EditHistory imports(200);
    auto big = factoryImage(DisplayVariant::D128x64);
    const ConfigImage before = *big;
    big->logImage.fill(0x11);
    imports.record(before, *big);
    EXPECT_GT(imports.memoryBytes(), size_t(kLogImageSize));
    EXPECT_LT(imports.memoryBytes(), size_t(kLogImageSize) + 4096);
}
