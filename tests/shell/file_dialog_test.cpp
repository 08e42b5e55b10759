// The program's real file dialogs (Qt's own widget dialog) on folders where reading a
// file blocks: /proc (kmsg) and a folder holding a FIFO. The window must keep answering
// while the dialog lists them, and Escape must close the dialog. A watchdog thread ends
// the process with a message if the window stops answering for good, and first opens the
// FIFO's other end, which frees a reader stuck on it, so that the test fails instead.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "dialogs.h"
#include "form1.h"
#include "user_folders.h"

using namespace vorkal;

namespace {

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Watches the user-interface thread's heartbeat from a thread of its own.
class Watchdog {
public:
    explicit Watchdog(QString fifo) : fifo_(std::move(fifo)) {
        beat();
        thread_ = std::thread([this] { run(); });
    }
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        stopped_.notify_all();
        thread_.join();
    }
    void beat() { lastBeat_ = NowMs(); }

private:
    void run() {
        bool freed = false;
        std::unique_lock lock(mutex_);
        // Time passing without a beat is what it watches for: it looks every 50 ms, and
        // the end of the visit wakes it at once.
        while (!stopped_.wait_for(lock, std::chrono::milliseconds(50), [this] { return done_; })) {
            const int64_t silent = NowMs() - lastBeat_;
            if (silent > 10'000 && !freed) {
                fprintf(stderr, "the window has not answered for %lld ms; opening the FIFO's other end\n",
                        static_cast<long long>(silent));
                const int fd = ::open(fifo_.toLocal8Bit().constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) ::close(fd);
                freed = true;
            }
            if (silent > 30'000) {
                fprintf(stderr, "FAIL: the window stopped answering for good while a file dialog was open\n");
                fflush(stderr);
                _exit(1);
            }
        }
    }

    QString fifo_;
    std::atomic<int64_t> lastBeat_{0};
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool done_ = false;  // under mutex_
    std::thread thread_;
};

// What one showing of a file dialog looked like to the user.
struct DialogVisit {
    bool shown = false;
    QString startFolder;       // the folder the dialog opened in
    bool listed = false;       // the folder's entries were in the dialog's model
    int64_t longestSilenceMs = -1;  // longest gap between the window's heartbeats while it was open
    int escapes = 0;           // Escape presses until it closed
    QStringList messages;      // message boxes that came after it, closed with OK
};

class FileDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(settingsDir.isValid() && portDir.isValid() && files.isValid());
        UseTestFolders(settingsDir.path(), portDir.path());
        fifoFolder = files.filePath("with-fifo");
        ASSERT_TRUE(QDir().mkpath(fifoFolder));
        fifo = fifoFolder + "/pipe";
        ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
        // A file of each type beside it, so that no dialog lists the folder as empty.
        for (const char* name : {"/layout.set", "/flight.txt"}) {
            QFile plain(fifoFolder + name);
            ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
        }
        setDialogs(nullptr);  // the real Qt dialogs
        form = std::make_unique<TForm1>();
        form->show();
    }

    // Runs `open`, which shows a file dialog and returns when it is gone, playing the user
    // on it: `act` goes to a folder (or types a name) and returns the folder listed; once
    // its entries are in the dialog, the window is watched for a second, then Escape is
    // pressed (`accept`: Enter instead). Message boxes that follow are read and closed.
    DialogVisit visit(const std::function<void()>& open, const std::function<QString(QFileDialog&)>& act,
                      bool accept = false) {
        DialogVisit v;
        Watchdog watchdog(fifo);
        QPointer<QFileDialog> dialog;
        QString folder;
        QElapsedTimer sinceShown, sinceListed, sinceKey;
        int64_t lastBeat = NowMs();
        QTimer heartbeat;
        heartbeat.setInterval(10);
        QObject::connect(&heartbeat, &QTimer::timeout, [&] {
            const int64_t now = NowMs();
            watchdog.beat();
            if (dialog && dialog->isVisible()) v.longestSilenceMs = std::max(v.longestSilenceMs, now - lastBeat);
            lastBeat = now;
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                v.messages << box->text();
                box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->reject();
                return;
            }
            auto* shown = qobject_cast<QFileDialog*>(modal);
            if (!shown || !shown->isVisible()) return;
            if (!dialog) {
                dialog = shown;
                v.shown = true;
                v.startFolder = shown->directory().absolutePath();
                sinceShown.start();
                folder = act(*shown);
                return;
            }
            if (!v.listed && !sinceListed.isValid()) {
                auto* model = shown->findChild<QFileSystemModel*>();
                if (model && model->rowCount(model->index(folder)) > 0) v.listed = true;
                // Never listed: the test fails, and the dialog is closed all the same.
                if (v.listed || sinceShown.elapsed() > 5000) sinceListed.start();
                return;
            }
            // A second of the dialog showing the folder, then a key every 200 ms until it
            // closes (a first Escape may only close the name completer's list).
            if (sinceListed.elapsed() < 1000 || (sinceKey.isValid() && sinceKey.elapsed() < 200)) return;
            sinceKey.start();
            QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : shown;
            if (accept) {
                QTest::keyClick(target, Qt::Key_Return);
            } else {
                ++v.escapes;
                QTest::keyClick(target, Qt::Key_Escape);
            }
        });
        heartbeat.start();
        open();
        // Boxes that follow the dialog (a failed write) are closed by the heartbeat too.
        EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::activeModalWidget() == nullptr; }, 5000));
        // Closed boxes go now, so that the next visit starts with none.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return v;
    }

    static QString goTo(QFileDialog& d, const QString& folder) {
        d.setDirectory(folder);
        return folder;
    }
    // Types a full name into the name box as a user does: the dialog follows it to the folder.
    static QString typeName(QFileDialog& d, const QString& name) {
        auto* edit = d.findChild<QLineEdit*>("fileNameEdit");
        if (!edit) return {};
        edit->setFocus();
        QTest::keyClicks(edit, name);
        return QFileInfo(name).absolutePath();
    }

    static void expectAnsweredAndClosed(const DialogVisit& v, const char* what) {
        ASSERT_TRUE(v.shown) << what << ": no file dialog appeared";
        EXPECT_TRUE(v.listed) << what << ": the folder was never listed";
        EXPECT_GE(v.longestSilenceMs, 0) << what;
        EXPECT_LT(v.longestSilenceMs, 1000) << what << ": the window did not answer for " << v.longestSilenceMs
                                            << " ms";
        EXPECT_GE(v.escapes, 1) << what;
        EXPECT_LE(v.escapes, 2) << what << ": Escape did not close the dialog";
    }

    QTemporaryDir settingsDir, portDir, files;
    QString fifoFolder, fifo;
    std::unique_ptr<TForm1> form;
};

