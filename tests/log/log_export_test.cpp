#include "log_export.h"
#include "log_records.h"
#include "log_table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vorkal;
using vorkal::test::encodeRecord;

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Two flights: 10:00:00-10:00:30, then 61 s later 10:01:31-10:03:00 with one
// row at 50.00000 that the KML leaves out; ten empty slots fill the table.
ConfigImage fixtureLog() {
    ConfigImage config;
    config.separateLog = true;
    config.logImage.fill(0xFF);
    const vorkal::test::RecordFields records[] = {
        {.hour = 10, .latitude = 5006143, .longitude = 1993812, .course = 45, .height = 215, .speed = 30, .rssi = 87},
        {.hour = 10,
         .second = 30,
         .latitude = 5006200,
         .longitude = 1993900,
         .course = 90,
         .height = -12,
         .speed = 32,
         .distance = 65,
         .rssi = 5},
        {.hour = 10,
         .minute = 1,
         .second = 31,
         .latitude = -3345678,
         .longitude = -7012345,
         .course = 270,
         .height = 0,
         .speed = 300,
         .distance = 1234,
         .rssi = 100},
        {.hour = 10,
         .minute = 2,
         .latitude = 5000000,
         .longitude = 1993900,
         .height = 20,
         .distance = 1300,
         .rssi = 60},
        {.hour = 10,
         .minute = 3,
         .latitude = 5006300,
         .longitude = 12345678,
         .course = 7,
         .height = 350,
         .speed = 12,
         .distance = 1400,
         .rssi = 255},
    };
    for (int r = 0; r < 5; ++r) vorkal::test::putLogRecord(config, r, encodeRecord(records[r]));
    return config;
}

TEST(LogExportTest, FilesMatchFixturesByteForByte) {
    struct Case {
        const char* fixture;
        bool polish;
        const char* separator;
        int format;
    };
    const ConfigImage config = fixtureLog();
    for (const Case& c : {Case{"log_en.txt", false, ".", kExportText}, Case{"log_pl.txt", true, ".", kExportText},
                          Case{"log_comma.txt", false, ",", kExportText}, Case{"log.kml", false, ",", kExportKml},
                          Case{"log_extruded.kml", true, ".", kExportExtrudedKml}}) {
        const QByteArray actual = ExportLog(BuildLogTable(config, c.polish, c.separator), c.format);
        const QByteArray expected = readFile(QStringLiteral(VORKAL_TEST_DATA "/log/") + c.fixture);
        if (actual != expected) {  // keep the output for a diff
            QFile out(QStringLiteral(VORKAL_BINARY_DIR "/actual_") + c.fixture);
            if (out.open(QIODevice::WriteOnly)) out.write(actual);
        }
        EXPECT_FALSE(expected.isEmpty()) << c.fixture;
        EXPECT_EQ(actual, expected) << c.fixture << " differs; output kept as actual_" << c.fixture;
    }
}

TEST(LogExportTest, TextQuotesCellsWithSpacesQuotesAndCommas) {
    struct Case {
        QStringList row;
        QByteArray line;
    };
    for (const Case& c : {
             Case{{"1", "", "", "", "", "", "", "", ""}, "1,,,,,,,,"},
             Case{{"a b", "x\"y", "1,5", "tab\there", "plain", "\x01", "'", ";", "-"},
                  "\"a b\",\"x\"\"y\",\"1,5\",\"tab\there\",plain,\"\x01\",',;,-"},
             Case{{"50.1\xC2\xB0N"}, "50.1\xB0N,,,,,,,,"},
         }) {
        LogTableCells cells{LogTableHeader(false), c.row};
        const QByteArray text = ExportLogText(cells);
        EXPECT_EQ(text, "No.,Time,Latitude,Longitude,Course,Height,Speed,Distance,RSSI\r\n\r\n" + c.line + "\r\n");
    }
}

QStringList row(const QString& time, const QString& lat, const QString& lon, const QString& height = "10m") {
    return {"0", time, lat, lon, "", height, "", "", ""};
}

