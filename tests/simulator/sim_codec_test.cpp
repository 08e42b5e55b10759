#include <gtest/gtest.h>

#include <vector>

#include "display_firmware.h"
#include "sim_codec.h"
#include "wire_pacer.h"

using namespace vorkal::sim;

TEST(SimCodec, CheckByteOfKnownBlocks) {
    struct Case {
        std::vector<uint8_t> data;
        uint8_t check;
    };
    const Case cases[] = {
        {std::vector<uint8_t>(16, 0x00), 0xA4},  // S = 1
        {std::vector<uint8_t>(16, 0xFF), 0x54},  // S = 0xF1
        {{0x01, 0x02, 0x03}, uint8_t((1 + 6) ^ 0xA5)},
        {std::vector<uint8_t>(128, 0x02), uint8_t((1 + 256) ^ 0xA5)},  // sum wraps
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckByte(c.data.data(), c.data.size()), c.check);
        EXPECT_TRUE(CheckByteMatches(c.data.data(), c.data.size(), c.check));
        EXPECT_FALSE(CheckByteMatches(c.data.data(), c.data.size(), uint8_t(c.check ^ 0x10)));
    }
}

TEST(SimCodec, HexPairsBothCasesAndRejectsOthers) {
    EXPECT_EQ(HexPair(0x00), "00");
    EXPECT_EQ(HexPair(0xA5), "A5");
    EXPECT_EQ(HexPair(0x3c), "3C");
    struct Case {
        const char* text;
        size_t pos;
        int value;  // -1 = rejected
    };
    const Case cases[] = {{"A5", 0, 0xA5}, {"a5", 0, 0xA5}, {"xfF", 1, 0xFF}, {"0g", 0, -1},
                          {"G0", 0, -1},   {"F", 0, -1},    {"12", 1, -1},    {" 1", 0, -1}};
    for (const auto& c : cases) {
        const auto value = ParseHexPair(c.text, c.pos);
        if (c.value < 0) EXPECT_FALSE(value) << c.text;
        else EXPECT_EQ(value.value_or(-1), c.value) << c.text;
    }
}

TEST(LineFramer, IgnoresCrResyncsOnCommandByteAndDropsOverlongLines) {
    LineFramer framer;
    std::vector<std::string> lines;
    auto feed = [&](const std::string& bytes) {
        std::string line;
        for (unsigned char c : bytes)
            if (framer.feed(c, line)) lines.push_back(line);
    };
    feed("\xF1r\r0\r\n");    // CR anywhere is ignored
    feed("noise\xF6v\r\n");  // a command byte starts afresh
    feed(
        "RSSI=070 T=04\xB0"
        "C\r\n");  // telemetry keeps its 0xB0
    feed(std::string(LineFramer::kMaxLine + 1, 'x') + "\n");
    feed(
        "\xF5"
        "c\n");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "\xF1r0");
    EXPECT_EQ(lines[1], "\xF6v");
    EXPECT_EQ(lines[2],
              "RSSI=070 T=04\xB0"
              "C");
    EXPECT_EQ(lines[3],
              "\xF5"
              "c");
}

// The pacer's schedule is what gives benchmarks their floor: n bytes take n x 10 bit
// times, a gap on the line is not made up for, and nothing leaves before its time.
TEST(WirePacer, ScheduleFollowsTheWireTimeFormula) {
    for (int baud : {57600, 38400, 19200, 9600, 4800}) {
        WirePacer pacer;
        pacer.setBaud(baud);
        const int64_t start = 1'000'000'000;
        int64_t last = 0;
        for (int i = 0; i < 261; ++i) last = pacer.next(start);
        EXPECT_NEAR(double(last - start), double(WireTimeNs(261, baud)), 261.0) << baud;
        // After an idle gap the next byte starts when it is offered.
        const int64_t later = last + 50'000'000;
        EXPECT_EQ(pacer.next(later), later + pacer.byteNs());
        EXPECT_NEAR(double(pacer.byteNs()), 1e10 / baud, 1.0);
    }
    WirePacer off;
    off.setBaud(0);
    EXPECT_EQ(off.next(123), 123);
    EXPECT_EQ(off.next(100), 123);  // never earlier than the line is free
}
