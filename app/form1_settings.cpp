// Import and export of settings files: a raw dump of the configuration image, followed
// by the log image when the display keeps its log in separate memory. The size alone
// says what a file holds.

#include "atomic_file.h"
#include "dialogs.h"
#include "form1.h"
#include "window_texts.h"
#include "settings_file.h"

using namespace vorkal;

void TForm1::Button1Click() {
    if (!mayDropUnsavedChanges()) return;
    FileDialogRequest request;
    request.filter = kSettingsFilter;
    request.defaultExtension = "BIN";
    const QString fileName = askOpenFile(request, fileDialogMemory).fileName;
    if (fileName.isEmpty()) return;
    const EditedConfiguration::Step step(edits);
    // A refused or failed import changes nothing, and the editor keeps showing the
    // element its controls name.
    if (!importSettingsFile(fileName)) ShowImageAsItIs();
}

bool TForm1::importSettingsFile(const QString& fileName) {
    const SettingsFileRead read = ReadSettingsFile(fileName);
    switch (read.status) {
    case SettingsFileRead::Status::Ok: break;
    case SettingsFileRead::Status::Unreadable:
        showFileError(fileName,
                      !read.error.isEmpty()
                          ? read.error
                          : tr2("The file is shorter than its size.", "Plik jest krótszy niż jego rozmiar."),
                      false, languagePolish);
        return false;
    case SettingsFileRead::Status::WrongSize:
        dialogs().showMessage(QString(),
                              tr2("The file %1 is not a settings file: it has %2 bytes.\n"
                                  "Settings files have 512, 8704 or 33792 bytes.",
                                  "Plik %1 nie jest plikiem ustawień: ma %2 bajtów.\n"
                                  "Pliki ustawień mają 512, 8704 lub 33792 bajty.")
                                  .arg(fileName)
                                  .arg(read.size),
                              MsgIcon::Warning);
        return false;
    case SettingsFileRead::Status::NoLayouts:
        dialogs().showMessage(
            QString(),
            tr2("The file %1 holds no screen layout.", "Plik %1 nie zawiera żadnego układu ekranu.").arg(fileName),
            MsgIcon::Warning);
        return false;
    }
    const QByteArray& bytes = read.bytes;
    // A 512-byte file holds an 84 x 48 image, so it selects 84 x 48 too: read with the
    // 128 x 64 stride it would be garbled, and a later export would write a size that
    // import refuses.
    if (LoadSettingsFile(config, bytes) == DisplayVariant::D128x64) SetDisplay128x64();
    else SetDisplay84x48();
    ShowLoadedConfiguration();  // selects the first entry
    edits.markSaved();
    return true;
}

void TForm1::Button2Click() {
    FileDialogRequest request;
    request.filter = kSettingsFilter;
    request.defaultExtension = "set";
    request.promptOverwrite = true;
    const FileDialogResult chosen = askSaveFile(request, fileDialogMemory, languagePolish);
    if (chosen.fileName.isEmpty()) return;

    // A file that was not written whole leaves the changes marked as unsaved.
    if (!WriteFileOrReport(chosen.fileName, SettingsFileBytes(config), languagePolish)) return;
    edits.markSaved();
    fileDialogMemory.remember(request, chosen);
}