TEST(LogExportTest, CoordinateLines) {
    struct Case {
        QStringList row;
        QString line;
    };
    for (const Case& c : {
             Case{row("", "50.06143°N", "19.93812°E", "215m"), "     19.93812,50.06143,215"},
             Case{row("", "33.45678°S", "70.12345°W", "0m"), "     -70.12345,-33.45678,0"},
             Case{row("", "50.06143°N", "19.93812°E", "-12m"), "     19.93812,50.06143,0"},
             Case{row("", "50,06143°N", "123,45680°W", "7m"), "     -123.45680,50.06143,7"},
             // No height in 9-byte records: a two-value tuple, no trailing comma.
             Case{row("", "50.06143°N", "19.93812°E", ""), "     19.93812,50.06143"},
         }) {
        EXPECT_EQ(BuildKmlCoordinates(c.row), c.line) << c.line.toStdString();
    }
}

// Rows are given oldest first; the table lists them newest first.
LogTableCells tableOf(std::vector<QStringList> oldestFirst) {
    LogTableCells cells{LogTableHeader(false)};
    for (auto it = oldestFirst.rbegin(); it != oldestFirst.rend(); ++it) cells.append(*it);
    for (qsizetype r = 1; r < cells.size(); ++r) cells[r][0] = QString::number(r);
    return cells;
}

// Placemark names and coordinate lines of a KML document, in order.
QStringList kmlOutline(const QByteArray& kml) {
    QStringList outline;
    for (const QByteArray& line : kml.split('\n')) {
        const QString text = QString::fromLatin1(line).trimmed();
        if (text.startsWith("<name>Flight: ")) outline << text.mid(6, text.size() - 13);
        else if (!text.isEmpty() && text[0] != '<') outline << text;
    }
    return outline;
}

TEST(LogExportTest, KmlSplitsFlightsOnTimeGaps) {
    const QStringList empty{"0", "", "", "", "", "", "", "", ""};
    struct Case {
        const char* name;
        std::vector<QStringList> rows;
        QStringList outline;
    };
    for (const Case& c : {
             Case{"SixtySecondsStay",
                  {row("10:00:00", "1.00001°N", "2.00001°E"), row("10:01:00", "1.00002°N", "2.00002°E")},
                  {"Flight: 10:00:00", "2.00001,1.00001,10", "2.00002,1.00002,10"}},
             Case{"SixtyOneSecondsSplit",
                  {row("10:00:00", "1.00001°N", "2.00001°E"), row("10:01:01", "1.00002°N", "2.00002°E")},
                  {"Flight: 10:00:00", "2.00001,1.00001,10", "Flight: 10:01:01", "2.00002,1.00002,10"}},
             Case{"PastMidnightSplits",
                  {row("23:59:50", "1.00001°N", "2.00001°E"), row("00:00:10", "1.00002°N", "2.00002°E")},
                  {"Flight: 23:59:50", "2.00001,1.00001,10", "Flight: 00:00:10", "2.00002,1.00002,10"}},
             // A dropped line still moves the time on and the flight keeps its first row's
             // name; a flight whose lines are all dropped gets no placemark.
             Case{"DroppedLinesKeepTime",
                  {row("10:00:00", "0.00000°N", "0.00000°E"), row("10:01:00", "50.00000°N", "2.00001°E"),
                   row("10:02:00", "1.00002°N", "2.00002°E"), row("11:00:00", "1.00003°N", "10.00000°E")},
                  {"Flight: 10:00:00", "2.00002,1.00002,10"}},
             Case{"OnlyFlightWithoutFix",
                  {row("10:00:00", "0.00000°N", "0.00000°E"), row("10:00:05", "0.00000°N", "0.00000°E")},
                  {}},
             // Empty slots neither start flights nor break one.
             Case{"EmptySlotsSkipped",
                  {empty, row("10:00:00", "1.00001°N", "2.00001°E"), empty, row("10:00:30", "1.00002°N", "2.00002°E"),
                   empty},
                  {"Flight: 10:00:00", "2.00001,1.00001,10", "2.00002,1.00002,10"}},
             Case{"OnlyEmptySlots", {empty, empty}, {}},
             // A damaged hour reads 27:46:40, 100000 s, the "no previous row" mark: it still
             // opens its placemark instead of writing coordinates outside any.
             Case{"DamagedHourOpensFlight",
                  {row("27:46:40", "1.00001°N", "2.00001°E")},
                  {"Flight: 27:46:40", "2.00001,1.00001,10"}},
         }) {
        EXPECT_EQ(kmlOutline(ExportLogKml(tableOf(c.rows), false)), c.outline) << c.name;
    }
}

