// The layout editor and the preview: putting a loaded configuration on screen, element and layout
// selection, property controls, typed values, mouse selection and dragging. The byte
// work lives in config/layout_editor.h; these handlers move values between it and the
// controls.

#include "dialogs.h"
#include "element_catalogue.h"
#include "form1.h"
#include "layout_editor.h"
#include "preview_grid.h"
#include "preview_renderer.h"
#include "put_away_note.h"

using namespace vorkal;

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
    layoutSelector_.rebuildOnNextHeader();
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
    if (layoutSelector_.applyHeader(config.image[kLayoutByte])) ComboBox3->setCurrentIndex(CorrectSpeedByte(config));
}

void TForm1::LoadElementControls() {
    const int i = selectedEntry();
    if (i < 0) return;
    selectedOffset = config.ElementOffset(i);
    elementControls_.load(config, i, languagePolish);
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

// One change of the selected entry as one undo step.
void TForm1::editSelected(ElementField field, int position) {
    const EditedConfiguration::Step step(edits);
    const int i = selectedEntry();
    if (i < ElementControls::firstEntryFor(field)) return;
    elementControls_.store(config, i, field, position);
    UpdateGrid();
}

void TForm1::CheckBox1Click() {
    if (!elementControls_.loading()) editSelected(ElementField::Visible);
}

void TForm1::CheckBox2Click() {
    if (!elementControls_.loading()) editSelected(ElementField::Flag);
}

void TForm1::RadioGroup1Click() {
    if (RadioGroup1->itemIndex() >= 0) editSelected(ElementField::Font);
}

void TForm1::RadioGroup2Click() {
    if (RadioGroup2->itemIndex() >= 0) editSelected(ElementField::Alignment);
}

void TForm1::UpDown1Click(int position) { editSelected(ElementField::X, position); }
void TForm1::UpDown2Click(int position) { editSelected(ElementField::Y, position); }
void TForm1::UpDown3Click(int position) { editSelected(ElementField::Length, position); }
void TForm1::UpDown4Click(int position) { editSelected(ElementField::Size, position); }

// Digits and backspace only. Tab and Delete are let through as the navigation and
// editing keys they are; they never reach a character filter on the original platform.
bool TForm1::Edit1KeyPress(QLineEdit*, QChar key) {
    const char16_t c = key.unicode();
    return (c >= u'0' && c <= u'9') || c == 8 || c == u'\t' || c == 0x7F;
}

// Leaving an edit (or Enter in it) stores the typed value as one undo step.
void TForm1::storeTyped(ElementField field) {
    const EditedConfiguration::Step step(edits);
    const int i = selectedEntry();
    if (i >= 0 && elementControls_.storeTyped(config, i, field)) UpdateGrid();
}

void TForm1::Edit1Exit() { storeTyped(ElementField::X); }
void TForm1::Edit2Exit() { storeTyped(ElementField::Y); }
void TForm1::Edit3Exit() { storeTyped(ElementField::Length); }
void TForm1::Edit4Exit() { storeTyped(ElementField::Size); }

void TForm1::StringGrid1MouseDown(Qt::MouseButton button, int x, int y) {
    int column = 0, row = 0;
    if (!config.configurationLoaded || button != Qt::LeftButton || !StringGrid1->leftButtonAlone() ||
        !StringGrid1->cellAt(x, y, column, row))
        return;
    const int hit = HitTest(config, column, row);
    if (hit < 0 || hit >= ComboBox1->count()) return;
    const ElementBox box = HitBox(config, hit);
    ComboBox1->setCurrentIndex(hit);
    LoadElementControls();
    UpdateGrid();
    edits.beginDrag(column - box.x, row - box.y);  // the whole drag, up to the release, is one undo step
}

// The up-downs limit the position to the screen, so an element dragged past an edge
// stops there.
void TForm1::StringGrid1MouseMove(int x, int y) {
    int column = 0, row = 0;
    const int i = selectedEntry();
    if (i >= 0 && StringGrid1->leftButtonAlone() && StringGrid1->cellAt(x, y, column, row))
        edits.dragTo(i, column, row);
}

void TForm1::StringGrid1MouseUp(Qt::MouseButton, int, int) { edits.endDrag(); }

// The grid gets its canvas on the first draw, so it shows white paper until then.
void TForm1::UpdateGrid() {
    RenderPreview(previewCanvas, config, selectedOffset);
    StringGrid1->setCanvas(&previewCanvas);  // also schedules the repaint
}

void TForm1::ClearPreview() {
    vorkal::ClearPreview(previewCanvas, config);
    StringGrid1->setCanvas(&previewCanvas);
}
