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
#include "form1.h"
#include "form2.h"
#include "track_window.h"

using namespace vorkal;

void TForm1::closeEvent(QCloseEvent* e) {
    // A second close (an application quit closing every window) after ours.
    if (closing_) {
        QWidget::closeEvent(e);
        return;
    }
    if (firmwareUpdate_->mustFinish()) {
        e->ignore();
        showUpdateMustFinish();
        return;
    }
    if (session_->transferRunning()) {
        e->ignore();
        askToStopTransfer();
        return;
    }
    if (!mayDropUnsavedChanges()) {
        e->ignore();
        return;
    }
    QWidget::closeEvent(e);
    finishClosing();
}

void TForm1::askToStopTransfer() {
    if (closeQuestionOpen_) return;
    closeQuestionOpen_ = true;
    QString text =
        tr2("A transfer with the display is running.", QString::fromUtf8("Trwa przesyłanie danych z wyświetlaczem."));
    // The changes of a Send being stopped reach neither the display nor a file.
    if (edits.hasUnsavedChanges())
        text += "\r\n\r\n" + tr2("Changes that were neither sent to the display nor exported will be lost.",
                                 QString::fromUtf8("Zmiany, które nie zostały wysłane do wyświetlacza "
                                                   "ani wyeksportowane, zostaną utracone."));
    text += "\r\n\r\n" + tr2("Stop it and close the window?", QString::fromUtf8("Przerwać je i zamknąć okno?"));
    dialogs().askYesNoLater(tr2("Confirm...", QString::fromUtf8("Potwierdź...")), text, MsgIcon::Warning, MsgAnswer::No,
                            [this](MsgAnswer answer) {
                                closeQuestionOpen_ = false;
                                if (answer != MsgAnswer::Yes || closing_) return;
                                // The update may have begun programming while the box was open.
                                if (firmwareUpdate_->mustFinish()) {
                                    showUpdateMustFinish();
                                    return;
                                }
                                // The transfer may have ended meanwhile: then it is a plain close.
                                if (!session_->transferRunning()) {
                                    close();
                                    return;
                                }
                                hide();
                                finishClosing();
                            });
}

void TForm1::showUpdateMustFinish() {
    dialogs().showMessageLater(
        QString(),
        tr2("The firmware update is programming the display and cannot be stopped now.\r\n"
            "The window can be closed once the update has ended.",
            QString::fromUtf8("Trwa programowanie wyświetlacza; aktualizacji nie można teraz przerwać.\r\n"
                              "Okno można zamknąć po zakończeniu aktualizacji.")),
        MsgIcon::Information);
}

void TForm1::finishClosing() {
    closing_ = true;
    // The handlers still unwinding below get the safe answer to every question (no
    // backup-less Send, no Retry) and show nothing to a window that is gone.
    dialogsBeforeClosing_ = &dialogs();
    setDialogs(&silentDialogs_);
    // Set Baud has no Cancel and ends within a second: it runs to its end, so that the
    // display and the stored PC speed agree; the port closes with the window's end.
    // Everything else stops as with the progress window's Cancel: the running exchange
    // ends now, the transfer at its next check. With the port closed nothing more is
    // sent, and no wait is left that a reply would have to end.
    if (!session_->settingBaud()) {
        session_->cancel();
        if (portIsOpen()) AfComPort1->ClosePort();
    }
    session_->pollTimer()->stop();
    Form2->hide();
    if (trackWindow_) trackWindow_->close();
    emit closedForGood();
}