TEST(LogExportTest, ExtrudedDiffersOnlyByTheExtrudeLines) {
    const LogTableCells cells = BuildLogTable(fixtureLog(), false, ".");
    QByteArray extruded = ExportLog(cells, kExportExtrudedKml);
    EXPECT_EQ(extruded.count("   <extrude>1</extrude>\r\n"), 2);
    extruded.replace("   <extrude>1</extrude>\r\n", "");
    EXPECT_EQ(extruded, ExportLog(cells, kExportKml));
}

struct OgrFeature {
    QString name;
    QString geometry;
};

// Reads a KML file back through GDAL; empty when ogrinfo is not installed.
std::optional<std::vector<OgrFeature>> readWithOgr(const QString& path) {
    const QString exe = QStandardPaths::findExecutable("ogrinfo");
    if (exe.isEmpty()) return std::nullopt;
    QProcess p;
    p.start(exe, {"-ro", "-al", path});
    EXPECT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    std::vector<OgrFeature> features;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
        const QString t = line.trimmed();
        if (t.startsWith("OGRFeature(")) features.push_back({});
        else if (!features.empty() && t.startsWith("Name (String) = ")) features.back().name = t.mid(16);
        else if (!features.empty() && t.startsWith("LINESTRING")) features.back().geometry = t;
    }
    return features;
}

TEST(LogExportTest, KmlReadsBackAsTracks) {
    QTemporaryDir dir;
    struct Case {
        const char* name;
        QByteArray kml;
        std::vector<std::pair<QString, QString>> features;  // name, geometry
    };
    ConfigImage inImage;
    inImage.image.fill(0xFF);
    inImage.image[kLayoutByte] = 0x30;
    for (int r = 0; r < 3; ++r)
        vorkal::test::putInImageRecord(
            inImage, r,
            encodeRecord({.hour = 8, .second = 10 * r, .latitude = 5006143 + r, .longitude = -1993812 - r}));
    for (const Case& c : {
             Case{"SixteenByteRecords",
                  ExportLog(BuildLogTable(fixtureLog(), false, ","), kExportExtrudedKml),
                  {{"Flight: 10:00:00", "LINESTRING Z (19.93812 50.06143 215,19.939 50.062 0)"},
                   {"Flight: 10:01:31", "LINESTRING Z (-70.12345 -33.45678 0,123.4568 50.063 350)"}}},
             Case{"NineByteRecords",
                  ExportLog(BuildLogTable(inImage, false, "."), kExportKml),
                  {{"Flight: 08:00:00", "LINESTRING (-19.93812 50.06143,-19.93813 50.06144,-19.93814 50.06145)"}}},
         }) {
        const QString path = dir.filePath(QString::fromLatin1(c.name) + ".kml");
        ASSERT_TRUE(WriteFileAtomically(path, c.kml, nullptr));
        const auto features = readWithOgr(path);
        if (!features) GTEST_SKIP() << "ogrinfo absent";
        ASSERT_EQ(features->size(), c.features.size()) << c.name;
        for (size_t i = 0; i < c.features.size(); ++i) {
            EXPECT_EQ((*features)[i].name, c.features[i].first) << c.name;
            EXPECT_EQ((*features)[i].geometry, c.features[i].second) << c.name;
        }
    }
}

// gpsbabel's reading of a KML file as GPX tracks; stderr carries its complaints.
struct BabelTracks {
    QStringList names;
    QStringList points;  // "lat lon", every track in order
    QString errors;
};
BabelTracks readWithGpsbabel(const QString& path) {
    BabelTracks tracks;
    const QString exe = QStandardPaths::findExecutable("gpsbabel");
    if (exe.isEmpty()) {
        ADD_FAILURE() << "gpsbabel absent; scripts/deps.sh installs it for the tests";
        return tracks;
    }
    QProcess p;
    p.start(exe, {"-t", "-i", "kml", "-f", path, "-o", "gpx", "-F", "-"});
    EXPECT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0);
    tracks.errors = QString::fromUtf8(p.readAllStandardError());
    const QString gpx = QString::fromUtf8(p.readAllStandardOutput());
    static const QRegularExpression trackName("<trk>\\s*<name>([^<]*)</name>");
    static const QRegularExpression point("<trkpt lat=\"([^\"]*)\" lon=\"([^\"]*)\"");
    for (const auto& m : trackName.globalMatch(gpx)) tracks.names << m.captured(1);
    for (const auto& m : point.globalMatch(gpx)) tracks.points << m.captured(1) + ' ' + m.captured(2);
    return tracks;
}

