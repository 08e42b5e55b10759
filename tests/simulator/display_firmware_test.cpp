#include <gtest/gtest.h>

#include "display_firmware.h"
#include "sim_codec.h"

using namespace vorkal::sim;

namespace {

class Firmware : public ::testing::Test {
protected:
    void use(SimVariant v) { memory.reset(v, "v1.23"); }
    FirmwareResult send(const std::string& line) { return firmware.handleLine(line); }
    std::string reply(const std::string& line) { return send(line).reply; }

    static std::string Record(const uint8_t (&data)[16], int checkDelta = 0) {
        std::string text;
        for (uint8_t b : data) text += HexPair(b);
        return text + "," + HexPair(uint8_t(CheckByte(data, 16) + checkDelta));
    }
    // Decodes a reply of form A or B: `head` echo characters, data pairs, ',' and check.
    static std::vector<uint8_t> Decode(const std::string& reply, size_t head, size_t count) {
        EXPECT_EQ(reply.size(), head + 2 * count + 5) << reply;
        std::vector<uint8_t> data;
        for (size_t i = 0; i < count && head + 2 * i + 2 <= reply.size(); ++i)
            data.push_back(ParseHexPair(reply, head + 2 * i).value_or(0));
        EXPECT_EQ(reply.substr(head + 2 * count, 1), ",");
        EXPECT_EQ(reply.substr(reply.size() - 2), "\r\n");
        const auto check = ParseHexPair(reply, head + 2 * count + 1);
        EXPECT_TRUE(check && CheckByteMatches(data.data(), data.size(), *check)) << reply;
        return data;
    }

    DisplayMemory memory;
    FirmwareFaults faults;
    DisplayFirmware firmware{memory, faults};
};

std::string With(std::string text, size_t pos, char c) {
    text[pos] = c;
    return text;
}

const uint8_t kSample[16] = {0x00, 0x11, 0xA5, 0xFF, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0x7F};

}  // namespace

TEST_F(Firmware, VersionLineMarksTheVariant) {
    const std::pair<SimVariant, std::string> cases[] = {
        {SimVariant::D84x48, "v1.23 \r\n"}, {SimVariant::D84x48Log, "v1.23+\r\n"}, {SimVariant::D128x64, "v1.23*\r\n"}};
    for (const auto& [variant, line] : cases) {
        use(variant);
        const auto result = send("\xF6v");
        EXPECT_EQ(result.reply, line);
        EXPECT_EQ(result.kind, FirmwareResult::Kind::VersionQuery);
    }
}

TEST_F(Firmware, ConfigurationBlocksRoundTripWithinTheVariantsRange) {
    for (SimVariant v : {SimVariant::D84x48, SimVariant::D128x64}) {
        use(v);
        const int last = v == SimVariant::D128x64 ? 63 : 31;
        const std::string block(1, char('0' + last));
        EXPECT_EQ(reply("\xF2w" + block + Record(kSample)), "O\r\n");
        const std::string answer = reply("\xF1r" + block);
        ASSERT_EQ(answer.substr(0, 1), block);
        EXPECT_EQ(Decode(answer, 1, 16), std::vector<uint8_t>(kSample, kSample + 16));
        EXPECT_EQ(memory.config[16 * last + 2], 0xA5);
        // One past the last block, and malformed commands, are refused.
        const std::string beyond(1, char('0' + last + 1));
        EXPECT_EQ(reply("\xF1r" + beyond), "E\r\n");
        EXPECT_EQ(reply("\xF2w" + beyond + Record(kSample)), "E\r\n");
    }
}

