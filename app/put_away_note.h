#pragma once
// The note over the blank preview while a configuration is put away because the display
// turned out to be of the other variant: what happened and how to get it back.

#include <QLabel>

#include "config_image.h"
#include "edited_configuration.h"

namespace vorkal {

class PutAwayNoteLabel : public QLabel {
    Q_OBJECT
public:
    explicit PutAwayNoteLabel(QWidget* parent);
    // The note for a display of variant `now` while a configuration of `putAway` is put away.
    static QString noteFor(bool polish, DisplayVariant now, DisplayVariant putAway);
    static QString noteFor(bool polish, const EditedConfiguration& edits) {
        return noteFor(polish, edits.image().variant(), edits.putAwayVariant());
    }
    // Shows `text` over the preview at `grid` (in the parent's coordinates), on top.
    void showOver(const QRect& grid, const QString& text);
};

}  // namespace vorkal
