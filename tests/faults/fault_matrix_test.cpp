// What the user sees, and what becomes of the data, when the line or the display fails
// in the middle of a transfer: the real window against the virtual display. Every case
// ends by opening the port again and finding the display.

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <array>
#include <memory>

#include "device_fixture.h"
#include "firmware_files.h"

using namespace vorkal;
using namespace vorkal::testing;
using sim::SimVariant;

namespace {

using ConfigBytes = std::array<uint8_t, 1024>;
using Bytes = std::vector<uint8_t>;

// A log memory whose every record differs: records 0 .. count-1 filled, the rest erased.
Bytes SampleLog(int count, uint8_t salt) {
    Bytes log(32768, 0xFF);
    for (int r = 0; r < count; ++r)
        for (int i = 0; i < 16; ++i) log[size_t(16 * r + i)] = uint8_t(r * 3 + i + salt);
    for (int r = 0; r < count; ++r) log[size_t(16 * r + 3)] = uint8_t(r % 24);  // a valid hour
    return log;
}

// Bytes `first` .. `last` of `a` and `b` agree.
template <class A, class B>
bool SameRange(const A& a, const B& b, size_t first, size_t last) {
    return std::equal(a.begin() + ptrdiff_t(first), a.begin() + ptrdiff_t(last + 1), b.begin() + ptrdiff_t(first));
}

// The run of a transfer with a fault switched on from the event loop.
struct FaultRun {
    bool injected = false;           // the fault happened during the transfer
    bool loopRanAfterFault = false;  // a zero-time timer armed at the fault fired before the transfer ended
};

class FaultMatrix : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        ASSERT_TRUE(files.isValid());
    }

    // A connected 84 x 48 display with log memory, and what a user has on disk before
    // trouble starts: the configuration read, the log downloaded and saved as text, and
    // the settings exported. A last Read leaves the log to be downloaded again.
    // `bootWindowMs` is how long the display's boot loader waits after a reset.
    void prepare(int bootWindowMs = sim::VirtualDisplayOptions().bootWindowMs) {
        sim::VirtualDisplayOptions options = displayOptions();
        options.variant = SimVariant::D84x48Log;
        options.bootWindowMs = bootWindowMs;
        ASSERT_NO_FATAL_FAILURE(startDisplay(options));
        display->setLogMemory(SampleLog(40, 0));
        ASSERT_NO_FATAL_FAILURE(connect());
        form->Button3Click();
        form->Button6Click();
        ASSERT_TRUE(form->config.logLoaded);
        scripted.fileAnswers.push_back({logPath(), 1});
        form->Button10Click();
        form->Button6Click();
        scripted.fileAnswers.push_back({setPath(), 1});
        form->Button2Click();
        form->Button3Click();
        ASSERT_FALSE(form->config.logLoaded);
        ASSERT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
        ASSERT_TRUE(form->config.configurationLoaded);
        ASSERT_EQ(form->view(), TForm1::View::Screen);
        savedSet = readFile(setPath());
        savedLog = readFile(logPath());
        ASSERT_EQ(savedSet.size(), 8704);  // configuration and log memory
        ASSERT_TRUE(savedLog.contains("00:03:08")) << savedLog.left(300).toStdString();
    }

    // The start of a case: nothing shown yet, the memory as it is now, and a quiet line
    // so that the transfer under test is alone on it: with the poll stopped, an answered
    // block read shows that the display has taken every line sent before it.
    void startCase() {
        scripted.shown.clear();
        form->Timer2->stop();
        std::array<uint8_t, 16> block{};
        ASSERT_EQ(form->session().ReadConfigBlockInto(31, block.data()), QString());
        imageBefore = form->config.image;
        logBefore = form->config.logImage;
    }

    void clearFaults() {
        display->setDropEveryNthReply(0);
        display->setReplyDelayMs(0);
        display->setCorruptCheckBytes(0);
        display->setRefuseWrites(0);
        display->setLogReadErrors(0);
        display->setHangUpAfterCommands(0);
    }

    // New bytes in the display's in-image log area (blocks 9..30 with the three factory
    // layouts), so that every block read from there shows.
    ConfigBytes changeDisplayConfig(uint8_t pattern) {
        ConfigBytes bytes = display->configMemory();
        for (int i = 144; i < 496; ++i) bytes[size_t(i)] ^= pattern;
        display->setConfigMemory(bytes);
        return bytes;
    }

    QString setPath() const { return files.filePath("screens.set"); }
    QString logPath() const { return files.filePath("flight.txt"); }
    static QByteArray readFile(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Runs `transfer`; meanwhile `fault` is called every 5 ms from the event loop until
    // it reports that it has struck.
    static FaultRun runWithFault(const std::function<bool()>& fault, const std::function<void()>& transfer) {
        FaultRun run;
        auto fired = std::make_shared<bool>(false);
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (run.injected || !fault()) return;
            run.injected = true;
            probe.stop();
            QTimer::singleShot(0, [fired] { *fired = true; });
        });
        probe.start(5);
        transfer();
        probe.stop();
        run.loopRanAfterFault = *fired;
        return run;
    }

    // Files written before the fault are as they were, the window processes events and
    // no transfer was left half-open.
    void expectIntactAndIdle() {
        EXPECT_EQ(readFile(setPath()), savedSet);
        EXPECT_EQ(readFile(logPath()), savedLog);
        EXPECT_FALSE(form->Form2->isVisible());
        EXPECT_FALSE(form->session().bootReceiveMode);
        EXPECT_FALSE(form->session().waiting());
        EXPECT_TRUE(form->Timer2->isActive());
        auto ran = std::make_shared<bool>(false);
        QTimer::singleShot(0, form.get(), [ran] { *ran = true; });
        EXPECT_TRUE(waitFor([ran] { return *ran; }, 1000));
    }

    // The tests take the poll's ticks as soon as the state a tick acts on is there, rather
    // than wait for its timer; the timer itself must be running all the same.
    void takePollTick() {
        ASSERT_TRUE(form->Timer2->isActive());
        form->Timer2Timer();
    }

    // A poll tick has seen the port closed (it then polls every 100 ms and starts its
    // script again), as when a user takes a moment before opening again.
    void closedPortTick() {
        ASSERT_NO_FATAL_FAILURE(takePollTick());
        ASSERT_EQ(form->Timer2->interval(), 100);
    }

    // The poll of a port just opened finds the display: the tick that sends the version
    // query, and once the answer is in, the tick that shows it.
    void pollFindsDisplay() {
        ASSERT_NO_FATAL_FAILURE(takePollTick());
        ASSERT_TRUE(waitFor([this] { return !form->session().firmwareVersion.isEmpty(); }))
            << form->StaticText5->text().toStdString();
        ASSERT_NO_FATAL_FAILURE(takePollTick());
        EXPECT_EQ(form->StaticText5->text(), "Connected");
    }

    // Takes the poll's ticks until its script has sent the version query, which it does
    // every few lines.
    void tickUntilVersionQuery() {
        const uint64_t queries = display->counters().versionQueries;
        ASSERT_TRUE(waitFor([&] {
            if (display->counters().versionQueries > queries) return true;
            form->Timer2Timer();
            return false;
        }));
    }

    // Closes the port if it is still open, opens it with the Open button and waits for
    // the poll to find the display.
    void reopen() {
        if (form->AfComPort1->IsOpen()) form->Button5Click();
        ASSERT_FALSE(form->AfComPort1->IsOpen());
        EXPECT_EQ(form->Button5->text(), "Open");
        ASSERT_NO_FATAL_FAILURE(closedPortTick());
        EXPECT_EQ(form->StaticText5->text(), "Disconnected");
        EXPECT_FALSE(form->Button3->isEnabled());
        form->Button5Click();
        ASSERT_TRUE(form->AfComPort1->IsOpen()) << messages().join(" | ").toStdString();
        ASSERT_NO_FATAL_FAILURE(pollFindsDisplay());
        EXPECT_EQ(form->Button5->text(), "Close");
        EXPECT_TRUE(form->Button3->isEnabled());
    }

    // After a failed firmware update the port is closed and not waited for; Open fails
    // until the adapter is plugged in again, then works.
    void replugAndOpen() {
        ASSERT_TRUE(waitFor([this] { return !form->AfComPort1->IsOpen(); }, 3000));
        EXPECT_FALSE(form->waitingForLostPort());
        EXPECT_EQ(form->Button5->text(), "Open");
        scripted.shown.clear();
        form->Button5Click();
        ASSERT_EQ(scripted.shown.size(), 1u);
        EXPECT_EQ(scripted.shown[0].kind, "retrycancel");
        EXPECT_TRUE(scripted.shown[0].text.startsWith("  Can't open port COM42\r\n"));
        EXPECT_FALSE(form->AfComPort1->IsOpen());
        std::string error;
        ASSERT_TRUE(display->replug(&error)) << error;
        ASSERT_NO_FATAL_FAILURE(reopen());
    }

    // After a hang-up the port is closed and the window waits for the adapter; plugged
    // in again, it is opened by itself. Then Close and Open as a user would.
    void replugAndReopen() {
        ASSERT_TRUE(waitFor([this] { return !form->AfComPort1->IsOpen(); }, 3000));
        EXPECT_TRUE(form->waitingForLostPort());
        std::string error;
        ASSERT_TRUE(display->replug(&error)) << error;
        ASSERT_TRUE(waitFor([this] { return form->AfComPort1->IsOpen(); }));
        ASSERT_NO_FATAL_FAILURE(reopen());
    }

    QTemporaryDir files;
    QByteArray savedSet, savedLog;
    ConfigBytes imageBefore{};
    std::array<uint8_t, 32768> logBefore{};
};

}  // namespace

