// The layout editor: putting a loaded configuration on screen, element and layout
// selection, property controls, typed values, mouse selection and dragging. The byte
// work lives in config/layout_editor.h; these handlers move values between it and the
// controls.

#include "dialogs.h"
#include "element_catalogue.h"
#include "form1.h"
#include "layout_editor.h"
#include "preview_grid.h"

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
        QStringList entries;
        for (int n = 1; n <= c; ++n) entries << QString::number(n);
        RadioGroup3->setColumns(c < 5 ? 1 : 2);
        RadioGroup3->setItems(entries);
        RadioGroup3->setItemIndex(std::min(layoutByte & 7, c - 1));  // runs RadioGroup3Click
        ComboBox3->setCurrentIndex(CorrectSpeedByte(config));
    }
    shownLayoutCount_ = c;
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

void TForm1::CheckBox1Click() {
    const EditStep step(*this);
    const int i = selectedEntry();
    if (loading_ || i < 0) return;
    StoreVisible(config, i, CheckBox1->isChecked(), RadioGroup1->itemIndex(), UpDown1->position());
    UpdateGrid();
}

void TForm1::CheckBox2Click() {
    const EditStep step(*this);
    const int i = selectedEntry();
    if (loading_ || i <= 0) return;
    StoreFlag(config, i, CheckBox2->isChecked());
    UpdateGrid();
}

void TForm1::RadioGroup1Click() {
    const EditStep step(*this);
    const int i = selectedEntry();
    if (i <= 0 || RadioGroup1->itemIndex() < 0) return;
    StoreFont(config, i, RadioGroup1->itemIndex());
    UpdateGrid();
}

void TForm1::RadioGroup2Click() {
    const EditStep step(*this);
    const int i = selectedEntry();
    if (i <= 0 || RadioGroup2->itemIndex() < 0) return;
    StoreAlignment(config, i, RadioGroup2->itemIndex());
    UpdateGrid();
}

void TForm1::UpDown1Click(int position) {
    const EditStep step(*this);
    const int i = selectedEntry();
    if (i < 0) return;
    if (CheckBox1->isChecked()) StoreX(config, i, position);
    UpdateGrid();
}

void TForm1::UpDown2Click(int position) {
    const EditStep step(*this);
    const int i = selectedEntry();
    if (i < 0) return;
    StoreY(config, i, position);
    UpdateGrid();
}

void TForm1::UpDown3Click(int position) {
    const EditStep step(*this);
    const int i = selectedEntry();
    if (i < 0) return;
    StoreLength(config, i, position);
    UpdateGrid();
}

void TForm1::UpDown4Click(int position) {
    const EditStep step(*this);
    const int i = selectedEntry();
    if (i < 0) return;
    StoreSize(config, i, position);
    UpdateGrid();
}

// Digits and backspace only. Tab and Delete are let through as the navigation and
// editing keys they are; they never reach a character filter on the original platform.
bool TForm1::Edit1KeyPress(QLineEdit*, QChar key) {
    const char16_t c = key.unicode();
    return (c >= u'0' && c <= u'9') || c == 8 || c == u'\t' || c == 0x7F;
}

// Leaving an edit (or Enter in it) stores the typed value and shows it at once.
void TForm1::Edit1Exit() {
    const EditStep step(*this);
    const int i = selectedEntry();
    if (i < 0) return;
    const int value = std::min(typedValue(Edit1, FallbackX(config, i)), config.width() - 2);
    if (CheckBox1->isChecked()) StoreX(config, i, value);
    UpDown1->setPosition(value);
    Edit1->setText(QString::number(value));
    UpdateGrid();
}

void TForm1::Edit2Exit() {
    const EditStep step(*this);
    const int i = selectedEntry();
    if (i < 0) return;
    const int value = std::min(typedValue(Edit2, FallbackY(config, i)), config.height() - 1);
    StoreY(config, i, value);
    UpDown2->setPosition(value);
    Edit2->setText(QString::number(value));
    UpdateGrid();
}

void TForm1::Edit3Exit() {
    const EditStep step(*this);
    const int i = selectedEntry();
    if (i < 0 || EntryKindOf(config, i) == EntryKind::Text) return;
    const int value = typedValue(Edit3, FallbackLength(config, i));
    StoreLength(config, i, value);
    UpDown3->setPosition(value);
    Edit3->setText(QString::number(value));
    UpdateGrid();
}

void TForm1::Edit4Exit() {
    const EditStep step(*this);
    const int i = selectedEntry();
    if (i < 0 || EntryKindOf(config, i) == EntryKind::Text) return;
    const int value = typedValue(Edit4, FallbackSize(config, i));
    StoreSize(config, i, value);
    UpDown4->setPosition(value);
    Edit4->setText(QString::number(value));
    UpdateGrid();
}

bool TForm1::previewCell(int x, int y, int& column, int& row) const {
    if (x < 0 || y < 0) return false;
    column = x / (StringGrid1->cellWidth() + 1);
    row = y / (StringGrid1->cellHeight() + 1);
    return column < config.width() && row < config.height();
}

bool TForm1::leftButtonAlone() const {
    return StringGrid1->eventButtons() == Qt::LeftButton &&
           !(StringGrid1->eventModifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
}

void TForm1::StringGrid1MouseDown(Qt::MouseButton button, int x, int y) {
    int column = 0, row = 0;
    if (!config.configurationLoaded || button != Qt::LeftButton || !leftButtonAlone() ||
        !previewCell(x, y, column, row))
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
    // The whole drag, up to the release, is one undo step.
    finishDragStep();
    openStep(true);
    dragStepOpen_ = true;
}

// The up-downs limit the position to the screen, so an element dragged past an edge
// stops there.
void TForm1::StringGrid1MouseMove(int x, int y) {
    int column = 0, row = 0;
    const int i = selectedEntry();
    if (!dragging_ || i < 0 || !leftButtonAlone() || !previewCell(x, y, column, row)) return;
    moveEntryTo(i, column - grabColumn_, row - grabRow_);
}

void TForm1::moveEntryTo(int i, int x, int y) {
    UpDown1->setPosition(x);
    StoreX(config, i, UpDown1->position());
    UpDown2->setPosition(y);
    StoreY(config, i, UpDown2->position());
    UpdateGrid();
}

void TForm1::StringGrid1MouseUp(Qt::MouseButton, int, int) {
    dragging_ = false;
    finishDragStep();
}
