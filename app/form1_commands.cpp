// The device command handlers: Read, Write, Load Defaults, Set Baud, Clear Log In
// display, Firmware Update, and the show-layout command that follows the layout
// selection. What each does with the display is in the display session.

#include "display_backup_keeper.h"
#include "display_session.h"
#include "dialogs.h"
#include "firmware_update.h"
#include "error_texts.h"
#include "form1.h"
#include "form2.h"
#include "layout_editor.h"
#include "af_com_port.h"

using namespace vorkal;

using PollPause = DisplaySession::PollPause;

void TForm1::ShowLayoutOnDisplay() {
    if (portIsOpen()) backups_->displayShowsLayout(std::max(config.selectedLayout, 0));
    session_->ShowLayout(config.selectedLayout);
}

void TForm1::Button3Click() {
    if (deferWhileBusy(&TForm1::Button3Click)) return;
    if (!portIsOpen() || !mayDropUnsavedChanges()) return;
    const bool hadUnsavedChanges = edits.hasUnsavedChanges();
    const EditedConfiguration::Step step(edits);
    // Blocks that a failed Receive leaves in the image are no edit of the user's: they
    // leave the unsaved mark as it was (the step can still be undone).
    if (session_->receiveConfiguration().isEmpty() || !hadUnsavedChanges) edits.markSaved();
}

void TForm1::Button4Click() {
    if (deferWhileBusy(&TForm1::Button4Click)) return;
    const bool shown = config.configurationLoaded;
    PollPause pause(*session_, PollPause::End::Start);  // also while a backup question is open
    // The display has just answered as the other variant: the image was put away.
    if (shown && !config.configurationLoaded) return;
    const QString backupBefore = backups_->lastPath();
    if (!BackupDisplay()) return;
    session_->backupOfNextWrite = backups_->lastPath() != backupBefore ? backups_->lastPath() : QString();
    backups_->displayChanged();
    if (session_->sendConfiguration().isEmpty()) edits.markSaved();
}

void TForm1::Button7Click() {
    if (deferWhileBusy(&TForm1::Button7Click)) return;
    // The poll stays quiet while the user decides.
    PollPause pause(*session_, PollPause::End::Start, portIsOpen());
    const QString title = tr2("Confirm...", QString::fromUtf8("Potwierdź..."));
    const QString text =
        tr2(QString("WARNING !!!\r\nReturn to defaults settings\r\nclears all your custom screens and\r\n"
                    "load defaults three screens layouts !        \r\n\r\nLoad default settings ?"),
            QString::fromUtf8("UWAGA !!!\r\nPrzywrócenie ustawień fabrycznych skasuje         \r\n"
                              "wszystkie aktualne ustawienia ekranów !\r\n\r\n"
                              "Załadować ustawienia fabryczne ?"));
    if (dialogs().askYesNo(title, text, MsgIcon::Warning, MsgAnswer::No) != MsgAnswer::Yes) return;
    const QString backupBefore = backups_->lastPath();
    if (!BackupDisplay()) return;
    session_->backupOfNextWrite = backups_->lastPath() != backupBefore ? backups_->lastPath() : QString();
    backups_->displayChanged();
    const EditedConfiguration::Step step(edits);
    Button7->setEnabled(false);
    const bool loaded = session_->loadDefaults().isEmpty();
    // The reset display restarts at the speed of the factory image: the PC follows it
    // (the reset command has long left by now).
    if (loaded) FollowDisplaySpeed(CorrectSpeedByte(config));
    // The image is the factory one now, whatever the display took: the editor shows it.
    if (config.configurationLoaded) ShowLoadedConfiguration();
    if (loaded) edits.markSaved();
    Button7->setEnabled(true);
}

void TForm1::Button8Click() {
    if (deferWhileBusy(&TForm1::Button8Click)) return;
    if (!portIsOpen()) return;
    backups_->displayChanged();  // the display stores its new speed
    if (ComboBox3->currentIndex() < 0) ComboBox3->setCurrentIndex(0);
    session_->setBaud(ComboBox3->currentIndex(), speedIndex());
    ComboBox2Change();
}

void TForm1::Button9Click() {
    if (deferWhileBusy(&TForm1::Button9Click)) return;
    const bool logKnown = backups_->logKnown();
    if (!ConfirmClearLog(logKnown)) return;
    if (logKnown && !BackupLog()) return;
    backups_->displayChanged();                      // without separate log memory the log lives in the configuration
    if (session_->clearLog().isEmpty()) LogsView();  // the table shows the cleared log
}

