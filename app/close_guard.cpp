#include "close_guard.h"

#include "display_session.h"
#include "edited_configuration.h"
#include "firmware_update.h"
#include "texts.h"

namespace vorkal {

CloseGuard::OnClose CloseGuard::onClose() {
    if (closing_) return OnClose::Close;
    if (update_.mustFinish()) return OnClose::UpdateMustFinish;
    if (session_.transferRunning()) {
        if (questionOpen_) return OnClose::AlreadyAsking;
        questionOpen_ = true;
        return OnClose::AskToStopTransfer;
    }
    return OnClose::AskToDropChanges;
}

CloseGuard::OnStop CloseGuard::answered(bool yes) {
    questionOpen_ = false;
    if (!yes || closing_) return OnStop::Nothing;
    if (update_.mustFinish()) return OnStop::UpdateMustFinish;
    if (!session_.transferRunning()) return OnStop::PlainClose;
    return OnStop::StopAndClose;
}

QString CloseGuard::stopTransferQuestion(bool polish) const {
    QString text = Tr(polish, "A transfer with the display is running.", "Trwa przesyłanie danych z wyświetlaczem.");
    // The changes of a Send being stopped reach neither the display nor a file.
    if (edits_.hasUnsavedChanges())
        text += "\r\n\r\n" + Tr(polish, "Changes that were neither sent to the display nor exported will be lost.",
                                "Zmiany, które nie zostały wysłane do wyświetlacza "
                                "ani wyeksportowane, zostaną utracone.");
    return text + "\r\n\r\n" + Tr(polish, "Stop it and close the window?", "Przerwać je i zamknąć okno?");
}

QString CloseGuard::updateMustFinishText(bool polish) {
    return Tr(polish,
              "The firmware update is programming the display and cannot be stopped now.\r\n"
              "The window can be closed once the update has ended.",
              "Trwa programowanie wyświetlacza; aktualizacji nie można teraz przerwać.\r\n"
              "Okno można zamknąć po zakończeniu aktualizacji.");
}

QString CloseGuard::title(bool polish) { return Tr(polish, "Confirm...", "Potwierdź..."); }

bool CloseGuard::mayCancelExchange() const { return !session_.settingBaud(); }

}  // namespace vorkal
