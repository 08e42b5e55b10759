// What scripts rely on when things go wrong: the exit code of each kind of failure, the
// display left untouched when the backup cannot be made, Ctrl+C during a transfer, and
// the progress bar on a terminal.

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <functional>

#include "cli_fixture.h"
#include "config_image.h"
#include "firmware_files.h"
#include "settings_file.h"

using namespace vorkal;
using vorkal::testing::CliRun;
using vorkal::testing::CliTest;
using vorkal::testing::Describe;

namespace {

// Reads what `p` writes on standard error into `err` until `done` holds; false when the
// program went quiet for 20 s or ended first.
bool ReadErrorUntil(QProcess& p, QByteArray& err, const std::function<bool()>& done) {
    p.setReadChannel(QProcess::StandardError);
    while (!done() && p.waitForReadyRead(20000)) err += p.readAllStandardError();
    return done();
}

// `after` has been written since the last `mark`.
bool SaidAfter(const QByteArray& err, const char* mark, const char* after) {
    const qsizetype at = err.lastIndexOf(mark);
    return at >= 0 && err.indexOf(after, at) >= 0;
}

QByteArray FactoryFile(DisplayVariant variant) {
    ConfigImage config;
    config.setVariant(variant);
    config.LoadFactoryImage();
    config.separateLog = variant == DisplayVariant::D128x64;
    QByteArray bytes = SettingsFileBytes(config);
    bytes[3] = char(bytes[3] ^ 0x01);
    return bytes;
}

}  // namespace