void TForm1::Button11Click() {
    if (deferWhileBusy(&TForm1::Button11Click)) return;
    if (!portIsOpen()) return;
    backups_->displayChanged();
    // The poll comes back as it was, whichever way the update ends.
    PollPause pause(*session_, PollPause::End::RestoreRunning);
    FirmwareUpdate& update = *firmwareUpdate_;
    update.image().reset();
    session_->boot.state = 0;
    FileDialogRequest request;
    request.filter = "HEX file|*.hex";
    request.defaultExtension = "BIN";
    const FileDialogResult chosen = askOpenFile(request, fileDialogMemory);
    if (chosen.fileName.isEmpty()) return;
    const FirmwareUpdate::FileCheck check = update.loadFile(chosen.fileName);
    if (!check.refusal.isEmpty()) {
        dialogs().showMessage(QString(), check.refusal, MsgIcon::None);
        return;
    }
    if (dialogs().askYesNo(check.caption, check.question, MsgIcon::Question, MsgAnswer::No) != MsgAnswer::Yes) return;
    if (update.run()) return;
    // After a failed update the display waits in its boot loader and answers no poll.
    // The port is closed, so that the next Open starts afresh once the display has been
    // switched off and on, and the user is told so; a pulled adapter is not waited for
    // either, as the hint asks for Open.
    StopWaitingForLostPort();
    if (portIsOpen()) AfComPort1->ClosePort();
    dialogs().showMessage(QString(), StrandedDisplayHint(update.programmingStarted(), languagePolish),
                          MsgIcon::Information);
}

// Before Clear Log: the log as this connection downloaded it goes to the backups, and a
// log that cannot be kept is not erased.
bool TForm1::BackupLog() {
    const DisplayBackupKeeper::Result result = backups_->backUpLog();
    if (result.kind == DisplayBackupKeeper::Result::Kind::Written) return true;
    dialogs().showMessage(QString(),
                          tr2("The backup of the log could not be written to %1, so the log was not cleared.",
                              QString::fromUtf8("Nie udało się zapisać kopii zapasowej logów w %1, "
                                                "więc logi nie zostały skasowane."))
                                  .arg(result.path) +
                              "\r\n" + result.error,
                          MsgIcon::Error);
    return false;
}

// Before Send or Load Defaults overwrite the display: the keeper decides whether to
// read it first and writes the file; the window asks and tells the user.
bool TForm1::BackupDisplay() {
    if (!portIsOpen()) return true;  // nothing can be overwritten
    // The progress window says why the display is read before it is written.
    Form2->captionOverride =
        tr2("Reading the display for a backup...", QString::fromUtf8("Odczyt wyświetlacza do kopii zapasowej..."));
    const DisplayBackupKeeper::Result result = backups_->backUp();
    Form2->captionOverride.clear();
    switch (result.kind) {
    case DisplayBackupKeeper::Result::Kind::Written: return true;
    case DisplayBackupKeeper::Result::Kind::ReadFailed: {
        // A display that cannot be read may still take a write (Load Defaults is how a
        // garbled one is mended), so the user decides; No is the default.
        const QString text =
            tr2("The display could not be read for a backup:\r\n%1\r\n\r\nOverwrite it without a backup?",
                QString::fromUtf8("Nie udało się odczytać wyświetlacza do kopii zapasowej:\r\n%1\r\n\r\n"
                                  "Nadpisać go bez kopii zapasowej?"))
                .arg(result.error) +
            "\r\n\r\n" + CheckConnectionAdvice(languagePolish);
        return dialogs().askYesNo(tr2("Confirm...", QString::fromUtf8("Potwierdź...")), text, MsgIcon::Warning,
                                  MsgAnswer::No) == MsgAnswer::Yes;
    }
    case DisplayBackupKeeper::Result::Kind::WriteFailed: break;
    }
    dialogs().showMessage(QString(),
                          tr2("The backup of the display could not be written to %1, so nothing was sent.",
                              QString::fromUtf8("Nie udało się zapisać kopii zapasowej wyświetlacza w %1, "
                                                "więc nic nie wysłano."))
                                  .arg(result.path) +
                              "\r\n" + result.error,
                          MsgIcon::Error);
    return false;
}
