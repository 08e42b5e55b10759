// vorkal-cli: the display's commands from a terminal, for scripts and many displays.

#include <QCoreApplication>
#include <cstdio>

#include "cli_options.h"
#include "commands.h"
#include "display_link.h"

using namespace vorkal::cli;

namespace {

using DeviceCommand = int (*)(const Options&, DisplayLink&);

struct Entry {
    const char* name;
    DeviceCommand run;
};

const Entry kDeviceCommands[] = {
    {"info", RunInfo},        {"receive", RunReceive},          {"send", RunSend},          {"defaults", RunDefaults},
    {"set-baud", RunSetBaud}, {"log download", RunLogDownload}, {"log clear", RunLogClear}, {"flash", RunFlash},
};

// The commands that overwrite something the user cannot get back ask for --yes.
int NeedsYes(const Options& o) {
    const QString name = o.command.join(' ');
    const char* what = nullptr;
    if (name == "defaults") what = "defaults overwrites every screen layout of the display.";
    else if (name == "log clear") what = "log clear erases every flight recorded in the display.";
    else if (name == "flash") what = "flash overwrites the display's firmware.";
    if (!what || o.yes) return kExitOk;
    PrintError(QString(what) + "\nAdd --yes to go ahead.");
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
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
        PrintError("vorkal-cli: " + parsed.error + "\n(vorkal-cli --help lists the commands)");
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(HelpText(options.command).toUtf8().constData(), stdout);
        return kExitOk;
    }
    if (options.command == QStringList{"ports"}) return RunPorts(options);
    if (const int code = NeedsYes(options)) return code;

    InterruptWatch interrupts;
    DisplayLink link(options, interrupts);
    if (const int code = link.connect()) return code;
    const QString name = options.command.join(' ');
    int code = kExitUsage;
    for (const Entry& e : kDeviceCommands)
        if (name == QLatin1String(e.name)) code = e.run(options, link);
    // Closed before the exit code is known to the caller, so the port is free for the next.
    link.close();
    return code;
}