// Faults that a retry gets over: Read, the log download and Write end without a word
// and nothing is lost.
TEST_F(FaultMatrix, TransientFaultsAreRetriedAndLoseNothing) {
    struct Case {
        const char* name;
        std::function<void(sim::VirtualDisplay&)> fault;
        bool log = true;  // the 512-block log download too (too slow with many time-outs)
    };
    const Case cases[] = {
        {"every fourth reply dropped", [](auto& d) { d.setDropEveryNthReply(4); }, false},
        {"replies late, within their time-out", [](auto& d) { d.setReplyDelayMs(25); }, false},
        {"ten corrupted check bytes", [](auto& d) { d.setCorruptCheckBytes(10); }},
        {"ten refused writes", [](auto& d) { d.setRefuseWrites(10); }},
        {"ten memory errors", [](auto& d) { d.setLogReadErrors(10); }},
    };
    ASSERT_NO_FATAL_FAILURE(prepare());
    uint8_t salt = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(startCase());
        const ConfigBytes onDisplay = changeDisplayConfig(salt);
        const Bytes newLog = SampleLog(40, salt);
        display->setLogMemory(newLog);
        ++salt;
        c.fault(*display);

        form->Button3Click();
        EXPECT_TRUE(SameRange(form->config.image, onDisplay, 0, 511));
        if (c.log) {
            form->Button6Click();
            EXPECT_TRUE(form->config.logLoaded);
            EXPECT_TRUE(SameRange(form->config.logImage, newLog, 0, 8191));
            form->Button6Click();
        }
        for (int i = 0; i < 135; ++i) form->config.image[size_t(i)] ^= 0x01;  // X bits of the layouts
        const ConfigBytes edited = form->config.image;
        form->Button4Click();
        EXPECT_EQ(form->config.image, edited);
        EXPECT_TRUE(SameRange(display->configMemory(), edited, 0, 143));  // blocks 0..8

        EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
        clearFaults();
        expectIntactAndIdle();
        ASSERT_NO_FATAL_FAILURE(reopen());
    }
}

