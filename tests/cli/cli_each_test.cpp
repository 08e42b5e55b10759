// Displays plugged in one after another: --each runs the command for every one of them
// until Ctrl+C, --wait waits for the port before one command.

#include <QElapsedTimer>
#include <cstdio>

#include "cli_fixture.h"
#include "firmware_files.h"

namespace vorkal::testing {
namespace {

class CliEachTest : public CliTest {
protected:
    // Reads `channel` of the running vorkal-cli into `into` until `text` is in it `times` times.
    static bool readUntil(QProcess& p, QProcess::ProcessChannel channel, QByteArray& into, const QByteArray& text,
                          int times = 1) {
        p.setReadChannel(channel);
        for (;;) {
            into += p.readAll();
            if (into.count(text) >= times || !p.waitForReadyRead(60000)) break;
        }
        return into.count(text) >= times;
    }
    QByteArray stopDisplayAndReadFlash() {
        display_->stop();
        return readFile(stateDir_ + "/flash.bin");
    }
    // Ctrl+C, then the run's end.
    static CliRun interrupt(QProcess& p) {
        ::kill(pid_t(p.processId()), SIGINT);
        return finish(p);
    }
};

TEST_F(CliEachTest, EachFlashesEveryDisplayPluggedInUntilCtrlC) {
    const std::vector<uint8_t> image = MakeFirmware(3000, "v1.24");
    const QString hex = file("new.hex");
    ASSERT_TRUE(writeFile(hex, ToHex(image)));
    QProcess p;
    start(p, {"flash", hex, "--yes", "--each"});
    QByteArray out, err;
    ASSERT_TRUE(readUntil(p, QProcess::StandardError, err, "Waiting for a display on COM7 (Ctrl+C ends)..."))
        << err.toStdString();
    for (int n = 1; n <= 3; ++n) {
        SCOPED_TRACE(n);
        const qsizetype errBefore = err.size();
        QElapsedTimer plugged;
        plugged.start();
        ASSERT_NO_FATAL_FAILURE(startDisplay({"--variant", "128", "--boot-block", "512"}));
        // The update's question is its first word once it has found the display.
        ASSERT_TRUE(readUntil(p, QProcess::StandardError, err, "v1.24", n)) << err.mid(errBefore).toStdString();
        const qint64 startedMs = plugged.elapsed();
        const QByteArray result = QString("Display %1 on COM7: done").arg(n).toUtf8();
        ASSERT_TRUE(readUntil(p, QProcess::StandardOutput, out, result)) << out.toStdString() << err.toStdString();
        std::printf("display %d: plug to the start of the flash %lld ms, to its end %lld ms\n", n,
                    (long long)startedMs, (long long)plugged.elapsed());
        ASSERT_TRUE(readUntil(p, QProcess::StandardError, err, "Unplug the display to go on with the next one.", n));
        const QByteArray flash = stopDisplayAndReadFlash();
        ASSERT_GE(flash.size(), qsizetype(image.size()));
        EXPECT_TRUE(std::equal(image.begin(), image.end(), reinterpret_cast<const uint8_t*>(flash.constData())));
        // Unplugged: it waits for the next one.
        ASSERT_TRUE(readUntil(p, QProcess::StandardError, err, "Waiting for a display on COM7", n + 1));
    }
    const CliRun r = interrupt(p);
    out += r.out.toUtf8();
    EXPECT_EQ(r.exitCode, 0) << out.toStdString() << err.toStdString() << Describe(r);
    EXPECT_TRUE(out.endsWith("Done: 3, failed: 0\n")) << out.toStdString();
}

// Without --port any port that appears is taken; receive numbers its files; a display
// that fails is counted and gives the exit code.
TEST_F(CliEachTest, EachReceiveTakesAnyNewPortNumbersItsFilesAndCountsFailures) {
    QProcess p;
    start(p, {"receive", file("r.set"), "--each"}, false);
    QByteArray out, err;
    int waits = 0;
    struct Display {
        QStringList options;
        const char* result;
    };
    const Display displays[] = {{{"--variant", "128"}, "Display 1 on COM7: done"},
                                {{"--variant", "128", "--mute"}, "Display 2 on COM7: failed (exit code 4)"}};
    for (const Display& d : displays) {
        // Ports there before the wait began are not new.
        ASSERT_TRUE(readUntil(p, QProcess::StandardError, err, "Waiting for a display on a new port", ++waits));
        ASSERT_NO_FATAL_FAILURE(startDisplay(d.options));
        ASSERT_TRUE(readUntil(p, QProcess::StandardOutput, out, d.result)) << out.toStdString();
        display_->stop();
    }
    const CliRun r = interrupt(p);
    out += r.out.toUtf8();
    EXPECT_EQ(r.exitCode, 4) << out.toStdString() << Describe(r);
    EXPECT_TRUE(out.endsWith("Done: 1, failed: 1\n")) << out.toStdString();
    EXPECT_TRUE(QFile::exists(file("r-1.set")));
    EXPECT_FALSE(QFile::exists(file("r-2.set")));
}

TEST_F(CliEachTest, WaitWaitsForThePortBeforeTheCommand) {
    QProcess p;
    start(p, {"info", "--wait"});
    QByteArray err;
    ASSERT_TRUE(readUntil(p, QProcess::StandardError, err, "Waiting for a display on COM7 (Ctrl+C ends)..."));
    ASSERT_NO_FATAL_FAILURE(startDisplay());
    const CliRun r = finish(p);
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_TRUE(r.out.contains("v1.23")) << Describe(r);
}

}  // namespace
}  // namespace vorkal::testing
