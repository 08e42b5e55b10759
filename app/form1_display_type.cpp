// Following the display's type: a display that answers as the other variant (another
// display on the same port, or one restarted with other firmware) takes the editor, the
// element list and the preview with it. A configuration shown then belongs to the other
// variant: read with this one's stride and encodings it would be garbage, and sent it
// would garble the display. It is put away instead, unchanged and one undo step back.

#include "element_catalogue.h"
#include "form1.h"
#include "preview_grid.h"

using namespace vorkal;

namespace {

QString VariantName(DisplayVariant v) { return v == DisplayVariant::D128x64 ? "128 x 64" : "84 x 48"; }

}  // namespace

void TForm1::attachPutAwayNote() {
    PutAwayNote = new QLabel(this);
    PutAwayNote->setObjectName("PutAwayNote");
    PutAwayNote->setWordWrap(true);
    PutAwayNote->setAlignment(Qt::AlignCenter);
    PutAwayNote->setFrameShape(QFrame::Box);
    PutAwayNote->setMargin(6);
    PutAwayNote->setAutoFillBackground(true);
    PutAwayNote->hide();
}

QString TForm1::putAwayNoteText() const {
    return tr2(QString("This display is a %1 one; the configuration shown was for %2 and has been put away.\n"
                       "Receive reads this display's configuration. With the port closed, Ctrl+Z brings "
                       "the other one back."),
               QString::fromUtf8("Ten wyświetlacz ma %1; pokazana konfiguracja była dla %2 i została odłożona.\n"
                                 "Pobierz odczyta konfigurację tego wyświetlacza. Po zamknięciu portu Ctrl+Z "
                                 "przywróci poprzednią."))
        .arg(VariantName(config.variant()), VariantName(edits.putAwayVariant()));
}

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
        else if (PutAwayNote->isVisible()) PutAwayNote->setText(putAwayNoteText());
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
    PutAwayNote->setText(putAwayNoteText());
    const QRect grid = StringGrid1->geometry();
    PutAwayNote->setGeometry(grid.left() + 16, grid.top() + grid.height() / 3, grid.width() - 32,
                             PutAwayNote->heightForWidth(grid.width() - 32) + 4);
    PutAwayNote->show();
    PutAwayNote->raise();
}

void TForm1::showConfigurationControls() {
    PutAwayNote->hide();
    if (view() == View::Start) setView(View::Screen);
    Button2->setEnabled(true);
    Button4->setEnabled(shownConnected_);
}
