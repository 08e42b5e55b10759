// Closing the window while a transfer runs, as a process: the test hosts the virtual
// display and starts this same executable a second time as the program (the real
// application object, main window, serial port and end-of-program wiring), which opens
// the display's port, starts a transfer, waits until it is under way and closes the
// window. The test then sees the process end and opens the port itself.
//
// The program side speaks on its standard output, one line an event:
//   question <text>      a yes/no question (\r\n written as |)
//   note <text>          a message that does not block
//   message <text>       a blocking message
//   answered <ns>        the close question was answered Yes, at this monotonic time
//   closing              the close arrives now, the transfer running
//   fail <what>          the program side could not set the case up
//   ended <code>         the application's loop returned

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <cerrno>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../firmware/firmware_files.h"
#include "af_com_port.h"
#include "application.h"
#include "dialogs.h"
#include "display_session.h"
#include "firmware_update.h"
#include "form1.h"
#include "form2.h"
#include "line_protocol.h"
#include "pc_line.h"
#include "test_process_home.h"
#include "virtual_display.h"

extern char** environ;

using namespace vorkal;

namespace {

constexpr int kCom = 57;
constexpr const char* kChildFlag = "--close-child";
constexpr int kFirmwareBytes = 8192;  // with the paced line, seconds of programming

int64_t MonotonicNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// ---- The program side ------------------------------------------------------------------

void Say(const QString& line) {
    QString flat = line;
    flat.replace("\r\n", "|").replace('\n', '|');
    printf("%s\n", flat.toUtf8().constData());
    fflush(stdout);
}

// Answers Yes to every question (the close question as the case asks) and offers the
// firmware file; tells the test what was shown.
class ChildDialogs : public ScriptedDialogs {
public:
    QString hexFile;
    bool closeAsked = false;     // the next question is the close question
    bool answerCloseNo = false;  // answer it No once

    void showMessage(const QString&, const QString& text, MsgIcon) override { Say("message " + text); }
    void showMessageLater(const QString&, const QString& text, MsgIcon) override { Say("note " + text); }
    MsgAnswer askYesNo(const QString&, const QString& text, MsgIcon, MsgAnswer) override {
        Say("question " + text);
        if (!std::exchange(closeAsked, false)) return MsgAnswer::Yes;
        if (std::exchange(answerCloseNo, false)) return MsgAnswer::No;
        Say(QString("answered %1").arg(MonotonicNs()));
        return MsgAnswer::Yes;
    }
    FileDialogResult openFile(const FileDialogRequest&) override { return {hexFile, 1}; }
};

// Walks one case: connect, set up, start the transfer, wait until it runs, close.
class Driver : public QObject {
public:
    Driver(TForm1& form, ChildDialogs& dialogs, QString kind) : form_(form), dialogs_(dialogs), kind_(kind) {
        connect(&tick_, &QTimer::timeout, this, &Driver::step);
        tick_.start(2);
    }

private:
    enum class Phase { Open, Connecting, Preparing, Starting, Running, Closed, Finishing };

    // Clicks later, from the event loop: a transfer runs its waits inside the click, and
    // the tick must go on meanwhile.
    void clickLater(QPushButton* button) {
        QTimer::singleShot(0, button, [button] { button->click(); });
    }
    bool transferRunning() const { return form_.session().transferRunning(); }
    bool progressUnderWay() const {
        return form_.Form2->isVisible() && form_.Form2->ProgressBar1->value() >= 2 &&
               form_.Form2->ProgressBar1->value() < form_.Form2->ProgressBar1->maximum() - 1;
    }
    bool isFirmware() const { return kind_.startsWith("firmware"); }

