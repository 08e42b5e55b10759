// The virtual display driven over its pseudo-terminal, as the configurator drives it.

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "sim_codec.h"
#include "pc_line.h"
#include "virtual_display.h"

using namespace vorkal::sim;
using namespace std::chrono_literals;

namespace {

// The PC end of the line, set up the way a serial port is.
class PcPort {
public:
    ~PcPort() { close(); }

    bool open(const std::string& path, int baud) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) return false;
        ioctl(fd_, TIOCEXCL);
        setBaud(baud);
        tcflush(fd_, TCIOFLUSH);
        return true;
    }
    void setBaud(int baud) { SetPcLine(fd_, baud); }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    void send(const std::string& bytes) { ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }
    void sendLine(const std::string& line) { send(line + "\r\n"); }

    // Bytes until `count` arrived or the time is up.
    std::string receive(size_t count, std::chrono::milliseconds timeout) {
        std::string data;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (data.size() < count) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, int(left.count())) <= 0) continue;
            char c;
            if (read(fd_, &c, 1) == 1) {
                data += c;
            } else if (p.revents & (POLLHUP | POLLERR)) {
                hungUp_ = true;
                break;
            }
        }
        return data;
    }
    // One line without CR LF; empty when none came in time.
    std::string receiveLine(std::chrono::milliseconds timeout = 1000ms) {
        std::string line;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            const std::string c = receive(1, left);
            if (c.empty()) break;
            if (c == "\n") return line;
            if (c != "\r") line += c;
        }
        return {};
    }
    bool hungUp() const { return hungUp_; }

private:
    int fd_ = -1;
    bool hungUp_ = false;
};

// 1300 bytes of firmware with one byte to escape and the version banner "v4.56".
std::vector<uint8_t> SampleImage() {
    std::vector<uint8_t> image(1300);
    for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 13);
    image[20] = 0xA5;
    const std::string banner = "Vorkal v4.56";
    std::copy(banner.begin(), banner.end(), image.begin() + 200);
    return image;
}

std::string EscapedStream(const std::vector<uint8_t>& image) {
    std::string stream;
    for (uint8_t b : image) {
        stream += char(b);
        if (b == 0xA5) stream += '\x25';
    }
    return stream;
}

// Resets the display and sends the handshake until the boot loader answers it.
void enterBootLoader(PcPort& pc) {
    pc.sendLine("\xF7ReSeT");
    std::string answer;
    int sent = 0;
    for (; sent < 20 && answer.empty(); ++sent) {
        // Handshakes are repeated at the program's own cadence until the boot loader answers.
        std::this_thread::sleep_for(50ms);
        pc.send("Mofe\xFF");
        answer = pc.receive(1, 50ms);
    }
    ASSERT_EQ(answer, "\xA6");
    // Answers to earlier handshakes may still be on their way; when the first one was
    // answered there are none.
    if (sent > 1) pc.receive(8, 100ms);
}

class VirtualDisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vorkal-sim-ports-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        portDir_ = pattern;
        if (access("/dev/ptmx", R_OK | W_OK) != 0) GTEST_SKIP() << "no pseudo-terminals here";
    }
    void TearDown() override {
        display_.reset();
        rmdir(portDir_.c_str());
    }

    VirtualDisplay& start(VirtualDisplayOptions options = {}) {
        options.portDir = portDir_;
        options.comNumber = 42;
        options.resetOffMs = 20;
        options.bootWindowMs = bootWindowMs_;
        display_ = std::make_unique<VirtualDisplay>(options);
        std::string error;
        EXPECT_TRUE(display_->start(&error)) << error;
        return *display_;
    }
    std::string link() const { return portDir_ + "/COM42"; }

    std::string portDir_;
    int bootWindowMs_ = 300;
    std::unique_ptr<VirtualDisplay> display_;
};

}  // namespace

