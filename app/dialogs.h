#pragma once
// One seam for every message box and file dialog, so tests can script the answers
// and never block on a real modal window.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <map>
#include <vector>

namespace vorkal {

enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgAnswer { Ok, Yes, No, Retry, Cancel };

struct FileDialogRequest {
    QString filter;            // "Description (*.x)|*.x|..." pairs separated by bars
    QString defaultExtension;  // without the dot, added when the name has none
    int filterIndex = 1;       // 1-based choice shown first
    bool promptOverwrite = false;
    QString directory;  // folder shown first; empty: the dialog's own choice
};

struct FileDialogResult {
    QString fileName;  // empty when cancelled
    int filterIndex = 1;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual void showMessage(const QString& title, const QString& text, MsgIcon icon) = 0;
    // Yes/No question; `defaultAnswer` is the focused button.
    virtual MsgAnswer askYesNo(const QString& title, const QString& text, MsgIcon icon, MsgAnswer defaultAnswer) = 0;
    virtual MsgAnswer askRetryCancel(const QString& title, const QString& text, MsgIcon icon) = 0;
    virtual FileDialogResult openFile(const FileDialogRequest& request) = 0;
    // Asks nothing about an existing file: askSaveFile does, once the name is final.
    virtual FileDialogResult saveFile(const FileDialogRequest& request) = 0;
    // Asks without blocking: the event loop (and a running transfer) goes on while the
    // box is open; `answered` runs with the answer (No when the box is closed otherwise).
    // Unless overridden, it asks as askYesNo does and answers at once.
    virtual void askYesNoLater(const QString& title, const QString& text, MsgIcon icon, MsgAnswer defaultAnswer,
                               std::function<void(MsgAnswer)> answered) {
        answered(askYesNo(title, text, icon, defaultAnswer));
    }
    // A message that does not block; unless overridden, shown as showMessage shows it.
    virtual void showMessageLater(const QString& title, const QString& text, MsgIcon icon) {
        showMessage(title, text, icon);
    }
};

// The dialogs in use; real Qt dialogs unless a test installed others.
Dialogs& dialogs();
void setDialogs(Dialogs* d);  // nullptr restores the real ones

// Splits a "desc|pattern|desc|pattern" filter into Qt's "desc;;desc" form.
QStringList qtFilterList(const QString& barFilter);
// Appends ".ext" when the base name has no extension.
QString withDefaultExtension(const QString& fileName, const QString& ext);
// Extensions (without the dot) of the 1-based choice `filterIndex` of a bar filter.
QStringList filterExtensions(const QString& barFilter, int filterIndex);
// The name a save under choice `filterIndex` writes: unchanged when it already ends in
// one of that choice's extensions, else with the first of them appended.
QString withFilterExtension(const QString& fileName, const QString& barFilter, int filterIndex);
// The 1-based choice a typed name asks for: `filterIndex`, unless the name ends in an
// extension of another offered choice and in none of the chosen one's; then the first
// choice with that extension.
int filterForTypedName(const QString& fileName, const QString& barFilter, int filterIndex);

// The folder and filter choice each kind of file dialog (told apart by its filter) was
// last left with, for the rest of the run.
class FileDialogMemory {
public:
    void prepare(FileDialogRequest& request) const;
    void remember(const FileDialogRequest& request, const FileDialogResult& result);

private:
    struct Last {
        QString directory;
        int filterIndex = 1;
    };
    std::map<QString, Last> last_;
};

// Open dialog through dialogs(), starting where the same kind of dialog was left.
FileDialogResult askOpenFile(FileDialogRequest request, FileDialogMemory& memory);
// Save dialog through dialogs(): a name ending in the extension of another offered type
// is written as that type, any other name gets the chosen filter's extension, and an
// existing file is replaced only after a question (in the language `polish`) that names
// the file actually written; No shows the dialog again. The caller remembers the folder
// (memory.remember) only once the file is written: a folder that refused the file
// (/proc, a full disk) is not offered again.
FileDialogResult askSaveFile(FileDialogRequest request, FileDialogMemory& memory, bool polish);
// The one text for a file that could not be read or written: its name, then the
// system's reason on a line of its own.
QString FileErrorText(const QString& fileName, const QString& reason, bool writing, bool polish);
// Error box with that text.
void showFileError(const QString& fileName, const QString& reason, bool writing, bool polish);
// Writes a file whole (WriteFileAtomically); on failure shows the error box and returns
// false, with any earlier file left as it was.
bool WriteFileOrReport(const QString& fileName, const QByteArray& bytes, bool polish);

class QtDialogs : public Dialogs {
public:
    void showMessage(const QString& title, const QString& text, MsgIcon icon) override;
    MsgAnswer askYesNo(const QString& title, const QString& text, MsgIcon icon, MsgAnswer defaultAnswer) override;
    MsgAnswer askRetryCancel(const QString& title, const QString& text, MsgIcon icon) override;
    FileDialogResult openFile(const FileDialogRequest& request) override;
    FileDialogResult saveFile(const FileDialogRequest& request) override;
    void askYesNoLater(const QString& title, const QString& text, MsgIcon icon, MsgAnswer defaultAnswer,
                       std::function<void(MsgAnswer)> answered) override;
    void showMessageLater(const QString& title, const QString& text, MsgIcon icon) override;
};

// Shows nothing and gives every question its safe answer (No, Cancel, no file): what a
// program that is ending answers the handlers still unwinding.
class SilentDialogs : public Dialogs {
public:
    void showMessage(const QString&, const QString&, MsgIcon) override {}
    MsgAnswer askYesNo(const QString&, const QString&, MsgIcon, MsgAnswer) override { return MsgAnswer::No; }
    MsgAnswer askRetryCancel(const QString&, const QString&, MsgIcon) override { return MsgAnswer::Cancel; }
    FileDialogResult openFile(const FileDialogRequest&) override { return {}; }
    FileDialogResult saveFile(const FileDialogRequest&) override { return {}; }
    void askYesNoLater(const QString&, const QString&, MsgIcon, MsgAnswer,
                       std::function<void(MsgAnswer)> answered) override {
        answered(MsgAnswer::No);
    }
    void showMessageLater(const QString&, const QString&, MsgIcon) override {}
};

// Answers from a script and records what was shown; for tests.
class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        QString kind;  // "message", "yesno", "retrycancel", "open", "save"
        QString title, text;
        MsgIcon icon = MsgIcon::None;
        MsgAnswer defaultAnswer = MsgAnswer::Ok;
        FileDialogRequest request;
    };
    std::vector<Shown> shown;
    std::deque<MsgAnswer> answers;             // for yes/no and retry/cancel; default No / Cancel
    std::deque<FileDialogResult> fileAnswers;  // default: cancelled
    // Runs while a plain message is on screen (the user acting before clicking OK).
    std::function<void(const QString& text)> onMessage;

    void showMessage(const QString& title, const QString& text, MsgIcon icon) override;
    MsgAnswer askYesNo(const QString& title, const QString& text, MsgIcon icon, MsgAnswer defaultAnswer) override;
    MsgAnswer askRetryCancel(const QString& title, const QString& text, MsgIcon icon) override;
    FileDialogResult openFile(const FileDialogRequest& request) override;
    FileDialogResult saveFile(const FileDialogRequest& request) override;

    // Texts of the plain messages shown so far.
    QStringList messages() const;
};

// Installs a dialogs object for the lifetime of the guard.
class DialogsGuard {
public:
    explicit DialogsGuard(Dialogs* d) { setDialogs(d); }
    ~DialogsGuard() { setDialogs(nullptr); }
};

}  // namespace vorkal
