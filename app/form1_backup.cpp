// Backups of the display's configuration, made before Send and Load Defaults overwrite
// it. The image a Receive read in this connection serves when nothing was written to
// the display since; otherwise the display is read first, into a buffer of its own.

#include <QDateTime>

#include "dialogs.h"
#include "display_backup.h"
#include "display_session.h"
#include "error_texts.h"
#include "form1.h"

using namespace vorkal;

void TForm1::rememberDisplayImage(const std::array<uint8_t, kImageSize>& image) {
    displayImage_ = image;
    displayImageKnown_ = true;
}

void TForm1::forgetDisplayImage() { displayImageKnown_ = false; }

void TForm1::displayShowsLayout(int layout) {
    // The display keeps its current layout in bits 0-2 of the layout byte.
    if (displayImageKnown_) displayImage_[kLayoutByte] = uint8_t((displayImage_[kLayoutByte] & 0xF8) | (layout & 7));
}

QString TForm1::readDisplayConfigurationInto(std::array<uint8_t, kImageSize>& dest) {
    // The progress window says why the display is read before it is written.
    progressCaption_ =
        tr2("Reading the display for a backup...", QString::fromUtf8("Odczyt wyświetlacza do kopii zapasowej..."));
    const QString error = session_->readConfigurationInto(dest);
    progressCaption_.clear();
    return error;
}

bool TForm1::BackupDisplay() {
    if (!portIsOpen()) return true;  // nothing can be overwritten
    std::array<uint8_t, kImageSize> image = displayImage_;
    if (!displayImageKnown_) {
        image = config.image;  // bytes a small display does not exchange stay as the window has them
        const QString error = readDisplayConfigurationInto(image);
        // A display that cannot be read may still take a write (Load Defaults is how a
        // garbled one is mended), so the user decides; No is the default.
        if (!error.isEmpty()) {
            const QString text =
                tr2("The display could not be read for a backup:\r\n%1\r\n\r\nOverwrite it without a backup?",
                    QString::fromUtf8("Nie udało się odczytać wyświetlacza do kopii zapasowej:\r\n%1\r\n\r\n"
                                      "Nadpisać go bez kopii zapasowej?"))
                    .arg(error) +
                "\r\n\r\n" + CheckConnectionAdvice(languagePolish);
            return dialogs().askYesNo(tr2("Confirm...", QString::fromUtf8("Potwierdź...")), text, MsgIcon::Warning,
                                      MsgAnswer::No) == MsgAnswer::Yes;
        }
        rememberDisplayImage(image);
    }
    const BackupWrite backup = WriteDisplayBackup(DisplayBackupFolder(), BackupFileBytes(config, image),
                                                  config.variant(), QDateTime::currentDateTime(), kBackupsKept);
    if (backup.ok()) {
        lastBackupPath = backup.path;
        return true;
    }
    dialogs().showMessage(QString(),
                          tr2("The backup of the display could not be written to %1, so nothing was sent.",
                              QString::fromUtf8("Nie udało się zapisać kopii zapasowej wyświetlacza w %1, "
                                                "więc nic nie wysłano."))
                                  .arg(backup.path) +
                              "\r\n" + backup.error,
                          MsgIcon::Error);
    return false;
}
