// A display that answers as the other variant while a configuration is shown: the real
// window against the virtual display over a pseudo-terminal.

#include <QTimer>
#include <algorithm>

#include "config_image.h"
#include "device_fixture.h"
#include "element_catalogue.h"
#include "preview_canvas.h"
#include "preview_grid.h"
#include "put_away_note.h"

using namespace vorkal;
using namespace vorkal::testing;
using sim::SimVariant;

namespace {

DisplayVariant VariantOf(SimVariant v) {
    return v == SimVariant::D128x64 ? DisplayVariant::D128x64 : DisplayVariant::D84x48;
}

class DisplayType : public WindowFixture {
protected:
    // The display restarts with the firmware of another variant (its factory settings),
    // and the poll runs until the window has followed its version line.
    void switchDisplayTo(SimVariant to) {
        display->withMemory([to](sim::DisplayMemory& m) { m.reset(to, "v1.23"); });
        const DisplayVariant v = VariantOf(to);
        ASSERT_TRUE(waitTakingPollTicks(
            [&] { return form->config.variant() == v && !form->session().firmwareVersion.isEmpty(); }));
        form->Timer2Timer();
    }

    // Ink pixels on the preview's visible screen.
    int inkOnPreview() const {
        int ink = 0;
        for (int x = 0; x < form->config.width(); ++x)
            for (int y = 0; y < form->config.height(); ++y)
                ink += form->previewCanvas.pixels[size_t(x * kCanvasRows + y)];
        return ink;
    }

    // The editor is set up for variant `v`: element list, up-down ranges and preview grid.
    void expectEditorFor(DisplayVariant v) {
        const VariantInfo& info = variantInfo(v);
        EXPECT_EQ(form->config.variant(), v);
        QStringList entries;
        for (int i = 0; i < form->ComboBox1->count(); ++i) entries << form->ComboBox1->itemText(i);
        EXPECT_EQ(entries, ElementListEntries(v, false));
        EXPECT_EQ(form->UpDown1->max(), info.width - 2);
        EXPECT_EQ(form->UpDown2->max(), info.height - 2);
        EXPECT_EQ(form->UpDown3->max(), info.width - 1);
        EXPECT_EQ(form->StringGrid1->geometry(),
                  QRect(info.grid.left, info.grid.top, info.grid.width, info.grid.height));
        EXPECT_EQ(form->RadioGroup1->count(), v == DisplayVariant::D128x64 ? 3 : 2);
    }

    bool unsavedMark() const { return form->windowTitle().endsWith(" *"); }
};

}  // namespace

