#include "edited_configuration.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "layout_editor.h"

namespace vorkal {

EditedConfiguration::EditedConfiguration(QObject* parent) : QObject(parent) {}

void EditedConfiguration::openStep(bool record) {
    if (depth_++ > 0) return;
    // Before a configuration is shown there is nothing an undo could go back to; once
    // one was put away, every change is recorded so that undo can reach it again.
    recordStep_ = record && (image_.configurationLoaded || history_.canUndo());
    if (recordStep_) stepBefore_ = image_;
}

void EditedConfiguration::closeStep() {
    if (--depth_ > 0) return;
    if (recordStep_) history_.record(stepBefore_, image_);
    if (std::exchange(saveWhenStepCloses_, false)) markSaved();
    emit stateChanged();
}

void EditedConfiguration::beginDrag(int grabX, int grabY) {
    endDrag();
    openStep(true);
    dragOpen_ = true;
    grabX_ = grabX;
    grabY_ = grabY;
}

void EditedConfiguration::dragTo(int i, int column, int row) {
    if (dragOpen_) moveElement(i, column - grabX_, row - grabY_);
}

void EditedConfiguration::endDrag() {
    if (std::exchange(dragOpen_, false)) closeStep();
}

bool EditedConfiguration::stepThrough(bool forward) {
    endDrag();
    if (depth_ > 0) return false;
    const DisplayVariant variantBefore = image_.variant();
    bool logChanged = false;
    if (!(forward ? history_.redo(image_, &logChanged) : history_.undo(image_, &logChanged))) return false;
    emit restored(variantBefore, logChanged);
    emit stateChanged();
    return true;
}

void EditedConfiguration::markSaved() {
    if (depth_ > 0) {
        saveWhenStepCloses_ = true;
        return;
    }
    saved_ = image_;
    savedKnown_ = true;
    savedStateId_ = history_.stateId();
    emit stateChanged();
}

bool EditedConfiguration::sameContent(const ConfigImage& a, const ConfigImage& b) {
    return a.variant() == b.variant() && a.separateLog == b.separateLog && a.image == b.image &&
           a.logImage == b.logImage;
}

bool EditedConfiguration::hasUnsavedChanges() const {
    return (image_.configurationLoaded || putAwayUnsaved_) && history_.stateId() != savedStateId_ &&
           !(savedKnown_ && sameContent(image_, saved_));
}

bool EditedConfiguration::followVariant(DisplayVariant v) {
    if (image_.variant() == v) return false;
    const bool shown = image_.configurationLoaded;
    // Inside a step (a Receive that has just begun) the step records this together with
    // its own change.
    std::optional<Step> step;
    if (shown && !stepOpen()) step.emplace(*this);
    const bool unsaved = hasUnsavedChanges();
    const DisplayVariant from = image_.variant();
    image_.setVariant(v);
    if (v == DisplayVariant::D128x64) image_.separateLog = true;
    image_.logLoaded = false;
    if (shown) {
        image_.configurationLoaded = false;
        putAwayVariant_ = from;
        putAwayUnsaved_ = unsaved;
    }
    return shown;
}

int EditedConfiguration::maxX(int i) const {
    return image_.width() - (EntryKindOf(image_, i) == EntryKind::Line ? 1 : 2);
}

int EditedConfiguration::maxY(int i) const {
    return image_.height() - (EntryKindOf(image_, i) == EntryKind::Line ? 1 : 2);
}

void EditedConfiguration::moveElement(int i, int x, int y) {
    const Step step(*this);
    x = std::clamp(x, 0, maxX(i));
    y = std::clamp(y, 0, maxY(i));
    StoreX(image_, i, x);
    StoreY(image_, i, y);
    emit elementChanged(i, x, y);
}

bool EditedConfiguration::nudgeElement(int i, int dx, int dy) {
    if (EntryKindOf(image_, i) == EntryKind::None) return false;
    const ElementValues v = DecodeElement(image_, i);
    if (!v.visible) return false;  // as the X control: a hidden element keeps its place
    if (StoresEvenX(image_, i) && (dx == 1 || dx == -1)) dx *= 2;
    moveElement(i, v.x + dx, v.y + dy);
    return true;
}

bool EditedConfiguration::centreElementHorizontally(int i) {
    if (EntryKindOf(image_, i) == EntryKind::None || !DecodeElement(image_, i).visible) return false;
    moveElement(i, CentredX(image_, i, maxX(i)), DecodeElement(image_, i).y);
    return true;
}

bool EditedConfiguration::copyLayoutTo(int target) {
    if (!image_.configurationLoaded || target < 0 || target >= image_.layoutCount() || target == image_.selectedLayout)
        return false;
    const Step step(*this);
    CopyLayoutElements(image_, image_.selectedLayout, target);
    emit layoutChanged();
    return true;
}

}  // namespace vorkal