// Export, Save To File and Import, each on /proc and on the folder with the FIFO.
TEST_F(FileDialogTest, EveryFileDialogAnswersOnFoldersWhereReadsBlock) {
    const struct {
        const char* what;
        std::function<void(TForm1&)> open;
    } dialogs[] = {
        {"Export", [](TForm1& f) { f.Button2Click(); }},
        {"Save To File", [](TForm1& f) { f.Button10Click(); }},
        {"Import", [](TForm1& f) { f.Button1Click(); }},
    };
    for (const auto& d : dialogs) {
        for (const QString& folder : {QString("/proc"), fifoFolder}) {
            const std::string what = std::string(d.what) + " on " + folder.toStdString();
            const DialogVisit v = visit([&] { d.open(*form); }, [&](QFileDialog& dlg) { return goTo(dlg, folder); });
            expectAnsweredAndClosed(v, what.c_str());
            EXPECT_TRUE(v.messages.isEmpty()) << what << ": " << v.messages.join(" / ").toStdString();
        }
    }
}

// The reported case: a name under /proc typed into Export, then Enter. The write fails
// with a message, the window goes on, and the next Export does not start in /proc.
TEST_F(FileDialogTest, ANameTypedUnderProcIsRefusedAndItsFolderNotOfferedAgain) {
    const DialogVisit typed =
        visit([&] { form->Button2Click(); }, [&](QFileDialog& d) { return typeName(d, "/proc/x.set"); }, true);
    ASSERT_TRUE(typed.shown);
    EXPECT_TRUE(typed.listed);
    EXPECT_LT(typed.longestSilenceMs, 1000) << "the window did not answer for " << typed.longestSilenceMs << " ms";
    ASSERT_EQ(typed.messages.size(), 1) << typed.messages.join(" / ").toStdString();
    EXPECT_TRUE(typed.messages[0].startsWith("Cannot write the file /proc/x.set:\n")) << typed.messages[0].toStdString();
    EXPECT_FALSE(QFile::exists("/proc/x.set"));

    const DialogVisit next = visit([&] { form->Button2Click(); }, [&](QFileDialog& d) { return goTo(d, fifoFolder); });
    expectAnsweredAndClosed(next, "Export after the refused name");
    EXPECT_NE(next.startFolder, "/proc");

    // A folder that took the file is where the next Export starts.
    const QString saved = files.filePath("saved.set");
    const DialogVisit good =
        visit([&] { form->Button2Click(); }, [&](QFileDialog& d) { return typeName(d, saved); }, true);
    ASSERT_TRUE(QFile::exists(saved)) << good.messages.join(" / ").toStdString();
    const DialogVisit after = visit([&] { form->Button2Click(); }, [&](QFileDialog& d) { return goTo(d, "/proc"); });
    EXPECT_EQ(after.startFolder, files.path());
    expectAnsweredAndClosed(after, "Export after a written file");
}

}  // namespace
