#include "cli_options.h"

#include <array>

namespace vorkal::cli {

namespace {

constexpr std::array<int, 5> kBauds = {57600, 38400, 19200, 9600, 4800};

struct CommandHelp {
    const char* name;
    int arguments;  // how many the command takes
    const char* usage;
    const char* text;
};

const CommandHelp kCommands[] = {
    {"ports", 0, "ports [--json]",
     "List the serial ports as the window's port list shows them, with the device\n"
     "and the USB adapter (maker, product, serial number) behind each.\n"},
    {"info", 0, "info [--json]",
     "Connect and print the display's version line, variant, whether it keeps its\n"
     "log in memory of its own, and the speed.\n"},
    {"receive", 1, "receive FILE.set", "Read the display's configuration into a settings file.\n"},
    {"send", 1, "send FILE.set [--no-backup]",
     "Write a settings file to the display. What the display held is read and kept\n"
     "as a backup first (in backups/ of the program's data folder); when that read or\n"
     "the backup fails, nothing is sent. --no-backup skips the backup.\n"},
    {"defaults", 0, "defaults --yes [--no-backup]",
     "Load the factory settings into the display (after a backup, as for send) and\n"
     "reset it. It restarts at the speed of the factory settings.\n"},
    {"set-baud", 1, "set-baud BAUD",
     "Change the display's speed to BAUD (57600, 38400, 19200, 9600 or 4800) and\n"
     "check that it answers at the new speed.\n"},
    {"log download", 1, "log download OUT [--extruded]",
     "Download the flight log and save it; the extension picks the format: .txt\n"
     "(text), .kml (KML track; --extruded draws it down to the ground) or .gpx.\n"},
    {"log clear", 0, "log clear --yes", "Erase every flight recorded in the display.\n"},
    {"flash", 1, "flash FIRMWARE.hex --yes",
     "Update the display's firmware from an Intel HEX file through its boot loader:\n"
     "the file is checked, the display identified, the image programmed and verified.\n"},
};

const CommandHelp* FindCommand(const QStringList& words) {
    const QString name = words.join(' ');
    for (const CommandHelp& c : kCommands)
        if (name == QLatin1String(c.name)) return &c;
    return nullptr;
}

const char kCommon[] =
    "Options:\n"
    "  --port COMn      the port (default: the one the window opened last)\n"
    "  --device PATH    the port by its device, e.g. /dev/ttyUSB0\n"
    "  --speed BAUD     the PC's speed (default: the window's stored speed, else 57600)\n"
    "  --quiet          no progress on standard error\n"
    "  --lang pl        Polish texts (default English)\n"
    "  --help           help, also after a command\n"
    "\n"
    "Progress goes to standard error: a bar with percent, bytes and time left on a\n"
    "terminal, plain percent lines otherwise. Results go to standard output.\n"
    "Ctrl+C cancels the running transfer as the window's Cancel does and closes the port.\n"
    "\n"
    "Exit codes:\n"
    "  0    done\n"
    "  2    usage error\n"
    "  3    port error (cannot open, no permission, held by another program, gone)\n"
    "  4    display error (no answer, time-out, refused block, firmware the boot\n"
    "       loader refuses or that fails verification)\n"
    "  5    file error (cannot read or write, not a settings file for this display,\n"
    "       not the display's firmware)\n"
    "  130  cancelled with Ctrl+C\n";

}  // namespace

std::optional<int> SpeedIndexOfBaud(int baud) {
    for (size_t i = 0; i < kBauds.size(); ++i)
        if (kBauds[i] == baud) return int(i);
    return std::nullopt;
}

int BaudOfSpeedIndex(int index) { return index >= 0 && index < int(kBauds.size()) ? kBauds[size_t(index)] : 57600; }

QString HelpText(const QStringList& command) {
    if (const CommandHelp* c = FindCommand(command))
        return QString("usage: vorkal-cli %1 [options]\n\n%2\n%3").arg(c->usage, c->text, kCommon);
    QString text =
        "usage: vorkal-cli COMMAND [ARGUMENTS] [options]\n"
        "The Vorkal display's commands without a window.\n\nCommands:\n";
    for (const CommandHelp& c : kCommands) text += QString("  %1\n").arg(c.usage);
    return text + "\n" + kCommon;
}

ParseResult ParseCommandLine(const QStringList& args) {
    ParseResult r;
    Options& o = r.options;
    QStringList words;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](QString* out) {
            if (i + 1 >= args.size()) {
                r.error = QString("%1 needs a value").arg(a);
                return false;
            }
            *out = args[++i];
            return true;
        };
        QString v;
        if (a == "--help" || a == "-h") o.help = true;
        else if (a == "--json") o.json = true;
        else if (a == "--quiet" || a == "-q") o.quiet = true;
        else if (a == "--yes") o.yes = true;
        else if (a == "--no-backup") o.noBackup = true;
        else if (a == "--extruded") o.extruded = true;
        else if (a == "--port") {
            if (!value(&v)) return r;
            bool ok = false;
            const int n = v.startsWith("COM", Qt::CaseInsensitive) ? v.mid(3).toInt(&ok) : 0;
            if (!ok || n < 1 || n > 255) {
                r.error = QString("--port takes COM1 .. COM255, not %1").arg(v);
                return r;
            }
            o.comNumber = n;
        } else if (a == "--device") {
            if (!value(&o.devicePath)) return r;
        } else if (a == "--speed") {
            if (!value(&v)) return r;
            o.speedIndex = SpeedIndexOfBaud(v.toInt());
            if (!o.speedIndex) {
                r.error = QString("--speed is 57600, 38400, 19200, 9600 or 4800, not %1").arg(v);
                return r;
            }
        } else if (a == "--lang") {
            if (!value(&v)) return r;
            if (v != "pl" && v != "en") {
                r.error = QString("--lang is en or pl, not %1").arg(v);
                return r;
            }
            o.polish = v == "pl";
        } else if (a.startsWith('-') && a.size() > 1) {
            r.error = QString("unknown option %1").arg(a);
            return r;
        } else {
            words << a;
        }
    }
    if (o.comNumber && !o.devicePath.isEmpty()) {
        r.error = "--port and --device name the port twice: give one";
        return r;
    }
    if (words.isEmpty()) {
        if (!o.help) r.error = "no command given";
        return r;
    }
    const int nameWords = words[0] == "log" ? 2 : 1;
    o.command = words.mid(0, nameWords);
    o.arguments = words.mid(nameWords);
    const CommandHelp* c = FindCommand(o.command);
    if (!c) {
        r.error = QString("unknown command %1").arg(o.command.join(' '));
        return r;
    }
    if (o.help) return r;
    if (o.arguments.size() != c->arguments) {
        r.error = QString("usage: vorkal-cli %1").arg(c->usage);
        return r;
    }
    return r;
}

}  // namespace vorkal::cli