// Faults that last: the log download gives up with the reason, keeps the blocks it
// got, and shows the log view all the same.
TEST_F(FaultMatrix, PersistentFaultsDuringTheLogDownload) {
    struct Case {
        const char* name;
        std::function<void(sim::VirtualDisplay&)> fault;
        QString message;
        bool firstBlockTaken;  // a failed check still leaves the bytes it decoded
    };
    const Case cases[] = {
        {"memory error", [](auto& d) { d.setLogReadErrors(-1); }, "EEPROM Error !!!", false},
        {"corrupted check bytes", [](auto& d) { d.setCorruptCheckBytes(-1); }, "CRC error !!!", true},
    };
    ASSERT_NO_FATAL_FAILURE(prepare());
    uint8_t salt = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(startCase());
        const Bytes newLog = SampleLog(40, salt++);
        display->setLogMemory(newLog);
        c.fault(*display);
        form->Button6Click();

        EXPECT_EQ(messages(), QStringList{c.message});
        EXPECT_FALSE(form->config.logLoaded);
        EXPECT_EQ(form->view(), TForm1::View::Log);
        EXPECT_EQ(form->StringGrid2->item(0, 1)->text(), "Time");
        EXPECT_TRUE(c.firstBlockTaken ? SameRange(form->config.logImage, newLog, 0, 15)
                                      : SameRange(form->config.logImage, logBefore, 0, 15));
        EXPECT_TRUE(SameRange(form->config.logImage, logBefore, 16, 32767));
        EXPECT_EQ(form->config.image, imageBefore);
        clearFaults();
        expectIntactAndIdle();
        form->Button6Click();
        ASSERT_NO_FATAL_FAILURE(reopen());
    }
}

