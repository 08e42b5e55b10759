// The log view's model: rows rebuilt only when their source changed, and the flights
// and figures worked out from the same rows.

#include <gtest/gtest.h>

#include "log_records.h"
#include "log_view_model.h"

using namespace vorkal;
using vorkal::test::encodeRecord;

namespace {

ConfigImage logWithFlights() {
    ConfigImage config;
    config.setVariant(DisplayVariant::D128x64);
    config.separateLog = true;
    config.logImage.fill(0xFF);
    // Two flights: slots 0-4 ten seconds apart from 10:00:00 and, after a gap, 5-7.
    for (int r = 0; r < 8; ++r) {
        const int second = r < 5 ? r * 10 : 300 + r * 10;
        vorkal::test::putLogRecord(config, r,
                                   encodeRecord({.hour = 10,
                                                 .minute = second / 60,
                                                 .second = second % 60,
                                                 .latitude = 5000000 + 100 * r,
                                                 .longitude = 1900000,
                                                 .rssi = 90 - r}));
    }
    return config;
}

}  // namespace

TEST(LogViewModel, RebuildsOnlyWhenTheSourceChanges) {
    LogViewModel model;
    ConfigImage config = logWithFlights();
    ASSERT_TRUE(model.refresh(config, false, "."));
    const int first = model.revision();
    EXPECT_EQ(model.rows(), BuildLogTable(config, false, "."));

    struct Case {
        const char* name;
        std::function<void(ConfigImage&, bool&, QString&)> change;
        bool rebuilds;
    };
    const Case cases[] = {
        {"nothing", [](ConfigImage&, bool&, QString&) {}, false},
        {"a layout byte", [](ConfigImage& c, bool&, QString&) { c.image[20] ^= 1; }, false},
        {"a log byte", [](ConfigImage& c, bool&, QString&) { c.logImage[3] ^= 1; }, true},
        {"the language", [](ConfigImage&, bool& polish, QString&) { polish = !polish; }, true},
        {"the decimal separator", [](ConfigImage&, bool&, QString& sep) { sep = ","; }, true},
        {"the log source", [](ConfigImage& c, bool&, QString&) { c.separateLog = false; }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConfigImage changed = config;
        bool polish = false;
        QString sep = ".";
        ASSERT_FALSE(model.refresh(config, false, "."));  // the base again, unchanged
        const int before = model.revision();
        c.change(changed, polish, sep);
        EXPECT_EQ(model.refresh(changed, polish, sep), c.rebuilds);
        EXPECT_EQ(model.revision() != before, c.rebuilds);
        EXPECT_EQ(model.rows(), BuildLogTable(changed, polish, sep));
        model.refresh(config, false, ".");
    }
    EXPECT_GT(model.revision(), first);
}

TEST(LogViewModel, FlightsAndFiguresFollowTheRows) {
    LogViewModel model;
    EXPECT_TRUE(model.flights().isEmpty()) << "flights before any rows";
    ConfigImage config = logWithFlights();
    model.refresh(config, false, ",");
    ASSERT_EQ(model.flights().size(), 2);
    EXPECT_EQ(model.flights()[0].rows.size(), 5);
    EXPECT_EQ(model.flights()[1].rows.size(), 3);
    ASSERT_EQ(model.figures().size(), 2);
    for (int f = 0; f < 2; ++f) {
        const FlightFigures want = ComputeFlightFigures(model.flights()[f]);
        EXPECT_EQ(model.figures()[f].startTime, want.startTime);
        EXPECT_EQ(model.figures()[f].lowestRssi, want.lowestRssi);
        EXPECT_DOUBLE_EQ(model.figures()[f].distanceMetres, want.distanceMetres);
    }
    EXPECT_EQ(model.decimalSeparator(), ",");

    // A cleared log: the flights go with the rows.
    config.logImage.fill(0xFF);
    ASSERT_TRUE(model.refresh(config, false, ","));
    EXPECT_TRUE(model.flights().isEmpty());
    EXPECT_TRUE(model.figures().isEmpty());
}
