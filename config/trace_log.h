#pragma once
// The trace a user can attach to a report: every line in and out of the port with its
// time, each state change and each error, in the categories below. Nothing is traced
// until a trace file is started (--log FILE); the categories are off by default.

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>

namespace vorkal {

Q_DECLARE_LOGGING_CATEGORY(lcSerial)    // vorkal.serial: port open and close, bytes in and out
Q_DECLARE_LOGGING_CATEGORY(lcProtocol)  // vorkal.protocol: commands, replies missed, connection state
Q_DECLARE_LOGGING_CATEGORY(lcBoot)      // vorkal.bootloader: the firmware update's steps
Q_DECLARE_LOGGING_CATEGORY(lcFiles)     // vorkal.files: files read and written
Q_DECLARE_LOGGING_CATEGORY(lcMessages)  // vorkal.messages: what the user is told

// Bytes as a trace line shows them: printable ASCII as it is, the line's closing CR LF
// left out (a line is one trace line), every other byte as <hh>, as the virtual
// display's own trace shows them.
QString TraceBytes(const QByteArray& bytes);

// A text the user is shown (a message box, a question and its answer, a terminal line),
// on one trace line.
void TraceShown(const char* what, const QString& text);

// A part of the trace file holds at most this much; the part before it is kept as FILE.1,
// so a trace never takes more than twice this.
inline constexpr qint64 kTracePartBytes = 2 * 1024 * 1024;

// Turns the categories on and writes their messages to `path` (appending), each with
// its time. False, with the reason in `error`, when the file cannot be opened.
bool StartTraceFile(const QString& path, QString* error, qint64 partBytes = kTracePartBytes);
// Closes the trace file and turns the categories off again.
void StopTraceFile();

}  // namespace vorkal
