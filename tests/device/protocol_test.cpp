// Framing, check byte, reply decoding, the receive side and the texts of the display's
// line protocol, without a port.

#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <array>
#include <vector>

#include "demo_script.h"
#include "error_texts.h"
#include "line_protocol.h"
#include "line_receiver.h"
#include "qt_printers.h"

using namespace vorkal;

namespace {

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) out.append(char(v));
    return out;
}

}  // namespace

TEST(CheckByte, SumPlusOneXorA5) {
    struct Case {
        std::vector<uint8_t> data;
        uint8_t expected;
    };
    std::vector<uint8_t> ramp(128);
    for (int i = 0; i < 128; ++i) ramp[size_t(i)] = uint8_t(i);
    const Case cases[] = {
        {std::vector<uint8_t>(16, 0x00), 0xA4},
        {std::vector<uint8_t>(16, 0xFF), 0x54},
        {{0x01, 0x02, 0x03}, uint8_t(7 ^ 0xA5)},
        // 1 + 0 + 1 + ... + 127 = 8129 = 0x1FC1
        {ramp, uint8_t(0xC1 ^ 0xA5)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CheckByte(c.data.data(), int(c.data.size())), c.expected);
        EXPECT_TRUE(CheckByteMatches(c.expected, CheckSum(c.data.data(), int(c.data.size()))));
        EXPECT_FALSE(CheckByteMatches(uint8_t(c.expected ^ 1), CheckSum(c.data.data(), int(c.data.size()))));
    }
}

TEST(CommandFraming, EveryCommandLine) {
    std::array<uint8_t, 16> block{};
    for (int i = 0; i < 16; ++i) block[size_t(i)] = uint8_t(0x10 * i + 0x0A);
    const QByteArray blockHex = "0A1A2A3A4A5A6A7A8A9AAABACADAEAFA";
    const uint8_t c = CheckByte(block.data(), 16);
    const QByteArray tail = "," + HexBytes(&c, 1);
    struct Case {
        const char* what;
        QByteArray actual, expected;
    };
    const Case cases[] = {
        {"read block 0", ReadConfigCommand(0), bytes({0xF1, 'r', '0'})},
        {"read block 10", ReadConfigCommand(10), bytes({0xF1, 'r', ':'})},
        {"read block 31", ReadConfigCommand(31), bytes({0xF1, 'r', 'O'})},
        {"read block 63", ReadConfigCommand(63), bytes({0xF1, 'r', 'o'})},
        {"write block 17", WriteConfigCommand(17, block.data()), bytes({0xF2, 'w', 'A'}) + blockHex + tail},
        {"log read 84x48 block 0", ReadLogCommand(0, false), bytes({0xFA, '0', '0'})},
        {"log read 84x48 block 511", ReadLogCommand(511, false), bytes({0xFA, '0' + 15, '0' + 31})},
        {"log read 128x64 block 9", ReadLogCommand(9, true), bytes({0xFA, '1', '0' + 8})},
        {"log read 128x64 block 255", ReadLogCommand(255, true), bytes({0xFA, '0' + 31, '0' + 56})},
        {"log write 84x48 record 33", WriteLogCommand(33, block.data(), false),
         bytes({0xFB, '1', '1'}) + blockHex + tail},
        {"log write 128x64 record 2047", WriteLogCommand(2047, block.data(), true),
         bytes({0xFB, '0' + 31, '0' + 63}) + blockHex + tail},
        {"text", WriteTextCommand(1, 0, 14, 8, "Loading"), bytes({0xF3, 'd'}) + "10E08Loading"},
        {"text with flag", WriteTextCommand(0, 1, 255, 0, "x"), bytes({0xF3, 'd'}) + "2FF00x"},
        {"text, big font digit", WriteTextCommand(15, 1, 0, 0, ""), bytes({0xF3, 'd'}) + "110000"},
        {"clear", ClearScreenCommand(), bytes({0xF5, 'c'})},
        {"reset", ResetCommand(), bytes({0xF7}) + "ReSeT"},
        {"speed 19200", SetSpeedCommand(2), bytes({0xF0, 'b', '2', 'w'})},
        {"show layout 8", ShowLayoutCommand(7), bytes({0xF9, 'l', '7'})},
        {"version query", VersionQueryLine(), bytes({0xF6, 'v', '\r', '\n'})},
    };
    for (const Case& k : cases) EXPECT_EQ(k.actual.toHex(' '), k.expected.toHex(' ')) << k.what;
}

