#include "application.h"

#include <unistd.h>

#include <QThread>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <exception>
#include <thread>

#include "af_safe_sync.h"
#include "dialogs.h"
#include "form1.h"

namespace vorkal {

namespace {

void SetApplicationIdentity() {
    // The application's title. It is also the window class of every window and the
    // desktop entry's name, which is where a desktop shows the program's name. No display
    // name is set: Qt would append it to every window title, and each title is meant to
    // read exactly as the window sets it (applicationDisplayName() still falls back to it).
    QGuiApplication::setApplicationName("VorkalConfig");
    QGuiApplication::setDesktopFileName("VorkalConfig");
}

}  // namespace

VorkalApplication::VorkalApplication(int& argc, char** argv) : QApplication(argc, argv) {
    SetApplicationIdentity();
    // Exceptions from the serial link's handlers get the same error box.
    AfSafeSync::SetExceptionHandler([](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            ShowEscapedException(e.what());
        } catch (...) {
            ShowEscapedException("Unknown error");
        }
    });
}

namespace {
thread_local int tDeliveryDepth = 0;
}  // namespace

int VorkalApplication::deliveryDepth() { return tDeliveryDepth; }

bool VorkalApplication::notify(QObject* receiver, QEvent* event) {
    ++tDeliveryDepth;
    const struct Leave {
        ~Leave() { --tDeliveryDepth; }
    } leave;
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowEscapedException(e.what());
    } catch (...) {
        ShowEscapedException("Unknown error");
    }
    return false;
}

void EndWhenMainWindowCloses(VorkalApplication& app, TForm1& window) {
    // Hidden windows (the progress and track windows) must not keep the program alive,
    // and an automatic quit must never end the loops of a transfer still on the stack.
    app.setQuitOnLastWindowClosed(false);
    QObject::connect(&window, &TForm1::closedForGood, &app, &ExitOnceUnwound);
}

void LeaveLoopOnceUnwound() {
    // The window may close inside a handler that waits in a local event loop, or that
    // lets events through with processEvents() (Set Baud does, between its pauses).
    // Leaving the application then would make every loop that handler still enters
    // return at once: its pauses would be skipped and a wait for a reply could spin for
    // ever. The check runs from wherever events are delivered; it acts only when its own
    // timer event is the one being delivered, straight from the application's loop. The
    // loop level alone misses a handler inside processEvents(), which adds no level.
    auto* check = new QTimer(QCoreApplication::instance());
    check->setInterval(2);
    QObject::connect(check, &QTimer::timeout, check, [check] {
        if (QThread::currentThread()->loopLevel() > 1 || VorkalApplication::deliveryDepth() > 1) return;
        check->stop();
        check->deleteLater();
        QCoreApplication::exit(0);
    });
    check->start();
}

void ExitOnceUnwound() {
    LeaveLoopOnceUnwound();

    // The window is gone and the user was told the program ends: whatever still runs
    // (a Set Baud let finish, a wait or a port close that does not return) must not keep
    // the process, and with it the port, past this bound. Files are written whole or not
    // at all, and the system releases the port when the process ends.
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(kShutdownBoundMs));
        static const char note[] = "vorkal: the shutdown did not finish in time; ending now\n";
        (void)!write(STDERR_FILENO, note, sizeof note - 1);
        _exit(0);
    }).detach();
}

void ShowEscapedException(const char* what) {
    dialogs().showMessage(QApplication::applicationDisplayName(), QString::fromUtf8(what), MsgIcon::Error);
}

}  // namespace vorkal