TEST_F(CliTest, EachFailureHasItsExitCode) {
    struct Case {
        const char* what;
        QStringList display;  // empty: no display at all
        QStringList args;
        int exitCode;
        const char* said;
    } cases[] = {
        {"no such port",
         {},
         {"info"},
         3,
         "Can't open port COM7\nCOM7 is a link to /nonexistent/ttyUSB9, which no longer exists"},
        {"silent display", {"--mute"}, {"info"}, 4, "Disconnected"},
        {"wrong speed", {"--speed-index", "3"}, {"info"}, 4, "No display answered on COM7 at 57600 baud"},
        {"hang-up in a receive", {"--hang-up-after", "12"}, {"receive", "@/r.set"}, 3, "closed"},
        {"check bytes all wrong", {"--corrupt-crc", "-1"}, {"receive", "@/r.set"}, 4, "Error"},
        {"writes refused", {"--refuse-writes", "-1"}, {"send", "@/ok.set", "--no-backup"}, 4, ""},
        {"log reads fail", {"--log-read-error", "-1"}, {"log", "download", "@/l.txt"}, 4, ""},
        {"file not there", {}, {"send", "@/missing.set"}, 5, "Cannot read the file"},
        {"not a settings file", {}, {"send", "@/short.set"}, 5, "is not a settings file: it has 100 bytes"},
        {"file of the other variant", {}, {"send", "@/small.set"}, 5, "is for a 84x48 display"},
        {"folder not there", {}, {"receive", "@/no/such/folder/r.set"}, 5, "Cannot write the file"},
        {"not a firmware file", {}, {"flash", "@/short.set", "--yes"}, 5, ""},
        {"firmware verification fails", {"--corrupt-flash"}, {"flash", "@/new.hex", "--yes"}, 4, "boot loader"},
        {"hang-up in programming", {"--hang-up-in-program", "700"}, {"flash", "@/new.hex", "--yes"}, 3, ""},
    };
    ASSERT_TRUE(writeFile(file("ok.set"), FactoryFile(DisplayVariant::D128x64)));
    ASSERT_TRUE(writeFile(file("small.set"), FactoryFile(DisplayVariant::D84x48)));
    ASSERT_TRUE(writeFile(file("short.set"), QByteArray(100, 'x')));
    ASSERT_TRUE(writeFile(file("new.hex"), vorkal::testing::ToHex(vorkal::testing::MakeFirmware(3000, "v1.24"))));
    for (const Case& c : cases) {
        const bool needsDisplay = QString(c.what) != "no such port";
        if (needsDisplay) startDisplay(QStringList{"--variant", "128"} + c.display);
        // A port whose device is gone (not the naming rule's, which may exist here).
        else ASSERT_TRUE(QFile::link("/nonexistent/ttyUSB9", path("ports/COM7")));
        QStringList args = c.args;
        for (QString& a : args) a.replace("@/", file(""));
        const CliRun r = run(args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.what << "\n" << Describe(r);
        EXPECT_TRUE(r.err.contains(c.said)) << c.what << "\n" << Describe(r);
        display_.reset();
    }
}

TEST_F(CliTest, NothingIsSentWhenTheBackupCannotBeMade) {
    const QString sent = file("sent.set");
    ASSERT_TRUE(writeFile(sent, FactoryFile(DisplayVariant::D128x64)));
    struct Case {
        const char* what;
        QStringList display;
        bool dataHomeIsAFile;
        int exitCode;
        const char* said;
    } cases[] = {
        {"display unreadable", {"--corrupt-crc", "-1"}, false, 4, "could not be read for a backup"},
        {"backup folder unwritable", {}, true, 5, "could not be written to"},
    };
    for (const Case& c : cases) {
        startDisplay(QStringList{"--variant", "128"} + c.display);
        if (c.dataHomeIsAFile) {
            dataHome_ = file("plain-file");
            ASSERT_TRUE(writeFile(dataHome_, "x"));
        }
        const CliRun r = run({"send", sent});
        EXPECT_EQ(r.exitCode, c.exitCode) << c.what << "\n" << Describe(r);
        EXPECT_TRUE(r.err.contains(c.said)) << c.what << "\n" << Describe(r);
        EXPECT_NE(stopDisplayAndReadConfig().left(16), readFile(sent).left(16)) << c.what;
        dataHome_.clear();
        display_.reset();
    }
}

TEST_F(CliTest, AReceiveWritesItsFileOnlyWhenEveryBlockCameIn) {
    // The file is written while the last block's pause still runs: a receive that fails
    // at any block, the last included, must leave the earlier file as it was.
    struct Case {
        const char* what;
        QStringList faults;
        int exitCode;
    } cases[] = {
        {"line gone mid-way", {"--hang-up-after", "12"}, 3},
        {"last block unanswered", {"--hang-up-after", "64"}, 3},
        {"no block arrives whole", {"--corrupt-crc", "-1"}, 4},
        // Every block came in; the line went only in the pause after the last one.
        {"line gone after the last block", {"--hang-up-after", "65"}, 0},
    };
    const QString out = file("kept.set");
    const QByteArray earlier = FactoryFile(DisplayVariant::D128x64);
    for (const Case& c : cases) {
        ASSERT_TRUE(writeFile(out, earlier));
        startDisplay(QStringList{"--variant", "128"} + c.faults);
        const CliRun r = run({"receive", out, "--quiet"});
        EXPECT_EQ(r.exitCode, c.exitCode) << c.what << "\n" << Describe(r);
        const QByteArray written = readFile(out);
        const QByteArray display = stopDisplayAndReadConfig();
        if (c.exitCode == 0) {
            ASSERT_EQ(written.size(), kSettingsFile128x64Log) << c.what;
            EXPECT_EQ(written.left(1024), display.left(1024)) << c.what;
        } else {
            EXPECT_EQ(written, earlier) << c.what;
        }
        EXPECT_EQ(QDir(file("")).entryList(QDir::Files | QDir::Hidden), QStringList{"kept.set"}) << c.what;
        display_.reset();
    }
}

TEST_F(CliTest, CtrlCCancelsAReceiveAndFreesThePort) {
    // Every reply late, so the receive is surely running when the signal comes.
    QProcess p;
    QByteArray err;
    ASSERT_NO_FATAL_FAILURE(startSlowReceive(p, err));
    ::kill(pid_t(p.processId()), SIGINT);
    CliRun r = finish(p);
    r.err.prepend(QString::fromUtf8(err));
    EXPECT_EQ(r.exitCode, 130) << Describe(r);
    EXPECT_TRUE(r.err.contains("Canceled")) << Describe(r);
    EXPECT_FALSE(QFile::exists(file("r.set")));
    // The port was closed and the display answers the next call.
    const CliRun again = run({"info"});
    EXPECT_EQ(again.exitCode, 0) << Describe(again);
}

TEST_F(CliTest, APortInUseNamesTheProgramHoldingIt) {
    QProcess first;
    QByteArray err;
    ASSERT_NO_FATAL_FAILURE(startSlowReceive(first, err));
    const CliRun second = run({"info"});
    EXPECT_EQ(second.exitCode, 3) << Describe(second);
    EXPECT_TRUE(second.err.contains(QString("is in use by vorkal-cli (pid %1)").arg(first.processId())))
        << Describe(second);
    // The first goes on undisturbed.
    EXPECT_EQ(finish(first).exitCode, 0);
}

TEST_F(CliTest, ProgressIsABarOnATerminalAndNothingWhenQuiet) {
    startDisplay({"--variant", "84log"});
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    QProcess p;
    p.setChildProcessModifier([slave] { dup2(slave, STDERR_FILENO); });
    start(p, {"receive", file("r.set")});
    const CliRun r = finish(p);
    ::close(slave);
    QByteArray screen;
    fcntl(master, F_SETFL, O_NONBLOCK);
    char buffer[4096];
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;) screen.append(buffer, n);
    ::close(master);
    ASSERT_EQ(r.exitCode, 0) << Describe(r) << screen.toStdString();
    EXPECT_TRUE(screen.contains("\r[")) << screen.toStdString();
    EXPECT_TRUE(screen.contains("100%  512/512 bytes")) << screen.toStdString();
    EXPECT_TRUE(screen.contains(" left")) << screen.toStdString();

    const CliRun quiet = run({"receive", file("q.set"), "--quiet"});
    ASSERT_EQ(quiet.exitCode, 0) << Describe(quiet);
    EXPECT_TRUE(quiet.err.isEmpty()) << Describe(quiet);
}

