// GPX export: read back through GDAL's GPX driver point by point, and checked against
// the GPX 1.1 track structure with xmllint.

#include "log_export.h"
#include "log_flights.h"
#include "log_records.h"
#include "log_table.h"

#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vorkal;
using vorkal::test::RecordFields;

namespace {

LogTableCells tableOf(const std::vector<RecordFields>& oldestFirst, bool polish = false, const char* separator = ".") {
    return BuildLogTable(vorkal::test::largeLogWith(oldestFirst), polish, separator);
}

RecordFields at(int h, int m, int s, int32_t lat, int32_t lon, int height) {
    return {.hour = h, .minute = m, .second = s, .latitude = lat, .longitude = lon, .height = height, .rssi = 50};
}

// Three flights: two points; one across midnight (so two flights by the time rule) with
// a row without fix; the 180th meridian and a negative height.
std::vector<RecordFields> threeFlights() {
    return {at(10, 0, 0, 5006143, 1993812, 215),   at(10, 0, 30, 5006200, 1993900, 230),
            at(23, 59, 50, 5006300, 1994012, 300), at(23, 59, 55, 0, 0, 999),
            at(0, 0, 10, 5006400, 1994112, 310),   at(0, 30, 0, -3345678, -17999990, -12),
            at(0, 30, 5, -3345600, 17999990, 0)};
}

struct OgrPoint {
    QMap<QString, QString> fields;
    QString geometry;
};

// The features of one layer as ogrinfo lists them; nullopt when GDAL is not installed.
std::optional<std::vector<OgrPoint>> ogrLayer(const QString& path, const QString& layer) {
    const QString exe = QStandardPaths::findExecutable("ogrinfo");
    if (exe.isEmpty()) return std::nullopt;
    QProcess p;
    p.start(exe, {"-ro", "-q", path, layer});
    EXPECT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    std::vector<OgrPoint> features;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
        const QString t = line.trimmed();
        if (t.startsWith("OGRFeature(")) {
            features.push_back({});
        } else if (!features.empty() && (t.startsWith("POINT") || t.startsWith("MULTILINESTRING"))) {
            features.back().geometry = t;
        } else if (!features.empty() && t.contains(" = ")) {
            const qsizetype paren = t.indexOf(" (");
            features.back().fields[t.left(paren)] = t.mid(t.indexOf(" = ") + 3);
        }
    }
    return features;
}

QString writeTemp(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(WriteFileAtomically(path, bytes, nullptr));
    return path;
}

TEST(LogGpxTest, EveryPointReadsBackThroughGdal) {
    QTemporaryDir dir;
    const LogTableCells cells = tableOf(threeFlights(), true, ",");  // Polish table, decimal commas
    const QString path = writeTemp(dir, "log.gpx", ExportLog(cells, kExportGpx, QDate(2026, 12, 10)));

    const auto tracks = ogrLayer(path, "tracks");
    if (!tracks) GTEST_SKIP() << "ogrinfo absent";
    QStringList names;
    for (const OgrPoint& t : *tracks) names << t.fields.value("name");
    EXPECT_EQ(names, (QStringList{"Flight: 10:00:00", "Flight: 23:59:50", "Flight: 00:00:10", "Flight: 00:30:00"}));

    struct Expected {
        int track, point;
        const char* geometry;
        const char* ele;
        const char* time;
    };
    const Expected expected[] = {
        {0, 0, "POINT (19.93812 50.06143)", "215", "2026/12/10 10:00:00+00"},
        {0, 1, "POINT (19.939 50.062)", "230", "2026/12/10 10:00:30+00"},
        {1, 0, "POINT (19.94012 50.063)", "300", "2026/12/10 23:59:50+00"},
        {2, 0, "POINT (19.94112 50.064)", "310", "2026/12/10 00:00:10+00"},
        {3, 0, "POINT (-179.9999 -33.45678)", "-12", "2026/12/10 00:30:00+00"},
        {3, 1, "POINT (179.9999 -33.456)", "0", "2026/12/10 00:30:05+00"},
    };
    const auto points = ogrLayer(path, "track_points");
    ASSERT_TRUE(points);
    ASSERT_EQ(points->size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const OgrPoint& p = (*points)[i];
        EXPECT_EQ(p.fields.value("track_fid").toInt(), expected[i].track);
        EXPECT_EQ(p.fields.value("track_seg_id").toInt(), 0);
        EXPECT_EQ(p.fields.value("track_seg_point_id").toInt(), expected[i].point);
        EXPECT_EQ(p.geometry, expected[i].geometry);
        EXPECT_EQ(p.fields.value("ele"), expected[i].ele);
        EXPECT_EQ(p.fields.value("time"), expected[i].time);
    }
}

TEST(LogGpxTest, FileIsUtf8AndFollowsTheTrackStructure) {
    const QString xmllint = QStandardPaths::findExecutable("xmllint");
    if (xmllint.isEmpty()) GTEST_SKIP() << "xmllint absent";
    QTemporaryDir dir;
    struct Case {
        const char* name;
        QByteArray gpx;
    };
    ConfigImage inImage;  // 9-byte records: points without height
    inImage.image.fill(0xFF);
    inImage.image[kLayoutByte] = 0x30;
    vorkal::test::putInImageRecord(inImage, 0, vorkal::test::encodeRecord(at(8, 0, 0, 5006143, 1993812, 0)));
    for (const Case& c : {
             Case{"ThreeFlights", ExportLogGpx(tableOf(threeFlights()), QDate(2026, 1, 2))},
             Case{"NoDate", ExportLogGpx(tableOf(threeFlights()), QDate())},
             Case{"NineByteRecords", ExportLogGpx(BuildLogTable(inImage, false, "."), QDate(2026, 1, 2))},
             // A damaged hour (27) and a flight without any fix.
             Case{"DamagedAndEmpty",
                  ExportLogGpx(tableOf({at(27, 0, 0, 5006143, 1993812, 5), at(9, 0, 0, 0, 0, 1)}), QDate(2026, 1, 2))},
             Case{"EmptyLog", ExportLogGpx(tableOf({}), QDate(2026, 1, 2))},
         }) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(c.gpx.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
        const QString path = writeTemp(dir, QString::fromLatin1(c.name) + ".gpx", c.gpx);
        QProcess p;
        p.start(xmllint, {"--noout", "--schema", QStringLiteral(VORKAL_TEST_DATA "/gpx/gpx11_tracks.xsd"), path});
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    }
}

TEST(LogGpxTest, PointsWithoutAValidTimeOrDateCarryNone) {
    const QByteArray damaged = ExportLogGpx(tableOf({at(27, 0, 0, 5006143, 1993812, 5)}), QDate(2026, 1, 2));
    EXPECT_EQ(damaged.count("<trkpt "), 1);
    EXPECT_EQ(damaged.count("<time>"), 0);
    const QByteArray undated = ExportLogGpx(tableOf(threeFlights()), QDate());
    EXPECT_EQ(undated.count("<trkpt "), 6);
    EXPECT_EQ(undated.count("<time>"), 0);
    const QByteArray dated = ExportLogGpx(tableOf(threeFlights()), QDate(2026, 1, 2));
    EXPECT_EQ(dated.count("<time>2026-01-02T"), 6);
}

}  // namespace
