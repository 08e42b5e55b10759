#pragma once
// The property controls of one element entry (position, length, size, visibility, the
// negative/vertical flag, font and alignment): showing an entry of the image in them and
// writing what the user changed back into the image. The window owns the widgets and the
// undo steps; this only moves values between the two.

#include <QCheckBox>
#include <QLineEdit>

#include "config_image.h"
#include "widgets.h"

namespace vorkal {

// The property a changed control stands for.
enum class ElementField { Visible, Flag, Font, Alignment, X, Y, Length, Size };

// A typed value: decimal digits only; anything else (empty, pasted signs or spaces, too
// many digits for an int) is not a number and gives `fallback`.
int TypedValue(const QString& text, int fallback);

// The window's widgets, in this order.
struct ElementWidgets {
    TUpDown *x, *y, *length, *size;
    QLineEdit *xEdit, *yEdit, *lengthEdit, *sizeEdit;
    QCheckBox *visible, *flag;  // flag: negative text or vertical line
    TRadioGroup *font, *alignment;
    TStaticText *lengthLabel, *sizeLabel;
};

class ElementControls {
public:
    ElementWidgets w{};  // set once the window has built its controls

    // Ranges, captions, which controls apply to the entry's kind, and its values.
    void load(const ConfigImage& config, int entry, bool polish);
    // The ranges and the font group of the display variant; `fonts` are its font entries.
    void fitVariant(const VariantInfo& info, const QStringList& fonts);
    // True while load() sets the controls: their handlers must not write back.
    bool loading() const { return loading_; }

    // The lowest entry `field` applies to: the frame (entry 0) has no flag, font or alignment.
    static int firstEntryFor(ElementField field);
    // Writes the changed control of `field` into the entry; `position` is an up-down's
    // new position. X is written only while the element is visible.
    void store(ConfigImage& config, int entry, ElementField field, int position) const;
    // Leaving an edit (or Enter in it) stores the typed value, at most the field's limit,
    // and shows it in the edit and its up-down at once. False, with nothing changed, when
    // the field does not apply to the entry (length and size of a text).
    bool storeTyped(ConfigImage& config, int entry, ElementField field) const;

private:
    bool loading_ = false;
};

}  // namespace vorkal
