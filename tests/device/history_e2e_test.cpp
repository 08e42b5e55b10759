// Undo, the unsaved mark and its question around the commands that exchange the
// configuration with the virtual display.

#include <QAction>

#include "config_image.h"
#include "device_fixture.h"
#include "line_protocol.h"

using namespace vorkal;
using namespace vorkal::testing;
using sim::SimVariant;

namespace {

const QString kClean = "Vorkal Configurator v0.72";
const QString kMarked = "Vorkal Configurator v0.72 *";

class HistoryE2E : public WindowFixture {
protected:
    void read() {
        const size_t before = messages().size();
        form->Button3->click();
        ASSERT_EQ(messages().size(), before) << messages().join(" | ").toStdString();
    }
    int questions() const {
        return int(std::count_if(scripted.shown.begin(), scripted.shown.end(),
                                 [](const auto& s) { return s.kind == "yesno"; }));
    }
    // Commands the display has taken, after a probe read that waits for its reply, so
    // anything sent before the probe has been counted.
    uint64_t commandsSettled() {
        form->SendCommand(ClearScreenCommand(), ReplyTimeout::ClearScreen);
        EXPECT_EQ(form->WaitReply(), 'O');
        return display->counters().commands;
    }
};

}  // namespace

TEST_F(HistoryE2E, ReceiveAsksAboutUnsavedEditsAndUndoReturnsTheImageWithoutSending) {
    startDisplay(SimVariant::D128x64);
    ASSERT_NO_FATAL_FAILURE(connect());
    ASSERT_NO_FATAL_FAILURE(read());
    EXPECT_EQ(form->windowTitle(), kClean);
    EXPECT_EQ(questions(), 0);

    // An edit through a control: marked; Receive answered No reads nothing.
    form->ComboBox1->setCurrentIndex(1);
    form->ComboBox1Change();
    form->UpDown2->click(TUpDown::Direction::Up);
    EXPECT_EQ(form->windowTitle(), kMarked);
    const auto edited = form->config.image;
    const uint64_t blocksBefore = display->counters().commands;
    form->Button3->click();
    EXPECT_EQ(questions(), 1);
    EXPECT_EQ(form->config.image, edited);
    EXPECT_LE(display->counters().commands - blocksBefore, 2u) << "no read: at most a poll step";

    // Yes: the display's image comes in, as one step that undo takes back.
    auto displayImage = display->configMemory();
    displayImage[130] ^= 0x01;  // a byte the edit did not touch, so the step shows
    displayImage[508] = 0x40;   // and four layouts instead of three
    display->setConfigMemory(displayImage);
    scripted.answers = {MsgAnswer::Yes};
    ASSERT_NO_FATAL_FAILURE(read());
    EXPECT_EQ(questions(), 2);
    EXPECT_EQ(form->config.image[130], displayImage[130]);
    EXPECT_EQ(form->RadioGroup3->count(), 4);
    EXPECT_EQ(form->windowTitle(), kClean);

    form->Timer2->stop();  // the poll's own commands would blur the count
    ASSERT_TRUE(waitFor([this] { return !form->DeviceWaiting(); }));
    const uint64_t commands = commandsSettled();
    form->undoAction->trigger();
    EXPECT_EQ(form->config.image, edited);
    EXPECT_EQ(form->windowTitle(), kMarked);
    EXPECT_EQ(form->RadioGroup3->count(), 3);  // rebuilt without telling the display
    const int selected = form->ComboBox1->currentIndex();  // the controls show the image as it is
    EXPECT_EQ(form->UpDown2->position(), form->config.image[form->config.ElementOffset(selected) + 1] & 0x3F);
    form->redoAction->trigger();
    EXPECT_EQ(form->config.image[130], displayImage[130]);
    EXPECT_EQ(form->RadioGroup3->count(), 4);
    EXPECT_EQ(commandsSettled(), commands + 1) << "undo and redo sent something";
    form->Timer2->start();

    // Send clears the mark.
    form->UpDown2->click(TUpDown::Direction::Up);
    EXPECT_EQ(form->windowTitle(), kMarked);
    form->Button4->click();
    EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
    EXPECT_EQ(form->windowTitle(), kClean);
}

TEST_F(HistoryE2E, LoadDefaultsIsOneStep) {
    startDisplay(SimVariant::D84x48Log);
    ASSERT_NO_FATAL_FAILURE(connect());
    ASSERT_NO_FATAL_FAILURE(read());
    form->ComboBox1->setCurrentIndex(0);
    form->ComboBox1Change();
    form->UpDown1->click(TUpDown::Direction::Up);
    const auto edited = form->config.image;

    scripted.answers = {MsgAnswer::Yes};
    form->Button7->click();
    ASSERT_EQ(messages().value(0), "Return to Defaults Succes !");
    ConfigImage factory;
    factory.LoadFactoryImage();
    EXPECT_EQ(form->config.image, factory.image);
    EXPECT_EQ(form->windowTitle(), kClean);  // the display holds what the window holds

    form->undoAction->trigger();
    EXPECT_EQ(form->config.image, edited);
    EXPECT_EQ(form->windowTitle(), kMarked);
    form->redoAction->trigger();
    EXPECT_EQ(form->config.image, factory.image);
    EXPECT_EQ(form->windowTitle(), kClean);
}