TEST(BlockReply, HeaderChecksAndDecoding) {
    std::array<uint8_t, 16> data{};
    for (int i = 0; i < 16; ++i) data[size_t(i)] = uint8_t(0xF0 - 7 * i);
    const uint8_t c = CheckByte(data.data(), 16);
    const QByteArray good = "5" + HexBytes(data.data(), 16) + "," + HexBytes(&c, 1);
    QByteArray badCheck = good;
    badCheck[35] = badCheck[35] == '0' ? '1' : '0';
    QByteArray noComma = good;
    noComma[33] = ';';

    struct Case {
        const char* what;
        QByteArray reply;
        BlockCheck expected;
        bool bytesStored;
    };
    const Case cases[] = {
        {"good, upper case", good, BlockCheck::Ok, true},
        {"good, lower case", good.toLower(), BlockCheck::Ok, true},
        {"good with trailing junk", good + "zzzz\x01\xff", BlockCheck::Ok, true},
        {"one character short", good.left(35), BlockCheck::Header, false},
        {"empty", QByteArray(), BlockCheck::Header, false},
        {"wrong echo", "6" + good.mid(1), BlockCheck::Header, false},
        {"no comma", noComma, BlockCheck::Header, false},
        {"wrong check byte", badCheck, BlockCheck::Crc, true},
    };
    for (const Case& k : cases) {
        std::array<uint8_t, 16> untouched;
        untouched.fill(0x55);
        std::array<uint8_t, 16> dest = untouched;
        EXPECT_EQ(DecodeBlockReply(k.reply, "5", dest.data(), 16), k.expected) << k.what;
        EXPECT_EQ(dest, k.bytesStored ? data : untouched) << k.what;
    }
}

TEST(BlockReply, NonHexPairsReadAsZero) {
    // "G1" and "1 " are not hex: both read as 0, and the check byte covers the zeros.
    std::array<uint8_t, 16> expected{};
    expected[1] = 0x22;
    const uint8_t c = CheckByte(expected.data(), 16);
    const QByteArray reply = QByteArray("7G122") + QByteArray(28, '0').replace(0, 2, "1 ") + "," + HexBytes(&c, 1);
    ASSERT_EQ(reply.size(), 36);
    std::array<uint8_t, 16> dest;
    dest.fill(0xEE);
    EXPECT_EQ(DecodeBlockReply(reply, "7", dest.data(), 16), BlockCheck::Ok);
    EXPECT_EQ(dest, expected);
    // A check byte that is not hex reads as 0 too.
    EXPECT_EQ(DecodeBlockReply(reply.left(34) + "x?", "7", dest.data(), 16),
              CheckByteMatches(0, CheckSum(expected.data(), 16)) ? BlockCheck::Ok : BlockCheck::Crc);
}

TEST(BlockReply, LogBlockOf128Bytes) {
    std::vector<uint8_t> data(128);
    for (int i = 0; i < 128; ++i) data[size_t(i)] = uint8_t(i * 37);
    const uint8_t c = CheckByte(data.data(), 128);
    const QByteArray reply = "1(" + HexBytes(data.data(), 128) + "," + HexBytes(&c, 1);
    ASSERT_EQ(reply.size(), 261);
    std::vector<uint8_t> dest(128);
    EXPECT_EQ(DecodeBlockReply(reply, "1(", dest.data(), 128), BlockCheck::Ok);
    EXPECT_EQ(dest, data);
    EXPECT_EQ(DecodeBlockReply(reply.left(260), "1(", dest.data(), 128), BlockCheck::Header);
    EXPECT_EQ(DecodeBlockReply(reply, "1)", dest.data(), 128), BlockCheck::Header);
}

