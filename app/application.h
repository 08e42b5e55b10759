#pragma once
#include <QApplication>

class TForm1;

namespace vorkal {

// The application object: an exception that escapes an event handler is shown in an
// error box and the program goes on.
class VorkalApplication : public QApplication {
public:
    VorkalApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Shows the message of an exception that reached the event loop.
void ShowEscapedException(const char* what);

// The program ends when `window` is closed for good (its closedForGood signal), whatever
// other windows, shown or hidden, still exist: the application's loop is left once
// every local event loop running then has returned.
void EndWhenMainWindowCloses(QApplication& app, TForm1& window);
// Leaves the application's event loop once only that loop is running; a shutdown that
// has not ended the process within kShutdownBoundMs ends it there.
constexpr int kShutdownBoundMs = 1800;
void ExitOnceUnwound();

}  // namespace vorkal
