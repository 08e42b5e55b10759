// The program's command line: help and version on the terminal, one line without a
// display, and a picture of the window for the package check.

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include "command_line.h"

using namespace vorkal;

namespace {

const QString kProgram = QStringLiteral(VORKAL_BINARY_DIR "/app/vorkal");

struct ProgramRun {
    int exitCode = -1;
    QString out, err;
};

// Runs the program with DISPLAY and WAYLAND_DISPLAY as given (empty: unset).
ProgramRun RunProgram(const QStringList& args, const QString& platform, const QString& display = {},
                      const QString& wayland = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "QT_QPA_PLATFORM"}) env.remove(name);
    if (!platform.isEmpty()) env.insert("QT_QPA_PLATFORM", platform);
    if (!display.isEmpty()) env.insert("DISPLAY", display);
    if (!wayland.isEmpty()) env.insert("WAYLAND_DISPLAY", wayland);
    // The program stores its language at start: not in the user's own settings.
    static QTemporaryDir home;
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("VORKAL_PORT_DIR", home.filePath("ports"));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(kProgram, args);
    ProgramRun r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

TEST(CommandLine, HelpAndVersionAnswerWithoutAWindow) {
    // No display at all: the answers must not need one.
    const ProgramRun help = RunProgram({"--help"}, "xcb");
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.contains("--version")) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("--screenshot"));
    EXPECT_TRUE(help.out.startsWith("Usage:")) << help.out.toStdString();

    const ProgramRun version = RunProgram({"--version"}, "xcb");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QStringLiteral("vorkal " VORKAL_VERSION "\n"));
}

TEST(CommandLine, NoDisplayGivesOneClearLine) {
    for (const QString& platform : {QString(), QStringLiteral("xcb"), QStringLiteral("wayland")}) {
        SCOPED_TRACE(platform.toStdString());
        const ProgramRun r = RunProgram({}, platform);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.startsWith("vorkal: no display for the window")) << r.err.toStdString();
    }
}

TEST(CommandLine, DisplayNeededByThePlatform) {
    struct Case {
        const char* platform;
        bool x11, wayland, expected;
    };
    const Case cases[] = {
        {"", false, false, false},
        {"", true, false, true},
        {"", false, true, true},
        {"xcb", false, true, false},
        {"xcb", true, false, true},
        {"wayland", true, false, false},
        {"wayland-egl", false, true, true},
        {"wayland;xcb", true, false, true},
        {"offscreen", false, false, true},
        {"vnc:size=800x600", false, false, true},
    };
    const QByteArray oldDisplay = qgetenv("DISPLAY"), oldWayland = qgetenv("WAYLAND_DISPLAY");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.platform) + (c.x11 ? " x11" : "") + (c.wayland ? " wayland" : ""));
        c.x11 ? qputenv("DISPLAY", ":5") : qunsetenv("DISPLAY");
        c.wayland ? qputenv("WAYLAND_DISPLAY", "wayland-0") : qunsetenv("WAYLAND_DISPLAY");
        EXPECT_EQ(DisplayAvailable(c.platform), c.expected);
    }
    oldDisplay.isNull() ? qunsetenv("DISPLAY") : qputenv("DISPLAY", oldDisplay);
    oldWayland.isNull() ? qunsetenv("WAYLAND_DISPLAY") : qputenv("WAYLAND_DISPLAY", oldWayland);
}

TEST(CommandLine, ScreenshotOfTheShownWindow) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("window.png");
    const ProgramRun r = RunProgram({"--screenshot", file}, "offscreen");
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QImage picture(file);
    EXPECT_EQ(picture.size(), QSize(440, 492));
}

}  // namespace
