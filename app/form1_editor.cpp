// The layout editor and the preview: putting a loaded configuration on screen, element and layout
// selection, property controls, typed values, mouse selection and dragging. The byte
// work lives in config/layout_editor.h; these handlers move values between it and the
// controls.

#include <climits>
#include <functional>

#include "dialogs.h"
#include "element_catalogue.h"
#include "form1.h"
#include "layout_editor.h"
#include "preview_grid.h"
#include "preview_renderer.h"

using namespace vorkal;

namespace {

// A typed value: decimal digits only; anything else (empty, pasted signs or spaces, too
// many digits for an int) is not a number.
int typedValue(const QLineEdit* edit, int fallback) {
    const QString text = edit->text();
    if (text.isEmpty()) return fallback;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return fallback;
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? value : fallback;
}

}  // namespace

int TForm1::selectedEntry() const {
    if (!config.configurationLoaded) return -1;
    const int i = ComboBox1->currentIndex();
    return EntryKindOf(config, i) == EntryKind::None ? -1 : i;
}

void TForm1::ShowLoadedConfiguration() {
    // With no layouts nothing could be edited without writing into the log area.
    if (config.layoutCount() == 0) {
        dialogs().showMessage(
            QString(),
            tr2("The configuration holds no screen layout.", "Konfiguracja nie zawiera żadnego układu ekranu."),
            MsgIcon::Warning);
        return;
    }
    shownLayoutCount_ = 200;
    ComboBox1->clear();
    ComboBox1->addItems(ElementListEntries(config.variant(), languagePolish));
    ComboBox1->setCurrentIndex(-1);  // the layout selection below must load no controls
    ApplyLayoutHeader();
    CorrectTextY(config);
    ComboBox1->setCurrentIndex(0);

    RadioGroup6->hide();
    Button6->show();
    Button2->setEnabled(true);
    if (!StaticText6->isHidden() && !StaticText6->text().isEmpty()) Button4->setEnabled(true);
    setView(view() == View::Log ? View::Log : View::Screen);

    config.configurationLoaded = true;
    PutAwayNote->hide();
    LoadElementControls();
    UpdateGrid();
    LogsView();
}

void TForm1::ShowImageAsItIs() {
    if (!config.configurationLoaded) {
        ClearPreview();
        return;
    }
    if (selectedEntry() < 0 && ComboBox1->count() > 0) ComboBox1->setCurrentIndex(0);
    LoadElementControls();
    UpdateGrid();
}

void TForm1::ApplyLayoutHeader() {
    const uint8_t layoutByte = config.image[kLayoutByte];
    int c = layoutByte >> 4;
    if (c != shownLayoutCount_) {
        if (layoutByte >= 144) c = kMaxLayouts;
        fillLayoutSelector(c);
        RadioGroup3->setItemIndex(std::min(layoutByte & 7, c - 1));  // runs RadioGroup3Click
        ComboBox3->setCurrentIndex(CorrectSpeedByte(config));
    }
    shownLayoutCount_ = c;
}

void TForm1::fillLayoutSelector(int count) {
    QStringList entries;
    for (int n = 1; n <= count; ++n) entries << QString::number(n);
    RadioGroup3->setColumns(count < 5 ? 1 : 2);
    RadioGroup3->setItems(entries);
}

void TForm1::LoadElementControls() {
    const int i = selectedEntry();
    if (i < 0) return;
    loading_ = true;
    selectedOffset = config.ElementOffset(i);
    const ElementValues v = DecodeElement(config, i);
    const EntryKind kind = EntryKindOf(config, i);
    const bool bar = kind == EntryKind::Bar, text = kind == EntryKind::Text, line = kind == EntryKind::Line;

    UpDown1->setMax(config.width() - (line ? 1 : 2));
    UpDown2->setMax(config.height() - (line ? 1 : 2));
    if (!text) {
        StaticText3->setText(tr2("Length", "Długość"));
        StaticText4->setText(line ? tr2("Width", "Grubość") : tr2("Size", "Rozmiar"));
        UpDown4->setRange(line ? 1 : 3, line ? 4 : 31);
    }
    if (line) CheckBox2->setText(tr2("Vertical", "Pionowa"));
    if (text) CheckBox2->setText(tr2("Negative", "Negatyw"));
    CheckBox2->setVisible(!bar);
    RadioGroup1->setVisible(text);
    RadioGroup2->setVisible(text);
    for (QWidget* w : std::initializer_list<QWidget*>{StaticText3, Edit3, UpDown3, StaticText4, Edit4, UpDown4})
        w->setVisible(!text);

    UpDown1->setPosition(v.x);
    UpDown2->setPosition(v.y);
    CheckBox1->setChecked(v.visible);
    if (!text) {
        UpDown3->setPosition(v.length);
        UpDown4->setPosition(v.size);
    }
    if (!bar) CheckBox2->setChecked(v.flag);
    // Setting a radio group runs its handler, which writes back the same bits.
    if (text) {
        if (v.font >= 0) RadioGroup1->setItemIndex(v.font);
        RadioGroup2->setItemIndex(v.alignment);
    }
    loading_ = false;
}

void TForm1::ComboBox1Change() {
    LoadElementControls();
    UpdateGrid();
}

void TForm1::RadioGroup3Click() {
    config.selectedLayout = RadioGroup3->itemIndex();
    ShowLayoutOnDisplay();
    if (ComboBox1->currentIndex() >= 0) LoadElementControls();
    UpdateGrid();
}

