// The connection state the window shows while user transfers and the status poll share
// the line: the real window against the virtual display over a pseudo-terminal.

#include <QTimer>
#include <algorithm>
#include <functional>

#include "device_fixture.h"

using namespace vorkal;
using namespace vorkal::testing;
using sim::SimVariant;

namespace {

class ConnectionState : public WindowFixture {
protected:
    // Notes every text the connection state shows, in order, at every pass of the event
    // loop, the nested loops of a transfer included.
    void recordStates() {
        states.clear();
        recorder.setInterval(0);
        QObject::connect(&recorder, &QTimer::timeout, [this] { noteState(); });
        recorder.start();
        noteState();
    }
    void noteState() {
        const QString shown = form->StaticText5->text();
        if (states.isEmpty() || states.last() != shown) states << shown;
    }

    // Takes the poll's steps by hand (its timer stopped), each query answered before the
    // next step, until the window shows the display as connected and the next step is
    // a version query.
    void stepUntilVersionQueryIsNext() {
        form->Timer2->stop();
        for (int i = 0; i <= 2 * kDemoScriptLength; ++i) {
            ASSERT_TRUE(waitFor([this] { return !form->session().firmwareVersion.isEmpty(); }));
            if (nextPollStepAsksVersion() && form->StaticText5->text() == "Connected") return;
            form->Timer2Timer();
        }
        FAIL() << "the poll never came to a version query";
    }

    // The poll's step sends the version query; returns once the display's answer waits in
    // the PC's receive queue, before the window has taken it (no event runs meanwhile),
    // the way a user's click lands a few milliseconds after the query.
    void askVersionAndLetTheAnswerArrive() {
        ASSERT_NO_FATAL_FAILURE(sendVersionQueryAndLetTheAnswerArrive(int(display->versionLine().size()) + 2));
    }

    // Lets the poll run on its timer until the display has answered a version query sent
    // after now, then takes the tick that shows the answer. (Its ticks are not taken
    // early here: a tick taken before the display had time to answer would itself show
    // "Disconnected".)
    void pollUntilTheNextAnswerIsShown() {
        const uint64_t queries = display->counters().versionQueries;
        if (!form->Timer2->isActive()) form->Timer2->start();
        ASSERT_TRUE(waitFor([&] {
            return display->counters().versionQueries > queries && !form->session().firmwareVersion.isEmpty();
        }));
        form->Timer2Timer();
        noteState();
    }

    QTimer recorder;
    QStringList states;
};

}  // namespace

// A transfer (or a command) started while the poll's version query is answered must not
// throw the answer away: the display is there, and the window never says otherwise.
TEST_F(ConnectionState, ATransferRightAfterTheVersionQueryNeverShowsDisconnected) {
    struct Case {
        const char* name;
        std::function<void()> start;
        std::function<bool()> done;
    };
    const Case cases[] = {
        {"Receive", [this] { form->Button3->click(); }, [this] { return form->config.configurationLoaded; }},
        {"Send", [this] { form->Button4->click(); },
         [this] {
             const auto written = display->configMemory();  // the three layouts: blocks 0 .. 8
             return std::equal(written.begin(), written.begin() + 144, form->config.image.begin());
         }},
        {"log download", [this] { form->Button6->click(); }, [this] { return form->config.logLoaded; }},
        {"layout shown on the display", [this] { form->RadioGroup3->setItemIndex(1); },
         [this] { return display->waitFor([this] { return display->shownLayout() == 1; }, 5000); }},
    };
    ASSERT_NO_FATAL_FAILURE(connectAndReceive());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (form->view() == TForm1::View::Log) form->Button6->click();
        ASSERT_NO_FATAL_FAILURE(stepUntilVersionQueryIsNext());
        recordStates();
        const uint64_t commands = display->counters().commands;
        ASSERT_NO_FATAL_FAILURE(askVersionAndLetTheAnswerArrive());
        c.start();
        EXPECT_TRUE(c.done());
        EXPECT_GT(display->counters().commands, commands + 1);  // the query and the transfer's own
        EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
        ASSERT_NO_FATAL_FAILURE(pollUntilTheNextAnswerIsShown());
        recorder.stop();
        EXPECT_EQ(states, QStringList{"Connected"});
        EXPECT_EQ(form->StaticText6->text(), "Firmware version: v1.23+");
        EXPECT_TRUE(form->Button3->isEnabled());
    }
}

// A display that fell silent still turns "Disconnected": the transfer waits for the
// version answer no longer than the poll would have, and then the poll's rule holds.
TEST_F(ConnectionState, ASilentDisplayTurnsDisconnectedAfterTheTransfer) {
    startDisplay(SimVariant::D84x48Log);
    ASSERT_NO_FATAL_FAILURE(connect());
    ASSERT_NO_FATAL_FAILURE(stepUntilVersionQueryIsNext());
    display->setMute(true);
    shortenReplyTimeoutsForSilence();
    form->Timer2Timer();  // the query no one answers
    recordStates();
    form->Button3->click();
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages()[0].contains("Timeout")) << messages()[0].toStdString();
    EXPECT_FALSE(form->config.configurationLoaded);
    EXPECT_TRUE(form->session().firmwareVersion.isEmpty());
    EXPECT_TRUE(waitTakingPollTicks([this] { return form->StaticText5->text() == "Disconnected"; }));
    EXPECT_FALSE(form->Button3->isEnabled());
    noteState();
    recorder.stop();
    EXPECT_EQ(states, (QStringList{"Connected", "Disconnected"}));
}
