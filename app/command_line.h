#pragma once
// What the program does with its command line before any window exists.

#include <QString>
#include <optional>

class QWidget;

namespace vorkal {

struct StartOptions {
    std::optional<int> exitCode;  // set: the program is done (help, version, no display)
    QString screenshotFile;       // save the window there once it is shown, then quit
    QString logFile;              // --log: the trace goes there
};

// Answers --help and --version on the terminal, and says so in one line when there
// is no display for the window.
StartOptions ParseStartOptions(int argc, char** argv);

// True when the platform Qt will pick can have a window: xcb needs DISPLAY, wayland
// WAYLAND_DISPLAY; other platforms (offscreen, vnc, ...) are not judged.
bool DisplayAvailable(const QString& platform);

// Saves the window's picture once the event loop has shown it, then ends the loop.
void SaveScreenshotWhenShown(QWidget& window, const QString& file);

}  // namespace vorkal
