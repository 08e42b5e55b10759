#pragma once
// What closing the main window means while the display is busy, without any widget: a
// firmware update that has begun programming keeps the window open; a running transfer
// asks first, without blocking it, and Yes stops it; otherwise only unsaved changes are
// asked about. The window asks and acts; this decides.

#include <QString>

namespace vorkal {

class DisplaySession;
class EditedConfiguration;
class FirmwareUpdate;

class CloseGuard {
public:
    CloseGuard(const DisplaySession& session, const FirmwareUpdate& update, const EditedConfiguration& edits)
        : session_(session), update_(update), edits_(edits) {}

    enum class OnClose {
        Close,             // closed for good already: a second close goes through
        UpdateMustFinish,  // stays open; say why
        AskToStopTransfer,
        AlreadyAsking,     // the stop question is open: nothing more
        AskToDropChanges,  // closes on Yes (asked only when there are unsaved changes)
    };
    OnClose onClose();

    enum class OnStop {
        Nothing,           // No, or closed meanwhile
        UpdateMustFinish,  // the update began programming while the question was open
        PlainClose,        // the transfer ended meanwhile: close as usual
        StopAndClose,
    };
    OnStop answered(bool yes);

    // The question, with the warning about changes that a stopped Send loses.
    QString stopTransferQuestion(bool polish) const;
    static QString updateMustFinishText(bool polish);
    static QString title(bool polish);

    bool closing() const { return closing_; }
    void markClosing() { closing_ = true; }
    // Set Baud ends within a second and runs to its end, so that the display and the
    // stored PC speed agree; everything else is cancelled at once.
    bool mayCancelExchange() const;

private:
    const DisplaySession& session_;
    const FirmwareUpdate& update_;
    const EditedConfiguration& edits_;
    bool closing_ = false;
    bool questionOpen_ = false;
};

}  // namespace vorkal
