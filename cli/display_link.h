#pragma once
// One display behind one port for the length of a command: the serial component, the
// display session on it, the terminal progress, and Ctrl+C as the progress window's
// Cancel.

#include <QObject>
#include <QString>
#include <memory>

#include "cli_options.h"
#include "config_image.h"
#include "terminal_progress.h"

class TAfComPort;
class ComPortAdapter;
class QSocketNotifier;

namespace vorkal {
class DisplaySession;
}

namespace vorkal::cli {

// The COM number the window lists for a device path; 0 while it is no port here.
int ComNumberOfDevice(const QString& devicePath);

// Ctrl+C (SIGINT) and SIGTERM arrive in the event loop, through a self-pipe on POSIX and
// from the console control handler's thread on Windows. While held
// (a step that must not be stopped halfway runs), any number of them is only reported;
// otherwise the first cancels and a second ends the program at once.
class InterruptWatch : public QObject {
    Q_OBJECT
public:
    InterruptWatch();
    ~InterruptWatch() override;
    bool interrupted() const { return interrupted_; }
    void setHeld(bool held);
    bool held() const;

signals:
    void interruptedNow();
    void interruptHeld();

private slots:
    // Windows: the console control handler's hand-off.
    void deliverInterrupt(bool held);

private:
    // On the event loop's thread: what came in since the last call.
    void report(bool cancel, bool held);

    QSocketNotifier* notifier_ = nullptr;  // POSIX: the pipe's read end
    bool interrupted_ = false;
};

class DisplayLink {
public:
    DisplayLink(const Options& options, InterruptWatch& interrupts);
    ~DisplayLink();

    enum class Silence { Fails, MayBeBootLoader };
    // Opens the port (COM number or device, speed from the options or the stored
    // preferences) and waits for the display's version line. Prints why on failure and
    // returns the exit code, kExitOk when connected. With MayBeBootLoader a display
    // that does not answer is no failure: it may be waiting in its boot loader, which
    // answers only the firmware update.
    int connect(Silence silence = Silence::Fails);
    // What Ctrl+C prints while the running step cannot be stopped (the progress has
    // Cancel disabled, as the window's progress window has then).
    void setUnstoppableText(const QString& text) { unstoppableText_ = text; }

    DisplaySession& session() { return *session_; }
    ConfigImage& config() { return config_; }
    TerminalProgress& progress() { return progress_; }
    bool polish() const { return polish_; }
    int comNumber() const { return comNumber_; }
    int speedIndex() const { return speedIndex_; }
    bool speedFromOptions() const { return speedFromOptions_; }
    bool interrupted() const { return interrupts_.interrupted(); }

    // The exit code of a device command that returned `error` (empty: success).
    int exitCodeFor(const QString& error) const;
    // The exit code of a device command that failed: cancelled, port lost or display.
    int failureExitCode() const;
    bool portLost() const;
    void close();

private:
    int resolvePort();
    bool openAt(int speedIndex, QString* reason);
    bool openWhenReady(QString* reason);

    const Options& options_;
    InterruptWatch& interrupts_;
    bool polish_;
    ConfigImage config_;
    TerminalProgress progress_;
    TAfComPort* port_;
    std::unique_ptr<ComPortAdapter> adapter_;
    DisplaySession* session_;
    int comNumber_ = 0;
    int speedIndex_ = 0;
    bool speedFromOptions_ = false;
    QString unstoppableText_;
};

}  // namespace vorkal::cli
