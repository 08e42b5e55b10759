// The open, visible track window with logs of 128, 512 and 2048 one-record flights
// (records two minutes apart, as a display left logging for days writes them): filling the
// window, and the log view's whole table refresh that refills it. Each size is timed as a
// median, with its growth against the size a quarter as large (4 for linear cost) and
// against building the log table's texts for the same log (the floor, linear by design).
// Then the densest logs of each variant the same way.
//
// A quadratic fill takes minutes at 2048 flights; a size whose time the previous one
// predicts above the limit is skipped (`--all` runs it anyway).
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QWindow>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <optional>

#include "../../tests/log/log_records.h"
#include "dialogs.h"
#include "form1.h"
#include "log_bench_data.h"
#include "log_table.h"
#include "settings_file.h"
#include "track_window.h"

using namespace vorkal;
using namespace vorkal::bench;

namespace {

constexpr double kSkipAboveMs = 150000;  // predicted time of one run that is not waited for
constexpr double kBudgetMs = 4000;       // time one figure may take over its runs

double nowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Processor time of the program: on a machine shared with other work, the wall clock
// also measures the others.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct Time {
    double cpuMs = 0, wallMs = 0;
};

// Medians of up to `runs` runs, fewer when they take long; slow cases need no precision.
Time timed(int runs, const std::function<void()>& work) {
    std::vector<double> cpu, wall;
    const double start = nowMs();
    for (int i = 0; i < runs && (i == 0 || nowMs() - start < kBudgetMs); ++i) {
        const double c0 = cpuMs(), w0 = nowMs();
        work();
        cpu.push_back(cpuMs() - c0);
        wall.push_back(nowMs() - w0);
    }
    std::sort(cpu.begin(), cpu.end());
    std::sort(wall.begin(), wall.end());
    return {cpu[cpu.size() / 2], wall[wall.size() / 2]};
}

// `count` records two minutes apart, each a flight of its own, starting at 08:00 plus
// `shift` seconds; positions wander around a field. Times run on past midnight.
test::RecordFields flightRecord(int i, int shift) {
    const int seconds = (8 * 3600 + 120 * i + shift) % 86400;
    const double a = i * 0.37;
    return {.hour = seconds / 3600,
            .minute = seconds / 60 % 60,
            .second = seconds % 60,
            .latitude = 5006143 + int(900 * std::sin(a)),
            .longitude = 1993812 + int(1400 * std::cos(a * 0.7)),
            .course = i % 360,
            .height = 180 + i % 250,
            .speed = 20 + i % 90,
            .distance = i % 1500,
            .rssi = 40 + i % 60};
}

// A display of `variant` with separate log memory holding `count` records.
ConfigImage withSeparateLog(DisplayVariant variant, int count, int shift) {
    ConfigImage config;
    config.setVariant(variant);
    config.LoadFactoryImage();
    config.separateLog = true;
    config.logImage.fill(0xFF);
    for (int i = 0; i < count; ++i) test::putLogRecord(config, i, test::encodeRecord(flightRecord(i, shift)));
    return config;
}

ConfigImage largeLog(int count, int shift) { return withSeparateLog(DisplayVariant::D128x64, count, shift); }

// The 84 x 48 display with separate log memory, as its settings file brings it in.
ConfigImage smallLogFile(int count, int shift) {
    const ConfigImage config = withSeparateLog(DisplayVariant::D84x48, count, shift);
    ConfigImage loaded;
    loaded.setVariant(LoadSettingsFile(loaded, SettingsFileBytes(config)));
    return loaded;
}

// The 84 x 48 display without separate log memory: every in-image slot used.
ConfigImage inImageLog(int shift) {
    ConfigImage config;
    config.setVariant(DisplayVariant::D84x48);
    config.LoadFactoryImage();
    config.separateLog = false;
    for (int i = 0; i < config.inImageLogRecordCount(); ++i)
        test::putInImageRecord(config, i, test::encodeRecord(flightRecord(i, shift)));
    return config;
}

// The shared full log (flights of many records two seconds apart), shifted in time.
ConfigImage continuousLog(int shift) {
    ConfigImage config = fullLog();
    for (int r = 0; r < kLogSlots128x64; ++r) {
        uint8_t* b = config.logImage.data() + 16 * r;
        b[8] = uint8_t((b[8] & 0xC0) | ((b[8] & 0x3F) + shift) % 60);
    }
    return config;
}

struct Figures {
    double floorMs = 0;
    std::optional<Time> window, table;
};

class Bench {
public:
    explicit Bench(bool all) : all_(all) {
        form_.show();
        form_.setView(TForm1::View::Log);
        form_.LogsView();
        form_.TrackButtonClick();
        window_ = form_.trackWindow();
        for (int i = 0; i < 1000 && !(window_->windowHandle() && window_->windowHandle()->isExposed()); ++i)
            QApplication::processEvents();
        std::printf("track window %s, %dx%d\n", window_->isVisible() ? "visible" : "NOT visible", window_->width(),
                    window_->height());
    }

