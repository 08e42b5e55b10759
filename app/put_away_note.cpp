#include "put_away_note.h"

namespace vorkal {

namespace {

QString VariantName(DisplayVariant v) { return v == DisplayVariant::D128x64 ? "128 x 64" : "84 x 48"; }

}  // namespace

PutAwayNoteLabel::PutAwayNoteLabel(QWidget* parent) : QLabel(parent) {
    setObjectName("PutAwayNote");
    setWordWrap(true);
    setAlignment(Qt::AlignCenter);
    setFrameShape(QFrame::Box);
    setMargin(6);
    setAutoFillBackground(true);
    hide();
}

QString PutAwayNoteLabel::noteFor(bool polish, DisplayVariant now, DisplayVariant putAway) {
    const QString note =
        polish ? QString::fromUtf8(
                     "Ten wyświetlacz ma %1; pokazana konfiguracja była dla %2 i została odłożona.\n"
                     "Pobierz odczyta konfigurację tego wyświetlacza. Po zamknięciu portu Ctrl+Z "
                     "przywróci poprzednią.")
               : QString(
                     "This display is a %1 one; the configuration shown was for %2 and has been put away.\n"
                     "Receive reads this display's configuration. With the port closed, Ctrl+Z brings "
                     "the other one back.");
    return note.arg(VariantName(now), VariantName(putAway));
}

void PutAwayNoteLabel::showOver(const QRect& grid, const QString& text) {
    setText(text);
    setGeometry(grid.left() + 16, grid.top() + grid.height() / 3, grid.width() - 32,
                heightForWidth(grid.width() - 32) + 4);
    show();
    raise();
}

}  // namespace vorkal
