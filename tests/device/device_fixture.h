#pragma once
// The real main window, headless, with its own preferences store and port directory,
// connected over a pseudo-terminal to an in-process virtual display.

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>

#include "af_com_port.h"
#include "byte_port.h"
#include "demo_script.h"
#include "dialogs.h"
#include "display_session.h"
#include "firmware_update.h"
#include "form1.h"
#include "form2.h"
#include "qt_printers.h"
#include "virtual_display.h"
#include "user_folders.h"

namespace vorkal::testing {

class WindowFixture : public ::testing::Test {
protected:
    static constexpr int kCom = 42;

    void SetUp() override {
        ASSERT_TRUE(settingsDir.isValid());
        ASSERT_TRUE(portDir.isValid());
        ASSERT_TRUE(dataHome.isValid());
        // Backups of the display go to a data folder of the test's own.
        qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
        UseTestFolders(settingsDir.path(), portDir.path());
    }
    void TearDown() override {
        form.reset();
        if (display) display->stop();
    }

    // Processes events until `done` holds or `ms` pass; returns done().
    static bool waitFor(const std::function<bool()>& done, int ms = 5000) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms) QTest::qWait(5);
        return done();
    }

    // Options of a display registered in this test's port directory.
    sim::VirtualDisplayOptions displayOptions() const {
        sim::VirtualDisplayOptions o;
        o.portDir = portDir.path().toStdString();
        o.comNumber = kCom;
        o.resetOffMs = 50;
        if (qEnvironmentVariableIsSet("VORKAL_TRACE"))
            o.trace = [](const std::string& line) { fprintf(stderr, "sim: %s\n", line.c_str()); };
        return o;
    }

    void startDisplay(const sim::VirtualDisplayOptions& options) {
        display = std::make_unique<sim::VirtualDisplay>(options);
        std::string error;
        ASSERT_TRUE(display->start(&error)) << error;
    }

    void startDisplay(sim::SimVariant variant, int speedIndex = 0) {
        sim::VirtualDisplayOptions o = displayOptions();
        o.variant = variant;
        o.speedIndex = speedIndex;
        startDisplay(o);
    }

    // Shows the window, picks COM`com` from the port list and presses Open.
    void openPort(int com = kCom) {
        form = std::make_unique<TForm1>();
        form->show();
        form->ComboBox4DropDown();
        const int i = form->ComboBox4->findText(QString("COM%1").arg(com));
        ASSERT_GE(i, 0) << "COM" << com << " is not in the port list";
        form->ComboBox4->setCurrentIndex(i);
        form->ComboBox4Click();
        form->Button5->click();
        ASSERT_TRUE(form->AfComPort1->IsOpen());
    }

    // Opens the port and waits for the poll to show the display as connected.
    void connect() {
        ASSERT_NO_FATAL_FAILURE(openPort());
        // The poll's first tick after Open, up to half a second on, asks for the version:
        // the tests take it at once. The poll shows the answer at its next tick, half a
        // second later again; the tests take that tick as soon as the answer is in.
        form->Timer2Timer();
        ASSERT_TRUE(waitFor([this] { return !form->session().firmwareVersion.isEmpty(); }))
            << form->StaticText5->text().toStdString();
        form->Timer2Timer();
        // The poll enables the device buttons once the display has answered.
        ASSERT_TRUE(form->Button3->isEnabled()) << form->StaticText5->text().toStdString();
    }

    // Waits like waitFor() for something the status poll shows, taking its ticks at once
    // where waiting for them would only pass time: while the display has not answered a
    // version query the poll walks its script's lines without sending them, half a second
    // each (up to four seconds a pass), and once an answer is in, its next tick shows it.
    // The version queries keep the poll timer's pace, so a display gets the time to answer
    // that the program gives it.
    bool waitTakingPollTicks(const std::function<bool()>& done, int ms = 5000) {
        DisplaySession& session = form->session();
        return waitFor(
            [&] {
                if (done()) return true;
                if (!session.waiting() && form->Timer2->isActive()) {
                    const int position = session.pollScriptPosition();
                    const bool asksVersion =
                        DemoScriptEntry(position < kDemoScriptLength ? position : 0) == QByteArray(1, kVersionMarker);
                    const bool answered = !session.firmwareVersion.isEmpty();
                    if (answered ? !shownConnected() : !asksVersion) form->Timer2Timer();
                }
                return done();
            },
            ms);
    }
    bool waitUntilShownConnected(int ms = 5000) {
        return waitTakingPollTicks([this] { return form->StaticText5->text() == "Connected"; }, ms);
    }
    // The poll's last tick showed the display as connected (Read follows it, whatever a
    // running transfer does to the group around it).
    bool shownConnected() const { return form->Button3->isEnabledTo(form->GroupBox1); }

    // Reply times long enough that a busy machine never turns an answer into a time-out
    // (the display's reset keeps its own).
    void stretchReplyTimeouts(int factor = 20) {
        DisplaySession::ReplyTimeouts t;
        for (int* ms : {&t.readBlock, &t.writeBlock, &t.writeText, &t.clearScreen, &t.setSpeed, &t.showLayout})
            *ms *= factor;
        form->session().timeouts = t;
    }

    // The fixed pauses of Receive, Load Defaults and Set Baud at a millisecond, for tests
    // that do not test them (the others run the sequences with the program's pauses).
    void shortenSequencePauses() {
        DisplaySession::SequencePauses p;
        p.betweenBlockReadsMs = 1;
        p.defaultsShownMs = 1;
        p.beforeSpeedChangeMs = 1;
        form->session().pauses = p;
    }

    // Reply times for a display that answers nothing at all (muted or hung up), where the
    // program's time-outs, repeated for every retry, would only wait out the same silence.
    // Never where an answer is expected: a busy machine would turn it into a time-out.
    void shortenReplyTimeoutsForSilence(int ms = 10) {
        DisplaySession::ReplyTimeouts t;
        for (int* timeout : {&t.readBlock, &t.writeBlock, &t.writeText, &t.clearScreen, &t.setSpeed, &t.showLayout})
            *timeout = ms;
        form->session().timeouts = t;
    }

    // Connected to an 84 x 48 display with log memory, every reply waited for long and the
    // sequence pauses short, and its configuration received.
    void connectAndReceive() {
        startDisplay(sim::SimVariant::D84x48Log);
        ASSERT_NO_FATAL_FAILURE(connect());
        stretchReplyTimeouts();
        shortenSequencePauses();
        form->Button3->click();
        ASSERT_TRUE(form->config.configurationLoaded);
    }

    // The poll's next step sends the version query.
    bool nextPollStepAsksVersion() const {
        const int position = form->session().pollScriptPosition();
        return DemoScriptEntry(position < kDemoScriptLength ? position : 0) == QByteArray(1, kVersionMarker);
    }

    // Takes the poll's step that sends the version query and returns once at least
    // `answerBytes` of the display's answer wait in the PC's receive queue, before the
    // window has taken them: the way a user's click lands a few milliseconds after the
    // query. No event may run meanwhile, so the queue is looked at in 1 ms steps.
    void sendVersionQueryAndLetTheAnswerArrive(int answerBytes) {
        const uint64_t queries = display->counters().versionQueries;
        form->Timer2Timer();
        BytePort& port = form->session().port();
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while ((display->counters().versionQueries == queries || port.inQueueCount() < answerBytes) &&
               std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_GE(port.inQueueCount(), answerBytes);
    }

    QStringList messages() const { return scripted.messages(); }

    QTemporaryDir settingsDir, portDir, dataHome;
    ScriptedDialogs scripted;
    DialogsGuard guard{&scripted};
    std::unique_ptr<sim::VirtualDisplay> display;
    std::unique_ptr<TForm1> form;
};

}  // namespace vorkal::testing