    void step() {
        DisplaySession& session = form_.session();
        switch (phase_) {
        case Phase::Open: {
            form_.ComboBox4DropDown();
            const int i = form_.ComboBox4->findText(QString("COM%1").arg(kCom));
            if (i < 0) return fail("the port is not listed");
            form_.ComboBox4->setCurrentIndex(i);
            form_.ComboBox4Click();
            phase_ = Phase::Connecting;
            clickLater(form_.Button5);
            return;
        }
        case Phase::Connecting:
            if (session.firmwareVersion.isEmpty() || session.waiting() || !form_.Button3->isEnabled()) return;
            phase_ = Phase::Preparing;
            // Send needs a configuration with an edit in it; after a Receive, Send and Load
            // Defaults keep their backup without reading the display first.
            if (kind_ == "send" || kind_ == "load-defaults") clickLater(form_.Button3);
            return;
        case Phase::Preparing:
            if (session.waiting() || transferRunning()) return;
            if (kind_ == "send" || kind_ == "load-defaults") {
                if (!form_.config.configurationLoaded) return;
            }
            if (kind_ == "send") {
                form_.edits.copyLayoutTo(1);
                if (!form_.edits.hasUnsavedChanges()) return fail("no unsaved change");
            }
            phase_ = Phase::Starting;
            start();
            return;
        case Phase::Starting:
            if (!transferRunning()) return;
            phase_ = Phase::Running;
            [[fallthrough]];
        case Phase::Running: {
            if (!transferRunning()) return fail("the transfer ended before the close");
            const bool underWay = kind_ == "set-baud" ? true
                                  : kind_ == "firmware-program"
                                      ? form_.firmwareUpdate().mustFinish() && progressUnderWay()
                                      : progressUnderWay();
            if (!underWay) return;
            phase_ = Phase::Closed;
            Say("closing");
            dialogs_.closeAsked = true;
            form_.close();
            Say(QString("visible %1").arg(form_.isVisible() ? 1 : 0));
            return;
        }
        case Phase::Closed:
            // The firmware update and the answer No keep the window: the transfer runs to
            // its end, and the window is closed again after it.
            if (!form_.isVisible() || transferRunning()) return;
            Say(QString("transfer ended, port %1").arg(form_.AfComPort1->IsOpen() ? "open" : "closed"));
            phase_ = Phase::Finishing;
            dialogs_.closeAsked = true;
            form_.close();
            return;
        case Phase::Finishing: return;
        }
    }

    void start() {
        if (kind_ == "receive" || kind_ == "receive-no") {
            clickLater(form_.Button3);
        } else if (kind_ == "send") {
            clickLater(form_.Button4);
        } else if (kind_ == "load-defaults") {
            clickLater(form_.Button7);
        } else if (kind_ == "set-baud") {
            form_.ComboBox3->setCurrentIndex(1);
            clickLater(form_.Button8);
        } else if (kind_ == "clear-log") {
            form_.config.logLoaded = true;  // straight to the log view, no download
            form_.Button6->click();
            clickLater(form_.Button9);
        } else if (kind_ == "log-download") {
            form_.config.logLoaded = false;
            clickLater(form_.Button6);
        } else if (isFirmware()) {
            clickLater(form_.Button11);
        } else {
            fail("unknown case");
        }
    }

    void fail(const char* what) {
        Say(QString("fail ") + what);
        tick_.stop();
        QCoreApplication::exit(3);
    }

    TForm1& form_;
    ChildDialogs& dialogs_;
    QString kind_;
    QTimer tick_;
    Phase phase_ = Phase::Open;
};

// What the program's main does, with the dialogs and the clicks of the case.
int RunProgramSide(int argc, char** argv) {
    const QString kind = argv[2];
    VorkalApplication app(argc, argv);
    ChildDialogs dialogs;
    dialogs.hexFile = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    dialogs.answerCloseNo = kind.endsWith("-no");
    DialogsGuard guard(&dialogs);
    int code = 0;
    {
        TForm1 form;
        EndWhenMainWindowCloses(app, form);
        form.show();
        Driver driver(form, dialogs, kind);
        code = app.exec();
    }
    Say(QString("ended %1").arg(code));
    return code;
}

// ---- The test side -----------------------------------------------------------------------

struct ProgramRun {
    bool started = false, ended = false;
    int exitCode = -1;
    std::vector<std::string> lines;
    int64_t answeredNs = 0, endedNs = 0;

