// Each display command end to end: vorkal-cli against the virtual display, checked on
// what the display holds afterwards (its state files) and on the files written.

#include <QDate>
#include <QJsonArray>
#include <QJsonObject>
#include <QXmlStreamReader>

#include "cli_fixture.h"
#include "config_image.h"
#include "firmware_files.h"
#include "settings_file.h"

using namespace vorkal;
using vorkal::testing::CliRun;
using vorkal::testing::CliTest;
using vorkal::testing::Describe;

namespace {

QJsonDocument Json(const QString& text) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text.toStdString();
    return doc;
}

// A settings file of the factory image with one byte of the first layout changed, so
// that a send is seen on the display.
QByteArray ChangedFactoryFile(DisplayVariant variant, bool separateLog) {
    ConfigImage config;
    config.setVariant(variant);
    config.LoadFactoryImage();
    config.separateLog = separateLog;
    QByteArray bytes = SettingsFileBytes(config);
    bytes[3] = char(bytes[3] ^ 0x01);
    return bytes;
}

}  // namespace

TEST_F(CliTest, PortsListsTheVirtualDisplayAsJson) {
    startDisplay();
    const CliRun r = run({"ports", "--json"}, false);
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const QJsonArray ports = Json(r.out).array();
    QJsonObject ours;
    for (const QJsonValue& p : ports)
        if (p["name"].toString() == "COM7") ours = p.toObject();
    ASSERT_FALSE(ours.isEmpty()) << r.out.toStdString();
    EXPECT_TRUE(ours["pseudoTerminal"].toBool());
    EXPECT_TRUE(ours["device"].toString().startsWith("/dev/pts/"));
    EXPECT_EQ(ours["link"].toString(), path("ports/COM7"));

    const CliRun plain = run({"ports"}, false);
    EXPECT_TRUE(plain.out.contains("COM7\t" + ours["device"].toString() + ": pseudo-terminal")) << Describe(plain);
}

TEST_F(CliTest, InfoTellsVersionVariantLogAndSpeed) {
    struct Case {
        const char* variant;
        const char* name;
        bool separateLog;
        const char* mark;  // of the version line
    } cases[] = {{"84", "84x48", false, ""}, {"84log", "84x48", true, "+"}, {"128", "128x64", true, "*"}};
    for (const Case& c : cases) {
        startDisplay({"--variant", c.variant, "--firmware-version", "v2.05"});
        const CliRun r = run({"info", "--json"});
        ASSERT_EQ(r.exitCode, 0) << Describe(r);
        const QJsonObject o = Json(r.out).object();
        // The version alone, whatever mark (or blank) the line carries after it.
        EXPECT_EQ(o["version"].toString(), "v2.05") << c.variant;
        EXPECT_EQ(o["variantMark"].toString(), c.mark) << c.variant;
        EXPECT_EQ(o["variant"].toString(), c.name);
        EXPECT_EQ(o["separateLog"].toBool(), c.separateLog) << c.variant;
        EXPECT_EQ(o["speed"].toInt(), 57600);
        EXPECT_EQ(o["port"].toString(), "COM7");
        display_.reset();
    }
}

TEST_F(CliTest, InfoFindsThePortByDeviceOrStoredPreferenceAndSpeaksPolish) {
    startDisplay();
    const CliRun ports = run({"ports", "--json"}, false);
    QString device;
    for (const QJsonValue& p : Json(ports.out).array())
        if (p["name"].toString() == "COM7") device = p["device"].toString();
    ASSERT_FALSE(device.isEmpty());

    const CliRun byDevice = run({"info", "--device", device}, false);
    EXPECT_EQ(byDevice.exitCode, 0) << Describe(byDevice);
    EXPECT_TRUE(byDevice.out.contains("Firmware version: v1.23")) << Describe(byDevice);

    storePreference("Port", kCom);
    const CliRun stored = run({"info", "--lang", "pl"}, false);
    EXPECT_EQ(stored.exitCode, 0) << Describe(stored);
    EXPECT_TRUE(stored.out.contains("Oprogramowanie: v1.23")) << Describe(stored);
    EXPECT_TRUE(stored.out.contains("Prędkość: 57600 bodów")) << Describe(stored);
}