TEST_F(Firmware, RefusesWritesThatDoNotCheckOut) {
    use(SimVariant::D84x48Log);
    const auto before = memory.config;
    std::string lowerCase = "\xF2w0" + Record(kSample);
    for (auto& c : lowerCase) c = char(std::tolower(uint8_t(c)));
    lowerCase[1] = 'w';
    EXPECT_EQ(reply(lowerCase), "O\r\n");  // lower-case hex is fine
    memory.config = before;
    const std::string bad[] = {
        "\xF2w0" + Record(kSample, 1),              // wrong check byte
        "\xF2w0" + Record(kSample).substr(0, 34),   // too short
        "\xF2w0" + Record(kSample) + "0",           // too long
        "\xF2w0" + With(Record(kSample), 32, ';'),  // no separator
        "\xF2w0" + With(Record(kSample), 4, 'G'),   // not hexadecimal
        "\xFB"
        "00" +
            Record(kSample, 1),  // log record, wrong check
    };
    for (const auto& line : bad) EXPECT_EQ(reply(line), "E\r\n") << line;
    EXPECT_EQ(memory.config, before);
    EXPECT_EQ(memory.log[0], 0xFF);
}

TEST_F(Firmware, LogAddressesAndBlockSizesPerVariant) {
    struct Case {
        SimVariant variant;
        std::string address;
        int record;    // first record of the block
        size_t bytes;  // reply data bytes
    };
    const Case cases[] = {
        {SimVariant::D84x48Log, "00", 0, 16},
        {SimVariant::D84x48Log, "1?", 32 + 15, 16},
        {SimVariant::D84x48Log, "?O", 15 * 32 + 31, 16},  // record 511, the last
        {SimVariant::D128x64, "08", 8, 128},
        {SimVariant::D128x64, "?h", 15 * 64 + 56, 128},  // block 127: H = '?', L = 'h'
        {SimVariant::D128x64, "Oh", 2040, 128},          // block 255, the last
    };
    for (const auto& c : cases) {
        use(c.variant);
        memory.log[16 * c.record] = 0x42;
        uint8_t record[16] = {};
        record[15] = 0x99;
        EXPECT_EQ(reply("\xFB" + c.address + Record(record)), "O\r\n") << c.address;
        EXPECT_EQ(memory.log[16 * c.record + 15], 0x99) << c.address;
        const std::string answer = reply("\xFA" + c.address);
        ASSERT_EQ(answer.substr(0, 2), c.address);
        const auto data = Decode(answer, 2, c.bytes);
        ASSERT_EQ(data.size(), c.bytes);
        EXPECT_EQ(data[15], 0x99) << c.address;
    }
    use(SimVariant::D84x48Log);
    EXPECT_EQ(reply("\xFA"
                    "0P"),
              "E\r\n");  // low character beyond the radix
    EXPECT_EQ(reply("\xFA"
                    "@0"),
              "E\r\n");  // record 512 does not exist
    use(SimVariant::D128x64);
    EXPECT_EQ(reply("\xFA"
                    "P0"),
              "E\r\n");  // record 2048
    use(SimVariant::D84x48);
    EXPECT_EQ(reply("\xFA"
                    "00"),
              "X\r\n");  // no log memory at all
}

TEST_F(Firmware, FaultCountsAffectOnlyThatManyReplies) {
    use(SimVariant::D84x48Log);
    faults.corruptCheckBytes = 1;
    faults.refuseWrites = 2;
    faults.logReadErrors = 1;
    auto checkOk = [&](const std::string& answer) {
        std::vector<uint8_t> data;
        for (size_t i = 0; i < 16; ++i) data.push_back(*ParseHexPair(answer, 1 + 2 * i));
        return CheckByteMatches(data.data(), 16, *ParseHexPair(answer, 34));
    };
    EXPECT_FALSE(checkOk(reply("\xF1r0")));
    EXPECT_TRUE(checkOk(reply("\xF1r0")));
    EXPECT_EQ(reply("\xF2w0" + Record(kSample)), "E\r\n");
    EXPECT_EQ(reply("\xFB"
                    "00" +
                    Record(kSample)),
              "E\r\n");
    EXPECT_EQ(reply("\xF2w0" + Record(kSample)), "O\r\n");
    EXPECT_EQ(reply("\xFA"
                    "00"),
              "X\r\n");
    EXPECT_EQ(reply("\xFA"
                    "00")
                  .substr(0, 2),
              "00");
    faults.refuseWrites = -1;  // for good
    for (int i = 0; i < 20; ++i) EXPECT_EQ(reply("\xF2w1" + Record(kSample)), "E\r\n");
}

