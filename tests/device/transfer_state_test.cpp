// What the window offers and shows while a transfer runs and after it ends: one action
// at a time, the status behind an error box, the image as it now is after a cancelled
// read, and the questions before destructive commands.

#include <QFile>
#include <QPointer>
#include <QRadioButton>
#include <QTimer>
#include <array>

#include "config_image.h"
#include "device_fixture.h"
#include "layout_editor.h"
#include "preview_grid.h"
#include "preview_renderer.h"
#include "../firmware/firmware_files.h"

using namespace vorkal;
using namespace vorkal::testing;
using sim::SimVariant;

namespace {

class TransferState : public WindowFixture {
protected:
    // The controls that start another action or change the image.
    std::vector<QWidget*> actionControls() const {
        TForm1& f = *form;
        return {f.Button1,   f.Button2, f.Button3,   f.Button4,   f.Button5,     f.Button6,    f.Button7,
                f.Button8,   f.Button9, f.Button10,  f.Button11,  f.RadioGroup3, f.ComboBox1,  f.Edit1,
                f.CheckBox1, f.UpDown1, f.ComboBox2, f.ComboBox3, f.ComboBox4,   f.StringGrid1};
    }
    std::vector<bool> enabledStates() const {
        std::vector<bool> states;
        for (QWidget* w : actionControls()) states.push_back(w->isEnabled());
        return states;
    }
    // A small firmware file the virtual display takes.
    QString hexFile() const {
        const QString path = portDir.filePath("update.hex");
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write(ToHex(MakeFirmware(1300, "v1.23")));
        return path;
    }
    // The element list, the position controls and the preview show the image as it is.
    void expectShowsTheImage() const {
        const int i = form->ComboBox1->currentIndex();
        ASSERT_GE(i, 0);
        const ElementValues v = DecodeElement(form->config, i);
        EXPECT_EQ(form->Edit1->text(), QString::number(v.x));
        EXPECT_EQ(form->Edit2->text(), QString::number(v.y));
        PreviewCanvas expected;
        RenderPreview(expected, form->config, form->config.ElementOffset(i));
        EXPECT_TRUE(expected.pixels == form->previewCanvas.pixels) << "the preview is not the image";
    }
};

}  // namespace