    // `logs` are two logs of the same shape that differ in every row, so that no refresh
    // finds the window already showing what it is given.
    Figures measure(const ConfigImage (&logs)[2], std::optional<double> predictWindow,
                    std::optional<double> predictTable) {
        Figures f;
        const QString separator = QStringLiteral(".");
        f.floorMs = timed(15, [&] { (void)BuildLogTable(logs[0], false, separator); }).cpuMs;
        form_.config = logs[0];
        form_.LogsView();
        // The window draws the log view's flights and figures, worked out once per log.
        LogViewModel models[2];
        for (int n = 0; n < 2; ++n) models[n].refresh(logs[n], false, separator);
        int turn = 0;
        if (all_ || !predictWindow || *predictWindow < kSkipAboveMs)
            f.window = timed(9, [&] {
                window_->setLog(models[++turn % 2]);
                settle();
            });
        if (all_ || !predictTable || *predictTable < kSkipAboveMs)
            f.table = timed(9, [&] {
                form_.config = logs[++turn % 2];
                form_.LogsView();
                settle();
            });
        return f;
    }

    int flights() const { return window_->flightCount(); }

private:
    // What the user waits for: the deferred layout work done and both windows painted.
    void settle() {
        QApplication::processEvents();
        window_->repaint();
        form_.repaint();
    }

    bool all_;
    TForm1 form_;
    TrackWindow* window_ = nullptr;
};

void printTime(const std::optional<Time>& t, const std::optional<Time>& before, double floorMs) {
    if (!t) {
        std::printf("  %-21s %7s %8s", "skipped", "", "");
        return;
    }
    std::printf("  %9.2f (%9.2f)", t->cpuMs, t->wallMs);
    if (before) std::printf(" %7.2f", t->cpuMs / before->cpuMs);
    else std::printf(" %7s", "-");
    std::printf(" %7.1fx", t->cpuMs / floorMs);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool all = argc > 1 && std::strcmp(argv[1], "--all") == 0;
    // The form reads and writes preferences: keep them away from the user's own.
    QTemporaryDir home;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.path());
    qputenv("VORKAL_PORT_DIR", home.filePath("ports").toUtf8());
    ScriptedDialogs dialogs;  // nothing may wait on a real message box
    DialogsGuard guard(&dialogs);

    Bench bench(all);
    std::printf(
        "one-record flights in the 128 x 64 log image; processor ms (wall ms), growth = time / time at a\n"
        "quarter the flights (4 when linear), floor = building the log table's texts alone\n");
    std::printf("%7s  %10s  | %-21s %7s %8s  | %-21s %7s %8s\n", "flights", "floor", "window fill", "growth", "x floor",
                "log table refresh", "growth", "x floor");
    std::optional<Time> lastWindow, lastTable;
    bool windowSkipped = false, tableSkipped = false;
    for (int count : {128, 512, 2048}) {
        const ConfigImage logs[2] = {largeLog(count, 0), largeLog(count, 1)};
        // A quadratic cost grows sixteenfold from one size to the next.
        const auto predict = [](const std::optional<Time>& t, bool skipped) {
            return skipped ? std::optional<double>(1e300) : t ? std::optional<double>(t->cpuMs * 16) : std::nullopt;
        };
        const Figures f = bench.measure(logs, predict(lastWindow, windowSkipped), predict(lastTable, tableSkipped));
        std::printf("%7d  %7.2f ms", bench.flights(), f.floorMs);
        std::printf("  |");
        printTime(f.window, lastWindow, f.floorMs);
        std::printf("  |");
        printTime(f.table, lastTable, f.floorMs);
        std::printf("\n");
        std::fflush(stdout);
        windowSkipped = !f.window;
        tableSkipped = !f.table;
        lastWindow = f.window;
        lastTable = f.table;
    }

    std::printf("\ndensest logs of each variant\n");
    struct Dense {
        const char* name;
        std::function<ConfigImage(int)> make;
    };
    const Dense dense[] = {
        {"84x48 settings file, 512 one-record flights", [](int s) { return smallLogFile(kLogSlots84x48, s); }},
        {"84x48 in-image log, every slot a flight", [](int s) { return inImageLog(s); }},
        {"128x64 log image, 2048 records 2 s apart", [](int s) { return continuousLog(s); }},
    };
    for (const Dense& d : dense) {
        const ConfigImage logs[2] = {d.make(0), d.make(1)};
        const Figures f = bench.measure(logs, std::nullopt, std::nullopt);
        std::printf("  %-44s %5d flights  floor %6.2f ms  window", d.name, bench.flights(), f.floorMs);
        if (f.window) std::printf(" %7.2f (%7.2f) ms", f.window->cpuMs, f.window->wallMs);
        std::printf("  log table");
        if (f.table) std::printf(" %7.2f (%7.2f) ms", f.table->cpuMs, f.table->wallMs);
        std::printf("\n");
        std::fflush(stdout);
    }
    std::printf("(medians of up to 9 runs, fewer where a run takes long)\n");
    return 0;
}