// The configuration shown belongs to the other variant now: it is put away unchanged,
// the editor and the preview follow the display, Send and Export are off until Receive
// reads this display, and undo brings the configuration back with its unsaved edit.
TEST_F(DisplayType, TheEditorFollowsTheDisplayAndTheShownConfigurationIsPutAway) {
    struct Case {
        SimVariant from, to;
        bool edited;  // an unsaved edit when the display switches
    };
    for (const Case c : {Case{SimVariant::D84x48Log, SimVariant::D128x64, true},
                         Case{SimVariant::D128x64, SimVariant::D84x48Log, false}}) {
        SCOPED_TRACE(c.edited ? "84 x 48 to 128 x 64, edited" : "128 x 64 to 84 x 48, saved");
        const DisplayVariant from = VariantOf(c.from), to = VariantOf(c.to);
        startDisplay(c.from);
        ASSERT_NO_FATAL_FAILURE(connect());
        stretchReplyTimeouts();
        shortenSequencePauses();
        form->Button3->click();
        ASSERT_TRUE(form->config.configurationLoaded);
        if (c.edited) {
            form->ComboBox1->setCurrentIndex(1);
            form->ComboBox1Change();
            form->Edit2->setText(QString::number(form->UpDown2->position() + 1));
            form->Edit2Exit();
        }
        ASSERT_EQ(unsavedMark(), c.edited);
        const auto shownImage = form->config.image;

        ASSERT_NO_FATAL_FAILURE(switchDisplayTo(c.to));
        expectEditorFor(to);
        EXPECT_FALSE(form->config.configurationLoaded);
        EXPECT_EQ(form->config.image, shownImage);  // put away, not converted
        EXPECT_EQ(inkOnPreview(), 0);
        EXPECT_TRUE(form->PutAwayNote->isVisible());
        EXPECT_TRUE(form->PutAwayNote->text().contains(c.edited ? "128 x 64 one" : "84 x 48 one"))
            << form->PutAwayNote->text().toStdString();
        EXPECT_EQ(form->view(), TForm1::View::Start);
        EXPECT_FALSE(form->Button4->isEnabled());
        EXPECT_FALSE(form->Button2->isEnabled());
        EXPECT_TRUE(form->Button3->isEnabled());
        EXPECT_EQ(unsavedMark(), c.edited);
        // A poll tick, or the same display answering again, changes nothing more.
        ASSERT_NO_FATAL_FAILURE(switchDisplayTo(c.to));
        EXPECT_FALSE(form->config.configurationLoaded);
        EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();

        // Receive reads this display's configuration into the editor of its variant, after
        // asking first when the configuration put away held unsaved changes.
        scripted.answers = {MsgAnswer::Yes};
        scripted.shown.clear();
        form->Button3->click();
        EXPECT_EQ(scripted.shown.size(), c.edited ? 1u : 0u);
        if (c.edited) {
            EXPECT_TRUE(scripted.shown[0].text.contains("Drop these changes?"));
        }
        scripted.answers.clear();
        ASSERT_TRUE(form->config.configurationLoaded);
        expectEditorFor(to);
        const auto held = display->configMemory();
        EXPECT_TRUE(std::equal(held.begin(), held.begin() + variantInfo(to).imageBytes, form->config.image.begin()));
        EXPECT_FALSE(form->PutAwayNote->isVisible());
        EXPECT_GT(inkOnPreview(), 0);
        EXPECT_EQ(form->view(), TForm1::View::Screen);
        EXPECT_TRUE(form->Button4->isEnabled());
        EXPECT_FALSE(unsavedMark());

        // With the port closed (no display takes the window back), undo goes back past the
        // Receive to the configuration put away, as it was, in its own variant.
        form->Button5->click();
        ASSERT_FALSE(form->AfComPort1->IsOpen());
        form->UndoEdit();
        EXPECT_FALSE(form->config.configurationLoaded);
        EXPECT_EQ(form->config.variant(), to);
        EXPECT_TRUE(form->PutAwayNote->isVisible());
        form->UndoEdit();
        ASSERT_TRUE(form->config.configurationLoaded);
        expectEditorFor(from);
        EXPECT_EQ(form->config.image, shownImage);
        EXPECT_FALSE(form->PutAwayNote->isVisible());
        EXPECT_EQ(form->view(), TForm1::View::Screen);
        EXPECT_TRUE(form->Button2->isEnabled());
        EXPECT_GT(inkOnPreview(), 0);
        if (c.edited) {
            EXPECT_TRUE(unsavedMark());  // the edit is still neither sent nor exported
        }
        TearDown();
    }
}

// The display switched just before a Receive whose start met the poll's version answer:
// the Receive reads the switched display with its variant's block count.
TEST_F(DisplayType, AReceiveRightAfterTheVersionQueryReadsTheSwitchedDisplay) {
    ASSERT_NO_FATAL_FAILURE(connectAndReceive());
    form->Timer2->stop();
    for (int i = 0; i <= kDemoScriptLength && !nextPollStepAsksVersion(); ++i) form->Timer2Timer();
    display->withMemory([](sim::DisplayMemory& m) { m.reset(SimVariant::D128x64, "v1.23"); });
    // The answer waits in the receive queue, not yet taken, when Receive is pressed.
    ASSERT_NO_FATAL_FAILURE(sendVersionQueryAndLetTheAnswerArrive(8));
    form->Button3->click();
    EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
    EXPECT_EQ(form->Form2->ProgressBar1->maximum(), 64);
    EXPECT_EQ(form->config.image, display->configMemory());
    ASSERT_TRUE(form->config.configurationLoaded);
    expectEditorFor(DisplayVariant::D128x64);
    EXPECT_FALSE(form->PutAwayNote->isVisible());
    // One step back is the 84 x 48 configuration shown before.
    form->Button5->click();
    form->UndoEdit();
    EXPECT_TRUE(form->config.configurationLoaded);
    expectEditorFor(DisplayVariant::D84x48);
}