TEST_F(Firmware, DeviceCommands) {
    use(SimVariant::D84x48Log);  // factory: three layouts, layout 1 shown, speed 0
    EXPECT_EQ(reply("\xF9l2"), "O\r\n");
    EXPECT_EQ(memory.shownLayout, 2);
    EXPECT_EQ(memory.config[508], 0x32);
    EXPECT_EQ(reply("\xF9l3"), "E\r\n");  // only three layouts

    const auto speed = send(
        "\xF0"
        "b2w");
    EXPECT_EQ(speed.reply, "O\r\n");
    EXPECT_EQ(speed.after, FirmwareResult::After::SetSpeed);
    EXPECT_EQ(speed.speedIndex, 2);
    EXPECT_EQ(memory.config[509], 0x23);  // kept for the next start, low bits untouched
    EXPECT_EQ(reply("\xF0"
                    "b5w"),
              "E\r\n");

    const auto reset = send("\xF7ReSeT");
    EXPECT_EQ(reset.after, FirmwareResult::After::Reset);
    EXPECT_TRUE(reset.reply.empty());

    EXPECT_EQ(reply("\xF3"
                    "d10000Loading"),
              "O\r\n");
    EXPECT_GT(memory.screen.litCount(), 0);
    EXPECT_EQ(reply("\xF5"
                    "c"),
              "O\r\n");
    EXPECT_EQ(memory.screen.litCount(), 0);
    EXPECT_EQ(reply("\xF3"
                    "d10000" +
                    std::string(17, 'x')),
              "E\r\n");
    EXPECT_EQ(reply("\xF3"
                    "d1zz00abc"),
              "E\r\n");
    EXPECT_EQ(reply("\xFE"), "E\r\n");

    const auto telemetry = send("UTX=11.5V STX=100");
    EXPECT_EQ(telemetry.kind, FirmwareResult::Kind::Telemetry);
    EXPECT_TRUE(telemetry.reply.empty());
    ASSERT_EQ(memory.telemetry.size(), 1u);
    EXPECT_EQ(memory.telemetry.back(), "UTX=11.5V STX=100");
}

TEST_F(Firmware, WriteTextDrawsTheFontsOfEachVariant) {
    struct Case {
        SimVariant variant;
        std::string command;
        int right;   // first column past the text cells
        int bottom;  // first row below them
    };
    // "8" in each face: small 6 x 8, medium 8 x 14, medium doubled 16 x 28.
    const Case cases[] = {
        {SimVariant::D84x48,
         "\xF3"
         "d00000"
         "88",
         12, 8},
        {SimVariant::D84x48,
         "\xF3"
         "d10000"
         "88",
         16, 14},
        {SimVariant::D128x64,
         "\xF3"
         "d00000"
         "88",
         16, 14},
        {SimVariant::D128x64,
         "\xF3"
         "d10000"
         "88",
         32, 28},
    };
    for (const auto& c : cases) {
        use(c.variant);
        memory.screen.clear();
        ASSERT_EQ(reply(c.command), "O\r\n");
        int maxX = -1, maxY = -1;
        for (int y = 0; y < memory.screen.height; ++y)
            for (int x = 0; x < memory.screen.width; ++x)
                if (memory.screen.pixel(x, y)) maxX = std::max(maxX, x), maxY = std::max(maxY, y);
        EXPECT_LT(maxX, c.right) << c.command;
        EXPECT_GE(maxX, c.right / 2) << c.command;  // the second character is there
        EXPECT_LT(maxY, c.bottom) << c.command;
        EXPECT_GE(maxY, c.bottom / 2) << c.command;
    }
    // Inverse (flag bit) lights the paper of the cell instead.
    use(SimVariant::D84x48);
    memory.screen.clear();
    reply(
        "\xF3"
        "d20000 ");
    EXPECT_EQ(memory.screen.litCount(), 6 * 8);
}
