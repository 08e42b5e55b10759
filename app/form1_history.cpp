// Editing that forgives: undo and redo of every change the window makes to the
// configuration, the unsaved-change mark and questions, moving the selection with the
// keyboard, and the preview's context menu (undo, redo, copy a layout, centre).

#include <QAction>
#include <QMenu>
#include <QSignalBlocker>
#include <algorithm>
#include <utility>

#include "dialogs.h"
#include "display_session.h"
#include "element_catalogue.h"
#include "form1.h"
#include "layout_editor.h"
#include "preview_grid.h"

using namespace vorkal;

namespace {

constexpr int kBigNudge = 8;

}  // namespace

void TForm1::createHistoryActions() {
    undoAction = new QAction(this);
    undoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    redoAction = new QAction(this);
    redoAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    for (QAction* a : {undoAction, redoAction}) {
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
    }
    connect(undoAction, &QAction::triggered, this, &TForm1::UndoEdit);
    connect(redoAction, &QAction::triggered, this, &TForm1::RedoEdit);
    StringGrid1->installEventFilter(this);
    updateCaption();
}

void TForm1::openStep(bool record) {
    if (stepDepth_++ > 0) return;
    // Before a configuration is shown there is nothing an undo could go back to; once
    // one was put away, every change is recorded so that undo can reach it again.
    recordStep_ = record && (config.configurationLoaded || editHistory.canUndo());
    if (recordStep_) stepBefore_ = config;
}

void TForm1::closeStep() {
    if (--stepDepth_ > 0) return;
    if (recordStep_) editHistory.record(stepBefore_, config);
    if (std::exchange(savedWhenStepCloses_, false)) savedStateId_ = editHistory.stateId();
    updateCaption();
}

void TForm1::finishDragStep() {
    if (std::exchange(dragStepOpen_, false)) closeStep();
}

bool TForm1::hasUnsavedChanges() const {
    // A configuration put away with unsaved changes keeps the mark: undo brings it back.
    return (config.configurationLoaded || putAwayUnsaved_) && editHistory.stateId() != savedStateId_;
}

void TForm1::markSaved() {
    // Inside a step (Receive, Import, Load Defaults) the step is recorded first.
    if (stepDepth_ > 0) {
        savedWhenStepCloses_ = true;
        return;
    }
    savedStateId_ = editHistory.stateId();
    updateCaption();
}

void TForm1::updateCaption() {
    const QString caption = QString::fromLatin1(kCaption) + (hasUnsavedChanges() ? " *" : "");
    if (windowTitle() != caption) setWindowTitle(caption);
    undoAction->setEnabled(editHistory.canUndo());
    redoAction->setEnabled(editHistory.canRedo());
}

bool TForm1::mayDropUnsavedChanges() {
    if (!hasUnsavedChanges()) return true;
    const QString title = tr2("Confirm...", QString::fromUtf8("Potwierdź..."));
    const QString text =
        tr2("The configuration holds changes that were neither sent to the display nor exported.\r\n\r\n"
            "Drop these changes?",
            QString::fromUtf8("Konfiguracja zawiera zmiany, które nie zostały wysłane do wyświetlacza "
                              "ani wyeksportowane.\r\n\r\nPorzucić te zmiany?"));
    return dialogs().askYesNo(title, text, MsgIcon::Warning, MsgAnswer::No) == MsgAnswer::Yes;
}

// A transfer reads or fills the image: undo and redo wait until it is over.
bool TForm1::deviceBusy() const { return session_->waiting() || session_->transferRunning(); }

void TForm1::UndoEdit() { stepThroughHistory(false); }
void TForm1::RedoEdit() { stepThroughHistory(true); }

void TForm1::stepThroughHistory(bool forward) {
    finishDragStep();
    dragging_ = false;
    // Not while a transfer reads the image or a step is being made.
    if (stepDepth_ > 0 || deviceBusy()) return;
    const DisplayVariant variantBefore = config.variant();
    bool logChanged = false;
    const bool stepped = forward ? editHistory.redo(config, &logChanged) : editHistory.undo(config, &logChanged);
    if (stepped) showRestoredImage(variantBefore, logChanged);
}

