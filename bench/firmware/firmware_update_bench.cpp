// A whole firmware update from the main window against the virtual display with its
// wire pacing at 57600 baud, timed against the floor the protocol allows: every byte
// of both passes (escaped) and of the commands and replies at 10 bits, plus the fixed
// pauses the procedure makes.
//
// Usage: firmware_update_bench [runs]   (default 3 runs for each image)

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "af_com_port.h"
#include "boot_protocol.h"
#include "dialogs.h"
#include "firmware_files.h"
#include "display_session.h"
#include "form1.h"
#include "virtual_display.h"

using namespace vorkal;

namespace {

constexpr int kBaud = 57600;
constexpr int kCom = 45;

// Bytes on the line besides the two image streams: the reset (8), one handshake string
// (5) and its answer (1), the identification (4 + 4), the program command (4), end of
// data (2) and its answer (1), the verify command (4), end of data (2) and its answer
// (1), and the closing command (2).
constexpr int kProtocolBytes = 8 + 5 + 1 + 8 + 4 + 3 + 4 + 3 + 2;
// One handshake step, nine boot commands of 2 ms, two pauses of 200 ms after a stream.
constexpr double kFixedPausesMs = 100 + 9 * 2 + 2 * 200;

double FloorMs(const std::vector<uint8_t>& image, int blockSize) {
    const int escaped = EscapedLength(image.data(), int(image.size()));
    const int acknowledgements = int(image.size()) / blockSize;
    const double bytes = 2.0 * escaped + kProtocolBytes + acknowledgements;
    return bytes * 10.0 * 1000.0 / kBaud + kFixedPausesMs;
}

bool WaitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QTest::qWait(5);
    return done();
}

// One update; returns its time in ms, or a negative value when it failed.
double RunOnce(const QString& portDir, const QString& hexFile, int blockSize, const std::vector<uint8_t>& image) {
    sim::VirtualDisplayOptions o;
    o.portDir = portDir.toStdString();
    o.comNumber = kCom;
    o.bootBlockSize = blockSize;
    o.pace = true;
    sim::VirtualDisplay display(o);
    std::string error;
    if (!display.start(&error)) {
        fprintf(stderr, "virtual display: %s\n", error.c_str());
        return -1;
    }
    ScriptedDialogs scripted;
    DialogsGuard guard(&scripted);
    TForm1 form;
    form.show();
    form.ComboBox4DropDown();
    form.ComboBox4->setCurrentIndex(form.ComboBox4->findText(QString("COM%1").arg(kCom)));
    form.ComboBox4Click();
    form.Button5->click();
    if (!form.AfComPort1->IsOpen() || !WaitFor([&] { return !form.session().firmwareVersion.isEmpty(); }, 5000)) {
        fprintf(stderr, "the virtual display did not answer\n");
        return -1;
    }
    scripted.fileAnswers.push_back({hexFile, 1});
    scripted.answers.push_back(MsgAnswer::Yes);
    QElapsedTimer t;
    t.start();
    form.Button11Click();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    const auto flash = display.flash();
    const bool same = std::equal(image.begin(), image.end(), flash.begin());
    if (scripted.messages() != QStringList{"Update successfull !"} || !same) {
        fprintf(stderr, "update failed: %s\n", qPrintable(scripted.messages().join(" | ")));
        return -1;
    }
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    QTemporaryDir settingsDir, portDir, files;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    qputenv("VORKAL_PORT_DIR", portDir.path().toUtf8());

    printf("firmware update at %d baud, wire pacing on, %d runs each\n", kBaud, runs);
    printf("%8s %6s %10s %10s %10s %8s\n", "bytes", "block", "floor ms", "median ms", "best ms", "ratio");
    struct Case {
        int length;
        int blockSize;
    };
    for (const Case c : {Case{15870, 512}, Case{30000, 1792}}) {
        const auto image = testing::MakeFirmware(c.length, "v9.99", unsigned(c.length));
        const QString hexFile = files.filePath(QString("image%1.hex").arg(c.length));
        QFile f(hexFile);
        if (!f.open(QIODevice::WriteOnly) || f.write(testing::ToHex(image)) < 0) return 1;
        f.close();
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            const double ms = RunOnce(portDir.path(), hexFile, c.blockSize, image);
            if (ms < 0) return 1;
            times.push_back(ms);
        }
        std::sort(times.begin(), times.end());
        const double median = times[times.size() / 2];
        const double floor = FloorMs(image, c.blockSize);
        printf("%8d %6d %10.1f %10.1f %10.1f %8.3f\n", c.length, c.blockSize, floor, median, times.front(),
               median / floor);
    }
    return 0;
}
