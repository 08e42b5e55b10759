// The window's --log trace: a Receive from the window traced line for line as the
// virtual display saw it.

#include <QFile>
#include <QRegularExpression>
#include <mutex>

#include "device_fixture.h"
#include "trace_log.h"

namespace vorkal::testing {
namespace {

class WindowTrace : public WindowFixture {
protected:
    void TearDown() override {
        StopTraceFile();
        WindowFixture::TearDown();
    }
    // What the display saw, as the program's side of the line: its "<-" is our "->".
    QStringList displaySaw() {
        std::lock_guard lock(seenMutex);
        QStringList swapped;
        for (const std::string& l : seen) {
            const QString line = QString::fromStdString(l);
            if (line.startsWith("<- ")) swapped << "-> " + line.mid(3);
            else if (line.startsWith("-> ")) swapped << "<- " + line.mid(3);
        }
        return swapped;
    }
    std::mutex seenMutex;
    std::vector<std::string> seen;
};

TEST_F(WindowTrace, AReceiveIsTracedLineForLineAsTheDisplaySawIt) {
    sim::VirtualDisplayOptions o = displayOptions();
    o.variant = sim::SimVariant::D84x48Log;
    o.trace = [this](const std::string& line) {
        std::lock_guard lock(seenMutex);
        seen.push_back(line);
    };
    startDisplay(o);
    const QString log = settingsDir.filePath("trace.log");
    QString error;
    ASSERT_TRUE(StartTraceFile(log, &error)) << error.toStdString();
    ASSERT_NO_FATAL_FAILURE(connect());
    form->Button3->click();  // Read
    ASSERT_TRUE(form->config.configurationLoaded);
    form->Button5->click();  // Close
    display->stop();
    StopTraceFile();

    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString trace = QString::fromUtf8(file.readAll());
    // The Receive's own lines, between its start and its end.
    static const QRegularExpression traffic(R"(^\S+ \S+ serial: (->|<-) ?(.*)$)");
    QStringList receive;
    bool inside = false;
    for (const QString& line : trace.split('\n')) {
        if (line.endsWith("protocol: transfer started")) inside = true;
        if (line.endsWith("protocol: transfer finished")) break;
        if (const auto m = traffic.match(line); inside && m.hasMatch()) receive << m.captured(1) + " " + m.captured(2);
    }
    ASSERT_GE(receive.size(), 2 * 32) << trace.toStdString();  // 32 blocks asked and answered
    const QString saw = displaySaw().join('\n');
    EXPECT_TRUE(saw.contains(receive.join('\n'))) << "ours:\n"
                                                   << receive.join('\n').toStdString() << "\ndisplay:\n"
                                                   << saw.toStdString();
    for (const char* said : {"serial: open COM42 at 57600 baud", "protocol: Connected, firmware v1.23+",
                             "serial: closed COM42", "protocol: Disconnected"})
        EXPECT_TRUE(trace.contains(said)) << said << "\n" << trace.toStdString();
}

}  // namespace
}  // namespace vorkal::testing
