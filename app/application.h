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
    // Events being delivered on the calling thread, one inside the other: 1 in a handler
    // called from the application's loop, more while a handler waits in a local loop or
    // lets events through with processEvents().
    static int deliveryDepth();
};

// Shows the message of an exception that reached the event loop.
void ShowEscapedException(const char* what);

// The program ends when `window` is closed for good (its closedForGood signal), whatever
// other windows, shown or hidden, still exist: the application's loop is left once
// every local event loop running then has returned.
void EndWhenMainWindowCloses(VorkalApplication& app, TForm1& window);
// Leaves the application's event loop once no handler is running below it: none waits
// in a local loop and none is letting events through.
void LeaveLoopOnceUnwound();
// LeaveLoopOnceUnwound, and a shutdown that has not ended the process within
// kShutdownBoundMs ends it there.
constexpr int kShutdownBoundMs = 1800;
void ExitOnceUnwound();

}  // namespace vorkal
