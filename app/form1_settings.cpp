// Import and export of settings files: a raw dump of the configuration image, followed
// by the log image when the display keeps its log in separate memory. The size alone
// says what a file holds.

#include <QFile>

#include "atomic_file.h"
#include "dialogs.h"
#include "form1.h"
#include "settings_file.h"

using namespace vorkal;

void TForm1::showFileError(const QString& fileName, const QString& reason, bool writing) {
    const QString text = writing ? tr2("Cannot write the file %1:\n%2", "Nie można zapisać pliku %1:\n%2")
                                 : tr2("Cannot read the file %1:\n%2", "Nie można odczytać pliku %1:\n%2");
    dialogs().showMessage(QString(), text.arg(fileName, reason), MsgIcon::Error);
}

void TForm1::Button1Click() {
    FileDialogRequest request;
    request.filter = kSettingsFilter;
    request.defaultExtension = "BIN";
    const QString fileName = dialogs().openFile(request).fileName;
    if (fileName.isEmpty()) return;

    if (ComboBox1->count() > 0) ComboBox1->setCurrentIndex(0);
    ClearPreview();

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        showFileError(fileName, file.errorString(), false);
        return;
    }
    const qint64 size = file.size();
    if (!IsSettingsFileSize(size)) return;  // not a settings file: ignored without a word
    // The whole file is read before anything is taken over, so a failed read leaves the
    // image as it was.
    const QByteArray bytes = file.read(size);
    if (bytes.size() != size) {
        showFileError(fileName, file.error() != QFileDevice::NoError ? file.errorString()
                                                                    : tr2("The file is shorter than its size.",
                                                                          "Plik jest krótszy niż jego rozmiar."),
                      false);
        return;
    }
    file.close();
    if (!SettingsFileHasLayouts(bytes)) {
        dialogs().showMessage(QString(),
                              tr2("The file %1 holds no screen layout.", "Plik %1 nie zawiera żadnego układu ekranu.")
                                  .arg(fileName),
                              MsgIcon::Warning);
        return;
    }

    // A 512-byte file holds an 84 x 48 image, so it selects 84 x 48 too: read with the
    // 128 x 64 stride it would be garbled, and a later export would write a size that
    // import refuses.
    if (LoadSettingsFile(config, bytes) == DisplayVariant::D128x64) SetDisplay128x64();
    else SetDisplay84x48();
    ShowLoadedConfiguration();
}

void TForm1::Button2Click() {
    FileDialogRequest request;
    request.filter = kSettingsFilter;
    request.defaultExtension = "set";
    request.promptOverwrite = true;
    const QString fileName = dialogs().saveFile(request).fileName;
    if (fileName.isEmpty()) return;

    QString reason;
    if (!WriteFileAtomically(fileName, SettingsFileBytes(config), &reason))
        showFileError(fileName, reason, true);
}
