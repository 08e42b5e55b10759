#include "application.h"

#include <exception>

#include "af_safe_sync.h"
#include "dialogs.h"

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

bool VorkalApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowEscapedException(e.what());
    } catch (...) {
        ShowEscapedException("Unknown error");
    }
    return false;
}

void ShowEscapedException(const char* what) {
    dialogs().showMessage(QApplication::applicationDisplayName(), QString::fromUtf8(what), MsgIcon::Error);
}

}  // namespace vorkal
