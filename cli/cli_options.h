#pragma once
// The command line of vorkal-cli: the command, its arguments and the options, and the
// exit codes scripts can tell apart.

#include <QString>
#include <QStringList>
#include <optional>

#include "texts.h"

namespace vorkal::cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 2,
    kExitPort = 3,
    kExitDisplay = 4,  // no answer, time-out, refused block, wrong firmware
    kExitFile = 5,
    kExitCancelled = 130,
};

struct Options {
    QStringList command;  // "ports", "info", "log download", ...
    QStringList arguments;
    std::optional<int> comNumber;
    QString devicePath;
    QString logFile;  // --log: the trace goes there
    std::optional<int> speedIndex;  // 0..4 for 57600 .. 4800 baud
    bool json = false;
    bool quiet = false;
    bool polish = false;
    bool yes = false;
    bool noBackup = false;
    bool extruded = false;
    bool wait = false;  // wait for the port to appear before the command
    bool each = false;  // the command for every display plugged in, one after another
    bool help = false;
};

struct ParseResult {
    Options options;
    QString error;  // not empty: a usage error
};

ParseResult ParseCommandLine(const QStringList& args);

// The speed index of a baud rate of the display (57600, 38400, 19200, 9600, 4800).
std::optional<int> SpeedIndexOfBaud(int baud);
int BaudOfSpeedIndex(int index);

// The general help, or that of one command ("info", "log download", ...).
QString HelpText(const QStringList& command, bool polish = false);

}  // namespace vorkal::cli