// One change of the selected entry (`first` 1: not the frame) as one undo step.
void TForm1::editSelected(int first, const std::function<void(int)>& store) {
    const EditStep step(edits);
    const int i = selectedEntry();
    if (i < first) return;
    store(i);
    UpdateGrid();
}

void TForm1::CheckBox1Click() {
    if (loading_) return;
    editSelected(0, [&](int i) {
        StoreVisible(config, i, CheckBox1->isChecked(), RadioGroup1->itemIndex(), UpDown1->position());
    });
}

void TForm1::CheckBox2Click() {
    if (!loading_) editSelected(1, [&](int i) { StoreFlag(config, i, CheckBox2->isChecked()); });
}

void TForm1::RadioGroup1Click() {
    if (RadioGroup1->itemIndex() >= 0) editSelected(1, [&](int i) { StoreFont(config, i, RadioGroup1->itemIndex()); });
}

void TForm1::RadioGroup2Click() {
    if (RadioGroup2->itemIndex() >= 0)
        editSelected(1, [&](int i) { StoreAlignment(config, i, RadioGroup2->itemIndex()); });
}

void TForm1::UpDown1Click(int position) {
    editSelected(0, [&](int i) {
        if (CheckBox1->isChecked()) StoreX(config, i, position);
    });
}

void TForm1::UpDown2Click(int position) {
    editSelected(0, [&](int i) { StoreY(config, i, position); });
}
void TForm1::UpDown3Click(int position) {
    editSelected(0, [&](int i) { StoreLength(config, i, position); });
}
void TForm1::UpDown4Click(int position) {
    editSelected(0, [&](int i) { StoreSize(config, i, position); });
}

// Digits and backspace only. Tab and Delete are let through as the navigation and
// editing keys they are; they never reach a character filter on the original platform.
bool TForm1::Edit1KeyPress(QLineEdit*, QChar key) {
    const char16_t c = key.unicode();
    return (c >= u'0' && c <= u'9') || c == 8 || c == u'\t' || c == 0x7F;
}

// Leaving an edit (or Enter in it) stores the typed value, at most `max`, and shows it
// at once; the length and size edits do not apply to texts.
void TForm1::storeTyped(QLineEdit* edit, TUpDown* upDown, int (*fallback)(const ConfigImage&, int), int max, bool texts,
                        const std::function<void(int, int)>& store) {
    const EditStep step(edits);
    const int i = selectedEntry();
    if (i < 0 || (!texts && EntryKindOf(config, i) == EntryKind::Text)) return;
    const int value = std::min(typedValue(edit, fallback(config, i)), max);
    store(i, value);
    upDown->setPosition(value);
    edit->setText(QString::number(value));
    UpdateGrid();
}

void TForm1::Edit1Exit() {
    storeTyped(Edit1, UpDown1, FallbackX, config.width() - 2, true, [&](int i, int v) {
        if (CheckBox1->isChecked()) StoreX(config, i, v);
    });
}

void TForm1::Edit2Exit() {
    storeTyped(Edit2, UpDown2, FallbackY, config.height() - 1, true, [&](int i, int v) { StoreY(config, i, v); });
}

void TForm1::Edit3Exit() {
    storeTyped(Edit3, UpDown3, FallbackLength, INT_MAX, false, [&](int i, int v) { StoreLength(config, i, v); });
}

void TForm1::Edit4Exit() {
    storeTyped(Edit4, UpDown4, FallbackSize, INT_MAX, false, [&](int i, int v) { StoreSize(config, i, v); });
}

void TForm1::StringGrid1MouseDown(Qt::MouseButton button, int x, int y) {
    int column = 0, row = 0;
    if (!config.configurationLoaded || button != Qt::LeftButton || !StringGrid1->leftButtonAlone() ||
        !StringGrid1->cellAt(x, y, column, row))
        return;
    const int hit = HitTest(config, column, row);
    if (hit < 0 || hit >= ComboBox1->count()) return;
    const ElementBox box = HitBox(config, hit);
    grabColumn_ = column - box.x;
    grabRow_ = row - box.y;
    ComboBox1->setCurrentIndex(hit);
    LoadElementControls();
    UpdateGrid();
    dragging_ = true;
    edits.beginDrag();  // the whole drag, up to the release, is one undo step
}

// The up-downs limit the position to the screen, so an element dragged past an edge
// stops there.
void TForm1::StringGrid1MouseMove(int x, int y) {
    int column = 0, row = 0;
    const int i = selectedEntry();
    if (!dragging_ || i < 0 || !StringGrid1->leftButtonAlone() || !StringGrid1->cellAt(x, y, column, row)) return;
    edits.moveElement(i, column - grabColumn_, row - grabRow_);
}

void TForm1::StringGrid1MouseUp(Qt::MouseButton, int, int) {
    dragging_ = false;
    edits.endDrag();
}

// The grid gets its canvas on the first draw, so it shows white paper until then.
void TForm1::UpdateGrid() {
    RenderPreview(previewCanvas, config, selectedOffset);
    StringGrid1->setCanvas(&previewCanvas);  // also schedules the repaint
}

void TForm1::ClearPreview() {
    vorkal::ClearPreview(previewCanvas, config);
    StringGrid1->setCanvas(&previewCanvas);
}
