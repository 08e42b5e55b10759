// Flights, their figures and the local projection, read from log tables built out of
// crafted records.

#include "log_export.h"
#include "log_flights.h"
#include "log_records.h"
#include "log_table.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vorkal;
using vorkal::test::RecordFields;

namespace {

constexpr double kMetresPerDegree = 6371008.8 * M_PI / 180;

LogTableCells tableOf(const std::vector<RecordFields>& records, const QString& separator = ".") {
    return BuildLogTable(vorkal::test::largeLogWith(records), false, separator);
}

RecordFields at(int h, int m, int s, int32_t lat, int32_t lon, int height = 100, int speed = 20, int rssi = 80) {
    return {.hour = h,
            .minute = m,
            .second = s,
            .latitude = lat,
            .longitude = lon,
            .height = height,
            .speed = speed,
            .rssi = rssi};
}

TEST(LogFlightsTest, FiguresOfCraftedFlights) {
    struct Expected {
        QString start;
        int duration;
        int positions;
        double distance, farthest;  // metres, within 1 m
        std::optional<int> highest, lowest, topSpeed, lowestRssi;
    };
    struct Case {
        const char* name;
        std::vector<RecordFields> records;
        std::vector<Expected> flights;
    };
    // 0.009 degree north and east at the equator: a diagonal of 0.009 * sqrt(2) degrees.
    const double equatorDiagonal = 0.009 * std::sqrt(2.0) * kMetresPerDegree;
    const double rowsWithoutFixStep = 0.002 * kMetresPerDegree * std::cos(50.001 * M_PI / 180);
    for (const Case& c : {
             // Time runs backward at midnight, which begins a new flight.
             Case{"AcrossMidnight",
                  {at(23, 59, 30, 5000100, 2012345, 300, 40, 90), at(23, 59, 50, 5000200, 2012345, 320, 42, 70),
                   at(0, 0, 10, 5000300, 2012345, 310, 41, 60), at(0, 0, 30, 5000400, 2012345, 290, 39, 65)},
                  {{"23:59:30", 20, 2, 0.001 * kMetresPerDegree, 0.001 * kMetresPerDegree, 320, 300, 42, 70},
                   {"00:00:10", 20, 2, 0.001 * kMetresPerDegree, 0.001 * kMetresPerDegree, 310, 290, 41, 60}}},
             Case{"SinglePoint",
                  {at(12, 0, 0, 5006143, 1993812, -12, 0, 5)},
                  {{"12:00:00", 0, 1, 0, 0, -12, -12, 0, 5}}},
             // South-west of 180 E / 0 N to north-east of 180 W: a short hop, not round the world.
             Case{"Across180AndEquator",
                  {at(8, 0, 0, -450, 17999550, 10, 5, 50), at(8, 0, 30, 450, -17999550, 30, 9, 40)},
                  {{"08:00:00", 30, 2, equatorDiagonal, equatorDiagonal, 30, 10, 9, 40}}},
             // Rows without a fix read 0.00000: no place, height or speed, but their time and
             // RSSI count.
             Case{"RowsWithoutFix",
                  {at(9, 0, 0, 0, 0, 999, 250, 30), at(9, 0, 20, 5000100, 2012345, 200, 10, 80),
                   at(9, 0, 40, 0, 0, 999, 250, 3), at(9, 1, 0, 5000100, 2012545, 210, 12, 70)},
                  {{"09:00:00", 60, 2, rowsWithoutFixStep, rowsWithoutFixStep, 210, 200, 12, 3}}},
         }) {
        SCOPED_TRACE(c.name);
        const QList<FlightRows> flights = ReadLogFlights(tableOf(c.records));
        ASSERT_EQ(flights.size(), qsizetype(c.flights.size()));
        for (size_t f = 0; f < c.flights.size(); ++f) {
            const Expected& e = c.flights[f];
            const FlightFigures got = ComputeFlightFigures(flights[f]);
            EXPECT_EQ(got.startTime, e.start);
            EXPECT_EQ(got.durationSeconds, e.duration);
            EXPECT_EQ(got.positions, e.positions);
            EXPECT_NEAR(got.distanceMetres, e.distance, 1.0);
            EXPECT_NEAR(got.farthestMetres, e.farthest, 1.0);
            EXPECT_EQ(got.highest, e.highest);
            EXPECT_EQ(got.lowest, e.lowest);
            EXPECT_EQ(got.topSpeed, e.topSpeed);
            EXPECT_EQ(got.lowestRssi, e.lowestRssi);
        }
    }
}

TEST(LogFlightsTest, DistanceAddsStepsAndFarthestTakesTheLargest) {
    // Out 0.002 degree east, back 0.001 west: 0.003 flown, 0.002 at most from the start.
    // The row without a fix between them neither breaks nor lengthens the path.
    const double east = kMetresPerDegree * std::cos(50.001 * M_PI / 180);
    const QList<FlightRows> flights =
        ReadLogFlights(tableOf({at(9, 0, 0, 5000100, 2012345), at(9, 0, 20, 5000100, 2012545), at(9, 0, 30, 0, 0),
                                at(9, 0, 40, 5000100, 2012445)}));
    ASSERT_EQ(flights.size(), 1);
    const FlightFigures got = ComputeFlightFigures(flights[0]);
    EXPECT_NEAR(got.distanceMetres, 0.003 * east, 0.5);
    EXPECT_NEAR(got.farthestMetres, 0.002 * east, 0.5);
}

TEST(LogFlightsTest, FlightsMatchTheKmlPlacemarks) {
    // Two flights 61 s apart, empty slots after them, and one flight of rows without fix.
    const LogTableCells cells = tableOf({at(10, 0, 0, 5000100, 2012345), at(10, 1, 0, 5000200, 2012345),
                                         at(10, 2, 1, 5000300, 2012345), at(11, 0, 0, 0, 0)});
    const QList<LogFlight> flights = SplitLogFlights(cells);
    const QByteArray kml = ExportLogKml(cells, false);
    ASSERT_EQ(flights.size(), 3);
    // Every flight with a position is a placemark; the one without a fix is not.
    qsizetype withFix = 0;
    for (const FlightRows& flight : ReadLogFlights(cells)) withFix += ComputeFlightFigures(flight).positions > 0;
    EXPECT_EQ(withFix, 2);
    EXPECT_EQ(kml.count("<Placemark>"), withFix);
    EXPECT_FALSE(kml.contains("Flight: 11:00:00"));
    // Table rows are newest first: rows 4..1 hold the records oldest first.
    EXPECT_EQ(flights[0].rows, (QList<int>{4, 3}));
    EXPECT_EQ(flights[1].rows, (QList<int>{2}));
    EXPECT_EQ(flights[2].rows, (QList<int>{1}));
    EXPECT_EQ(ComputeFlightFigures(ReadLogFlights(cells)[2]).positions, 0);
}

TEST(LogFlightsTest, RowsReadWithEitherDecimalSeparator) {
    for (const QString& separator : {QStringLiteral("."), QStringLiteral(",")}) {
        const LogTableCells cells = tableOf({at(7, 5, 9, -3345678, -12345670, -12, 300, 7)}, separator);
        const LogRowValues v = ReadLogRow(cells, 1);
        EXPECT_TRUE(v.hasPosition);
        EXPECT_DOUBLE_EQ(v.latitude, -33.45678);
        EXPECT_DOUBLE_EQ(v.longitude, -123.4567);
        EXPECT_EQ(v.seconds, 7 * 3600 + 5 * 60 + 9);
        EXPECT_EQ(v.height, -12);
        EXPECT_EQ(v.speed, 300);
        EXPECT_EQ(v.rssi, 7);
    }
}

TEST(LogFlightsTest, NineByteRecordsHaveNoHeightSpeedOrRssi) {
    ConfigImage config;
    config.image.fill(0xFF);
    config.image[kLayoutByte] = 0x30;
    vorkal::test::putInImageRecord(config, 0, vorkal::test::encodeRecord(at(8, 0, 0, 5006143, 1993812)));
    const QList<FlightRows> flights = ReadLogFlights(BuildLogTable(config, false, "."));
    ASSERT_EQ(flights.size(), 1);
    const FlightFigures got = ComputeFlightFigures(flights[0]);
    EXPECT_EQ(got.positions, 1);
    EXPECT_EQ(FormatFlightFigures(got, "."), (QStringList{"08:00:00", "0:00:00", "0m", "0m", "-", "-", "-", "-"}));
}

TEST(LogFlightsTest, FiguresAsText) {
    FlightFigures f;
    f.startTime = "10:00:00";
    f.durationSeconds = 3725;
    f.positions = 9;
    f.distanceMetres = 12345.6;
    f.farthestMetres = 999.4;
    f.highest = 350;
    f.lowest = -12;
    f.topSpeed = 88;
    f.lowestRssi = 5;
    EXPECT_EQ(FormatFlightFigures(f, ","),
              (QStringList{"10:00:00", "1:02:05", "12,35km", "999m", "350m", "-12m", "88kph", "05%"}));
    f.positions = 0;
    EXPECT_EQ(FormatFlightFigures(f, ".").mid(2, 2), (QStringList{"-", "-"}));
    EXPECT_EQ(FlightFiguresHeader(true).size(), FormatFlightFigures(f, ".").size());
}

TEST(LogFlightsTest, ProjectionKeepsMetresNorthUpAndAspect) {
    // 0.01 degree north and 0.01 degree east of a point at 60 N: 1112 m by 556 m.
    const QList<FlightRows> flights = ReadLogFlights(
        tableOf({at(9, 0, 0, 6000100, 1012345), at(9, 0, 10, 6001100, 1012345), at(9, 0, 20, 6001100, 1013345)}));
    const ProjectedTrack track = ProjectFlights(flights);
    ASSERT_TRUE(track.hasPoints);
    const double north = 0.01 * kMetresPerDegree;
    const double east = 0.01 * kMetresPerDegree * std::cos(60.00767 * M_PI / 180);
    EXPECT_NEAR(track.bounds.height(), north, 1.0);
    EXPECT_NEAR(track.bounds.width(), east, 1.0);
    EXPECT_EQ(track.lowestHeight, 100);

    // A 400 x 400 picture with no margin: the taller axis fills it, the other is centred.
    const TrackFrame frame(track.bounds, QSizeF(400, 400), 0);
    const QList<TrackPoint>& points = track.flights[0];
    const QPointF start = frame.toPixel(points[0].metres);
    const QPointF north1 = frame.toPixel(points[1].metres);
    const QPointF east1 = frame.toPixel(points[2].metres);
    EXPECT_NEAR(start.y(), 400, 1e-6);  // south edge at the bottom
    EXPECT_NEAR(north1.y(), 0, 1e-6);
    EXPECT_NEAR(north1.x(), start.x(), 1e-6);
    EXPECT_NEAR(east1.x() - start.x(), 400 * east / north, 0.5);
    EXPECT_NEAR((start.x() + east1.x()) / 2, 200, 1e-6);

    // Clicks: the nearest point within reach, nothing beyond it.
    EXPECT_EQ(NearestTrackRow(track, frame, start + QPointF(3, -4), 6), points[0].row);
    EXPECT_EQ(NearestTrackRow(track, frame, east1 + QPointF(-2, 1), 6), points[2].row);
    EXPECT_EQ(NearestTrackRow(track, frame, QPointF(start.x() + 100, 200), 6), -1);
}

TEST(LogFlightsTest, ProjectionAcross180StaysLocal) {
    const ProjectedTrack track =
        ProjectFlights(ReadLogFlights(tableOf({at(8, 0, 0, -450, 17999550), at(8, 0, 30, 450, -17999550)})));
    EXPECT_NEAR(track.bounds.width(), 0.009 * kMetresPerDegree, 1.0);
    EXPECT_NEAR(track.bounds.height(), 0.009 * kMetresPerDegree, 1.0);
}

TEST(LogFlightsTest, NoPositionsGiveAnEmptyTrack) {
    const ProjectedTrack track = ProjectFlights(ReadLogFlights(tableOf({at(9, 0, 0, 0, 0)})));
    EXPECT_FALSE(track.hasPoints);
    ASSERT_EQ(track.flights.size(), 1);
    EXPECT_TRUE(track.flights[0].isEmpty());
    // A single point still gets a usable frame.
    const TrackFrame frame(QRectF(QPointF(5, 5), QSizeF(0, 0)), QSizeF(100, 80), 10);
    EXPECT_EQ(frame.toPixel(QPointF(5, 5)), QPointF(50, 40));
    EXPECT_TRUE(std::isfinite(frame.pixelsPerMetre()));
}

}  // namespace
