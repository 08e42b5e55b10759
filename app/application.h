#pragma once
#include <QApplication>

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

}  // namespace vorkal
