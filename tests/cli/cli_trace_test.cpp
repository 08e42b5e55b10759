// --log: the trace a user attaches to a report, checked against what the virtual display
// itself saw on the line (its --trace).

#include <QRegularExpression>

#include "cli_fixture.h"
#include "firmware_files.h"
#include "qt_printers.h"

namespace vorkal::testing {
namespace {

// "-> bytes" / "<- bytes" of the program's side of the line, in order.
QStringList LineTraffic(const QString& trace) {
    static const QRegularExpression line(
        R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} serial: (->|<-) ?(.*)$)");
    QStringList traffic;
    for (const QString& l : trace.split('\n', Qt::SkipEmptyParts))
        if (const auto m = line.match(l); m.hasMatch()) traffic << m.captured(1) + " " + m.captured(2);
    return traffic;
}

// The display's trace seen from the program's side: what it received, the program sent.
QStringList SwappedDisplayTraffic(const QStringList& displayTrace) {
    QStringList traffic;
    for (const QString& l : displayTrace) {
        if (l.startsWith("<- ")) traffic << "-> " + l.mid(3);
        else if (l.startsWith("-> ")) traffic << "<- " + l.mid(3);
    }
    return traffic;
}

TEST_F(CliTest, ReceiveTraceHoldsEveryLineTheDisplaySawInOrder) {
    for (const char* variant : {"84log", "128"}) {
        SCOPED_TRACE(variant);
        startDisplay({"--variant", variant, "--trace"});
        const QString log = file(QString("receive-%1.log").arg(variant));
        const CliRun r = run({"receive", file("got.set"), "--quiet", "--log", log});
        ASSERT_EQ(r.exitCode, 0) << Describe(r);
        const QStringList displaySaw = SwappedDisplayTraffic(stopDisplayAndReadTrace());
        const QString trace = QString::fromUtf8(readFile(log));
        ASSERT_GT(displaySaw.size(), 10) << "the display traced too little";
        EXPECT_EQ(LineTraffic(trace), displaySaw) << trace.toStdString();
        // The states and the outcome are there too.
        for (const char* said : {"serial: open COM7 at 57600 baud", "protocol: transfer started",
                                 "protocol: transfer finished", "serial: closed COM7", "protocol: exit code 0"})
            EXPECT_TRUE(trace.contains(said)) << said << "\n" << trace.toStdString();
    }
}

TEST_F(CliTest, FlashTraceShowsTheBootLoadersStepsAndItsBytes) {
    startDisplay({"--variant", "128", "--boot-block", "512"});
    const QString hex = file("new.hex");
    ASSERT_TRUE(writeFile(hex, ToHex(MakeFirmware(3000, "v1.24"))));
    const QString log = file("flash.log");
    const CliRun r = run({"flash", hex, "--yes", "--quiet", "--log", log});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const QString trace = QString::fromUtf8(readFile(log));
    for (const char* said : {"bootloader: the boot loader answered the handshake", "block size 512",
                             "bootloader: programming", "bootloader: verifying",
                             "bootloader: programmed and verified", "messages: message: Update successfull !"})
        EXPECT_TRUE(trace.contains(said)) << said << "\n" << trace.left(4000).toStdString();
    // The image goes out byte by byte, twice (programming, verifying); the trace gathers
    // it into lines of at most 64 bytes rather than a line a byte.
    const QStringList traffic = LineTraffic(trace);
    EXPECT_GE(traffic.filter(QRegularExpression("^-> ")).size(), 2 * 3000 / 64);
    EXPECT_LT(traffic.size(), 2 * 3000 / 8) << "the image's bytes were traced one a line";
}

TEST_F(CliTest, ATraceThatCannotBeWrittenIsAFileErrorAndNothingIsSent) {
    startDisplay({"--variant", "128", "--trace"});
    const CliRun r = run({"receive", file("got.set"), "--log", path("no/such/folder/trace.log")});
    EXPECT_EQ(r.exitCode, 5) << Describe(r);
    EXPECT_TRUE(r.err.contains("cannot write the trace")) << Describe(r);
    EXPECT_FALSE(QFile::exists(file("got.set")));
    EXPECT_TRUE(SwappedDisplayTraffic(stopDisplayAndReadTrace()).isEmpty());
}

TEST_F(CliTest, WithoutLogNothingIsTraced) {
    startDisplay();
    const CliRun r = run({"info"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    // No trace file anywhere in the test's home, and nothing of the trace on the terminal.
    EXPECT_TRUE(QDir(path("files")).entryList({"*.log", "*.log.1"}, QDir::Files).isEmpty());
    EXPECT_FALSE(r.err.contains("serial:")) << Describe(r);
    EXPECT_FALSE(r.out.contains("serial:")) << Describe(r);
}

}  // namespace
}  // namespace vorkal::testing
