#include "application.h"

#include <exception>

#include "af_safe_sync.h"
#include "dialogs.h"

namespace vorkal {

VorkalApplication::VorkalApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("VorkalConfig");
    setApplicationDisplayName("VorkalConfig");
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
