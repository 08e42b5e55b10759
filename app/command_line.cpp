#include "command_line.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>
#include <QWidget>

#include <cstdio>

#include "atomic_file.h"
#include "trace_log.h"

namespace vorkal {

StartOptions ParseStartOptions(int argc, char** argv) {
    StartOptions result;
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    // The parser needs an application object for its texts; the real one comes later.
    int probeArgc = 1;
    QCoreApplication probe(probeArgc, argv);
    QCoreApplication::setApplicationName("vorkal");
    QCoreApplication::setApplicationVersion(VORKAL_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Configurator of the Vorkal telemetry display: screen layouts, log download, firmware update.\n"
        "Ports are named COMn; see the README's \"Serial ports on Linux\" for the numbering.");
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
    const QCommandLineOption version({"v", "version"}, "Show the version and exit.");
    const QCommandLineOption screenshot("screenshot",
                                        "Save a picture of the window to <file> once it is shown, then exit.", "file");
    const QCommandLineOption platform("platform", "Qt platform plugin (xcb, wayland, offscreen, ...).", "name");
    const QCommandLineOption log("log",
                                 "Write a trace for a report to <file>: every line in and out of the port with "
                                 "its time, each state change and each error (<file>.1 keeps the part before).",
                                 "file");
    parser.addOptions({help, version, screenshot, platform, log});
    // Other options are Qt's own (-style, -geometry, ...): they are left to the application.
    parser.parse(arguments);

    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        result.exitCode = 0;
    } else if (parser.isSet(version)) {
        std::printf("vorkal %s\n", VORKAL_VERSION);
        result.exitCode = 0;
    } else if (!DisplayAvailable(parser.isSet(platform) ? parser.value(platform)
                                                        : qEnvironmentVariable("QT_QPA_PLATFORM"))) {
        std::fputs(
            "vorkal: no display for the window (neither DISPLAY nor WAYLAND_DISPLAY is set); "
            "start it from a desktop session.\n",
            stderr);
        result.exitCode = 1;
    }
    result.screenshotFile = parser.value(screenshot);
    result.logFile = parser.value(log);
    if (!result.exitCode && !result.logFile.isEmpty()) {
        QString error;
        if (!StartTraceFile(result.logFile, &error)) {
            std::fprintf(stderr, "vorkal: cannot write the trace %s: %s\n", qPrintable(result.logFile), qPrintable(error));
            result.exitCode = 1;
        } else {
            qCInfo(lcProtocol).noquote() << "vorkal" << VORKAL_VERSION << arguments.mid(1).join(' ');
        }
    }
    return result;
}

bool DisplayAvailable(const QString& platform) {
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland =
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_SOCKET");
    if (platform.isEmpty()) return x11 || wayland;
    // A list such as "wayland;xcb" is tried in order; one that can work is enough.
    for (const QString& entry : platform.split(';', Qt::SkipEmptyParts)) {
        const QString name = entry.section(':', 0, 0);
        if (name == "xcb") {
            if (x11) return true;
        } else if (name.startsWith("wayland")) {
            if (wayland) return true;
        } else {
            return true;
        }
    }
    return false;
}

void SaveScreenshotWhenShown(QWidget& window, const QString& file) {
    QTimer::singleShot(0, &window, [&window, file] {
        // Encoded in memory, in the format the name's extension asks for (PNG without
        // one), then written whole or not at all.
        QByteArray bytes;
        QBuffer buffer(&bytes);
        const QByteArray suffix = QFileInfo(file).suffix().toLatin1();
        QString reason = QStringLiteral("the picture could not be encoded");
        const bool saved = buffer.open(QIODevice::WriteOnly) &&
                           window.grab().save(&buffer, suffix.isEmpty() ? "PNG" : suffix.constData()) &&
                           WriteFileAtomically(file, bytes, &reason);
        if (!saved)
            std::fprintf(stderr, "vorkal: cannot save the picture to %s: %s\n", qPrintable(file), qPrintable(reason));
        QCoreApplication::exit(saved ? 0 : 1);
    });
}

}  // namespace vorkal
