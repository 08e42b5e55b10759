// Device transfers against the virtual display paced at 57600 baud: Read on both display
// variants and a full 128 x 64 log read, each against its floor (the wire time of every
// byte both ways plus the fixed pauses of the command), with the configurator's CPU time.
// The display runs as its own process so that the CPU figure is the configurator's alone.
//
//   build-<x>/bench/device/device_bench [read-runs] [log-runs]

#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "af_com_port.h"
#include "dialogs.h"
#include "display_session.h"
#include "form1.h"

using namespace vorkal;

namespace {

constexpr int kCom = 77;
constexpr double kByteMs = 10.0 * 1000.0 / 57600.0;  // 8N1 at 57600 baud

double cpuMs(int who = RUSAGE_SELF) {
    rusage u{};
    getrusage(who, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QTest::qWait(5);
    return done();
}

struct Figures {
    double wallMs, cpuMs, uiCpuMs;
};

// Runs `transfer` `runs` times; median wall and CPU time.
Figures measure(int runs, const std::function<bool()>& transfer) {
    std::vector<double> walls, cpus, uiCpus;
    for (int i = 0; i < runs; ++i) {
        QTest::qWait(50);
        const double cpu0 = cpuMs(), ui0 = cpuMs(RUSAGE_THREAD);
        QElapsedTimer t;
        t.start();
        if (!transfer()) return {-1, -1, -1};
        walls.push_back(double(t.nsecsElapsed()) / 1e6);
        cpus.push_back(cpuMs() - cpu0);
        uiCpus.push_back(cpuMs(RUSAGE_THREAD) - ui0);
    }
    return {median(walls), median(cpus), median(uiCpus)};
}

void report(const char* what, const Figures& f, double floorMs) {
    if (f.wallMs < 0) {
        std::printf("%-28s FAILED\n", what);
        return;
    }
    std::printf(
        "%-28s median %8.1f ms  floor %8.1f ms  ratio %.3f  CPU %6.1f ms (%.1f%% of wall), "
        "UI thread %6.1f ms\n",
        what, f.wallMs, floorMs, f.wallMs / floorMs, f.cpuMs, 100.0 * f.cpuMs / f.wallMs, f.uiCpuMs);
}

class Session {
public:
    Session(const QString& portDir, const char* variant, bool pace = true) {
        display_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        display_.start(VORKAL_VIRTUAL_DISPLAY,
                       QStringList{"--com", QString::number(kCom), "--port-dir", portDir, "--variant", variant} +
                           (pace ? QStringList{"--pace"} : QStringList{}));
        const QString link = portDir + QString("/COM%1").arg(kCom);
        ok_ = display_.waitForStarted(5000) && waitFor([&] { return QFile::exists(link); }, 5000);
        if (!ok_) return;
        form_ = std::make_unique<TForm1>();
        form_->show();
        form_->ComboBox4DropDown();
        form_->ComboBox4->setCurrentIndex(form_->ComboBox4->findText(QString("COM%1").arg(kCom)));
        form_->ComboBox4Click();
        form_->Button5Click();
        ok_ = waitFor([&] { return form_->Button3->isEnabled(); }, 5000);
        form_->Timer2->stop();
        QTest::qWait(300);  // let the last poll line settle
    }
    ~Session() {
        form_.reset();
        display_.terminate();
        display_.waitForFinished(3000);
    }
    bool ok() const { return ok_; }
    TForm1& form() { return *form_; }

private:
    QProcess display_;
    std::unique_ptr<TForm1> form_;
    bool ok_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int readRuns = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const int logRuns = argc > 2 ? std::max(1, atoi(argv[2])) : 2;

    QTemporaryDir settingsDir, portDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    qputenv("VORKAL_PORT_DIR", portDir.path().toUtf8());
    ScriptedDialogs dialogs;
    DialogsGuard guard(&dialogs);

    std::printf("Device transfers against the virtual display paced at 57600 baud (8N1, %.4f ms a byte)\n", kByteMs);
    std::printf("floor = wire time of every command and reply byte + the fixed pauses the transfer makes\n");

    {
        // How long the fixed 10 ms pause between block reads really takes.
        TForm1 idle;
        idle.Timer2->stop();
        std::vector<double> pauses;
        for (int i = 0; i < 50; ++i) {
            QElapsedTimer t;
            t.start();
            idle.session().PauseMs(10);
            pauses.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        std::printf("%-28s median %8.3f ms\n", "PauseMs(10)", median(pauses));
    }

    struct Variant {
        const char* arg;
        const char* name;
        int blocks;
    };
    for (const Variant v :
         {Variant{"84log", "Read 84 x 48 (32 blocks)", 32}, Variant{"128", "Read 128 x 64 (64 blocks)", 64}}) {
        Session s(portDir.path(), v.arg);
        if (!s.ok()) {
            std::printf("%s: the virtual display did not connect\n", v.name);
            return 1;
        }
        // Per block: 0xF1 r n CR LF out, 36 characters + CR LF back, then the 10 ms pause.
        const double floorMs = v.blocks * ((5 + 38) * kByteMs + 10.0);
        const Figures f = measure(readRuns, [&] {
            dialogs.shown.clear();
            s.form().Button3Click();
            s.form().Timer2->stop();
            return dialogs.shown.empty();
        });
        report(v.name, f, floorMs);

        if (v.blocks == 64) {
            // Per block: 0xFA H L CR LF out, 261 characters + CR LF back.
            const double logFloorMs = 256 * (5 + 263) * kByteMs;
            const Figures lf = measure(logRuns, [&] {
                for (int a = 0; a < 256; ++a)
                    if (!s.form().session().ReadLogBlock(a).isEmpty()) return false;
                return true;
            });
            report("Log read 128 x 64 (256)", lf, logFloorMs);
        }
    }
    {
        // Without pacing the line costs nothing: what is left is the software's own
        // time per exchange (both processes, threads and the pseudo-terminal).
        Session s(portDir.path(), "128", false);
        if (!s.ok()) return 1;
        const Figures f = measure(logRuns, [&] {
            for (int a = 0; a < 256; ++a)
                if (!s.form().session().ReadLogBlock(a).isEmpty()) return false;
            return true;
        });
        std::printf("%-28s median %8.1f ms  = %.3f ms an exchange, CPU %6.1f ms, UI thread %6.1f ms\n",
                    "Log read, unpaced (256)", f.wallMs, f.wallMs / 256, f.cpuMs, f.uiCpuMs);
    }
    return 0;
}
