#pragma once
// How the display session and the firmware update show their progress and talk to the
// user: the progress window with its bar and Cancel button, and message boxes.

#include <QString>

namespace vorkal {

class ProgressSink {
public:
    virtual ~ProgressSink() = default;

    // Shows the progress window centred, its bar at 0 of `maximum`. Showing a hidden
    // window clears the session's cancel flag (DisplaySession::progressShown).
    virtual void showProgress(int maximum) = 0;
    virtual void hideProgress() = 0;
    // Advances the bar by one step, never beyond its maximum.
    virtual void stepProgress() = 0;
    virtual int progressPosition() const = 0;
    virtual void setProgressPosition(int position) = 0;
    virtual void setProgressCaption(const QString& caption) = 0;
    virtual void setCancelEnabled(bool enabled) = 0;
    // Shows `text` to the user and returns when they have closed it.
    virtual void showMessage(const QString& text) = 0;
};

}  // namespace vorkal
