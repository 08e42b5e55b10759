#include "dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPointer>
#include <QTimer>

#include "atomic_file.h"
#include "trace_log.h"

namespace vorkal {

namespace {
QtDialogs g_qtDialogs;
Dialogs* g_dialogs = nullptr;

QMessageBox::Icon toQtIcon(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Warning: return QMessageBox::Warning;
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

// The window a box belongs to. While a window kept above all others is up (the progress
// window), a box owned by the main window would open beneath it, its text and buttons
// covered: the box belongs to that window then, and is kept above as well.
QWidget* BoxOwner() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && (w->windowFlags() & Qt::WindowStaysOnTopHint) && !qobject_cast<QMessageBox*>(w))
            return w;
    return QApplication::activeWindow();
}

QMessageBox* NewBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                    QMessageBox::StandardButtons buttons) {
    QWidget* owner = BoxOwner();
    auto* box = new QMessageBox(icon, title, text, buttons, owner);
    if (owner && (owner->windowFlags() & Qt::WindowStaysOnTopHint)) box->setWindowFlag(Qt::WindowStaysOnTopHint);
    return box;
}

// On top and with the keyboard once shown, whatever was raised or clicked since.
void RaiseWhenShown(QMessageBox* box) {
    QTimer::singleShot(0, box, [box] {
        box->raise();
        box->activateWindow();
    });
}

// A box that blocks until answered: on top, with the keyboard, deleted on return (unless
// its owner went first, taking it along).
int ExecBox(QMessageBox* box) {
    const QPointer<QMessageBox> alive(box);
    RaiseWhenShown(box);
    const int answer = box->exec();
    delete alive.data();
    return answer;
}

QString applicationTitle(const QString& title) {
    return title.isEmpty() ? QApplication::applicationDisplayName() : title;
}

// Icons and type names by the name alone. Qt's own provider looks into files whose name
// does not settle their type, and a read of /proc/kmsg or of a FIFO never returns: the
// dialog, typed into, lists a folder on the user-interface thread.
class NameOnlyIconProvider : public QFileIconProvider {
public:
    NameOnlyIconProvider() { setOptions(DontUseCustomDirectoryIcons); }
    QIcon icon(IconType type) const override { return QFileIconProvider::icon(type); }
    QIcon icon(const QFileInfo& info) const override {
        if (info.isRoot()) return icon(Drive);
        return icon(info.isDir() ? Folder : File);
    }
    QString type(const QFileInfo& info) const override {
        if (info.isDir()) return QApplication::translate("QFileDialog", "Folder");
        return mimeTypes_.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension).comment();
    }

private:
    QMimeDatabase mimeTypes_;
};

// Qt's own dialog (never the desktop's, whose process would look into files by itself),
// with icons that read no file.
void UseDialogThatReadsNoFile(QFileDialog& dlg) {
    static NameOnlyIconProvider provider;
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setOption(QFileDialog::DontUseCustomDirectoryIcons);
    dlg.setIconProvider(&provider);
}
}  // namespace

Dialogs& dialogs() { return g_dialogs ? *g_dialogs : g_qtDialogs; }
void setDialogs(Dialogs* d) { g_dialogs = d; }

QStringList qtFilterList(const QString& barFilter) {
    const QStringList parts = barFilter.split('|');
    QStringList result;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString desc = parts[i];
        // Qt reads the patterns from the parentheses; add them when the description lacks them.
        if (!desc.contains('(')) desc += " (" + parts[i + 1] + ")";
        result << desc;
    }
    return result;
}

QString withDefaultExtension(const QString& fileName, const QString& ext) {
    if (fileName.isEmpty() || ext.isEmpty()) return fileName;
    if (!QFileInfo(fileName).suffix().isEmpty()) return fileName;
    return fileName + "." + ext;
}

QStringList filterExtensions(const QString& barFilter, int filterIndex) {
    const QStringList parts = barFilter.split('|');
    const int at = 2 * (filterIndex - 1) + 1;
    QStringList extensions;
    if (filterIndex < 1 || at >= parts.size()) return extensions;
    for (const QString& pattern : parts[at].split(';', Qt::SkipEmptyParts)) {
        const QString p = pattern.trimmed();
        if (p.startsWith("*.") && p.size() > 2 && p.indexOf(QLatin1Char('*'), 1) < 0) extensions << p.mid(2);
    }
    return extensions;
}

QString withFilterExtension(const QString& fileName, const QString& barFilter, int filterIndex) {
    const QStringList extensions = filterExtensions(barFilter, filterIndex);
    if (fileName.isEmpty() || extensions.isEmpty()) return fileName;
    for (const QString& ext : extensions)
        if (fileName.endsWith("." + ext, Qt::CaseInsensitive)) return fileName;
    // "name." asks for no extension of its own; it gets the type's.
    return fileName + (fileName.endsWith('.') ? "" : ".") + extensions.first();
}

