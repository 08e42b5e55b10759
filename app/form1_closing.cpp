// Closing the main window. While a transfer runs, the user is asked whether to stop it;
// the question does not block, so the transfer goes on while it is open and goes on for
// good on No. A firmware update that has begun programming is never stopped: the window
// stays open and says so. Once closed, the window cancels the running exchange, closes
// the port and silences its dialogs; the program ends when every handler that was
// running (a transfer waits in local event loops) has returned.

#include <QCloseEvent>

#include "af_com_port.h"
#include "dialogs.h"
#include "display_session.h"
#include "firmware_update.h"
#include "close_guard.h"
#include "form1.h"
#include "form2.h"
#include "track_window.h"

using namespace vorkal;

namespace {

// Without blocking: the firmware update finishes first.
void ShowUpdateMustFinish(bool polish) {
    dialogs().showMessageLater(QString(), CloseGuard::updateMustFinishText(polish), MsgIcon::Information);
}

}  // namespace

void TForm1::closeEvent(QCloseEvent* e) {
    switch (closeGuard_->onClose()) {
    case CloseGuard::OnClose::Close:  // a second close (an application quit) after ours
        return QWidget::closeEvent(e);
    case CloseGuard::OnClose::UpdateMustFinish: e->ignore(); return ShowUpdateMustFinish(languagePolish);
    case CloseGuard::OnClose::AlreadyAsking: return e->ignore();
    case CloseGuard::OnClose::AskToStopTransfer:
        e->ignore();
        // Without blocking the transfer, which goes on while the question is open.
        return dialogs().askYesNoLater(CloseGuard::title(languagePolish),
                                       closeGuard_->stopTransferQuestion(languagePolish), MsgIcon::Warning,
                                       MsgAnswer::No, [this](MsgAnswer answer) {
                                           switch (closeGuard_->answered(answer == MsgAnswer::Yes)) {
                                           case CloseGuard::OnStop::Nothing: return;
                                           case CloseGuard::OnStop::UpdateMustFinish:
                                               return ShowUpdateMustFinish(languagePolish);
                                           case CloseGuard::OnStop::PlainClose: close(); return;
                                           case CloseGuard::OnStop::StopAndClose: hide(); return finishClosing();
                                           }
                                       });
    case CloseGuard::OnClose::AskToDropChanges:
        if (!mayDropUnsavedChanges()) return e->ignore();
        QWidget::closeEvent(e);
        return finishClosing();
    }
}

bool TForm1::closing() const { return closeGuard_ && closeGuard_->closing(); }

void TForm1::finishClosing() {
    closeGuard_->markClosing();
    // The handlers still unwinding below get the safe answer to every question (no
    // backup-less Send, no Retry) and show nothing to a window that is gone.
    dialogsBeforeClosing_ = &dialogs();
    setDialogs(&silentDialogs_);
    // Set Baud has no Cancel and runs to its end; the port closes with the window's end.
    // Everything else stops as with the progress window's Cancel: the running exchange
    // ends now, the transfer at its next check. With the port closed nothing more is
    // sent, and no wait is left that a reply would have to end.
    if (closeGuard_->mayCancelExchange()) {
        session_->cancel();
        if (portIsOpen()) AfComPort1->ClosePort();
    }
    session_->pollTimer()->stop();
    Form2->hide();
    if (trackWindow_) trackWindow_->close();
    emit closedForGood();
}
