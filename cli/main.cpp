// vorkal-cli: the display's commands from a terminal, for scripts and many displays.

#include <QCoreApplication>
#include <cstdio>
#ifdef _WIN32
#include <windows.h>
#endif

#include "cli_options.h"
#include "commands.h"
#include "display_link.h"
#include "port_wait.h"
#include "trace_log.h"

using namespace vorkal::cli;
using vorkal::lcProtocol;
using vorkal::StartTraceFile;
using vorkal::Tr;

namespace {

using DeviceCommand = int (*)(const Options&, DisplayLink&);

struct Entry {
    const char* name;
    DeviceCommand run;
};

const Entry kDeviceCommands[] = {
    {"info", RunInfo},        {"receive", RunReceive},          {"send", RunSend},          {"defaults", RunDefaults},
    {"set-baud", RunSetBaud}, {"log download", RunLogDownload}, {"log clear", RunLogClear},
};

// The commands that overwrite something the user cannot get back ask for --yes.
int NeedsYes(const Options& o) {
    const QString name = o.command.join(' ');
    const bool pl = o.polish;
    QString what;
    if (name == "defaults")
        what = Tr(pl, "defaults overwrites every screen layout of the display.",
                  "defaults nadpisuje wszystkie układy ekranu wyświetlacza.");
    else if (name == "log clear")
        what = Tr(pl, "log clear erases every flight recorded in the display.",
                  "log clear kasuje wszystkie loty zapisane w wyświetlaczu.");
    else if (name == "flash")
        what = Tr(pl, "flash overwrites the display's firmware.", "flash nadpisuje oprogramowanie wyświetlacza.");
    if (what.isEmpty() || o.yes) return kExitOk;
    PrintError(what + "\n" + Tr(pl, "Add --yes to go ahead.", "Dodaj --yes, aby kontynuować."));
    return kExitUsage;
}

// One command on one display.
int RunOnce(const Options& options, InterruptWatch& interrupts) {
    DisplayLink link(options, interrupts);
    const QString name = options.command.join(' ');
    // The firmware file is read and checked before the port is opened; flash connects itself.
    if (name == "flash") {
        const int code = RunFlash(options, link);
        link.close();
        return code;
    }
    if (const int code = link.connect()) return code;
    int code = kExitUsage;
    for (const Entry& e : kDeviceCommands)
        if (name == QLatin1String(e.name)) code = e.run(options, link);
    // Closed before the exit code is known to the caller, so the port is free for the next.
    link.close();
    return code;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Every text goes out as UTF-8 (the Polish ones need it); the console shows it so.
    SetConsoleOutputCP(CP_UTF8);
#endif
    QCoreApplication app(argc, argv);
    // The window's name: its data folder holds the backups both make.
    QCoreApplication::setApplicationName("VorkalConfig");
    QCoreApplication::setApplicationVersion(VORKAL_VERSION);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args == QStringList{"--version"}) {
        std::printf("vorkal-cli %s\n", VORKAL_VERSION);
        return kExitOk;
    }
    const ParseResult parsed = ParseCommandLine(args);
    const Options& options = parsed.options;
    if (!parsed.error.isEmpty()) {
        PrintError("vorkal-cli: " + parsed.error + "\n" +
                   Tr(options.polish, "(vorkal-cli --help lists the commands)",
                      "(vorkal-cli --help wypisuje polecenia)"));
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(HelpText(options.command, options.polish).toUtf8().constData(), stdout);
        return kExitOk;
    }
    if (!options.logFile.isEmpty()) {
        QString error;
        if (!StartTraceFile(options.logFile, &error)) {
            PrintError(Tr(options.polish, "vorkal-cli: cannot write the trace %1: %2",
                          "vorkal-cli: nie można zapisać śladu %1: %2")
                           .arg(options.logFile, error));
            return kExitFile;
        }
        qCInfo(lcProtocol).noquote() << "vorkal-cli" << VORKAL_VERSION << args.join(' ');
    }
    if (options.command == QStringList{"ports"}) return RunPorts(options);
    if (const int code = NeedsYes(options)) return code;

    InterruptWatch interrupts;
    const auto runOnce = [&interrupts](const Options& o) { return RunOnce(o, interrupts); };
    int code = 0;
    if (options.each) {
        code = RunForEachDisplay(options, interrupts, runOnce);
    } else {
        if (options.wait) code = WaitForPort(options, interrupts);
        if (code == 0) code = runOnce(options);
    }
    qCInfo(lcProtocol) << "exit code" << code;
    return code;
}