void FileDialogMemory::prepare(FileDialogRequest& request) const {
    const auto found = last_.find(request.filter);
    if (found == last_.end()) return;
    request.directory = found->second.directory;
    request.filterIndex = found->second.filterIndex;
}

void FileDialogMemory::remember(const FileDialogRequest& request, const FileDialogResult& result) {
    if (result.fileName.isEmpty()) return;
    last_[request.filter] = {QFileInfo(result.fileName).absolutePath(), result.filterIndex};
}

FileDialogResult askOpenFile(FileDialogRequest request, FileDialogMemory& memory) {
    memory.prepare(request);
    const FileDialogResult result = dialogs().openFile(request);
    memory.remember(request, result);
    return result;
}

QString FileErrorText(const QString& fileName, const QString& reason, bool writing, bool polish) {
    const QString text = writing ? (polish ? QString::fromUtf8("Nie można zapisać pliku %1:\n%2")
                                           : QString("Cannot write the file %1:\n%2"))
                                 : (polish ? QString::fromUtf8("Nie można odczytać pliku %1:\n%2")
                                           : QString("Cannot read the file %1:\n%2"));
    return text.arg(fileName, reason);
}

void showFileError(const QString& fileName, const QString& reason, bool writing, bool polish) {
    dialogs().showMessage(QString(), FileErrorText(fileName, reason, writing, polish), MsgIcon::Error);
}

bool WriteFileOrReport(const QString& fileName, const QByteArray& bytes, bool polish) {
    QString reason;
    if (WriteFileAtomically(fileName, bytes, &reason)) return true;
    showFileError(fileName, reason, true, polish);
    return false;
}

int filterForTypedName(const QString& fileName, const QString& barFilter, int filterIndex) {
    const auto endsInOneOf = [&](const QStringList& extensions) {
        for (const QString& ext : extensions)
            if (fileName.endsWith("." + ext, Qt::CaseInsensitive)) return true;
        return false;
    };
    if (endsInOneOf(filterExtensions(barFilter, filterIndex))) return filterIndex;
    const int choices = int((barFilter.split('|').size() + 1) / 2);
    for (int i = 1; i <= choices; ++i)
        if (i != filterIndex && endsInOneOf(filterExtensions(barFilter, i))) return i;
    return filterIndex;
}

FileDialogResult askSaveFile(FileDialogRequest request, FileDialogMemory& memory, bool polish) {
    memory.prepare(request);
    for (;;) {
        FileDialogResult result = dialogs().saveFile(request);
        if (result.fileName.isEmpty()) return result;
        // "flight.kml" typed under the text type means a KML file, not "flight.kml.txt".
        result.filterIndex = filterForTypedName(result.fileName, request.filter, result.filterIndex);
        result.fileName = withFilterExtension(result.fileName, request.filter, result.filterIndex);
        if (!request.promptOverwrite || !QFileInfo::exists(result.fileName)) return result;
        const QString name = QDir::toNativeSeparators(result.fileName);
        const QString question = polish ? QString::fromUtf8("Plik %1 już istnieje.\nCzy zastąpić go?").arg(name)
                                        : QString("%1 already exists.\nDo you want to replace it?").arg(name);
        if (dialogs().askYesNo(QString(), question, MsgIcon::Warning, MsgAnswer::No) == MsgAnswer::Yes) return result;
        // Asked again from where the user was, with the choice the user made.
        request.directory = QFileInfo(result.fileName).absolutePath();
        request.filterIndex = result.filterIndex;
    }
}

void QtDialogs::showMessage(const QString& title, const QString& text, MsgIcon icon) {
    TraceShown("message:", text);
    ExecBox(NewBox(toQtIcon(icon), applicationTitle(title), text, QMessageBox::Ok));
}

MsgAnswer QtDialogs::askYesNo(const QString& title, const QString& text, MsgIcon icon, MsgAnswer defaultAnswer) {
    TraceShown("question:", text);
    QMessageBox* box = NewBox(toQtIcon(icon), applicationTitle(title), text, QMessageBox::Yes | QMessageBox::No);
    box->setDefaultButton(defaultAnswer == MsgAnswer::Yes ? QMessageBox::Yes : QMessageBox::No);
    const bool yes = ExecBox(box) == QMessageBox::Yes;
    TraceShown("answer:", yes ? "Yes" : "No");
    return yes ? MsgAnswer::Yes : MsgAnswer::No;
}