TEST(LineReceiver, JoinsSplitLinesSkipsCrAndClassifies) {
    struct Case {
        const char* what;
        std::vector<QByteArray> chunks;
        std::vector<std::pair<LineReceiver::Result, QByteArray>> lines;
    };
    using R = LineReceiver::Result;
    const Case cases[] = {
        {"split reply", {"0AB", "C\r", "D\r\n"}, {{R::ReplyLine, "0ABCD"}}},
        {"CR inside", {"O\rK\n"}, {{R::ReplyLine, "OK"}}},
        {"empty line", {"\n"}, {{R::ReplyLine, ""}}},
        {"CR only line", {"\r\r\n"}, {{R::ReplyLine, ""}}},
        {"version then reply", {"v1.23+\r\nO\r\n"}, {{R::VersionLine, "v1.23+"}, {R::ReplyLine, "O"}}},
        {"too short for a version", {"v1.\n"}, {{R::ReplyLine, "v1."}}},
        {"shortest version", {"v1.2\n"}, {{R::VersionLine, "v1.2"}}},
        {"no dot", {"v123+\n"}, {{R::ReplyLine, "v123+"}}},
        {"binary bytes kept", {QByteArray("\x00\xff\x7f", 3) + "\n"}, {{R::ReplyLine, QByteArray("\x00\xff\x7f", 3)}}},
    };
    for (const Case& c : cases) {
        LineReceiver rx;
        std::vector<std::pair<R, QByteArray>> got;
        for (const QByteArray& chunk : c.chunks)
            for (char b : chunk) {
                const R r = rx.feed(uint8_t(b));
                if (r != R::None) got.emplace_back(r, rx.line());
            }
        EXPECT_EQ(got, c.lines) << c.what;
        EXPECT_TRUE(rx.accumulator().isEmpty()) << c.what;
    }
}

TEST(LineReceiver, VersionFlags) {
    struct Case {
        QByteArray line;
        bool separateLog, wide;
    };
    const Case cases[] = {
        {"v1.23+", true, false}, {"v1.23*", true, true}, {"v1.23 ", false, false},
        {"v1.23", false, false}, {"v1.2", false, false}, {"v0.72* extra", true, true},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(IsVersionLine(c.line)) << c.line.constData();
        EXPECT_EQ(VersionHasSeparateLog(c.line), c.separateLog) << c.line.constData();
        EXPECT_EQ(VersionIs128x64(c.line), c.wide) << c.line.constData();
    }
}

TEST(LineReceiver, EndlessLineIsBoundedAndKeepsItsStart) {
    LineReceiver rx;
    const QByteArray start = "0" + QByteArray(35, 'A');
    for (char b : start) rx.feed(uint8_t(b));
    for (int i = 0; i < 100000; ++i) ASSERT_EQ(rx.feed(uint8_t('a' + i % 20)), LineReceiver::Result::None);
    EXPECT_EQ(rx.accumulator().size(), LineReceiver::kMaxLineLength);
    EXPECT_EQ(rx.feed('\n'), LineReceiver::Result::ReplyLine);
    EXPECT_TRUE(rx.line().startsWith(start));
    EXPECT_EQ(rx.line().size(), LineReceiver::kMaxLineLength);
    // The next line starts afresh.
    for (char b : QByteArray("O\n")) rx.feed(uint8_t(b));
    EXPECT_EQ(rx.line(), "O");
}

TEST(LineReceiver, RandomGarbageStaysWithinTheBound) {
    QRandomGenerator rng(12345);
    LineReceiver rx;
    int lines = 0;
    for (int i = 0; i < 200000; ++i) {
        // Few LFs, so some lines run long.
        uint8_t b = uint8_t(rng.bounded(256));
        if (b == '\n' && rng.bounded(50) != 0) b = 0;
        if (rx.feed(b) != LineReceiver::Result::None) {
            ++lines;
            ASSERT_LE(rx.line().size(), LineReceiver::kMaxLineLength);
            std::array<uint8_t, 16> dest{};
            DecodeBlockReply(rx.line(), "0", dest.data(), 16);
            std::vector<uint8_t> big(128);
            DecodeBlockReply(rx.line(), "00", big.data(), 128);
        }
        ASSERT_LE(rx.accumulator().size(), LineReceiver::kMaxLineLength);
    }
    EXPECT_GT(lines, 0);
}

TEST(BootReceiver, StateBytesAndFrames) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        uint8_t state;
        uint32_t value;
    };
    const Case cases[] = {
        {"single byte", {0x4F}, 0x4F, 0},
        {"16-bit frame", {0xA8, 0x03, 0x12, 0x34}, 0xAA, 0x1234},
        {"24-bit frame", {0xA8, 0x04, 0x01, 0x02, 0x03}, 0xAA, 0x010203},
        {"frame still open", {0xA8, 0x03, 0x12}, 0xA8, 0x12},
        {"byte after a frame", {0xA8, 0x03, 0x12, 0x34, 0x06}, 0x06, 0x1234},
        {"two frames", {0xA8, 0x03, 0x12, 0x34, 0xA8, 0x02, 0x99}, 0xAA, 0x99},
    };
    for (const Case& c : cases) {
        BootReceiver boot;
        for (uint8_t b : c.bytes) boot.feed(b);
        EXPECT_EQ(boot.state, c.state) << c.what;
        EXPECT_EQ(boot.frameValue, c.value) << c.what;
    }
}