void TForm1::showRestoredImage(DisplayVariant variantBefore, bool logChanged) {
    // The radio groups set below write back the bits they show: no step of their own.
    openStep(false);

    if (config.variant() != variantBefore) applyVariant(config.variant());
    syncElementList();
    if (!config.configurationLoaded) {
        showNoConfiguration();
        closeStep();
        return;
    }
    showConfigurationControls();
    // The layout selector follows the layout count without its click handler, which
    // would tell the display to show a layout.
    const int count = config.layoutCount();
    if (count > 0 && count != RadioGroup3->count()) {
        const int keep = RadioGroup3->itemIndex();
        const QSignalBlocker quiet(RadioGroup3);
        QStringList layouts;
        for (int n = 1; n <= count; ++n) layouts << QString::number(n);
        RadioGroup3->setColumns(count < 5 ? 1 : 2);
        RadioGroup3->setItems(layouts);
        RadioGroup3->setItemIndex(std::clamp(keep, 0, count - 1));
        shownLayoutCount_ = count;
        config.selectedLayout = RadioGroup3->itemIndex();
    }
    const int speed = config.image[kSpeedByte] >> 4;
    if (speed < ComboBox3->count()) ComboBox3->setCurrentIndex(speed);

    LoadElementControls();
    UpdateGrid();
    if (logChanged) LogsView();
    closeStep();
}

void TForm1::syncElementList() {
    const QStringList entries = ElementListEntries(config.variant(), languagePolish);
    if (ComboBox1->count() == entries.size()) return;
    const int keep = ComboBox1->currentIndex();
    ComboBox1->clear();
    ComboBox1->addItems(entries);
    ComboBox1->setCurrentIndex(keep >= 0 && keep < entries.size() ? keep : 0);
}

bool TForm1::PreviewKeyPress(int key, Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers other = modifiers & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    if (other != Qt::NoModifier || selectedEntry() < 0) return false;
    const int step = (modifiers & Qt::ShiftModifier) ? kBigNudge : 1;
    switch (key) {
    case Qt::Key_Left: NudgeSelected(-step, 0); return true;
    case Qt::Key_Right: NudgeSelected(step, 0); return true;
    case Qt::Key_Up: NudgeSelected(0, -step); return true;
    case Qt::Key_Down: NudgeSelected(0, step); return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: {
        const int n = ComboBox1->count();
        const int back = key == Qt::Key_Backtab ? -1 : 1;
        ComboBox1->setCurrentIndex((ComboBox1->currentIndex() + back + n) % n);
        ComboBox1Change();
        return true;
    }
    default: return false;
    }
}

// One key press is one step; a one-pixel step of an element that keeps only even X
// positions is two pixels, or it could never move right.
void TForm1::NudgeSelected(int dx, int dy) {
    const int i = selectedEntry();
    if (i < 0) return;
    const ElementValues v = DecodeElement(config, i);
    if (!v.visible) return;  // as the X up-down: a hidden element keeps its place
    if (StoresEvenX(config, i) && (dx == 1 || dx == -1)) dx *= 2;
    const EditStep step(*this);
    moveEntryTo(i, v.x + dx, v.y + dy);
}

void TForm1::CopyLayoutTo(int target) {
    if (!config.configurationLoaded) return;
    const EditStep step(*this);
    CopyLayoutElements(config, config.selectedLayout, target);
    UpdateGrid();
}

void TForm1::CentreSelectedHorizontally() {
    const int i = selectedEntry();
    if (i < 0 || !DecodeElement(config, i).visible) return;
    const EditStep step(*this);
    moveEntryTo(i, CentredX(config, i, UpDown1->max()), DecodeElement(config, i).y);
}

void TForm1::PreviewContextMenu(const QPoint& globalPos) {
    if (!config.configurationLoaded) return;
    undoAction->setText(tr2("Undo", "Cofnij"));
    redoAction->setText(tr2("Redo", QString::fromUtf8("Ponów")));
    QMenu menu(this);
    menu.addAction(undoAction);
    menu.addAction(redoAction);
    menu.addSeparator();
    QMenu* copy = menu.addMenu(tr2("Copy layout to", QString::fromUtf8("Kopiuj układ do")));
    for (int layout = 0; layout < config.layoutCount(); ++layout) {
        if (layout == config.selectedLayout) continue;
        QAction* to = copy->addAction(tr2("Layout %1", QString::fromUtf8("Układ %1")).arg(layout + 1));
        connect(to, &QAction::triggered, this, [this, layout] { CopyLayoutTo(layout); });
    }
    copy->setEnabled(!copy->isEmpty());
    const int i = selectedEntry();
    QAction* centre = menu.addAction(tr2("Centre horizontally", QString::fromUtf8("Wyśrodkuj w poziomie")));
    centre->setEnabled(i >= 0 && DecodeElement(config, i).visible);
    connect(centre, &QAction::triggered, this, &TForm1::CentreSelectedHorizontally);
    menu.exec(globalPos);
}
