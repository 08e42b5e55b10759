#include "log_record.h"
#include "log_records.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <vector>

using namespace vorkal;
using vorkal::test::encodeRecord;
using vorkal::test::RecordFields;

namespace {

QStringList formatAll(const LogRecord& rec, const QString& separator) {
    return {FormatLogTime(rec),
            FormatLogLatitude(rec, separator),
            FormatLogLongitude(rec, separator),
            FormatLogCourse(rec),
            FormatLogHeight(rec),
            FormatLogSpeed(rec),
            FormatLogDistance(rec),
            FormatLogRssi(rec)};
}

QStringList split(const char* cells) { return QString::fromUtf8(cells).split(QLatin1Char('|')); }

struct DecodeCase {
    const char* name;
    std::vector<uint8_t> bytes;  // 16 bytes; 9-byte records use the first 9
    bool extended;
    const char* separator;
    const char* cells;  // time|lat|lon|course|height|speed|distance|rssi
};

std::vector<uint8_t> bytesOf(const RecordFields& f) {
    const auto b = encodeRecord(f);
    return {b.begin(), b.end()};
}

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, FormatsEveryColumn) {
    const DecodeCase& c = GetParam();
    const LogRecord rec = DecodeLogRecord(c.bytes.data(), c.extended);
    EXPECT_EQ(formatAll(rec, QString::fromUtf8(c.separator)), split(c.cells));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeTest,
    ::testing::Values(
        DecodeCase{"NorthAtNoon",
                   {0x30, 0x61, 0x4C, 0x0C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                   true,
                   ".",
                   "12:00:00|50.05616°N|0.00000°E|000°|0m|0kph|0m|00%"},
        // The 24 low bits minus 2^24.
        DecodeCase{"South",
                   {0xF0, 0x9E, 0xB3, 0x8C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                   true,
                   ".",
                   "12:00:00|50.05584°S|0.00000°E|000°|0m|0kph|0m|00%"},
        DecodeCase{"SpecialFields",
                   {0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x0E, 0xF4, 0xFF, 0, 0xFF, 0xFF, 5},
                   true,
                   ".",
                   "00:00:00|0.00000°N|0.00000°E|270°|-12m|0kph|65535m|05%"},
        DecodeCase{"TimeAndWestOfGreenwich",
                   bytesOf({.hour = 9,
                            .minute = 5,
                            .second = 30,
                            .latitude = 3345678,
                            .longitude = -7012345,
                            .course = 45,
                            .height = 350,
                            .speed = 300,
                            .distance = 1234,
                            .rssi = 100}),
                   true, ".", "09:05:30|33.45678°N|70.12345°W|045°|350m|300kph|1234m|100%"},
        DecodeCase{"MaximumFields",
                   bytesOf({.hour = 23,
                            .minute = 59,
                            .second = 59,
                            .latitude = -3345678,
                            .longitude = 1993812,
                            .course = 511,
                            .height = 32767,
                            .speed = 511,
                            .distance = 0,
                            .rssi = 255}),
                   true, ".", "23:59:59|33.45678°S|19.93812°E|511°|32767m|511kph|0m|255%"},
        // Seven significant digits: at 100 degrees and more the fifth decimal is rounded away.
        DecodeCase{"HundredDegreesRoundsDown", bytesOf({.longitude = 12345674}), false, ".",
                   "00:00:00|0.00000°N|123.45670°E|||||"},
        DecodeCase{"HundredDegreesRoundsUp", bytesOf({.longitude = -12345675}), false, ".",
                   "00:00:00|0.00000°N|123.45680°W|||||"},
        DecodeCase{"RoundingCarries", bytesOf({.longitude = 17999995}), false, ".",
                   "00:00:00|0.00000°N|180.00000°E|||||"},
        DecodeCase{"JustBelowHundred", bytesOf({.latitude = 9999999}), false, ".",
                   "00:00:00|99.99999°N|0.00000°E|||||"},
        // Longitude bit 24 lives in bit 0 of byte 7, beside the minute.
        DecodeCase{"LongitudeBit24", bytesOf({.minute = 1, .longitude = 16777217}), false, ".",
                   "00:01:00|0.00000°N|167.77220°E|||||"},
        // Sign bits alone: the most negative values.
        DecodeCase{"SignBitsOnly",
                   {0, 0, 0, 0x80, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0},
                   false,
                   ".",
                   "00:00:00|167.77220°S|335.54430°W|||||"},
        // Bits 5-6 of byte 3 are not part of the hour.
        DecodeCase{"UnusedHourBits",
                   {0x30, 0x61, 0x4C, 0x6C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                   false,
                   ",",
                   "12:00:00|50,05616°N|0,00000°E|||||"},
        DecodeCase{"CommaSeparator", bytesOf({.latitude = 5006143, .longitude = 1993812}), true, ",",
                   "00:00:00|50,06143°N|19,93812°E|000°|0m|0kph|0m|00%"},
        // An erased record is empty in every column whatever bytes 9..15 hold.
        DecodeCase{"Erased", {255, 255, 255, 255, 255, 255, 255, 255, 255, 1, 2, 3, 4, 5, 6, 7}, true, ".", "|||||||"},
        DecodeCase{"OneByteWritten",
                   {255, 255, 255, 255, 255, 255, 255, 255, 0x3F, 255, 255, 255, 255, 255, 255, 255},
                   true,
                   ".",
                   "31:63:63|0.00001°S|0.00001°W|255°|-1m|255kph|65535m|255%"}),
    [](const auto& info) { return std::string(info.param.name); });

// Slot r of a 512-slot log holds something unless listed as empty.
LogSource logWithEmptySlots(ConfigImage& config, const std::vector<int>& filled) {
    config.separateLog = true;
    config.logImage.fill(0xFF);
    for (int r : filled) vorkal::test::putLogRecord(config, r, encodeRecord({.second = r % 60}));
    return SelectLogSource(config);
}

TEST(FindNewestLogRecordTest, RingPositions) {
    struct Case {
        const char* name;
        std::vector<int> filled;
        int newest, count;
    };
    std::vector<int> all(512), allBut100, firstTen{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, gap{0, 1, 2, 10, 11, 511};
    for (int i = 0; i < 512; ++i) {
        all[i] = i;
        if (i != 100) allBut100.push_back(i);
    }
    for (const Case& c : {Case{"AllEmpty", {}, 511, 0}, Case{"NeverWrapped", firstTen, 9, 10},
                          Case{"WrappedOneEmpty", allBut100, 99, 511}, Case{"NoEmptySlot", all, 511, 512},
                          Case{"SlotZeroEmpty", {5, 6, 511}, 511, 3}, Case{"LowestEmptyCounts", gap, 2, 6}}) {
        ConfigImage config;
        const LogSource source = logWithEmptySlots(config, c.filled);
        const NewestLogRecord found = FindNewestLogRecord(source, 511);
        EXPECT_EQ(found.newest, c.newest) << c.name;
        EXPECT_EQ(found.count, c.count) << c.name;
    }
}

TEST(SelectLogSourceTest, SourcesAndSlotCounts) {
    struct Case {
        const char* name;
        DisplayVariant variant;
        bool separateLog;
        uint8_t layoutByte;
        bool inImage;
        int slotCount;
    };
    for (const Case& c : {Case{"InImageThreeLayouts", DisplayVariant::D84x48, false, 0x30, true, 41},
                          Case{"InImageEightLayouts", DisplayVariant::D84x48, false, 0x80, true, 16},
                          Case{"InImageCountAboveEight", DisplayVariant::D84x48, false, 0xF2, true, 16},
                          Case{"InImageNoLayouts", DisplayVariant::D84x48, false, 0x00, true, 56},
                          Case{"Separate84x48", DisplayVariant::D84x48, true, 0x30, false, 512},
                          Case{"Separate128x64", DisplayVariant::D128x64, true, 0x30, false, 2048},
                          // A bare configuration imported on the large display still shows its log memory.
                          Case{"Large128x64WithoutFlag", DisplayVariant::D128x64, false, 0x30, false, 2048}}) {
        ConfigImage config;
        config.setVariant(c.variant);
        config.separateLog = c.separateLog;
        config.image[kLayoutByte] = c.layoutByte;
        const LogSource source = SelectLogSource(config);
        EXPECT_EQ(source.inImage, c.inImage) << c.name;
        EXPECT_EQ(source.slotCount, c.slotCount) << c.name;
        // Every slot lies inside its image, below the header bytes for the in-image area.
        const uint8_t* begin = c.inImage ? config.image.data() : config.logImage.data();
        const uint8_t* end = c.inImage ? config.image.data() + 504 : config.logImage.data() + kLogImageSize;
        EXPECT_GE(source.record(source.slotCount - 1), begin) << c.name;
        EXPECT_LE(source.record(0) + source.recordLength(), end) << c.name;
        if (c.inImage) {  // the lowest slot starts where the layout area ends
            EXPECT_EQ(source.record(source.slotCount - 1) - begin, config.layoutAreaLength()) << c.name;
        }
    }
}

}  // namespace