TEST_F(VirtualDisplayTest, RegistersAsComPortAndRemovesTheLinkWhenStopped) {
    VirtualDisplay& display = start();
    char target[256] = {};
    ASSERT_GT(readlink(link().c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(display.slavePath(), target);

    PcPort pc;
    ASSERT_TRUE(pc.open(link(), 57600));
    pc.sendLine("\xF6v");
    EXPECT_EQ(pc.receiveLine(), "v1.23+");
    pc.sendLine(
        "RSSI=070 RCQ=100 U=11.2V T=04\xB0"
        "C");
    pc.sendLine("\xF1r0");
    EXPECT_EQ(pc.receiveLine().size(), 36u);
    EXPECT_EQ(display.telemetryLines(), std::vector<std::string>{"RSSI=070 RCQ=100 U=11.2V T=04\xB0"
                                                                 "C"});

    // A second display cannot take the same number while this one is alive.
    VirtualDisplayOptions second;
    second.portDir = portDir_;
    second.comNumber = 42;
    VirtualDisplay other(second);
    std::string error;
    EXPECT_FALSE(other.start(&error));
    EXPECT_NE(error.find("COM42"), std::string::npos) << error;

    display.stop();
    struct stat st {};
    EXPECT_NE(lstat(link().c_str(), &st), 0);
}

TEST_F(VirtualDisplayTest, UnderstandsOnlyThePcAtItsOwnSpeed) {
    struct Case {
        int displayIndex;
        int wrongBaud;
        int rightBaud;
    };
    const Case cases[] = {{0, 19200, 57600}, {4, 57600, 4800}, {2, 9600, 19200}};
    for (const auto& c : cases) {
        VirtualDisplayOptions options;
        options.speedIndex = c.displayIndex;
        VirtualDisplay& display = start(options);
        PcPort pc;
        ASSERT_TRUE(pc.open(link(), c.wrongBaud));
        pc.sendLine("\xF6v");
        pc.sendLine("\xF1r0");
        // Every byte of both lines is taken as noise, and nothing goes back.
        EXPECT_TRUE(display.waitFor([&] { return display.counters().garbageBytesIn >= 9; }, 2000)) << c.wrongBaud;
        EXPECT_EQ(pc.receive(1, 50ms), "") << c.wrongBaud;
        EXPECT_EQ(display.counters().commands, 0u);
        EXPECT_EQ(display.counters().bytesOut, 0u);

        pc.setBaud(c.rightBaud);
        pc.sendLine("\xF6v");
        EXPECT_EQ(pc.receiveLine(), "v1.23+") << c.rightBaud;
        display.stop();
    }
}

TEST_F(VirtualDisplayTest, SetSpeedTakesEffectAfterItsReply) {
    VirtualDisplay& display = start();
    PcPort pc;
    ASSERT_TRUE(pc.open(link(), 57600));
    pc.sendLine(
        "\xF0"
        "b2w");
    EXPECT_EQ(pc.receiveLine(), "O");  // still at the old speed
    ASSERT_TRUE(display.waitFor([&] { return display.speedIndex() == 2; }, 1000));
    const uint64_t bytesOut = display.counters().bytesOut;
    pc.sendLine(
        "\xF5"
        "c");
    // Taken as noise, every byte of it, and not answered.
    EXPECT_TRUE(display.waitFor([&] { return display.counters().garbageBytesIn >= 4; }, 2000));
    EXPECT_EQ(pc.receive(1, 50ms), "");
    EXPECT_EQ(display.counters().bytesOut, bytesOut);
    pc.setBaud(19200);
    pc.sendLine(
        "\xF5"
        "c");
    EXPECT_EQ(pc.receiveLine(), "O");
    EXPECT_EQ(display.configMemory()[509] >> 4, 2);
}

TEST_F(VirtualDisplayTest, PcMayCloseAndReopenThePort) {
    VirtualDisplay& display = start();
    for (int round = 0; round < 3; ++round) {
        PcPort pc;
        ASSERT_TRUE(pc.open(link(), 57600)) << "round " << round << ": " << strerror(errno);
        pc.sendLine("\xF6v");
        EXPECT_EQ(pc.receiveLine(), "v1.23+") << round;
        // A reply the PC never reads must not reach the next opening.
        pc.sendLine("\xF1r1");
        ASSERT_TRUE(display.waitFor([&] { return display.counters().replies >= uint64_t(round + 1); }, 1000));
        pc.close();
        ASSERT_TRUE(display.waitFor([&] { return display.counters().portCloses >= uint64_t(2 * round + 1); }, 1000));
        // The PC's exclusive flag must not outlive its closing: the display keeps the
        // terminal open, and a user without privileges could not open it again.
        const int probe = open(link().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(probe, 0);
        int exclusive = -1;
        if (ioctl(probe, TIOCGEXCL, &exclusive) == 0) {
            EXPECT_EQ(exclusive, 0) << round;
        }
        close(probe);
        ASSERT_TRUE(display.waitFor([&] { return display.counters().portCloses >= uint64_t(2 * round + 2); }, 1000));
    }
    EXPECT_EQ(display.mode(), DisplayMode::Firmware);
}

TEST_F(VirtualDisplayTest, FaultsSwitchedWhileRunning) {
    VirtualDisplay& display = start();
    PcPort pc;
    ASSERT_TRUE(pc.open(link(), 57600));
    display.setDropEveryNthReply(2);
    std::vector<bool> answered;
    for (int i = 0; i < 4; ++i) {
        const DisplayCounters before = display.counters();
        pc.sendLine("\xF1r0");
        // The display has sent its reply or dropped it; a dropped one that went out all
        // the same shows below, where nothing may arrive.
        ASSERT_TRUE(display.waitFor(
            [&] {
                const DisplayCounters now = display.counters();
                return now.replies + now.repliesDropped > before.replies + before.repliesDropped;
            },
            1000));
        const bool dropped = display.counters().repliesDropped > before.repliesDropped;
        answered.push_back(!dropped && !pc.receiveLine(300ms).empty());
    }
    EXPECT_EQ(answered, (std::vector<bool>{true, false, true, false}));
    display.setDropEveryNthReply(0);

    display.setMute(true);
    const uint64_t queries = display.counters().versionQueries;
    pc.sendLine("\xF6v");
    ASSERT_TRUE(display.waitFor([&] { return display.counters().versionQueries > queries; }, 1000));
    EXPECT_EQ(pc.receive(1, 200ms), "");
    display.setMute(false);

    display.setLogReadErrors(1);
    pc.sendLine(
        "\xFA"
        "00");
    EXPECT_EQ(pc.receiveLine(), "X");
    pc.sendLine(
        "\xFA"
        "00");
    EXPECT_EQ(pc.receiveLine().size(), 37u);
}

TEST_F(VirtualDisplayTest, HangsUpAfterTheSetNumberOfCommandsAndCanBeReplugged) {
    VirtualDisplay& display = start();
    PcPort pc;
    ASSERT_TRUE(pc.open(link(), 57600));
    display.setHangUpAfterCommands(2);
    pc.sendLine("\xF6v");
    EXPECT_EQ(pc.receiveLine(), "v1.23+");
    pc.sendLine("\xF1r0");
    EXPECT_FALSE(pc.receiveLine().empty());  // the second command is still answered
    pc.receive(1, 1000ms);
    EXPECT_TRUE(pc.hungUp());
    EXPECT_EQ(display.mode(), DisplayMode::HungUp);
    struct stat st {};
    EXPECT_NE(lstat(link().c_str(), &st), 0);
    pc.close();

    std::string error;
    ASSERT_TRUE(display.replug(&error)) << error;
    PcPort again;
    ASSERT_TRUE(again.open(link(), 57600));
    again.sendLine("\xF6v");
    EXPECT_EQ(again.receiveLine(), "v1.23+");
}

TEST_F(VirtualDisplayTest, ResetWithoutHandshakeReturnsToTheFirmware) {
    bootWindowMs_ = 50;  // its length is not what is tested
    VirtualDisplay& display = start();
    PcPort pc;
    ASSERT_TRUE(pc.open(link(), 57600));
    pc.sendLine("\xF7ReSeT");
    ASSERT_TRUE(display.waitFor(
        [&] {
            const auto c = display.counters();
            return c.resets == 1 && c.firmwareStarts == 2;
        },
        2000));
    pc.sendLine("\xF6v");
    EXPECT_EQ(pc.receiveLine(), "v1.23+");
    EXPECT_EQ(display.counters().handshakes, 0u);
}

TEST_F(VirtualDisplayTest, FirmwareUpdateThroughTheBootLoaderChangesTheVersion) {
    VirtualDisplayOptions options;
    options.variant = SimVariant::D128x64;
    options.bootBlockSize = 512;
    VirtualDisplay& display = start(options);
    PcPort pc;
    ASSERT_TRUE(pc.open(link(), 57600));
    ASSERT_NO_FATAL_FAILURE(enterBootLoader(pc));
    EXPECT_EQ(display.mode(), DisplayMode::BootLoader);

    pc.send("\xA5\xA5\xA5\x01");
    EXPECT_EQ(pc.receive(4, 1000ms), std::string("\xA8\x03\x02\x00", 4));

    const std::vector<uint8_t> image = SampleImage();
    const std::string stream = EscapedStream(image);
    for (char pass : {'\x04', '\x07'}) {
        pc.send(std::string("\xA5\xA5\xA5") + pass);
        pc.send(stream);
        if (pass == '\x04') {
            EXPECT_EQ(pc.receive(2, 1000ms), "\xAA\xAA");
        }
        pc.send("\xA5\x80");
        EXPECT_EQ(pc.receive(1, 1000ms), "\xAA") << int(pass);
    }
    pc.send("\xA5\x05");
    ASSERT_TRUE(display.waitFor([&] { return display.mode() == DisplayMode::Firmware; }, 1000));
    pc.sendLine("\xF6v");
    EXPECT_EQ(pc.receiveLine(), "v4.56*");
    const auto flash = display.flash();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
}

// The line goes at an exact byte of the image stream: in the programming pass after the
// first block was acknowledged, in the verification pass before any verdict. Nothing
// past that byte is taken, and the fault is spent once it struck.
TEST_F(VirtualDisplayTest, HangsUpAtTheSetByteOfABootStream) {
    const std::vector<uint8_t> image = SampleImage();
    const std::string stream = EscapedStream(image);
    struct Case {
        BootPass pass;
        std::string mayArrive;  // sent before the cut; it may go down with the line
        uint64_t blocksAcknowledged;
    };
    for (const Case& c : {Case{BootPass::Program, "\xAA", 1}, Case{BootPass::Verify, "", 2}}) {
        SCOPED_TRACE(int(c.pass));
        VirtualDisplay& display = start();
        PcPort pc;
        ASSERT_TRUE(pc.open(link(), 57600));
        ASSERT_NO_FATAL_FAILURE(enterBootLoader(pc));
        if (c.pass == BootPass::Verify) {
            pc.send("\xA5\xA5\xA5\x04" + stream + "\xA5\x80");
            ASSERT_EQ(pc.receive(3, 1000ms), "\xAA\xAA\xAA");
        }
        display.setHangUpInBootStream(c.pass, 600);
        pc.send(std::string("\xA5\xA5\xA5") + (c.pass == BootPass::Program ? '\x04' : '\x07') + stream);
        const std::string arrived = pc.receive(10, 2000ms);
        EXPECT_TRUE(arrived.empty() || arrived == c.mayArrive) << arrived.size();
        EXPECT_TRUE(pc.hungUp());
        EXPECT_EQ(display.mode(), DisplayMode::HungUp);
        EXPECT_EQ(display.counters().hangUps, 1u);
        EXPECT_EQ(display.counters().blocksAcknowledged, c.blocksAcknowledged);
        if (c.pass == BootPass::Program) {
            // Stream bytes 1..599 carry image bytes 0..595 (three escaped 0xA5 among them).
            const auto flash = display.flash();
            EXPECT_TRUE(std::equal(image.begin(), image.begin() + 596, flash.begin()))
                << std::mismatch(image.begin(), image.begin() + 596, flash.begin()).first - image.begin();
            EXPECT_NE(flash[596], image[596]);
        }
        pc.close();

        std::string error;
        ASSERT_TRUE(display.replug(&error)) << error;
        PcPort again;
        ASSERT_TRUE(again.open(link(), 57600));
        ASSERT_NO_FATAL_FAILURE(enterBootLoader(again));
        again.send("\xA5\xA5\xA5\x04" + stream + "\xA5\x80");
        EXPECT_EQ(again.receive(3, 2000ms), "\xAA\xAA\xAA");
        EXPECT_EQ(display.counters().hangUps, 1u);
    }
}
