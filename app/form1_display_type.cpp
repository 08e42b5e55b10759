// Following the display's type: a display that answers as the other variant (another
// display on the same port, or one restarted with other firmware) takes the editor, the
// element list and the preview with it. A configuration shown then belongs to the other
// variant: read with this one's stride and encodings it would be garbage, and sent it
// would garble the display. It is put away instead, unchanged and one undo step back.

#include "element_catalogue.h"
#include "form1.h"
#include "preview_grid.h"
#include "put_away_note.h"

using namespace vorkal;

void TForm1::FollowDisplayVariant(DisplayVariant v) {
    if (config.variant() == v) return;
    const bool putAway = edits.followVariant(v);
    applyVariant(v);
    syncElementList();
    if (putAway) {
        showNoConfiguration();
    } else {
        // Back at the variant of the configuration put away: the note no longer fits
        // (undo still brings the configuration back).
        if (PutAwayNote->isVisible() && v == edits.putAwayVariant()) PutAwayNote->hide();
        else if (PutAwayNote->isVisible()) PutAwayNote->setText(PutAwayNoteLabel::noteFor(languagePolish, edits));
        ClearPreview();
    }
    updateCaption();
}

void TForm1::showNoConfiguration() {
    if (view() != View::Start) {
        setView(View::Start);
        Button6->setText(tr2("Logs View", "Rejestracja"));
    }
    ClearPreview();
    Button2->setEnabled(false);
    Button4->setEnabled(false);
    PutAwayNote->showOver(StringGrid1->geometry(), PutAwayNoteLabel::noteFor(languagePolish, edits));
}

void TForm1::showConfigurationControls() {
    PutAwayNote->hide();
    if (view() == View::Start) setView(View::Screen);
    Button2->setEnabled(true);
    Button4->setEnabled(shownConnected_);
}
