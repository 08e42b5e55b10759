#pragma once
// The configuration being edited, without any widget: the image, its undo history in
// steps that nest, what was saved last (sent, exported, received or imported) and the
// editing operations that are more than one byte write. It reports what changed, so a
// view redraws only that.

#include <QObject>

#include "config_image.h"
#include "edit_history.h"

namespace vorkal {

class EditedConfiguration : public QObject {
    Q_OBJECT
public:
    explicit EditedConfiguration(QObject* parent = nullptr);

    ConfigImage& image() { return image_; }
    const ConfigImage& image() const { return image_; }
    const EditHistory& history() const { return history_; }

    // ---- Steps ----------------------------------------------------------------------
    // The changes made while a step is open are one undo step. Steps nest: only the
    // outermost records, so an action that runs others stays one step. `record` false:
    // the changes only show the image as it is (there are none to keep).
    void openStep(bool record = true);
    void closeStep();
    bool stepOpen() const { return depth_ > 0; }
    class Step {
    public:
        explicit Step(EditedConfiguration& model, bool record = true) : model_(model) { model_.openStep(record); }
        ~Step() { model_.closeStep(); }
        Step(const Step&) = delete;
        Step& operator=(const Step&) = delete;

    private:
        EditedConfiguration& model_;
    };
    // A drag is one step from the press to the release; a new press ends the last one.
    // (grabX, grabY): the pressed cell less the element's position, kept while it moves.
    void beginDrag(int grabX = 0, int grabY = 0);
    void endDrag();
    bool dragging() const { return dragOpen_; }
    // During a drag: entry `i` follows the pointer at cell (column, row).
    void dragTo(int i, int column, int row);

    // Undoes or redoes one step, not while a step is open; nothing is sent anywhere.
    // Emits restored() when it stepped.
    bool undo() { return stepThrough(false); }
    bool redo() { return stepThrough(true); }

    // ---- Saved state ------------------------------------------------------------------
    // The image now is what the display or a file holds. Inside a step it counts from
    // the step's end, so the step's own corrections are part of what was saved.
    void markSaved();
    // A configuration is shown, steps were made or undone since it was saved last, and
    // the image differs from the saved one: undoing back to it, or edits that cancel
    // out, clear the mark. Changes the display makes outside any step (a header read
    // by the poll, a variant it announces) are no edits of the user's.
    bool hasUnsavedChanges() const;

    // ---- The display's variant ----------------------------------------------------------
    // The display answered as variant `v`. A log read from the other display is not this
    // one's. A configuration shown then belongs to the other variant: it is put away,
    // one undo step (bytes untouched), keeping the unsaved mark it had, so that undo
    // brings it back. True when a configuration was put away.
    bool followVariant(DisplayVariant v);
    // The variant of the configuration put away last.
    DisplayVariant putAwayVariant() const { return putAwayVariant_; }

    // ---- Operations (each one step) ---------------------------------------------------
    static constexpr int kBigNudge = 8;  // pixels of one nudge with Shift
    // Moves entry `i` to (x, y), kept on the screen; even-X elements round as StoreX does.
    void moveElement(int i, int x, int y);
    // One key press: a one-pixel step of an element that keeps only even X positions is
    // two pixels, or it could never move right. A hidden element keeps its place.
    bool nudgeElement(int i, int dx, int dy);
    bool centreElementHorizontally(int i);
    // Copies the selected layout's elements over layout `target` (0-based).
    bool copyLayoutTo(int target);
    // The largest X and Y position of entry `i` that keeps it on the screen.
    int maxX(int i) const;
    int maxY(int i) const;

signals:
    // One element moved; (x, y) is the position asked for, within the screen (the
    // image may keep X even).
    void elementChanged(int entry, int x, int y);
    void layoutChanged();  // elements of several entries or of another layout
    // An undo or redo put back another image: the variant and the log may differ too.
    void restored(DisplayVariant variantBefore, bool logChanged);
    // The undo/redo availability or the unsaved mark may have changed.
    void stateChanged();

private:
    bool stepThrough(bool forward);
    static bool sameContent(const ConfigImage& a, const ConfigImage& b);

    ConfigImage image_;
    EditHistory history_;
    int depth_ = 0;
    ConfigImage stepBefore_;  // the configuration when the outer step opened
    bool recordStep_ = false;
    bool saveWhenStepCloses_ = false;
    bool dragOpen_ = false;
    int grabX_ = 0, grabY_ = 0;
    uint64_t savedStateId_ = 0;  // the history's state id when it was saved last
    bool savedKnown_ = false;
    bool putAwayUnsaved_ = false;  // the configuration put away held unsaved changes
    DisplayVariant putAwayVariant_ = DisplayVariant::D84x48;
    ConfigImage saved_;  // what was saved last
};

}  // namespace vorkal