TEST_F(CliTest, AFirmwareFileIsCheckedBeforeThePortOpens) {
    // The port leads nowhere: a flash that opened it before reading the file would
    // complain about the port instead.
    ASSERT_TRUE(QFile::link("/nonexistent/ttyUSB9", path("ports/COM7")));
    ASSERT_TRUE(writeFile(file("no_marker.hex"), ":0400000001020304F2\n:00000001FF\n"));
    ASSERT_TRUE(writeFile(file("text.hex"), "not a hex file\n"));
    ASSERT_TRUE(writeFile(file("bad_sum.hex"), ":0400000001020304F3\n:00000001FF\n"));
    struct Case {
        QString fileName;
        bool polish;
        QStringList said;
    } cases[] = {
        {file("missing.hex"), false, {"Cannot read the file " + file("missing.hex") + ":"}},
        {file(""), false, {"Cannot read the file " + file("") + ":", "It is a folder."}},
        {file("no_marker.hex"), false, {"Loaded file is not right firmware", "File: " + file("no_marker.hex")}},
        {file("no_marker.hex"),
         true,
         {QString::fromUtf8("Wczytany plik nie jest prawidłowym"), "Plik: " + file("no_marker.hex")}},
        {file("text.hex"), false, {"File: " + file("text.hex")}},
        {file("bad_sum.hex"), true, {"Plik: " + file("bad_sum.hex")}},
    };
    for (const Case& c : cases) {
        QStringList args{"flash", c.fileName, "--yes"};
        if (c.polish) args << "--lang" << "pl";
        const CliRun r = run(args);
        EXPECT_EQ(r.exitCode, 5) << Describe(r);
        for (const QString& said : c.said) EXPECT_TRUE(r.err.contains(said)) << said.toStdString() << "\n" << Describe(r);
        EXPECT_FALSE(r.err.contains("COM7")) << Describe(r);
    }
}

TEST_F(CliTest, CtrlCAndSigtermNeverStopAnUpdateOnceItIsProgramming) {
    // On a 19200 baud wire programming and verifying 8000 bytes take seconds each.
    startDisplay({"--variant", "128", "--speed-index", "2", "--pace"});
    const QString hex = file("new.hex");
    ASSERT_TRUE(writeFile(hex, vorkal::testing::ToHex(vorkal::testing::MakeFirmware(8000, "v1.50"))));
    QProcess p;
    start(p, {"flash", hex, "--yes", "--speed", "19200"});
    QByteArray err;
    ASSERT_TRUE(ReadErrorUntil(p, err, [&] { return SaidAfter(err, "Programming...", "10%"); })) << err.toStdString();
    const QByteArray held = "The firmware update is under way and cannot be stopped now";
    for (const int signalNumber : {SIGINT, SIGINT, SIGTERM}) {
        const qsizetype before = err.count(held);
        ::kill(pid_t(p.processId()), signalNumber);
        ASSERT_TRUE(ReadErrorUntil(p, err, [&] { return err.count(held) > before; }))
            << "signal " << signalNumber << "\n" << err.toStdString();
    }
    CliRun r = finish(p);
    r.err.prepend(QString::fromUtf8(err));
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_TRUE(r.err.contains("Update successfull !")) << Describe(r);
    const CliRun after = run({"info", "--json", "--speed", "19200"});
    ASSERT_EQ(after.exitCode, 0) << Describe(after);
    EXPECT_TRUE(after.out.contains("\"version\": \"v1.50\"")) << Describe(after);
}

