// Every transfer at every line speed, against a virtual display that puts each byte on
// the line for its 10 bit times: the reply waits must cover what the line takes, or the
// long replies (a 128 x 64 log block is 261 characters) time out at the slow speeds.

#include <QFile>
#include <random>
#include <vector>

#include "../firmware/firmware_files.h"
#include "../firmware/update_fixture.h"
#include "line_protocol.h"

using namespace vorkal;
using namespace vorkal::testing;

namespace {

constexpr int kBaud[] = {57600, 38400, 19200, 9600, 4800};

std::vector<uint8_t> RandomBytes(size_t n, unsigned seed) {
    std::vector<uint8_t> bytes(n);
    std::mt19937 random(seed);
    for (auto& b : bytes) b = uint8_t(random());
    return bytes;
}

struct Line {
    int speedIndex;
    bool wide;  // 128 x 64, else 84 x 48 with log memory
};

void PrintTo(const Line& line, std::ostream* os) {
    *os << kBaud[line.speedIndex] << " baud, " << (line.wide ? "128 x 64" : "84 x 48");
}

std::string LineName(const ::testing::TestParamInfo<Line>& info) {
    return std::to_string(kBaud[info.param.speedIndex]) + (info.param.wide ? "_128x64" : "_84x48");
}

std::vector<Line> EveryLine() {
    std::vector<Line> lines;
    for (bool wide : {false, true})
        for (int speed = 0; speed < 5; ++speed) lines.push_back({speed, wide});
    return lines;
}

class SlowLine : public UpdateFixture, public ::testing::WithParamInterface<Line> {
protected:
    // A paced display at the row's speed, the window opened at the same speed and the
    // display shown as connected. Reply times and pauses stay the program's own.
    void connectPaced(int bootBlockSize = 512) {
        const Line line = GetParam();
        QSettings("Brask", "Vorkal").setValue("Speed", line.speedIndex);
        sim::VirtualDisplayOptions o = displayOptions();
        o.variant = line.wide ? sim::SimVariant::D128x64 : sim::SimVariant::D84x48Log;
        o.speedIndex = line.speedIndex;
        o.pace = true;
        o.bootBlockSize = bootBlockSize;
        o.version = "v1.23";
        WindowFixture::startDisplay(o);
        ASSERT_NO_FATAL_FAILURE(WindowFixture::connect());
        ASSERT_EQ(form->session().port().baudRate(), kBaud[line.speedIndex]);
        ASSERT_EQ(form->config.is128x64(), line.wide);
    }

    static bool Same(const uint8_t* a, const uint8_t* b, int from, int to) {
        return std::equal(a + from, a + to, b + from);
    }
};

using SlowLineTransfers = SlowLine;
using SlowLineFirmware = SlowLine;

// Receive, Send and the log download, each answered at its first try or after retries,
// but never failed for want of time.
TEST_P(SlowLineTransfers, ReceiveSendAndLogDownload) {
    const Line line = GetParam();
    ASSERT_NO_FATAL_FAILURE(connectPaced());
    const int logBytes = line.wide ? 32768 : 8192;
    const std::vector<uint8_t> log = RandomBytes(size_t(logBytes), 7 + unsigned(line.speedIndex));
    display->setLogMemory(log);

    // Receive: every configuration block.
    form->Button3->click();
    ASSERT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
    ASSERT_TRUE(form->config.configurationLoaded);
    const auto received = form->config.image;
    const int blocks = line.wide ? 64 : 32;
    EXPECT_TRUE(Same(received.data(), display->configMemory().data(), 0, 16 * blocks));

    // Send: the display's copy of the layout blocks is spoilt first, so only the
    // transfer can put it right. Byte 509 (the display's speed) is left alone.
    const int lastBlock = form->config.layoutAreaLength() / 16;
    auto spoilt = display->configMemory();
    for (int n = 0; n <= lastBlock; ++n) {
        spoilt[size_t(16 * n + 3)] ^= 0x5A;
        if (line.wide) spoilt[size_t(16 * (32 + n) + 3)] ^= 0x5A;
    }
    display->setConfigMemory(spoilt);
    form->Button4->click();
    ASSERT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
    const auto written = display->configMemory();
    EXPECT_TRUE(Same(received.data(), written.data(), 0, 16 * (lastBlock + 1)));
    if (line.wide) EXPECT_TRUE(Same(received.data(), written.data(), 16 * 32, 16 * (33 + lastBlock)));

    // The log: the whole download through the view switch where the line carries it in
    // seconds; at the slow speeds (up to 143 s for a 128 x 64 log at 4800 baud) the same
    // block reads of the download for its first and last blocks.
    const int logBlocks = line.wide ? 256 : 512;
    const int blockSize = LogBlockSize(line.wide);
    const int downloadMs = logBlocks * WireMs(5 + 2 * blockSize + 7, kBaud[line.speedIndex]);
    if (downloadMs <= 12000) {
        form->Button6Click();
        ASSERT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
        EXPECT_TRUE(form->config.logLoaded);
        EXPECT_TRUE(Same(log.data(), form->config.logImage.data(), 0, logBytes));
    } else {
        DisplaySession& session = form->session();
        DisplaySession::PollPause pause(session, DisplaySession::PollPause::End::Start);
        for (int block : {0, 1, 2, logBlocks - 1}) {
            SCOPED_TRACE(block);
            EXPECT_EQ(session.ReadLogBlock(block), QString());
            EXPECT_TRUE(Same(log.data(), form->config.logImage.data(), blockSize * block, blockSize * (block + 1)));
        }
    }
}

// A firmware update streams its image at the line's pace, and each wait for the boot
// loader's answer counts from when the bytes before it have crossed the line.
TEST_P(SlowLineFirmware, UpdateProgramsAndVerifies) {
    const Line line = GetParam();
    // The 128 x 64 display's processor takes 1792-byte blocks and at least 15900 bytes.
    const int blockSize = line.wide ? 1792 : 512;
    ASSERT_NO_FATAL_FAILURE(connectPaced(blockSize));
    const std::vector<uint8_t> image = MakeFirmware(line.wide ? 15900 : 1300, "v3.05", 11);
    script(writeFile("image.hex", ToHex(image)));
    form->Button11Click();
    EXPECT_EQ(messages(), QStringList{"Update successfull !"});
    EXPECT_EQ(flashHead(image.size()), image);
    EXPECT_TRUE(display->waitFor([&] { return display->mode() == sim::DisplayMode::Firmware; }, 5000));
    expectIdleAfterwards();
}

INSTANTIATE_TEST_SUITE_P(EverySpeed, SlowLineTransfers, ::testing::ValuesIn(EveryLine()), LineName);
INSTANTIATE_TEST_SUITE_P(EverySpeed, SlowLineFirmware, ::testing::ValuesIn(EveryLine()), LineName);

}  // namespace