TEST(LogExportTest, FlightWithoutFixLeavesNoPlacemark) {
    // Oldest first: a flight with a fix, one whose every row lacks it, then one more
    // with a fix whose first row lacks it.
    const LogTableCells cells = tableOf({
        row("10:00:00", "1.00001°N", "2.00001°E"),
        row("10:00:10", "1.00002°N", "2.00002°E"),
        row("11:00:00", "0.00000°N", "0.00000°E"),
        row("11:00:10", "0.00000°N", "0.00000°E", "-3m"),
        row("12:00:00", "0.00000°N", "0.00000°E"),
        row("12:00:10", "1.00003°N", "2.00003°E"),
    });
    QTemporaryDir dir;
    for (const bool extruded : {false, true}) {
        const QByteArray kml = ExportLogKml(cells, extruded);
        EXPECT_EQ(kmlOutline(kml),
                  QStringList({"Flight: 10:00:00", "2.00001,1.00001,10", "2.00002,1.00002,10", "Flight: 12:00:00",
                               "2.00003,1.00003,10"}))
            << "extruded " << extruded;
        EXPECT_EQ(kml.count("<Placemark>"), 2);
        EXPECT_EQ(kml.count("</Placemark>"), 2);

        const QString path = dir.filePath(extruded ? "extruded.kml" : "plain.kml");
        ASSERT_TRUE(WriteFileAtomically(path, kml, nullptr));
        const BabelTracks tracks = readWithGpsbabel(path);
        EXPECT_FALSE(tracks.errors.contains("malformed coordinates")) << tracks.errors.toStdString();
        EXPECT_EQ(tracks.names, QStringList({"Flight: 10:00:00", "Flight: 12:00:00"}));
        EXPECT_EQ(tracks.points,
                  QStringList({"1.000010000 2.000010000", "1.000020000 2.000020000", "1.000030000 2.000030000"}));
    }
}

TEST(WriteFileAtomicallyTest, ReplacesWholeOrNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath("log.txt");
    QString error;
    ASSERT_TRUE(WriteFileAtomically(path, "old\r\n", &error));
    ASSERT_TRUE(WriteFileAtomically(path, "new\r\n", &error));
    EXPECT_EQ(readFile(path), "new\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"log.txt"});  // no temporary left

    // A folder in the way of the file, and a file in the way of the folder.
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    for (const QString& bad : {dir.filePath("folder"), dir.filePath("log.txt/inside.txt")}) {
        error.clear();
        EXPECT_FALSE(WriteFileAtomically(bad, "data", &error)) << bad.toStdString();
        EXPECT_FALSE(error.isEmpty()) << bad.toStdString();
    }
    EXPECT_EQ(readFile(path), "new\r\n");
    EXPECT_TRUE(QFileInfo(dir.filePath("folder")).isDir());
}

TEST(WriteFileAtomicallyTest, AReplacedFileKeepsItsModeAndItsLink) {
    QTemporaryDir dir;
    const QString real = dir.filePath("real.kml");
    const QString link = dir.filePath("link.kml");
    ASSERT_TRUE(WriteFileAtomically(real, "old", nullptr));
    ASSERT_TRUE(QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    ASSERT_TRUE(QFile::link(real, link));
    const QFile::Permissions mode = QFile::permissions(real);  // 0640: neither a new file's nor a temporary's

    QString error;
    ASSERT_TRUE(WriteFileAtomically(link, "new", &error)) << error.toStdString();
    EXPECT_TRUE(QFileInfo(link).isSymLink());  // written through the link, which stays
    EXPECT_EQ(readFile(real), "new");
    EXPECT_EQ(QFile::permissions(real), mode);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              (QStringList{"link.kml", "real.kml"}));
}

}  // namespace
