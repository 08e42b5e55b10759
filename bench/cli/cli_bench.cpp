// vorkal-cli as a script runs it, a whole process per command, against the virtual
// display paced at 57600 baud: receive and the log download against the wire floor the
// device benchmark uses, and the start-up of `vorkal-cli info` against the window's.
//
//   build/bench/cli/cli_bench [runs]
//   VORKAL_WINE_CLI=build-windows/cli/vorkal-cli.exe WINEPREFIX=... build/bench/cli/cli_bench [runs]
//     the Windows vorkal-cli under Wine instead (bench/windows/wine-bench.sh prepares the
//     prefix), on the display's pseudo-terminal linked as COM5 of the prefix.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <tuple>
#include <vector>

namespace {

constexpr int kCom = 78;
constexpr double kByteMs = 10.0 * 1000.0 / 57600.0;  // 8N1 at 57600 baud

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

class Bench {
public:
    Bench() {
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("VORKAL_PORT_DIR", home_.filePath("ports"));
        env_.insert("XDG_CONFIG_HOME", home_.filePath("config"));
        env_.insert("XDG_DATA_HOME", home_.filePath("data"));
        env_.insert("QT_QPA_PLATFORM", "offscreen");
        env_.insert("QT_LOGGING_RULES", "qt.qpa.*=false");
    }
    ~Bench() { stopDisplay(); }

    bool startDisplay(const char* variant) {
        stopDisplay();
        display_.setProcessEnvironment(env_);
        display_.start(VORKAL_VIRTUAL_DISPLAY, {"--com", QString::number(kCom), "--port-dir", home_.filePath("ports"),
                                                "--variant", variant, "--pace", "--demo-log"});
        QByteArray said;
        while (!said.contains("Virtual display") && display_.waitForReadyRead(10000)) said += display_.readAll();
        if (!said.contains("Virtual display")) return false;
        if (wine()) {
            // Wine's COM5 is a link in the prefix to the display's pseudo-terminal.
            const QString link = qEnvironmentVariable("WINEPREFIX") + "/dosdevices/com5";
            QFile::remove(link);
            const QString pty = QFileInfo(home_.filePath(QString("ports/COM%1").arg(kCom))).canonicalFilePath();
            if (!QFile::link(pty, link)) return false;
        }
        return true;
    }
    static bool wine() { return qEnvironmentVariableIsSet("VORKAL_WINE_CLI"); }
    void stopDisplay() {
        if (display_.state() == QProcess::NotRunning) return;
        display_.terminate();
        display_.waitForFinished(5000);
    }

    // Median wall time of a whole process run; -1 when a run failed.
    double time(const QString& program, const QStringList& args, int runs) {
        std::vector<double> walls;
        for (int i = 0; i < runs; ++i) {
            QProcess p;
            p.setProcessEnvironment(env_);
            QElapsedTimer t;
            t.start();
            p.start(program, args);
            if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
                std::printf("  %s %s failed: %s\n", qPrintable(program), qPrintable(args.join(' ')),
                            p.readAllStandardError().constData());
                return -1;
            }
            walls.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        return median(walls);
    }
    double cli(const QStringList& args, int runs) {
        if (wine())
            return time(wineLoader(), QStringList{qEnvironmentVariable("VORKAL_WINE_CLI")} + args +
                                          QStringList{"--port", "COM5", "--quiet"},
                        runs);
        return time(VORKAL_CLI, args + QStringList{"--port", QString("COM%1").arg(kCom), "--quiet"}, runs);
    }
    static QString wineLoader() {
        return QFileInfo::exists("/usr/lib/wine/wine64") ? QString("/usr/lib/wine/wine64") : QString("wine");
    }
    // A Windows path for a file of the bench's folder (Wine maps Z: to /).
    QString file(const QString& name) const {
        const QString path = home_.filePath(name);
        return wine() ? "Z:" + QDir::toNativeSeparators(path).replace('/', '\\') : path;
    }

private:
    QTemporaryDir home_;
    QProcessEnvironment env_;
    QProcess display_;
};

void report(const char* what, double wallMs, double connectMs, double floorMs) {
    if (wallMs < 0 || connectMs < 0) {
        std::printf("%-30s FAILED\n", what);
        return;
    }
    const double transfer = wallMs - connectMs;
    std::printf("%-30s run %8.1f ms (ratio %.3f)  transfer %8.1f ms  floor %8.1f ms  ratio %.3f\n", what, wallMs,
                wallMs / floorMs, transfer, floorMs, transfer / floorMs);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    Bench bench;
    std::printf("vorkal-cli against the virtual display paced at 57600 baud (8N1, %.4f ms a byte), median of %d\n",
                kByteMs, runs);
    std::printf("floor = wire time of every command and reply byte + the fixed pauses (as the device benchmark)\n");
    std::printf("transfer = the command's run less an `info` run (process start, port open, version exchange)\n");

    if (Bench::wine()) std::printf("vorkal-cli.exe under Wine: %s\n", qPrintable(qEnvironmentVariable("VORKAL_WINE_CLI")));
    // Per block: 0xF1 r n CR LF out, 36 characters + CR LF back, then the 10 ms pause.
    // The 128 x 64 display stays on for the log download; its `info` run is kept.
    double info = -1;
    for (const auto& [variant, what, blocks] :
         {std::tuple{"84log", "receive 84 x 48 (32 blocks)", 32}, std::tuple{"128", "receive 128 x 64 (64 blocks)", 64}}) {
        if (!bench.startDisplay(variant)) {
            std::printf("the virtual display did not start\n");
            return 1;
        }
        info = bench.cli({"info"}, runs);
        report(what, bench.cli({"receive", bench.file(QString("r%1.set").arg(blocks))}, runs), info,
               blocks * ((5 + 38) * kByteMs + 10.0));
    }
    // Per block: 0xFA H L CR LF out, 261 characters + CR LF back.
    report("log download 128 x 64 (256)", bench.cli({"log", "download", bench.file("l.gpx")}, std::min(runs, 3)), info,
           256 * (5 + 263) * kByteMs);
    if (Bench::wine()) {
        std::printf("%-30s median %8.1f ms\n", "vorkal-cli.exe info (connected)", info);
        return 0;
    }
    const double version = bench.time(VORKAL_CLI, {"--version"}, runs);

    // The window to its first shown frame: --screenshot saves it once shown and quits.
    const double window = bench.time(VORKAL_WINDOW, {"--screenshot", bench.file("w.png")}, runs);
    std::printf("%-30s median %8.1f ms\n", "vorkal-cli --version", version);
    std::printf("%-30s median %8.1f ms\n", "vorkal-cli info (connected)", info);
    std::printf("%-30s median %8.1f ms  (info / window %.3f)\n", "window start to first frame", window,
                window > 0 ? info / window : -1.0);
    return 0;
}
