// Before Send or Load Defaults overwrite the display: the backup model decides whether
// to read the display first and writes the file; the window asks and tells the user.

#include "dialogs.h"
#include "display_backup_keeper.h"
#include "display_session.h"
#include "form1.h"

using namespace vorkal;

bool TForm1::BackupDisplay() {
    if (!portIsOpen()) return true;  // nothing can be overwritten
    // The progress window says why the display is read before it is written.
    progressCaption_ =
        tr2("Reading the display for a backup...", QString::fromUtf8("Odczyt wyświetlacza do kopii zapasowej..."));
    const DisplayBackupKeeper::Result result = backups_->backUp();
    progressCaption_.clear();
    switch (result.kind) {
    case DisplayBackupKeeper::Result::Kind::Written: return true;
    case DisplayBackupKeeper::Result::Kind::ReadFailed: {
        // A display that cannot be read may still take a write (Load Defaults is how a
        // garbled one is mended), so the user decides; No is the default.
        const QString text =
            tr2("The display could not be read for a backup:\r\n%1\r\n\r\nOverwrite it without a backup?",
                QString::fromUtf8("Nie udało się odczytać wyświetlacza do kopii zapasowej:\r\n%1\r\n\r\n"
                                  "Nadpisać go bez kopii zapasowej?"))
                .arg(result.error);
        return dialogs().askYesNo(tr2("Confirm...", QString::fromUtf8("Potwierdź...")), text, MsgIcon::Warning,
                                  MsgAnswer::No) == MsgAnswer::Yes;
    }
    case DisplayBackupKeeper::Result::Kind::WriteFailed: break;
    }
    dialogs().showMessage(QString(),
                          tr2("The backup of the display could not be written to %1, so nothing was sent.",
                              QString::fromUtf8("Nie udało się zapisać kopii zapasowej wyświetlacza w %1, "
                                                "więc nic nie wysłano."))
                                  .arg(backups_->folder()) +
                              "\r\n" + result.error,
                          MsgIcon::Error);
    return false;
}
