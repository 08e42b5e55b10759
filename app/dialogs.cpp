#include "dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

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

QString applicationTitle(const QString& title) {
    return title.isEmpty() ? QApplication::applicationDisplayName() : title;
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

void QtDialogs::showMessage(const QString& title, const QString& text, MsgIcon icon) {
    QMessageBox box(toQtIcon(icon), applicationTitle(title), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

MsgAnswer QtDialogs::askYesNo(const QString& title, const QString& text, MsgIcon icon,
                              MsgAnswer defaultAnswer) {
    QMessageBox box(toQtIcon(icon), applicationTitle(title), text,
                    QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
    box.setDefaultButton(defaultAnswer == MsgAnswer::Yes ? QMessageBox::Yes : QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
}

MsgAnswer QtDialogs::askRetryCancel(const QString& title, const QString& text, MsgIcon icon) {
    QMessageBox box(toQtIcon(icon), applicationTitle(title), text,
                    QMessageBox::Retry | QMessageBox::Cancel, QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::Retry);
    return box.exec() == QMessageBox::Retry ? MsgAnswer::Retry : MsgAnswer::Cancel;
}

FileDialogResult QtDialogs::openFile(const FileDialogRequest& request) {
    const QStringList filters = qtFilterList(request.filter);
    QFileDialog dlg(QApplication::activeWindow());
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFile);
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
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setNameFilters(filters);
    dlg.setDefaultSuffix(request.defaultExtension);
    if (!request.promptOverwrite) dlg.setOption(QFileDialog::DontConfirmOverwrite);
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
        dlg.selectNameFilter(filters[request.filterIndex - 1]);
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

MsgAnswer ScriptedDialogs::askYesNo(const QString& title, const QString& text, MsgIcon icon,
                                    MsgAnswer defaultAnswer) {
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