    bool saw(const std::string& prefix) const {
        for (const std::string& l : lines)
            if (l.rfind(prefix, 0) == 0) return true;
        return false;
    }
    std::string first(const std::string& prefix) const {
        for (const std::string& l : lines)
            if (l.rfind(prefix, 0) == 0) return l;
        return {};
    }
    std::string all() const {
        std::string text;
        for (const std::string& l : lines) text += "  " + l + "\n";
        return text;
    }
};

std::string SelfPath() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, size_t(n)) : std::string();
}

// Starts the program side for `kind` and collects what it says until it ends (at most
// `limitMs`, then it is killed).
ProgramRun RunProgram(const std::string& kind, const std::string& hexFile, int limitMs = 60000) {
    ProgramRun run;
    int out[2];
    if (pipe(out) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string self = SelfPath();
    std::vector<char*> args = {const_cast<char*>(self.c_str()), const_cast<char*>(kChildFlag),
                               const_cast<char*>(kind.c_str())};
    if (!hexFile.empty()) args.push_back(const_cast<char*>(hexFile.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        return run;
    }
    run.started = true;
    const int64_t deadline = MonotonicNs() + int64_t(limitMs) * 1'000'000;
    std::string pending;
    for (;;) {
        const int64_t left = (deadline - MonotonicNs()) / 1'000'000;
        if (left <= 0) break;
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, int(std::min<int64_t>(left, 1000))) <= 0) continue;
        char buffer[4096];
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0) break;  // the program's end closed the pipe
        pending.append(buffer, size_t(n));
        for (size_t nl; (nl = pending.find('\n')) != std::string::npos; pending.erase(0, nl + 1)) {
            run.lines.push_back(pending.substr(0, nl));
            if (run.lines.back().rfind("answered ", 0) == 0) run.answeredNs = std::stoll(run.lines.back().substr(9));
        }
    }
    close(out[0]);
    int status = 0;
    // The pipe closes when the process ends; a process still there by the deadline is
    // killed. Its process descriptor turns readable the moment it ends.
    const int processFd = int(syscall(SYS_pidfd_open, pid, 0));
    pollfd ended{processFd, POLLIN, 0};
    int ready = 0;
    while (processFd >= 0 &&
           (ready = poll(&ended, 1, int(std::max<int64_t>(0, (deadline - MonotonicNs()) / 1000000)))) < 0 &&
           errno == EINTR) {}
    if (processFd >= 0) close(processFd);
    if (ready <= 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return run;
    }
    waitpid(pid, &status, 0);
    run.endedNs = MonotonicNs();
    run.ended = true;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class Closing : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dataHome.isValid());
        setenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit().constData(), 1);
    }

    // `bootWindowMs` 1: the boot loader is gone before the first handshake, which then
    // goes unanswered.
    void startDisplay(int replyDelayMs, int bootWindowMs = 500) {
        sim::VirtualDisplayOptions o;
        o.bootWindowMs = bootWindowMs;
        o.portDir = getenv("VORKAL_PORT_DIR");
        o.comNumber = kCom;
        o.variant = sim::SimVariant::D84x48Log;
        o.pace = true;
        display = std::make_unique<sim::VirtualDisplay>(o);
        std::string error;
        ASSERT_TRUE(display->start(&error)) << error;
        display->setReplyDelayMs(replyDelayMs);
    }

    QString writeHexFile(const char* version) {
        const QString path = dataHome.filePath("update.hex");
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(vorkal::testing::ToHex(vorkal::testing::MakeFirmware(kFirmwareBytes, version)));
        return path;
    }

    // The port is free for another program: it opens, takes the program's exclusive lock,
    // and the display answers a version query on it. Returns the version line (empty when none).
    std::string openPortAsAnotherProgram() {
        const int fd = open(display->linkPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        EXPECT_GE(fd, 0) << "the port does not open: " << strerror(errno);
        if (fd < 0) return {};
        EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0) << "the port is still held: " << strerror(errno);
        const int bauds[] = {57600, 38400, 19200, 9600, 4800};
        sim::SetPcLine(fd, bauds[display->speedIndex()]);
        const QByteArray query = VersionQueryLine();
        std::string line;
        const int64_t deadline = MonotonicNs() + 5'000'000'000;
        int64_t nextQuery = 0;
        // Replies to the stopped transfer's last commands may still come first.
        while (MonotonicNs() < deadline) {
            // A display still restarting (after a reset) answers the query once it is up.
            if (MonotonicNs() >= nextQuery) {
                EXPECT_EQ(write(fd, query.constData(), size_t(query.size())), query.size());
                nextQuery = MonotonicNs() + 300'000'000;
            }
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            char c;
            while (read(fd, &c, 1) == 1) {
                if (c != '\n') {
                    line += c;
                    continue;
                }
                if (line.rfind('v', 0) == 0) {
                    close(fd);
                    return line;
                }
                line.clear();
            }
        }
        line.clear();
        close(fd);
        return line;
    }

    QTemporaryDir dataHome;
    std::unique_ptr<sim::VirtualDisplay> display;
};