void QtDialogs::askYesNoLater(const QString& title, const QString& text, MsgIcon icon, MsgAnswer defaultAnswer,
                              std::function<void(MsgAnswer)> answered) {
    TraceShown("question:", text);
    QMessageBox* box = NewBox(toQtIcon(icon), applicationTitle(title), text, QMessageBox::Yes | QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->setDefaultButton(defaultAnswer == MsgAnswer::Yes ? QMessageBox::Yes : QMessageBox::No);
    QObject::connect(box, &QMessageBox::finished, box, [box, answered = std::move(answered)](int) {
        const bool yes = box->clickedButton() == box->button(QMessageBox::Yes);
        TraceShown("answer:", yes ? "Yes" : "No");
        answered(yes ? MsgAnswer::Yes : MsgAnswer::No);
    });
    box->show();
    RaiseWhenShown(box);
}

void QtDialogs::showMessageLater(const QString& title, const QString& text, MsgIcon icon) {
    TraceShown("message:", text);
    QMessageBox* box = NewBox(toQtIcon(icon), applicationTitle(title), text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    RaiseWhenShown(box);
}

MsgAnswer QtDialogs::askRetryCancel(const QString& title, const QString& text, MsgIcon icon) {
    TraceShown("question:", text);
    QMessageBox* box = NewBox(toQtIcon(icon), applicationTitle(title), text, QMessageBox::Retry | QMessageBox::Cancel);
    box->setDefaultButton(QMessageBox::Retry);
    return ExecBox(box) == QMessageBox::Retry ? MsgAnswer::Retry : MsgAnswer::Cancel;
}

FileDialogResult QtDialogs::openFile(const FileDialogRequest& request) {
    const QStringList filters = qtFilterList(request.filter);
    QFileDialog dlg(QApplication::activeWindow());
    UseDialogThatReadsNoFile(dlg);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFile);
    if (!request.directory.isEmpty()) dlg.setDirectory(request.directory);
    dlg.setNameFilters(filters);
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
        dlg.selectNameFilter(filters[request.filterIndex - 1]);
    FileDialogResult result;
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return result;
    result.fileName = dlg.selectedFiles().first();
    result.filterIndex = filters.indexOf(dlg.selectedNameFilter()) + 1;
    return result;
}

FileDialogResult QtDialogs::saveFile(const FileDialogRequest& request) {
    const QStringList filters = qtFilterList(request.filter);
    QFileDialog dlg(QApplication::activeWindow());
    UseDialogThatReadsNoFile(dlg);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    if (!request.directory.isEmpty()) dlg.setDirectory(request.directory);
    dlg.setNameFilters(filters);
    // The question before replacing a file comes from askSaveFile, which knows the
    // name that is really written.
    dlg.setOption(QFileDialog::DontConfirmOverwrite);
    // A name typed without extension gets the one of the type chosen at that moment.
    const auto followFilter = [&](const QString& chosen) {
        const QStringList ext = filterExtensions(request.filter, int(filters.indexOf(chosen)) + 1);
        dlg.setDefaultSuffix(ext.isEmpty() ? request.defaultExtension : ext.first());
    };
    QObject::connect(&dlg, &QFileDialog::filterSelected, &dlg, followFilter);
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
        dlg.selectNameFilter(filters[request.filterIndex - 1]);
    followFilter(dlg.selectedNameFilter());
    FileDialogResult result;
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return result;
    result.fileName = dlg.selectedFiles().first();
    result.filterIndex = std::max(1, int(filters.indexOf(dlg.selectedNameFilter())) + 1);
    return result;
}

void ScriptedDialogs::showMessage(const QString& title, const QString& text, MsgIcon icon) {
    shown.push_back({"message", title, text, icon, MsgAnswer::Ok, {}});
    if (onMessage) onMessage(text);
}

MsgAnswer ScriptedDialogs::askYesNo(const QString& title, const QString& text, MsgIcon icon, MsgAnswer defaultAnswer) {
    shown.push_back({"yesno", title, text, icon, defaultAnswer, {}});
    if (answers.empty()) return MsgAnswer::No;
    MsgAnswer a = answers.front();
    answers.pop_front();
    return a;
}

MsgAnswer ScriptedDialogs::askRetryCancel(const QString& title, const QString& text, MsgIcon icon) {
    shown.push_back({"retrycancel", title, text, icon, MsgAnswer::Retry, {}});
    if (answers.empty()) return MsgAnswer::Cancel;
    MsgAnswer a = answers.front();
    answers.pop_front();
    return a;
}

FileDialogResult ScriptedDialogs::openFile(const FileDialogRequest& request) {
    shown.push_back({"open", {}, {}, MsgIcon::None, MsgAnswer::Ok, request});
    if (fileAnswers.empty()) return {};
    FileDialogResult r = fileAnswers.front();
    fileAnswers.pop_front();
    return r;
}

FileDialogResult ScriptedDialogs::saveFile(const FileDialogRequest& request) {
    shown.push_back({"save", {}, {}, MsgIcon::None, MsgAnswer::Ok, request});
    if (fileAnswers.empty()) return {};
    FileDialogResult r = fileAnswers.front();
    fileAnswers.pop_front();
    return r;
}

QStringList ScriptedDialogs::messages() const {
    QStringList texts;
    for (const Shown& s : shown)
        if (s.kind == "message") texts << s.text;
    return texts;
}

}  // namespace vorkal