TEST_F(CliTest, ReceiveWritesWhatTheDisplayHolds) {
    struct Case {
        const char* variant;
        qint64 fileSize;
        int imageBytes;
        QStringList faults;
    } cases[] = {
        {"84", kSettingsFile84x48, 512, {}},
        {"128", kSettingsFile128x64Log, 1024, {}},
        // Dropped replies are asked again, as in the window.
        {"128", kSettingsFile128x64Log, 1024, {"--drop-every", "9"}},
    };
    for (const Case& c : cases) {
        startDisplay(QStringList{"--variant", c.variant} + c.faults);
        const QString out = file(QString("r_%1.set").arg(c.variant));
        const CliRun r = run({"receive", out});
        ASSERT_EQ(r.exitCode, 0) << Describe(r);
        EXPECT_EQ(r.out.trimmed(), out);
        const QByteArray written = readFile(out);
        EXPECT_EQ(written.size(), c.fileSize);
        const QByteArray display = stopDisplayAndReadConfig();
        ASSERT_GE(display.size(), c.imageBytes);
        EXPECT_EQ(written.left(c.imageBytes), display.left(c.imageBytes)) << c.variant;
        display_.reset();
    }
}

TEST_F(CliTest, SendKeepsABackupOfTheDisplayFirst) {
    startDisplay();
    const QString before = file("before.set");
    ASSERT_EQ(run({"receive", before, "--quiet"}).exitCode, 0);
    const QString sent = file("sent.set");
    ASSERT_TRUE(writeFile(sent, ChangedFactoryFile(DisplayVariant::D128x64, true)));

    const CliRun r = run({"send", sent});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    ASSERT_EQ(backups().size(), 1);
    EXPECT_TRUE(r.out.contains("backup: " + backupFolder() + "/" + backups()[0])) << Describe(r);
    EXPECT_TRUE(r.err.contains("Reading the display for a backup...")) << Describe(r);
    // The backup is what the display held, the display now holds the file.
    EXPECT_EQ(readFile(backupFolder() + "/" + backups()[0]).left(1024), readFile(before).left(1024));
    const QByteArray display = stopDisplayAndReadConfig();
    const QByteArray file = readFile(sent);
    // Only the layouts are sent: compare the first block, which holds the changed byte.
    EXPECT_EQ(display.left(16), file.left(16));
    EXPECT_NE(display.left(16), readFile(before).left(16));
}

