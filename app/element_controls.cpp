#include "element_controls.h"

#include <climits>
#include <initializer_list>

#include "layout_editor.h"
#include "texts.h"

namespace vorkal {

int TypedValue(const QString& text, int fallback) {
    if (text.isEmpty()) return fallback;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return fallback;
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? value : fallback;
}

void ElementControls::load(const ConfigImage& config, int i, bool polish) {
    loading_ = true;
    const ElementValues v = DecodeElement(config, i);
    const EntryKind kind = EntryKindOf(config, i);
    const bool bar = kind == EntryKind::Bar, text = kind == EntryKind::Text, line = kind == EntryKind::Line;

    w.x->setMax(config.width() - (line ? 1 : 2));
    w.y->setMax(config.height() - (line ? 1 : 2));
    if (!text) {
        w.lengthLabel->setText(Tr(polish, "Length", "Długość"));
        w.sizeLabel->setText(line ? Tr(polish, "Width", "Grubość") : Tr(polish, "Size", "Rozmiar"));
        w.size->setRange(line ? 1 : 3, line ? 4 : 31);
    }
    if (line) w.flag->setText(Tr(polish, "Vertical", "Pionowa"));
    if (text) w.flag->setText(Tr(polish, "Negative", "Negatyw"));
    w.flag->setVisible(!bar);
    w.font->setVisible(text);
    w.alignment->setVisible(text);
    for (QWidget* c :
         std::initializer_list<QWidget*>{w.lengthLabel, w.lengthEdit, w.length, w.sizeLabel, w.sizeEdit, w.size})
        c->setVisible(!text);

    w.x->setPosition(v.x);
    w.y->setPosition(v.y);
    w.visible->setChecked(v.visible);
    if (!text) {
        w.length->setPosition(v.length);
        w.size->setPosition(v.size);
    }
    if (!bar) w.flag->setChecked(v.flag);
    // Setting a radio group runs its handler, which writes back the same bits.
    if (text) {
        if (v.font >= 0) w.font->setItemIndex(v.font);
        w.alignment->setItemIndex(v.alignment);
    }
    loading_ = false;
}

void ElementControls::fitVariant(const VariantInfo& info, const QStringList& fonts) {
    w.x->setMax(info.width - 2);
    w.y->setMax(info.height - 2);
    w.length->setMax(info.width - 1);
    w.font->setGeometry(w.font->x(), info.fontGroupTop, w.font->width(), info.fontGroupHeight);
    w.font->setItems(fonts);
}

int ElementControls::firstEntryFor(ElementField field) {
    return field == ElementField::Flag || field == ElementField::Font || field == ElementField::Alignment ? 1 : 0;
}

void ElementControls::store(ConfigImage& config, int i, ElementField field, int position) const {
    switch (field) {
    case ElementField::Visible:
        return StoreVisible(config, i, w.visible->isChecked(), w.font->itemIndex(), w.x->position());
    case ElementField::Flag: return StoreFlag(config, i, w.flag->isChecked());
    case ElementField::Font: return StoreFont(config, i, w.font->itemIndex());
    case ElementField::Alignment: return StoreAlignment(config, i, w.alignment->itemIndex());
    case ElementField::X:
        if (w.visible->isChecked()) StoreX(config, i, position);
        return;
    case ElementField::Y: return StoreY(config, i, position);
    case ElementField::Length: return StoreLength(config, i, position);
    case ElementField::Size: return StoreSize(config, i, position);
    }
}

bool ElementControls::storeTyped(ConfigImage& config, int i, ElementField field) const {
    struct Typed {
        QLineEdit* edit;
        TUpDown* upDown;
        int (*fallback)(const ConfigImage&, int);
        int max;
        bool texts;  // applies to texts too
    };
    Typed t{w.xEdit, w.x, FallbackX, config.width() - 2, true};
    if (field == ElementField::Y) t = {w.yEdit, w.y, FallbackY, config.height() - 1, true};
    else if (field == ElementField::Length) t = {w.lengthEdit, w.length, FallbackLength, INT_MAX, false};
    else if (field == ElementField::Size) t = {w.sizeEdit, w.size, FallbackSize, INT_MAX, false};
    if (!t.texts && EntryKindOf(config, i) == EntryKind::Text) return false;
    const int value = std::min(TypedValue(t.edit->text(), t.fallback(config, i)), t.max);
    store(config, i, field, value);
    t.upDown->setPosition(value);
    t.edit->setText(QString::number(value));
    return true;
}

}  // namespace vorkal