TEST_F(TransferState, EveryUserTransferHoldsTheOtherActionsUntilItEnds) {
    struct Case {
        const char* name;
        std::function<void(TForm1&, ScriptedDialogs&)> act;
    };
    const Case cases[] = {
        {"Receive", [](TForm1& f, ScriptedDialogs&) { f.Button3->click(); }},
        {"Send", [](TForm1& f, ScriptedDialogs&) { f.Button4->click(); }},
        {"Load Defaults",
         [](TForm1& f, ScriptedDialogs& d) {
             d.answers.push_back(MsgAnswer::Yes);
             f.Button7->click();
         }},
        {"Set Baud", [](TForm1& f, ScriptedDialogs&) { f.Button8->click(); }},
        {"Clear Log",
         [](TForm1& f, ScriptedDialogs& d) {
             f.config.logLoaded = true;  // no download on the way to the log view
             f.Button6->click();
             d.answers.push_back(MsgAnswer::Yes);
             f.Button9->click();
         }},
        {"log download",
         [](TForm1& f, ScriptedDialogs&) {
             f.config.logLoaded = false;
             f.Button6->click();
         }},
        {"firmware update",
         [hex = hexFile()](TForm1& f, ScriptedDialogs& d) {
             d.fileAnswers.push_back({hex, 1});
             d.answers.push_back(MsgAnswer::Yes);
             f.Button11->click();
         }},
    };
    startDisplay(SimVariant::D84x48Log);
    ASSERT_NO_FATAL_FAILURE(connect());
    shortenSequencePauses();  // what is held, not for how long
    form->Button3->click();   // a configuration to send and edit
    ASSERT_TRUE(form->config.configurationLoaded);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        scripted.shown.clear();
        if (form->view() == TForm1::View::Log) form->Button6->click();
        ASSERT_TRUE(waitTakingPollTicks([this] { return form->Button3->isEnabled(); }));
        const std::vector<bool> before = enabledStates();
        display->setReplyDelayMs(3);
        const uint64_t start = display->counters().commands;
        // What the user sees once the transfer is under way, and what a click does then.
        bool sampled = false;
        std::vector<QWidget*> enabledDuring;
        bool cancelAvailable = false;
        size_t shownAfterClicks = 0;
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            const bool underWay = display->counters().commands >= start + 3 ||
                                  (form->Form2->isVisible() && form->Form2->ProgressBar1->value() >= 2);
            if (sampled || !underWay) return;
            sampled = true;
            display->setReplyDelayMs(0);  // the slow replies were only there to sample in time
            for (QWidget* w : actionControls())
                if (w->isEnabled()) enabledDuring.push_back(w);
            // A factory load cannot be cancelled, nor a firmware update past its handshake.
            const bool uncancellable = QString(c.name) == "Load Defaults" || QString(c.name) == "firmware update";
            cancelAvailable = !form->Form2->isVisible() || form->Form2->Button1->isEnabled() || uncancellable;
            const size_t shownBefore = scripted.shown.size();
            QTest::mouseClick(form->Button1, Qt::LeftButton);  // Import
            QTest::mouseClick(form->Button5, Qt::LeftButton);  // Close
            shownAfterClicks = scripted.shown.size() - shownBefore;
        });
        sampler.start(2);
        c.act(*form, scripted);
        sampler.stop();
        display->setReplyDelayMs(0);
        ASSERT_TRUE(sampled);
        for (QWidget* w : enabledDuring)
            ADD_FAILURE() << w->metaObject()->className() << " " << w->objectName().toStdString()
                          << " enabled during the transfer";
        EXPECT_TRUE(cancelAvailable);
        EXPECT_EQ(shownAfterClicks, 0u) << "a click started another action";
        EXPECT_TRUE(form->AfComPort1->IsOpen());
        // Everything is back once it has ended (the poll may take a tick to show it).
        if (form->view() == TForm1::View::Log) form->Button6->click();
        EXPECT_TRUE(waitTakingPollTicks([&] { return enabledStates() == before; }, 8000));
    }
}

TEST_F(TransferState, ThePollsOwnReadsLeaveTheControlsAlone) {
    startDisplay(SimVariant::D84x48Log);
    ASSERT_NO_FATAL_FAILURE(connect());
    shortenSequencePauses();
    form->Button3->click();
    ASSERT_TRUE(form->config.configurationLoaded);
    struct Counter : QObject {
        int changes = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::EnabledChange) ++changes;
            return false;
        }
    } counter;
    for (QWidget* w : {static_cast<QWidget*>(form->Button1), static_cast<QWidget*>(form->GroupBox2),
                       static_cast<QWidget*>(form->Button5), static_cast<QWidget*>(form->RadioGroup3)})
        w->installEventFilter(&counter);
    // The poll reads the header block four times a pass of its script; nothing else
    // gets a reply meanwhile. Its ticks come at its own pace (60 ms a line, half a second
    // a version query): the test takes each as soon as the one before is done, a version
    // query once it has been answered.
    const uint64_t replies = display->counters().replies;
    EXPECT_TRUE(waitFor(
        [&] {
            if (display->counters().replies >= replies + 2) return true;
            if (!form->session().firmwareVersion.isEmpty() && !form->session().waiting()) form->Timer2Timer();
            return false;
        },
        10000));
    EXPECT_EQ(counter.changes, 0);
}