// Every kind of transfer, stopped by closing the window: the question, the time from
// its answer to the end of the process, and the port free afterwards.
TEST_F(Closing, EveryTransferStopsAndTheProgramEndsWithinTwoSeconds) {
    struct Case {
        const char* kind;
        int replyDelayMs;  // slow replies keep a short transfer running until the close
    };
    const Case cases[] = {
        {"receive", 20},   {"send", 20},        {"load-defaults", 20},     {"set-baud", 0},
        {"clear-log", 10}, {"log-download", 5}, {"firmware-handshake", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        const std::string kind = c.kind;
        // The update's handshake pass, which may be stopped: the program waits for a boot
        // loader that never answers.
        const bool handshake = kind == "firmware-handshake";
        // Each case starts from the stored preferences of a first start.
        QFile::remove(QSettings("Brask", "Vorkal").fileName());
        ASSERT_NO_FATAL_FAILURE(startDisplay(c.replyDelayMs, handshake ? 1 : 500));
        const std::string hex = handshake ? writeHexFile("v1.24").toStdString() : "";
        const ProgramRun run = RunProgram(kind, hex);
        ASSERT_TRUE(run.ended) << "the program did not end:\n" << run.all();
        EXPECT_EQ(run.exitCode, 0) << run.all();
        EXPECT_FALSE(run.saw("fail")) << run.all();
        ASSERT_TRUE(run.saw("closing")) << run.all();
        EXPECT_TRUE(run.saw("visible 0")) << "the window stayed open:\n" << run.all();
        const std::string question = run.first("question A transfer with the display is running.");
        EXPECT_FALSE(question.empty()) << run.all();
        EXPECT_FALSE(run.saw("question The configuration holds changes")) << run.all();
        // Only Send had an edit to lose, and says so.
        EXPECT_EQ(question.find("will be lost") != std::string::npos, kind == "send") << question;
        EXPECT_FALSE(run.saw("transfer ended")) << "the transfer ran to its end:\n" << run.all();
        ASSERT_GT(run.answeredNs, 0) << run.all();
        const double seconds = double(run.endedNs - run.answeredNs) / 1e9;
        printf("[ figure ] %-18s from the answer to the end of the process: %.3f s\n", c.kind, seconds);
        EXPECT_LT(seconds, 2.0);
        if (kind == "set-baud") {
            // Set Baud is let finish: the display and the stored PC speed agree.
            EXPECT_EQ(display->speedIndex(), 1);
            EXPECT_EQ(QSettings("Brask", "Vorkal").value("Speed").toInt(), 1);
        }
        const std::string version = openPortAsAnotherProgram();
        EXPECT_EQ(version.rfind("v1.23", 0), 0u) << "no version line on the freed port: " << version;
        display->stop();
        display.reset();
    }
}

// No to the question: the window stays, the transfer runs to its end as if nothing had
// been asked, and a later close ends the program.
TEST_F(Closing, AnswerNoKeepsTheWindowAndTheTransfer) {
    ASSERT_NO_FATAL_FAILURE(startDisplay(20));
    const ProgramRun run = RunProgram("receive-no", "");
    ASSERT_TRUE(run.ended) << run.all();
    EXPECT_EQ(run.exitCode, 0) << run.all();
    EXPECT_FALSE(run.saw("fail")) << run.all();
    EXPECT_TRUE(run.saw("visible 1")) << run.all();
    EXPECT_TRUE(run.saw("transfer ended, port open")) << run.all();
    EXPECT_FALSE(run.saw("message")) << "the Receive did not end well:\n" << run.all();
    EXPECT_FALSE(openPortAsAnotherProgram().empty());
}

// A firmware update that has begun programming is not stopped: the window says so and
// stays, the update completes, and the window closes once it has.
TEST_F(Closing, AFirmwareUpdateProgrammingRunsToItsEnd) {
    ASSERT_NO_FATAL_FAILURE(startDisplay(0));
    const ProgramRun run = RunProgram("firmware-program", writeHexFile("v1.24").toStdString());
    ASSERT_TRUE(run.ended) << run.all();
    EXPECT_EQ(run.exitCode, 0) << run.all();
    EXPECT_FALSE(run.saw("fail")) << run.all();
    EXPECT_TRUE(run.saw("visible 1")) << run.all();
    EXPECT_TRUE(run.saw("note The firmware update is programming the display and cannot be stopped now.")) << run.all();
    EXPECT_FALSE(run.saw("question A transfer")) << run.all();
    EXPECT_TRUE(run.saw("message Update successfull !")) << run.all();
    EXPECT_TRUE(run.saw("transfer ended")) << run.all();
    EXPECT_EQ(openPortAsAnotherProgram().rfind("v1.24", 0), 0u) << "the display does not run the new firmware";
}

// The question of the real dialogs leaves the event loop (and a transfer in it) running
// while it is open, and answers through its callback: Yes, or No when dismissed.
TEST(CloseQuestion, TheRealQuestionDoesNotBlock) {
    struct Case {
        const char* name;
        std::function<void(QMessageBox&)> act;
        MsgAnswer expected;
    };
    const Case cases[] = {
        {"Yes", [](QMessageBox& b) { b.button(QMessageBox::Yes)->click(); }, MsgAnswer::Yes},
        {"No", [](QMessageBox& b) { b.button(QMessageBox::No)->click(); }, MsgAnswer::No},
        {"closed", [](QMessageBox& b) { b.reject(); }, MsgAnswer::No},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QtDialogs real;
        std::vector<MsgAnswer> answers;
        real.askYesNoLater("Confirm...", "Stop?", MsgIcon::Warning, MsgAnswer::No,
                           [&answers](MsgAnswer a) { answers.push_back(a); });
        // Back here with the box open: nothing answered, nothing modal.
        EXPECT_TRUE(answers.empty());
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        QMessageBox* box = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) box = b;
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), "Stop?");
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
        QPointer<QMessageBox> gone(box);
        c.act(*box);
        EXPECT_EQ(answers, std::vector<MsgAnswer>{c.expected});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(gone.isNull()) << "the box is left behind";
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], kChildFlag) == 0) {
        // The test side has set the folders and the port directory up.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return RunProgramSide(argc, argv);
    }
    vorkal::testing::TestProcessHome home;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
