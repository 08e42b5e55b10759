// A pulled cable: the window waits for the same adapter, opens it again when it is back
// and lets the status poll find the display; the edits stay, nothing is resent, and a
// port the user closed stays closed.

#include <QElapsedTimer>
#include <cstdio>

#include "device_fixture.h"
#include "port_list.h"

namespace vorkal::testing {
namespace {

using sim::SimVariant;

class Reconnect : public WindowFixture {
protected:
    // Pulls the cable: the display's line and its port-directory link go.
    void pull() {
        display->hangUp();
        ASSERT_TRUE(waitFor([this] { return !form->AfComPort1->IsOpen(); }));
        ASSERT_TRUE(form->waitingForLostPort());
    }
    void plug() {
        std::string error;
        ASSERT_TRUE(display->replug(&error)) << error;
    }
    // The window's own poll timer finds the display; returns the time from the plug to
    // "Connected", and in `answeredMs` when the display first answered.
    qint64 timePlugToConnected(qint64* answeredMs) {
        const uint64_t queries = display->counters().versionQueries;
        QElapsedTimer clock;
        clock.start();
        plug();
        *answeredMs = -1;
        waitFor(
            [&] {
                if (*answeredMs < 0 && display->counters().versionQueries > queries) *answeredMs = clock.elapsed();
                return form->StaticText5->text() == "Connected";
            },
            10000);
        return form->StaticText5->text() == "Connected" ? clock.elapsed() : -1;
    }
    bool undoable() const { return form->undoAction->isEnabled(); }
};

TEST_F(Reconnect, APulledCableComesBackByItselfWithTheEditsKept) {
    ASSERT_NO_FATAL_FAILURE(connectAndReceive());
    form->ComboBox1->setCurrentIndex(1);
    form->ComboBox1Change();
    form->UpDown2->click(TUpDown::Direction::Up);
    const auto edited = form->config.image;
    ASSERT_TRUE(undoable());
    ASSERT_TRUE(form->edits.hasUnsavedChanges());

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_NO_FATAL_FAILURE(pull());
        EXPECT_TRUE(waitFor([this] { return form->StaticText5->text() == "Disconnected"; }));
        EXPECT_EQ(form->Button5->text(), "Close");
        EXPECT_FALSE(form->ComboBox4->isEnabled());
        EXPECT_FALSE(form->Button3->isEnabled());

        qint64 answeredMs = -1;
        const qint64 connectedMs = timePlugToConnected(&answeredMs);
        ASSERT_GE(connectedMs, 0) << form->StaticText5->text().toStdString();
        std::printf("plug to \"Connected\": %lld ms (the display answered %lld ms after the plug)\n",
                    (long long)connectedMs, (long long)answeredMs);
        EXPECT_LT(connectedMs - answeredMs, 1000);
        EXPECT_TRUE(form->AfComPort1->IsOpen());
        EXPECT_FALSE(form->waitingForLostPort());
        EXPECT_EQ(form->Button5->text(), "Close");
        EXPECT_EQ(form->ComboBox4->currentText(), QString("COM%1").arg(kCom));
        EXPECT_TRUE(form->Button4->isEnabled());
        EXPECT_EQ(form->config.image, edited);
        EXPECT_TRUE(undoable());
        EXPECT_TRUE(form->edits.hasUnsavedChanges());
    }
    EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
}

// Close while the adapter is away, and Close of an open port: neither is opened again
// when the port is (back) there.
TEST_F(Reconnect, NothingReopensAPortTheUserClosed) {
    startDisplay(SimVariant::D84x48Log);
    ASSERT_NO_FATAL_FAILURE(connect());
    ASSERT_NO_FATAL_FAILURE(pull());
    form->Button5->click();
    EXPECT_FALSE(form->waitingForLostPort());
    EXPECT_EQ(form->Button5->text(), "Open");
    EXPECT_TRUE(form->ComboBox4->isEnabled());
    ASSERT_NO_FATAL_FAILURE(plug());
    // The list shows the port again once the window has looked at it: it stays closed.
    const QString name = QString("COM%1").arg(kCom);
    ASSERT_TRUE(waitFor([&] { return form->ComboBox4->findText(name) >= 0; }));
    EXPECT_FALSE(form->AfComPort1->IsOpen());

    // Opened, closed by the user, pulled and plugged in while closed.
    form->Button5->click();
    ASSERT_TRUE(form->AfComPort1->IsOpen());
    form->Button5->click();
    ASSERT_FALSE(form->AfComPort1->IsOpen());
    display->hangUp();
    ASSERT_TRUE(waitFor([&] { return form->ComboBox4->findText(name) < 0; }));
    const uint64_t opens = display->counters().portOpens;
    ASSERT_NO_FATAL_FAILURE(plug());
    ASSERT_TRUE(waitFor([&] { return form->ComboBox4->findText(name) >= 0; }));
    EXPECT_FALSE(form->AfComPort1->IsOpen());
    EXPECT_FALSE(form->waitingForLostPort());
    EXPECT_EQ(display->counters().portOpens, opens);
    EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
}

// A Send cut by the pull stays failed with its message; once the display is back, the
// poll runs on and nothing of the Send goes to it again.
TEST_F(Reconnect, ASendCutByThePullIsNotResent) {
    ASSERT_NO_FATAL_FAILURE(connectAndReceive());
    for (int i = 0; i < 135; ++i) form->config.image[size_t(i)] ^= 0x01;
    display->setHangUpAfterCommands(4);
    form->Button4Click();
    ASSERT_TRUE(waitFor([this] { return !form->AfComPort1->IsOpen(); }));
    ASSERT_EQ(messages().size(), 1) << messages().join(" | ").toStdString();
    EXPECT_TRUE(messages()[0].startsWith("Sending record")) << messages()[0].toStdString();
    EXPECT_TRUE(form->waitingForLostPort());
    const auto displayAfterCut = display->configMemory();
    display->setHangUpAfterCommands(0);

    ASSERT_NO_FATAL_FAILURE(plug());
    ASSERT_TRUE(waitUntilShownConnected());
    // A whole pass of the poll's script, from one version query to the one after next.
    const uint64_t queries = display->counters().versionQueries;
    ASSERT_TRUE(waitFor([&] { return display->counters().versionQueries >= queries + 2; }, 10000));
    EXPECT_EQ(display->configMemory(), displayAfterCut);
    EXPECT_EQ(messages().size(), 1) << messages().join(" | ").toStdString();
}

}  // namespace
}  // namespace vorkal::testing