// A layout byte of 0x90 and up reads as eight layouts; the header reads of the poll find
// the same eight and leave the user's layout and display speed choices alone.
TEST_F(TransferState, MoreThanEightLayoutsKeepTheUsersChoicesAcrossHeaderReads) {
    for (const uint8_t layoutByte : {uint8_t(0x92), uint8_t(0xF7)}) {
        SCOPED_TRACE(layoutByte);
        startDisplay(SimVariant::D84x48Log);
        std::array<uint8_t, 1024> memory = display->configMemory();
        memory[kLayoutByte] = layoutByte;
        display->setConfigMemory(memory);
        ASSERT_NO_FATAL_FAILURE(connect());
        shortenSequencePauses();
        form->Button3->click();
        ASSERT_TRUE(form->config.configurationLoaded);
        ASSERT_EQ(form->RadioGroup3->count(), 8);
        EXPECT_EQ(form->RadioGroup3->itemIndex(), layoutByte & 7);

        // The user picks layout 6 and the display speed 9600, without setting it yet.
        const QList<QRadioButton*> entries = form->RadioGroup3->findChildren<QRadioButton*>();
        ASSERT_EQ(entries.size(), 8);
        const QPointer<QRadioButton> firstEntry = entries[0];
        QRadioButton* sixth = nullptr;
        for (QRadioButton* b : entries)
            if (b->text() == "6") sixth = b;
        ASSERT_NE(sixth, nullptr);
        sixth->click();
        form->ComboBox3->setCurrentIndex(3);
        ASSERT_EQ(form->RadioGroup3->itemIndex(), 5);

        // Two header reads of the poll (and the show-layout reply of the click), taken as
        // soon as the one before is answered.
        const uint64_t replies = display->counters().replies;
        EXPECT_TRUE(waitFor(
            [&] {
                if (display->counters().replies >= replies + 3) return true;
                if (!form->session().firmwareVersion.isEmpty() && !form->session().waiting()) form->Timer2Timer();
                return false;
            },
            10000));
        EXPECT_TRUE(waitFor([&] { return !form->session().waiting(); }));  // the last reply applied
        // The header the display gave back still says more than eight.
        EXPECT_GE(form->config.image[kLayoutByte], 0x90);
        EXPECT_FALSE(firstEntry.isNull()) << "the layout entries were rebuilt";
        EXPECT_EQ(form->RadioGroup3->count(), 8);
        EXPECT_EQ(form->RadioGroup3->itemIndex(), 5);
        EXPECT_EQ(form->ComboBox3->currentIndex(), 3);
        EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
        form.reset();
        display->stop();
    }
}

TEST_F(TransferState, StatusIsDisconnectedBeforeTheErrorBoxOfAHangUp) {
    startDisplay(SimVariant::D84x48Log);
    ASSERT_NO_FATAL_FAILURE(connect());
    display->setHangUpAfterCommands(6);
    QString status, portButton;
    bool readEnabled = true, portControlsOk = false;
    scripted.onMessage = [&](const QString&) {
        status = form->StaticText5->text();
        portButton = form->Button5->text();
        // The states the controls take back once the transfer lets them go.
        readEnabled = form->Button3->isEnabledTo(form->GroupBox1);
        // The pulled adapter is waited for: its port stays chosen, Close stops the waiting.
        portControlsOk = !form->Button11->isEnabledTo(form->GroupBox6) && !form->ComboBox4->isEnabledTo(form->GroupBox5);
    };
    form->Button3->click();
    ASSERT_EQ(messages().size(), 1);
    EXPECT_EQ(status, "Disconnected");
    EXPECT_EQ(portButton, "Close");
    EXPECT_FALSE(readEnabled);
    EXPECT_TRUE(portControlsOk);
    // And once the box is gone, Close is there to stop waiting and choose another port.
    EXPECT_TRUE(form->Button5->isEnabled());
    form->Button5->click();
    EXPECT_FALSE(form->waitingForLostPort());
    EXPECT_EQ(form->Button5->text(), "Open");
    EXPECT_TRUE(form->ComboBox4->isEnabled());
}

