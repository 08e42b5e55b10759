#include "port_wait.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>

#include "af_port_map.h"
#include "commands.h"
#include "display_link.h"
#include "port_watch.h"
#include "preferences.h"

namespace vorkal::cli {

namespace {

// Where the port watch sees nothing (a system without one), the ports are looked at
// this often.
constexpr int kRecheckMs = 1000;

// Runs the event loop until `done` holds, looked at whenever ports come or go; false
// when Ctrl+C came first.
bool WaitUntil(InterruptWatch& interrupts, const std::function<bool()>& done) {
    PortWatch watch;  // before the first look, so that no change falls between
    QEventLoop loop;
    QTimer recheck;
    const auto check = [&] {
        if (done() || interrupts.interrupted()) loop.quit();
    };
    QObject::connect(&watch, &PortWatch::portsChanged, &loop, check);
    QObject::connect(&recheck, &QTimer::timeout, &loop, check);
    QObject::connect(&interrupts, &InterruptWatch::interruptedNow, &loop, &QEventLoop::quit);
    if (!done() && !interrupts.interrupted()) {
        recheck.start(kRecheckMs);
        loop.exec();
    }
    return !interrupts.interrupted() && done();
}

bool PortPresent(int com) { return !DevicePathForComNumber(com).isEmpty(); }

// The port the options name (--port, --device, else the stored one); 0: any new port.
int NamedPort(const Options& options) {
    if (options.comNumber) return *options.comNumber;
    if (!options.devicePath.isEmpty()) return -1;
    return 0;
}

// Waits for a port: the named one, the device, or (com 0) any port that was not there
// when the wait began. The port that came, or 0 after Ctrl+C.
int WaitForAPort(const Options& options, InterruptWatch& interrupts, int com) {
    if (com > 0) return WaitUntil(interrupts, [com] { return PortPresent(com); }) ? com : 0;
    int found = 0;
    if (com < 0) {
        WaitUntil(interrupts, [&] { return (found = ComNumberOfDevice(options.devicePath)) > 0; });
        return interrupts.interrupted() ? 0 : found;
    }
    const QStringList before = ListComPortNames();
    WaitUntil(interrupts, [&] {
        for (const QString& name : ListComPortNames())
            if (!before.contains(name)) found = name.mid(3).toInt();
        return found > 0;
    });
    return interrupts.interrupted() ? 0 : found;
}

QString PortText(const Options& options, int com) {
    if (com > 0) return QString("COM%1").arg(com);
    if (com < 0) return options.devicePath;
    return Tr(options.polish, "a new port", "nowym porcie");
}

void SayWaiting(const Options& options, int com) {
    PrintError(Tr(options.polish, "Waiting for a display on %1 (Ctrl+C ends)...",
                  "Czekam na wyświetlacz na %1 (Ctrl+C kończy)...")
                   .arg(PortText(options, com)));
}

// receive FILE.set writes FILE-<n>.set for display n.
QString NumberedFile(const QString& path, int n) {
    const QFileInfo info(path);
    const QString suffix = info.suffix().isEmpty() ? QString() : "." + info.suffix();
    const QString base = suffix.isEmpty() ? path : path.left(path.size() - suffix.size());
    return QString("%1-%2%3").arg(base).arg(n).arg(suffix);
}

void PrintOut(const QString& line) {
    std::fputs((line + "\n").toUtf8().constData(), stdout);
    std::fflush(stdout);
}

}  // namespace

int WaitForPort(const Options& options, InterruptWatch& interrupts) {
    int com = NamedPort(options);
    if (com == 0) {
        // The stored port, as the command itself will take it.
        const auto stored = Preferences::readPort();
        if (!stored || *stored <= 0) return kExitOk;  // the command says what is missing
        com = *stored;
    }
    const bool there = com > 0 ? PortPresent(com) : ComNumberOfDevice(options.devicePath) > 0;
    if (!there && !options.quiet) SayWaiting(options, com);
    return WaitForAPort(options, interrupts, com) ? kExitOk : kExitCancelled;
}

int RunForEachDisplay(const Options& options, InterruptWatch& interrupts, const OneDisplay& run) {
    const bool pl = options.polish;
    const int named = NamedPort(options);
    int done = 0, failed = 0, firstFailure = kExitOk;
    for (int n = 1;; ++n) {
        if (!options.quiet) SayWaiting(options, named);
        const int com = WaitForAPort(options, interrupts, named);
        if (com == 0) break;  // Ctrl+C
        Options one = options;
        one.comNumber = com;
        one.devicePath.clear();
        if (options.command == QStringList{"receive"}) one.arguments[0] = NumberedFile(options.arguments[0], n);
        const int code = run(one);
        if (code == kExitOk) ++done;
        else if (++failed == 1) firstFailure = code;
        PrintOut(code == kExitOk ? Tr(pl, "Display %1 on COM%2: done", "Wyświetlacz %1 na COM%2: wykonano").arg(n).arg(com)
                                 : Tr(pl, "Display %1 on COM%2: failed (exit code %3)",
                                      "Wyświetlacz %1 na COM%2: nie powiodło się (kod wyjścia %3)")
                                       .arg(n)
                                       .arg(com)
                                       .arg(code));
        if (interrupts.interrupted()) break;
        if (PortPresent(com) && !options.quiet)
            PrintError(Tr(pl, "Unplug the display to go on with the next one.",
                          "Odłącz wyświetlacz, aby przejść do następnego."));
        if (!WaitUntil(interrupts, [com] { return !PortPresent(com); })) break;
    }
    PrintOut(Tr(pl, "Done: %1, failed: %2", "Wykonano: %1, nie powiodło się: %2").arg(done).arg(failed));
    return firstFailure;
}

}  // namespace vorkal::cli