TEST_F(CliTest, SendWithoutBackupWritesNoBackup) {
    startDisplay({"--variant", "84"});
    const QString sent = file("sent.set");
    ASSERT_TRUE(writeFile(sent, ChangedFactoryFile(DisplayVariant::D84x48, false)));
    const CliRun r = run({"send", sent, "--no-backup"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_TRUE(backups().isEmpty());
    EXPECT_EQ(stopDisplayAndReadConfig().left(16), readFile(sent).left(16));
}

TEST_F(CliTest, DefaultsBacksUpAndRestoresTheFactoryLayouts) {
    startDisplay();
    const QString sent = file("sent.set");
    ASSERT_TRUE(writeFile(sent, ChangedFactoryFile(DisplayVariant::D128x64, true)));
    ASSERT_EQ(run({"send", sent, "--no-backup", "--quiet"}).exitCode, 0);

    const CliRun r = run({"defaults", "--yes"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_TRUE(r.err.contains("Return to Defaults Succes !")) << Describe(r);
    EXPECT_TRUE(r.out.contains("speed: 57600")) << Describe(r);
    ASSERT_EQ(backups().size(), 1);
    EXPECT_EQ(readFile(backupFolder() + "/" + backups()[0]).left(16), readFile(sent).left(16));
    ConfigImage factory;
    factory.setVariant(DisplayVariant::D128x64);
    factory.LoadFactoryImage();
    EXPECT_EQ(stopDisplayAndReadConfig().left(16), SettingsFileBytes(factory).left(16));
}

TEST_F(CliTest, SetBaudMovesTheDisplayAndTheStoredSpeed) {
    startDisplay();
    const CliRun r = run({"set-baud", "9600"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_TRUE(r.err.contains("New BaudRate is: 9600 baud")) << Describe(r);
    // The stored speed followed the display: the next call finds it without --speed.
    const CliRun next = run({"info", "--json"});
    ASSERT_EQ(next.exitCode, 0) << Describe(next);
    EXPECT_EQ(Json(next.out).object()["speed"].toInt(), 9600);
    // At the old speed it no longer answers.
    EXPECT_EQ(run({"info", "--speed", "57600"}).exitCode, 4);
}

TEST_F(CliTest, LogDownloadWritesEachFormat) {
    struct Case {
        const char* variant;
        const char* name;
        QStringList options;
        const char* contains;
    } cases[] = {
        {"128", "flight.txt", {}, "12:05:00"},
        {"128", "flight.kml", {}, "<kml"},
        {"84log", "extruded.kml", {"--extruded"}, "<extrude>1</extrude>"},
        {"84", "in_config.gpx", {}, "<trkpt"},
        {"128", "flight.gpx", {}, "<trkpt"},
    };
    for (const Case& c : cases) {
        startDisplay({"--variant", c.variant, "--demo-log"});
        const QString out = file(c.name);
        const CliRun r = run(QStringList{"log", "download", out} + c.options);
        ASSERT_EQ(r.exitCode, 0) << c.name << Describe(r);
        const QByteArray bytes = readFile(out);
        EXPECT_TRUE(bytes.contains(c.contains)) << c.name << "\n" << bytes.left(600).toStdString();
        if (QString(c.name).endsWith(".gpx")) {
            // Dated on the day of the download.
            EXPECT_TRUE(bytes.contains(QDate::currentDate().toString(Qt::ISODate).toUtf8() + "T") ||
                        bytes.contains(QDateTime::currentDateTimeUtc().date().toString(Qt::ISODate).toUtf8() + "T"));
            QXmlStreamReader xml(bytes);
            while (!xml.atEnd()) xml.readNext();
            EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
        }
        display_.reset();
    }
}

TEST_F(CliTest, LogClearEmptiesTheLog) {
    for (const char* variant : {"128", "84"}) {
        startDisplay({"--variant", variant, "--demo-log"});
        const QString before = file("before.gpx"), after = file("after.gpx");
        ASSERT_EQ(run({"log", "download", before, "--quiet"}).exitCode, 0);
        ASSERT_TRUE(readFile(before).contains("<trkpt"));
        const CliRun r = run({"log", "clear", "--yes"});
        ASSERT_EQ(r.exitCode, 0) << variant << Describe(r);
        ASSERT_EQ(run({"log", "download", after, "--quiet"}).exitCode, 0);
        EXPECT_FALSE(readFile(after).contains("<trkpt")) << variant;
        // Without log memory the clear rewrote configuration blocks: the layouts stay.
        const QString config = file("config.set");
        ASSERT_EQ(run({"receive", config, "--quiet"}).exitCode, 0);
        EXPECT_TRUE(SettingsFileHasLayouts(readFile(config))) << variant;
        display_.reset();
    }
}

TEST_F(CliTest, FlashProgramsAndVerifiesTheFirmware) {
    startDisplay({"--variant", "128", "--boot-block", "512"});
    const QString hex = file("new.hex");
    ASSERT_TRUE(writeFile(hex, vorkal::testing::ToHex(vorkal::testing::MakeFirmware(3000, "v1.24"))));
    const CliRun r = run({"flash", hex, "--yes"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_TRUE(r.err.contains("v1.24")) << Describe(r);
    const CliRun after = run({"info", "--json"});
    ASSERT_EQ(after.exitCode, 0) << Describe(after);
    EXPECT_EQ(Json(after.out).object()["version"].toString(), "v1.24") << Describe(after);
}

// A failed update leaves the display in its boot loader, where it answers no version
// query; the next flash finds it there and puts things right.
TEST_F(CliTest, FlashReachesADisplayWaitingInItsBootLoader) {
    startDisplay({"--variant", "128", "--boot-block", "512"});
    const QString tooLong = file("too_long.hex"), good = file("good.hex");
    // One byte more than the small processor takes: refused after the identification.
    ASSERT_TRUE(writeFile(tooLong, vorkal::testing::ToHex(vorkal::testing::MakeFirmware(15871, "v1.30"))));
    ASSERT_TRUE(writeFile(good, vorkal::testing::ToHex(vorkal::testing::MakeFirmware(3000, "v1.31"))));

    const CliRun refused = run({"flash", tooLong, "--yes"});
    EXPECT_EQ(refused.exitCode, 4) << Describe(refused);
    EXPECT_TRUE(refused.err.contains("Incompatible firmare !")) << Describe(refused);
    EXPECT_TRUE(refused.err.contains("or run vorkal-cli flash again")) << Describe(refused);
    EXPECT_FALSE(refused.err.contains("Open")) << Describe(refused);
    const CliRun stranded = run({"info"});
    ASSERT_EQ(stranded.exitCode, 4) << "the display should still wait in its boot loader\n" << Describe(stranded);

    const CliRun recovered = run({"flash", good, "--yes"});
    ASSERT_EQ(recovered.exitCode, 0) << Describe(recovered);
    EXPECT_TRUE(recovered.err.contains("looking for one waiting in its boot loader")) << Describe(recovered);
    EXPECT_TRUE(recovered.err.contains("Update successfull !")) << Describe(recovered);
    const CliRun after = run({"info", "--json"});
    ASSERT_EQ(after.exitCode, 0) << Describe(after);
    EXPECT_EQ(Json(after.out).object()["version"].toString(), "v1.31") << Describe(after);
}
