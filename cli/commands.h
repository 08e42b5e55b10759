#pragma once
// The commands of vorkal-cli; each returns its exit code.

#include "cli_options.h"

namespace vorkal::cli {

class DisplayLink;

int RunPorts(const Options& options);
int RunInfo(const Options& options, DisplayLink& link);
int RunReceive(const Options& options, DisplayLink& link);
int RunSend(const Options& options, DisplayLink& link);
int RunDefaults(const Options& options, DisplayLink& link);
int RunSetBaud(const Options& options, DisplayLink& link);
int RunLogDownload(const Options& options, DisplayLink& link);
int RunLogClear(const Options& options, DisplayLink& link);
int RunFlash(const Options& options, DisplayLink& link);

// Prints `text` on standard error, CR LF as line ends of the terminal.
void PrintError(const QString& text);
// Writes a file through the checked writer; prints the window's file error on failure.
bool WriteResultFile(const QString& path, const QByteArray& bytes, bool polish);
// Prints the window's file error for `path` that could not be written for `reason`.
void PrintFileWriteError(const QString& path, const QString& reason, bool polish);

}  // namespace vorkal::cli