TEST_F(TransferState, ACancelledReceiveShowsTheImageAsItNowIs) {
    startDisplay(SimVariant::D84x48Log);
    ASSERT_NO_FATAL_FAILURE(connect());
    shortenSequencePauses();
    form->Button3->click();
    ASSERT_TRUE(form->config.configurationLoaded);
    ASSERT_NO_FATAL_FAILURE(expectShowsTheImage());
    // The display's bar has moved; block 0 comes before the user cancels.
    auto memory = display->configMemory();
    memory[0] = uint8_t(memory[0] == 5 ? 9 : 5);
    memory[1] = 20;
    display->setConfigMemory(memory);
    const uint64_t start = display->counters().commands;
    display->setReplyDelayMs(10);
    QTimer presser;
    QObject::connect(&presser, &QTimer::timeout, [&] {
        if (display->counters().commands < start + 4 || !form->Form2->isVisible()) return;
        presser.stop();
        form->Form2->Button1->click();
    });
    presser.start(2);
    form->Button3->click();
    display->setReplyDelayMs(0);
    EXPECT_EQ(messages().value(0), "Error\r\nCanceled");
    ASSERT_EQ(form->config.image[0], memory[0]);
    EXPECT_EQ(form->ComboBox1->currentIndex(), 0);
    ASSERT_NO_FATAL_FAILURE(expectShowsTheImage());
}

TEST_F(TransferState, ClearLogAsksFirstAndThenShowsTheClearedLog) {
    startDisplay(SimVariant::D84x48Log);
    std::vector<uint8_t> log(8192, 0xFF);
    for (int r = 0; r < 10; ++r) {
        const uint8_t rec[16] = {0x30, 0x61, 0x4C, 12, 0x24, 0x3C, 0x1E, uint8_t(r << 1), 5, 45, 1, 0, 30, 1, 1, 50};
        std::copy(rec, rec + 16, log.begin() + 16 * r);
    }
    display->setLogMemory(log);
    ASSERT_NO_FATAL_FAILURE(connect());
    shortenSequencePauses();
    form->Button3->click();
    form->Button6->click();  // download and show the log
    ASSERT_EQ(form->view(), TForm1::View::Log);
    const QString firstTime = form->StringGrid2->item(1, 1)->text();
    ASSERT_FALSE(firstTime.isEmpty());

    struct Case {
        bool polish;
        MsgAnswer answer;
        QString title;
    };
    for (const Case& c :
         {Case{false, MsgAnswer::No, "Confirm..."}, Case{true, MsgAnswer::No, QString::fromUtf8("Potwierdź...")},
          Case{false, MsgAnswer::Yes, "Confirm..."}}) {
        SCOPED_TRACE(c.polish ? "Polish" : "English");
        scripted.shown.clear();
        form->languagePolish = c.polish;
        scripted.answers.push_back(c.answer);
        const uint64_t writesBefore = display->counters().commands;
        form->Button9->click();
        ASSERT_GE(scripted.shown.size(), 1u);
        EXPECT_EQ(scripted.shown[0].kind, "yesno");
        EXPECT_EQ(scripted.shown[0].title, c.title);
        EXPECT_EQ(scripted.shown[0].defaultAnswer, MsgAnswer::No);
        EXPECT_EQ(scripted.shown[0].text.contains(QString::fromUtf8("Skasować")), c.polish);
        if (c.answer == MsgAnswer::No) {
            EXPECT_EQ(display->logMemory()[7], log[7]);
            EXPECT_EQ(form->StringGrid2->item(1, 1)->text(), firstTime);
            EXPECT_LT(display->counters().commands - writesBefore, 20u);  // the poll's lines at most
        }
    }
    form->languagePolish = false;
    EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
    EXPECT_EQ(display->logMemory()[7], 0xFF);
    // The table shows the cleared log: no record left.
    EXPECT_TRUE(form->StringGrid2->item(1, 1)->text().isEmpty()) << form->StringGrid2->item(1, 1)->text().toStdString();
}