TEST_F(CliTest, CtrlCStillEndsAnUpdateThatWaitsForTheBootLoader) {
    // Nothing answers: the update keeps sending its handshake, which Ctrl+C may end.
    startDisplay({"--variant", "128", "--mute"});
    const QString hex = file("new.hex");
    ASSERT_TRUE(writeFile(hex, vorkal::testing::ToHex(vorkal::testing::MakeFirmware(3000, "v1.50"))));
    QProcess p;
    start(p, {"flash", hex, "--yes"});
    QByteArray err;
    // After two seconds the user is told to switch the display off and on; the
    // terminal adds that nothing waits for a click.
    ASSERT_TRUE(ReadErrorUntil(p, err, [&] { return err.contains("once the display answers.\n"); }))
        << err.toStdString();
    EXPECT_TRUE(SaidAfter(err, "Waiting for connect...", "1. Turn off display power")) << err.toStdString();
    EXPECT_TRUE(err.contains("4. Wait for end of update\nThere is nothing to click here")) << err.toStdString();
    ::kill(pid_t(p.processId()), SIGINT);
    CliRun r = finish(p);
    r.err.prepend(QString::fromUtf8(err));
    EXPECT_EQ(r.exitCode, 130) << Describe(r);
    EXPECT_TRUE(r.err.contains("No communication !")) << Describe(r);
    EXPECT_FALSE(r.err.contains("cannot be stopped")) << Describe(r);
}

TEST_F(CliTest, CtrlCDuringASendSaysWhatBecameOfTheBackup) {
    const QString sent = file("sent.set");
    ASSERT_TRUE(writeFile(sent, FactoryFile(DisplayVariant::D128x64)));
    struct Case {
        const char* what;
        std::function<bool(const QByteArray&)> runningNow;
        bool backupMade;
    } cases[] = {
        {"in the backup read",
         [](const QByteArray& err) { return SaidAfter(err, "Reading the display for a backup...", "10%"); }, false},
        // The backup read has reached 100 %; the write has reported its first tenth.
        {"in the write", [](const QByteArray& err) { return SaidAfter(err, "100%", "10%"); }, true},
    };
    for (const Case& c : cases) {
        // Every reply late, so each stage lasts seconds.
        startDisplay({"--variant", "128", "--reply-delay", "60"});
        QProcess p;
        start(p, {"send", sent});
        QByteArray err;
        ASSERT_TRUE(ReadErrorUntil(p, err, [&] { return c.runningNow(err); })) << c.what << "\n" << err.toStdString();
        ::kill(pid_t(p.processId()), SIGINT);
        CliRun r = finish(p);
        r.err.prepend(QString::fromUtf8(err));
        EXPECT_EQ(r.exitCode, 130) << c.what << "\n" << Describe(r);
        if (c.backupMade) {
            ASSERT_EQ(backups().size(), 1) << Describe(r);
            const QString backup = backupFolder() + "/" + backups()[0];
            EXPECT_TRUE(r.err.contains("What it held before is in the backup " + backup)) << Describe(r);
            EXPECT_TRUE(r.err.contains("vorkal-cli send " + backup + " puts back")) << Describe(r);
            EXPECT_FALSE(r.err.contains("no backup was made")) << Describe(r);
        } else {
            EXPECT_TRUE(backups().isEmpty()) << Describe(r);
            EXPECT_TRUE(r.err.contains("The read of the display for a backup was cancelled; nothing was sent."))
                << Describe(r);
            EXPECT_NE(stopDisplayAndReadConfig().left(16), readFile(sent).left(16)) << c.what;
        }
        display_.reset();
        QDir(backupFolder()).removeRecursively();
    }
}

TEST_F(CliTest, CtrlCLetsAFactoryLoadFinish) {
    // A load of the factory settings is never cut halfway, as in the window, where its
    // Cancel is disabled: the display would hold part of each.
    startDisplay({"--variant", "128", "--reply-delay", "60"});
    // The display first holds something else, so that the load shows.
    const QString changed = file("changed.set");
    ASSERT_TRUE(writeFile(changed, FactoryFile(DisplayVariant::D128x64)));
    ASSERT_EQ(run({"send", changed, "--no-backup", "--quiet"}).exitCode, 0);
    QProcess p;
    start(p, {"defaults", "--yes", "--no-backup"});
    QByteArray err;
    ASSERT_TRUE(ReadErrorUntil(p, err, [&] { return err.contains("10%"); })) << err.toStdString();
    ::kill(pid_t(p.processId()), SIGINT);
    ASSERT_TRUE(ReadErrorUntil(p, err, [&] { return err.contains("cannot be stopped halfway"); })) << err.toStdString();
    CliRun r = finish(p);
    r.err.prepend(QString::fromUtf8(err));
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_TRUE(r.err.contains("Return to Defaults Succes !")) << Describe(r);
    ConfigImage factory;
    factory.setVariant(DisplayVariant::D128x64);
    factory.LoadFactoryImage();
    EXPECT_EQ(stopDisplayAndReadConfig().left(16), SettingsFileBytes(factory).left(16));
}