// The adapter unplugged in the middle of a transfer: the transfer ends with a time-out,
// keeps what it had, the port closes, and once plugged in again the same transfer works.
// The display cuts the line right after its reply to the Nth command; that last reply
// may go down with the line, so block N-1 may or may not have arrived.
TEST_F(FaultMatrix, HangUpDuringATransfer) {
    ASSERT_NO_FATAL_FAILURE(prepare());
    ConfigBytes onDisplay{}, edited{};
    Bytes newLog;
    struct Case {
        const char* name;
        int commandsBeforeHangUp;
        std::function<void()> before, transfer;
        QStringList messages;  // one of these
        std::function<void()> checkAfterFault, checkAfterRetry;
    };
    const Case cases[] = {
        {"Read",
         12,
         [&] { onDisplay = changeDisplayConfig(0x33); },
         [&] { form->Button3Click(); },
         {"Error\r\nTimeout !!!"},
         [&] {
             // Blocks 0..10 came (9 and 10 show it), 12..31 are as they were.
             EXPECT_TRUE(SameRange(form->config.image, onDisplay, 0, 16 * 11 - 1));
             EXPECT_TRUE(SameRange(form->config.image, imageBefore, 16 * 12, 1023));
             EXPECT_FALSE(SameRange(imageBefore, onDisplay, 16 * 9, 16 * 9 + 15));
             EXPECT_FALSE(SameRange(imageBefore, onDisplay, 16 * 12, 16 * 12 + 15));
         },
         [&] { EXPECT_TRUE(SameRange(form->config.image, onDisplay, 0, 511)); }},
        {"log download",
         20,
         [&] { display->setLogMemory(newLog = SampleLog(40, 99)); },
         [&] { form->Button6Click(); },
         {"Timeout !!!"},
         [&] {
             EXPECT_FALSE(form->config.logLoaded);
             EXPECT_EQ(form->view(), TForm1::View::Log);
             EXPECT_TRUE(SameRange(form->config.logImage, newLog, 0, 16 * 19 - 1));
             EXPECT_TRUE(SameRange(form->config.logImage, logBefore, 16 * 20, 32767));
             EXPECT_EQ(form->config.image, imageBefore);
             form->Button6Click();  // back to the screen view
         },
         [&] {
             EXPECT_TRUE(form->config.logLoaded);
             EXPECT_TRUE(SameRange(form->config.logImage, newLog, 0, 8191));
             form->Button6Click();
         }},
        // Send reads the 32 blocks for its backup first (the display was not read since
        // it was plugged in again), then the line goes after 4 written blocks.
        {"Write",
         32 + 4,
         [&] {
             for (int i = 0; i < 135; ++i) form->config.image[size_t(i)] ^= 0x01;
             edited = form->config.image;
             onDisplay = display->configMemory();
         },
         [&] { form->Button4Click(); },
         {"Sending record 5 Failed !!!\r\nTimeout.", "Sending record 4 Failed !!!\r\nTimeout."},
         [&] {
             EXPECT_EQ(form->config.image, edited);
             // The display took blocks 0..3 before the line went, not 4..8.
             EXPECT_TRUE(SameRange(display->configMemory(), edited, 0, 63));
             EXPECT_TRUE(SameRange(display->configMemory(), onDisplay, 64, 1023));
         },
         [&] { EXPECT_TRUE(SameRange(display->configMemory(), edited, 0, 143)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(startCase());
        c.before();
        display->setHangUpAfterCommands(c.commandsBeforeHangUp);
        // The hang-up reaches the window through its event loop, inside the transfer's wait.
        bool closedWhileWaiting = false;
        const auto watch = QObject::connect(form->AfComPort1, &TAfCustomSerialPort::OnPortClose, form.get(),
                                            [&] { closedWhileWaiting = form->session().waiting(); });
        c.transfer();
        QObject::disconnect(watch);
        EXPECT_EQ(display->mode(), sim::DisplayMode::HungUp);
        EXPECT_TRUE(closedWhileWaiting);
        EXPECT_FALSE(form->AfComPort1->IsOpen());
        ASSERT_EQ(messages().size(), 1) << messages().join(" | ").toStdString();
        // The written text, then what to check: a line that goes is a display that does
        // not answer. A write names the backup to restore from.
        const QString shown = messages()[0];
        EXPECT_TRUE(std::any_of(c.messages.begin(), c.messages.end(), [&](const QString& m) {
            return shown.startsWith(m + "\r\n");
        })) << shown.toStdString();
        EXPECT_TRUE(shown.contains("\r\nCheck that the display is switched on")) << shown.toStdString();
        if (QString(c.name) == "Write") {
            EXPECT_FALSE(form->backups().lastPath().isEmpty());
            EXPECT_TRUE(
                shown.endsWith("backup " + form->backups().lastPath() + ": Import that file and Send it to restore it."))
                << shown.toStdString();
        }
        c.checkAfterFault();
        expectIntactAndIdle();
        ASSERT_NO_FATAL_FAILURE(replugAndReopen());

        scripted.shown.clear();
        form->Timer2->stop();
        c.transfer();
        EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
        c.checkAfterRetry();
    }
}

// The adapter unplugged during a firmware update: in the handshake, while the window
// waits for a block to be acknowledged, and while it streams the image or the
// verification bytes without processing events. The update ends with the message of its phase, the bar
// stops where the line went, and once plugged in again the update goes through.
TEST_F(FaultMatrix, HangUpDuringAFirmwareUpdate) {
    ASSERT_NO_FATAL_FAILURE(prepare());
    // Bytes take their time on the line, so that each phase lasts long enough to be hit.
    display->setPacing(true);
    // Not timed here: the pauses before the ends of the streams are cut short. A stream
    // whose line was cut must stop at the hang-up, not at the bound on the writer: the
    // bound is made long enough that waiting it out shows.
    FirmwareUpdate::Waits& waits = form->firmwareUpdate().waits;
    waits.streamEndPauseMs = 5;
    waits.ringDrainBoundMs = 30000;
    const Bytes image = MakeFirmware(1300, "v5.00");
    const QString hexPath = files.filePath("firmware.hex");
    {
        QFile hex(hexPath);
        ASSERT_TRUE(hex.open(QIODevice::WriteOnly));
        hex.write(ToHex(image));
    }
    const auto update = [&] {
        scripted.fileAnswers.push_back({hexPath, 1});
        scripted.answers.push_back(MsgAnswer::Yes);
        form->Button11Click();
    };
    const auto title = [this] { return form->Form2->windowTitle(); };

    struct Case {
        const char* phase;
        // Tried from the event loop while the update runs; true once it has cut the line.
        std::function<bool()> probe;
        // Otherwise the display cuts the line at this byte of the image stream in `pass`;
        // well before the end, as the window may run a few hundred bytes ahead of what
        // the display has taken (in the programming pass it waits at every block).
        int cutAtStreamByte;
        sim::BootPass pass;
        QString message;
    };
    const Case cases[] = {
        {"handshake",
         [&] {
             if (title() != "Waiting for connect...") return false;
             display->hangUp();
             return true;
         },
         0, sim::BootPass::Program, "No communication !"},
        {"waiting for an acknowledgement",
         [&] {
             if (title() != "Programming...") return false;
             display->setMute(true);  // the first block is never acknowledged...
             if (form->Form2->ProgressBar1->value() < 512 / 16) return false;
             display->hangUp();  // ...and the line goes while the window waits for it
             return true;
         },
         0, sim::BootPass::Program, "Error during programming !"},
        {"streaming the image", [] { return false; }, 700, sim::BootPass::Program, "Error during programming !"},
        {"streaming the verification", [] { return false; }, 32, sim::BootPass::Verify, "Veryfication error !"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.phase);
        startCase();
        form->Timer2->start();  // the update restores the poll as it found it
        const uint64_t hangUpsBefore = display->counters().hangUps;
        display->setHangUpInBootStream(c.pass, c.cutAtStreamByte);
        QElapsedTimer updateClock;
        updateClock.start();
        const FaultRun run = runWithFault(c.probe, update);
        EXPECT_LT(updateClock.elapsed(), waits.ringDrainBoundMs) << "the update waited out the writer bound";
        display->setHangUpInBootStream(c.pass, 0);
        display->setMute(false);

        EXPECT_EQ(display->counters().hangUps, hangUpsBefore + 1);
        if (c.cutAtStreamByte == 0) {
            EXPECT_TRUE(run.injected);
            EXPECT_TRUE(run.loopRanAfterFault);
        }
        ASSERT_EQ(messages().size(), 2) << messages().join(" | ").toStdString();
        EXPECT_EQ(messages()[0], c.message);
        EXPECT_TRUE(messages()[1].contains("off and on"));  // what to do next
        EXPECT_LT(form->Form2->ProgressBar1->value(), form->Form2->ProgressBar1->maximum());
        EXPECT_EQ(form->config.image, imageBefore);
        expectIntactAndIdle();
        ASSERT_NO_FATAL_FAILURE(replugAndOpen());

        scripted.shown.clear();
        update();
        EXPECT_EQ(messages(), QStringList{"Update successfull !"});
        const Bytes flash = display->flash();
        EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    }
}

// The display restarts as the larger variant after a Read of the small one: its version
// line switches the window, and the next Read fetches 64 blocks.
TEST_F(FaultMatrix, VariantChangesBetweenReads) {
    // The boot loader's wait after the reset is not what this case is about.
    ASSERT_NO_FATAL_FAILURE(prepare(20));
    ASSERT_NO_FATAL_FAILURE(startCase());
    form->Timer2->start();
    const uint64_t starts = display->counters().firmwareStarts;
    display->withMemory([](sim::DisplayMemory& m) { m.reset(SimVariant::D128x64, "v1.23"); });
    display->reset();
    // Back from the reset, the display answers the poll's next version query.
    ASSERT_TRUE(display->waitFor([&] { return display->counters().firmwareStarts > starts; }, 5000));
    ASSERT_NO_FATAL_FAILURE(tickUntilVersionQuery());
    ASSERT_TRUE(waitFor([this] { return form->config.is128x64() && !form->session().firmwareVersion.isEmpty(); }));
    ASSERT_NO_FATAL_FAILURE(takePollTick());
    EXPECT_EQ(form->StaticText5->text(), "Connected");
    EXPECT_TRUE(form->config.separateLog);
    // Until the next Read the window keeps the configuration it had (the poll may have
    // refreshed the header block since).
    EXPECT_TRUE(SameRange(form->config.image, imageBefore, 0, 495));
    EXPECT_TRUE(SameRange(form->config.image, imageBefore, 512, 1023));

    form->Button3Click();
    EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
    EXPECT_EQ(form->Form2->ProgressBar1->maximum(), 64);
    EXPECT_EQ(form->config.image, display->configMemory());
    EXPECT_EQ(form->RadioGroup3->count(), 3);

    // Exported now, the settings hold the larger variant's configuration and log; the
    // file written before is untouched.
    const QString bigSet = files.filePath("big.set");
    scripted.fileAnswers.push_back({bigSet, 1});
    form->Button2Click();
    EXPECT_EQ(readFile(bigSet).size(), 33792);
    expectIntactAndIdle();
    ASSERT_NO_FATAL_FAILURE(reopen());
}

// The display runs at another speed than the PC: it stays "Disconnected", nothing else
// happens, and choosing the display's speed connects.
TEST_F(FaultMatrix, SpeedMismatchUntilThePcSpeedMatches) {
    struct Case {
        int displaySpeed, pcSpeed;
    };
    for (const Case c : {Case{2, 0}, Case{0, 4}}) {
        SCOPED_TRACE(c.displaySpeed);
        QSettings("Brask", "Vorkal").setValue("Speed", c.pcSpeed);
        startDisplay(SimVariant::D84x48Log, c.displaySpeed);
        ASSERT_NO_FATAL_FAILURE(openPort());
        ASSERT_EQ(form->ComboBox2->currentIndex(), c.pcSpeed);
        // The version query of the poll's first tick arrives as noise, every byte of it,
        // and gets no answer; the next tick, which would show one, shows none.
        ASSERT_NO_FATAL_FAILURE(takePollTick());
        ASSERT_TRUE(waitFor([this] { return display->counters().garbageBytesIn >= 4; }));
        ASSERT_NO_FATAL_FAILURE(takePollTick());
        EXPECT_EQ(form->StaticText5->text(), "Disconnected");
        EXPECT_FALSE(form->Button3->isEnabled());
        EXPECT_TRUE(form->session().firmwareVersion.isEmpty());
        EXPECT_TRUE(form->AfComPort1->IsOpen());
        EXPECT_EQ(display->counters().replies, 0u);
        EXPECT_EQ(display->counters().bytesOut, 0u);
        EXPECT_TRUE(scripted.shown.empty());

        // The user closes the port, picks the display's speed and opens again.
        form->Button5Click();
        ASSERT_NO_FATAL_FAILURE(closedPortTick());
        form->ComboBox2->setCurrentIndex(c.displaySpeed);
        form->ComboBox2Change();
        form->Button5Click();
        ASSERT_NO_FATAL_FAILURE(pollFindsDisplay());
        EXPECT_EQ(QSettings("Brask", "Vorkal").value("Speed").toInt(), c.displaySpeed);
        form->Button3Click();
        EXPECT_TRUE(scripted.shown.empty()) << messages().join(" | ").toStdString();
        EXPECT_TRUE(SameRange(form->config.image, display->configMemory(), 0, 511));
        TearDown();
    }
}