TEST(Texts, ErrorTextsInBothLanguages) {
    struct Case {
        ProtocolError error;
        const char* en;
        const char* pl;
    };
    const Case cases[] = {
        {ProtocolError::Canceled, "Canceled", "Przerwano"},
        {ProtocolError::ReadTimeout, "Timeout !!!", "Timeout !!!"},
        {ProtocolError::WriteTimeout, "Timeout.", "Timeout."},
        {ProtocolError::EepromError, "EEPROM Error !!!", "Błąd pamięci EEPROM !!!"},
        {ProtocolError::HeaderError, "Header Error !!!", "Błąd nagłówka !!!"},
        {ProtocolError::CrcError, "CRC error !!!", "Błąd CRC !!!"},
        {ProtocolError::ConfigWriteError, "Write error !!!", "Błąd zapisu !!!"},
        {ProtocolError::LogWriteError, "Write error.", "Błąd zapisu."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ErrorText(c.error, false), QString::fromUtf8(c.en));
        EXPECT_EQ(ErrorText(c.error, true), QString::fromUtf8(c.pl));
    }
    EXPECT_EQ(ConfigSendFailedText(12, "Timeout.", false), "Sending record 12 Failed !!!\r\nTimeout.");
    EXPECT_EQ(ConfigSendFailedText(3, "x", true), QString::fromUtf8("Wysyłanie rekordu 3 Nieudane !!!\r\nx"));
    EXPECT_EQ(LogSendFailedText(512, "Write error.", false), "Sending record 512 Failed !!!\r\nWrite error.");
    EXPECT_EQ(LogSendFailedText(1, "x", true), QString::fromUtf8("Wysłanie rekordu 1 Nieudane !!!\r\nx"));
}

TEST(Texts, BaudRateText) {
    const std::pair<int, const char*> cases[] = {{0, "57600 baud"}, {1, "38400 baud"},  {2, "19200 baud"},
                                                 {3, "9600 baud"},  {4, "4800 baud"},   {5, "57600 baud"},
                                                 {7, "57600 baud"}, {255, "57600 baud"}};
    for (const auto& [index, text] : cases) EXPECT_EQ(BaudRateText(uint8_t(index)), text) << index;
}

