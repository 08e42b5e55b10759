// The window's side of the edited configuration: undo and redo actions, the unsaved
// mark and its question, the arrow keys and Tab, and the preview's context menu. The
// rules live in config/edited_configuration.h.

#include <QAction>
#include <QMenu>

#include "dialogs.h"
#include "display_session.h"
#include "edited_configuration.h"
#include "element_catalogue.h"
#include "form1.h"
#include "window_texts.h"
#include "layout_editor.h"
#include "preview_grid.h"

using namespace vorkal;

void TForm1::connectModels() {
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
    connect(&edits, &EditedConfiguration::stateChanged, this, &TForm1::updateCaption);
    connect(&edits, &EditedConfiguration::restored, this, &TForm1::showRestoredImage);
    connect(&edits, &EditedConfiguration::layoutChanged, this, &TForm1::UpdateGrid);
    connect(&edits, &EditedConfiguration::elementChanged, this, [this](int i, int x, int y) {
        if (i == selectedEntry()) {
            UpDown1->setPosition(x);
            UpDown2->setPosition(y);
        }
        UpdateGrid();
    });
    updateCaption();
}

void TForm1::updateCaption() {
    const QString caption = QString::fromLatin1(kWindowCaption) + (edits.hasUnsavedChanges() ? " *" : "");
    if (windowTitle() != caption) setWindowTitle(caption);
    undoAction->setEnabled(edits.history().canUndo());
    redoAction->setEnabled(edits.history().canRedo());
}

bool TForm1::mayDropUnsavedChanges() {
    if (!edits.hasUnsavedChanges()) return true;
    const QString title = tr2("Confirm...", QString::fromUtf8("Potwierdź..."));
    const QString text =
        tr2("The configuration holds changes that were neither sent to the display nor exported.\r\n\r\n"
            "Drop these changes?",
            QString::fromUtf8("Konfiguracja zawiera zmiany, które nie zostały wysłane do wyświetlacza "
                              "ani wyeksportowane.\r\n\r\nPorzucić te zmiany?"));
    return dialogs().askYesNo(title, text, MsgIcon::Warning, MsgAnswer::No) == MsgAnswer::Yes;
}

// A transfer reads or fills the image: undo and redo wait until it is over.
void TForm1::UndoEdit() {
    edits.endDrag();
    if (!session_->waiting() && !session_->transferRunning()) edits.undo();
}

void TForm1::RedoEdit() {
    edits.endDrag();
    if (!session_->waiting() && !session_->transferRunning()) edits.redo();
}

void TForm1::showRestoredImage(DisplayVariant variantBefore, bool logChanged) {
    // The radio groups set below write back the bits they show: no step of their own.
    const EditedConfiguration::Step quiet(edits, false);
    if (config.variant() != variantBefore) applyVariant(config.variant());
    syncElementList();
    if (!config.configurationLoaded) return showNoConfiguration();
    showConfigurationControls();
    if (layoutSelector_.followCount(config.layoutCount())) config.selectedLayout = RadioGroup3->itemIndex();
    const int speed = config.image[kSpeedByte] >> 4;
    if (speed < ComboBox3->count()) ComboBox3->setCurrentIndex(speed);
    LoadElementControls();
    UpdateGrid();
    if (logChanged) LogsView();
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
    const int step = (modifiers & Qt::ShiftModifier) ? EditedConfiguration::kBigNudge : 1;
    switch (key) {
    case Qt::Key_Left: edits.nudgeElement(selectedEntry(), -step, 0); return true;
    case Qt::Key_Right: edits.nudgeElement(selectedEntry(), step, 0); return true;
    case Qt::Key_Up: edits.nudgeElement(selectedEntry(), 0, -step); return true;
    case Qt::Key_Down: edits.nudgeElement(selectedEntry(), 0, step); return true;
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
        connect(to, &QAction::triggered, this, [this, layout] { edits.copyLayoutTo(layout); });
    }
    copy->setEnabled(!copy->isEmpty());
    const int i = selectedEntry();
    QAction* centre = menu.addAction(tr2("Centre horizontally", QString::fromUtf8("Wyśrodkuj w poziomie")));
    centre->setEnabled(i >= 0 && DecodeElement(config, i).visible);
    connect(centre, &QAction::triggered, this, [this, i] { edits.centreElementHorizontally(i); });
    menu.exec(globalPos);
}
