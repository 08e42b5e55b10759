#include "log_records.h"
#include "log_table.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vorkal;
using vorkal::test::encodeRecord;

namespace {

// Each filled slot carries its own number in its time: minute = slot / 60, second = slot % 60.
std::array<uint8_t, 16> slotRecord(int slot) {
    return encodeRecord({.minute = slot / 60, .second = slot % 60, .latitude = 5000000 + slot, .longitude = 1900000});
}

// The slot a data row shows, -1 for an empty one.
int slotOfRow(const QStringList& row) {
    const QString time = row.value(1);
    if (time.isEmpty()) return -1;
    return time.mid(3, 2).toInt() * 60 + time.mid(6, 2).toInt();
}

std::vector<int> shownSlots(const LogTableCells& cells) {
    std::vector<int> shown;
    for (qsizetype r = 1; r < cells.size(); ++r) shown.push_back(slotOfRow(cells[r]));
    return shown;
}

ConfigImage logMemoryWith(DisplayVariant variant, const std::vector<int>& filled) {
    ConfigImage config;
    config.setVariant(variant);
    config.separateLog = true;
    config.logImage.fill(0xFF);
    for (int r : filled) vorkal::test::putLogRecord(config, r, slotRecord(r));
    return config;
}

std::vector<int> range(int from, int to) {  // inclusive, either direction
    std::vector<int> v;
    for (int i = from;; i += from <= to ? 1 : -1) {
        v.push_back(i);
        if (i == to) break;
    }
    return v;
}

std::vector<int> concat(std::vector<int> a, const std::vector<int>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(LogTableTest, HeadersFollowTheLanguage) {
    ConfigImage config;
    EXPECT_EQ(BuildLogTable(config, false, ".").value(0),
              QStringList({"No.", "Time", "Latitude", "Longitude", "Course", "Height", "Speed", "Distance", "RSSI"}));
    EXPECT_EQ(BuildLogTable(config, true, ".").value(0),
              QStringList({"Lp.", "Czas", "Szer. geogr.", QString::fromUtf8("Dług. geogr."), "Kurs", "Wysok.", "Predk.",
                           QString::fromUtf8("Odległ."), "RSSI"}));
}

TEST(LogTableTest, WalksBackwardFromTheNewestRecord) {
    struct Case {
        const char* name;
        std::vector<int> filled;
        std::vector<int> expected;  // slot shown by each data row
    };
    const std::vector<int> none(15, -1);
    const std::vector<int> allBut100 = concat(range(0, 99), range(101, 511));
    for (const Case& c : {
             Case{"Cleared", {}, none},
             // Rows past the records wrap to the empty top slots and show only their numbers.
             Case{"NeverWrapped", range(0, 9), concat(range(9, 0), std::vector<int>(5, -1))},
             Case{"WrappedOneEmpty", allBut100, concat(range(99, 0), range(511, 101))},
             Case{"NoEmptySlot", range(0, 511), range(511, 0)},
         }) {
        const LogTableCells cells = BuildLogTable(logMemoryWith(DisplayVariant::D84x48, c.filled), false, ".");
        EXPECT_EQ(shownSlots(cells), c.expected) << c.name;
        for (qsizetype r = 1; r < cells.size(); ++r) {
            ASSERT_EQ(cells[r].size(), kLogColumns) << c.name;
            ASSERT_EQ(cells[r][0], QString::number(r)) << c.name;
            if (slotOfRow(cells[r]) < 0) {
                ASSERT_EQ(cells[r].mid(1), QStringList(kLogColumns - 1, QString())) << c.name << " row " << r;
            }
        }
    }
}

TEST(LogTableTest, LargeDisplayShowsAllSlots) {
    const LogTableCells cells = BuildLogTable(logMemoryWith(DisplayVariant::D128x64, range(0, 2047)), false, ".");
    ASSERT_EQ(cells.size(), 2049);
    EXPECT_EQ(shownSlots(cells), range(2047, 0));
    EXPECT_EQ(cells[1][4], QString::fromUtf8("000°"));
}

TEST(LogTableTest, InImageAreaWithThreeLayouts) {
    ConfigImage config;
    config.image.fill(0xFF);
    config.image[kLayoutByte] = 0x30;
    // Slots 0..40 hold the records; the header bytes above them must not be read as one.
    for (int r = 0; r <= 40; ++r) vorkal::test::putInImageRecord(config, r, slotRecord(r));
    const LogTableCells cells = BuildLogTable(config, false, ",");
    ASSERT_EQ(cells.size(), 42);
    EXPECT_EQ(shownSlots(cells), range(40, 0));
    // Slot 40 lies at bytes 135..143, right after the three layouts; slot 0 at 495..503.
    EXPECT_EQ(cells[1].mid(1), QStringList({"00:00:40", QString::fromUtf8("50,00040°N"),
                                            QString::fromUtf8("19,00000°E"), "", "", "", "", ""}));
    EXPECT_EQ(cells[41][1], "00:00:00");
}

TEST(LogTableTest, LayoutCountAboveEightLeavesSixteenSlots) {
    ConfigImage config;
    config.image.fill(0xFF);
    config.image[kLayoutByte] = 0x90;
    for (int r = 0; r < 16; ++r) vorkal::test::putInImageRecord(config, r, slotRecord(r));
    const LogTableCells cells = BuildLogTable(config, false, ".");
    EXPECT_EQ(shownSlots(cells), range(15, 0));
}

// With the flag clear the large display reads its log memory, never past the configuration.
TEST(LogTableTest, LargeDisplayWithoutFlagReadsTheLogImage) {
    ConfigImage config = logMemoryWith(DisplayVariant::D128x64, range(0, 19));
    config.separateLog = false;
    const LogTableCells cells = BuildLogTable(config, false, ".");
    EXPECT_EQ(shownSlots(cells), range(19, 0));
    EXPECT_EQ(cells[1][8], "00%");
}

}  // namespace