TEST(DemoScript, EveryEntryByteForByte) {
    // Windows-1250 bytes as they must go on the line; \xB0 is the degree sign.
    const char* const expected[kDemoScriptLength] = {
        "*",
        "RSSI=!020 RCQ=080 U=05.0V T=-22\xB0"
        "C P=53000 F=01 I=12.3A",
        "Pos=33.12345N, 006.54321E HD=04.2",
        "t=21:02:11 f=0 s=00 c=180 v=035 h=0000",
        "UTX=!09.2V STX=090",
        "Azi=003 Ele=08 Dis=00045m",
        "Deb= 00003  12345 -02439  00000",
        "*",
        "*",
        "RSSI=!020 RCQ=080 U=05.0V T=-22\xB0"
        "C P=53000 F=01 I=12.3A",
        "Pos=33.123456N, 006.543216E HD=04.2",
        "t=21:02:11 f=0 s=00 c=180 v=035 h=0000",
        "UTX=!09.2V STX=090",
        "Azi=003 Ele=08 Dis=00045m",
        "Deb= 00003  12345 -02439  00000",
        "m",
        "*",
        "RSSI=052 RCQ=055 U=!03.0V T=-09\xB0"
        "C P=53090 F=05 I=35.8A",
        "Pos=53.12345N, 019.54321W HD=04.2",
        "t=21:02:11 f=0 s=05 c=000 v=000 h=0290",
        "UTX=!09.2V STX=090",
        "Azi=025 Ele=45 Dis=00210m",
        "Deb= 00003  12345 -02439  00000",
        "*",
        "*",
        "RSSI=052 RCQ=055 U=!03.0V T=-09\xB0"
        "C P=53090 F=05 I=35.8A",
        "Pos=53.123456N, 019.543216W HD=04.2",
        "t=21:02:11 f=0 s=05 c=000 v=000 h=0290",
        "UTX=!09.2V STX=100",
        "Azi=025 Ele=45 Dis=00210m",
        "Deb=-00021 -12345 -02439 -00000",
        "m",
        "*",
        "RSSI=070 RCQ=100 U=11.2V T=04\xB0"
        "C P=53090 F=07 I=99.9A",
        "Pos=23.12345S, 104.54321E HD=11.7",
        "t=11:35:02 f=0 s=10 c=241 v=120 h=1420",
        "UTX=11.5V STX=100",
        "Azi=180 Ele=70 Dis=01345m",
        "Deb=-00021 -12345 -02439 -00000",
        "*",
        "*",
        "RSSI=070 RCQ=100 U=11.2V T=04\xB0"
        "C P=53090 F=07 I=99.9A",
        "Pos=23.123456S, 104.543216E HD=11.7",
        "t=11:35:02 f=0 s=10 c=241 v=120 h=1420",
        "UTX=11.5V STX=100",
        "Azi=180 Ele=70 Dis=01345m",
        "Deb=-00021 -12345 -02439 -00000",
        "m",
        "*",
        "RSSI=100 RCQ=100 U=11.2V T=20\xB0"
        "C P=53000 F=02 I=00.5A",
        "Pos=05.12345S, 064.54321W HD=11.7",
        "t=11:35:02 f=0 s=13 c=241 v=080 h=-0023",
        "UTX=11.5V STX=032",
        "Azi=341 Ele=90 Dis=12345m",
        "Deb= 02051 -04321 -02439  23456",
        "*",
        "*",
        "RSSI=100 RCQ=100 U=11.2V T=20\xB0"
        "C P=53000 F=02 I=00.5A",
        "Pos=05.123456S, 064.543216W HD=11.7",
        "t=11:35:02 f=0 s=13 c=241 v=080 h=-0023",
        "UTX=11.5V STX=032",
        "Azi=341 Ele=90 Dis=12345m",
        "Deb= 02051 -04321 -02439  23456",
        "m",
        "\x40",
    };
    for (int i = 0; i < kDemoScriptLength; ++i)
        EXPECT_EQ(DemoScriptEntry(i).toHex(' '), QByteArray(expected[i]).toHex(' ')) << "position " << i;
    EXPECT_EQ(DemoScriptEntry(65), QByteArray(1, kEndMarker));
    EXPECT_EQ(DemoScriptEntry(-1), QByteArray(1, kEndMarker));
}

// A reply wait is the command's time-out on top of the line time of the command (CR LF
// included) and of the longest reply it can get, 10 bits a character.
TEST(ReplyWait, CoversTheCommandAndTheLongestReplyOnTheLine) {
    const uint8_t zeros[16] = {};
    struct Case {
        const char* name;
        QByteArray command;
        int timeoutMs, baud;
        bool wide;
        int waitMs;
    };
    const Case cases[] = {
        // 5 + 263 characters: 558.3 ms at 4800 baud.
        {"128 x 64 log block, 4800", ReadLogCommand(0, true), 100, 4800, true, 659},
        {"128 x 64 log block, 19200", ReadLogCommand(3, true), 100, 19200, true, 240},
        {"128 x 64 log block, 57600", ReadLogCommand(0, true), 100, 57600, true, 147},
        {"84 x 48 log block, 4800", ReadLogCommand(0, false), 100, 4800, false, 192},
        {"configuration block, 4800", ReadConfigCommand(5), 100, 4800, true, 190},
        {"configuration block, 19200", ReadConfigCommand(5), 100, 19200, false, 123},
        {"block write, 4800", WriteConfigCommand(0, zeros), 200, 4800, false, 290},
        {"clear screen, 9600", ClearScreenCommand(), 500, 9600, false, 508},
        {"speed unknown", ReadLogCommand(0, true), 100, 0, true, 100},
    };
    for (const Case& c : cases) EXPECT_EQ(ReplyWaitMs(c.command, c.timeoutMs, c.baud, c.wide), c.waitMs) << c.name;
    // The reply that broke the log download: 261 characters and CR LF.
    EXPECT_EQ(LongestReplyChars(ReadLogCommand(0, true), true), 263);
    EXPECT_EQ(WireMs(261, 4800), 544);
    EXPECT_EQ(WireMs(261, 19200), 136);
}
