// Construction of the main window's controls: kind, parent, place, size, fonts, colours
// and initial state of each, back to front.

#include <QApplication>
#include <QFontDatabase>
#include <QHeaderView>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QScrollBar>
#include <QAction>

#include "byte_port.h"
#include "display_backup_keeper.h"
#include "firmware_update.h"
#include "close_guard.h"
#include "form1.h"
#include "window_placement.h"
#include "port_list.h"
#include "put_away_note.h"
#include "form2.h"
#include "preview_grid.h"
#include "track_window.h"
#include "control_builders.h"
#include "log_table_view.h"
#include "port_details_line.h"
#include "window_texts.h"

using namespace vorkal;

namespace {

const QStringList kSpeedEntries{"57600", "38400", "19200", "9600", "4800"};

// The Exit handler of one of the four value edits.
void ApplyTypedValue(TForm1& form, QLineEdit* edit) {
    if (edit == form.Edit1) form.Edit1Exit();
    else if (edit == form.Edit2) form.Edit2Exit();
    else if (edit == form.Edit3) form.Edit3Exit();
    else if (edit == form.Edit4) form.Edit4Exit();
    edit->setModified(false);  // nothing typed is waiting any more
}

// One of the undo or redo shortcuts.
bool IsHistoryKey(const QKeyEvent* key, const QAction* undo, const QAction* redo) {
    const QKeySequence pressed(key->keyCombination());
    for (const QAction* a : {undo, redo})
        if (a && a->shortcuts().contains(pressed)) return true;
    return false;
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    setWindowTitle(kWindowCaption);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(440, 492);
    move(409, 210);
    KeepOnScreen(this, QPoint(409, 210));  // the written place, where the window fits there
    setFont(uiFont(9));
    UseLightPalette(this);  // whatever the desktop's palette: see LightPalette

    createControls();
    elementControls_.w = {UpDown1, UpDown2,   UpDown3,   UpDown4,     Edit1,       Edit2,       Edit3,
                          Edit4,   CheckBox1, CheckBox2, RadioGroup1, RadioGroup2, StaticText3, StaticText4};
    transferHold_.controls = {GroupBox1,   GroupBox2, GroupBox5, GroupBox6, RadioGroup3,
                              RadioGroup6, Button6,   Button9,   Button10,  StringGrid1};
    layoutSelector_.group = RadioGroup3;
    portList_ = std::make_unique<PortList>(ComboBox4);

    Form2 = new TForm2(this);
    UseLightPalette(Form2);
    createDevice();
    createPortWatch();

    connectHandlers();
    connectModels();
    Timer2->start();
}

TForm1::~TForm1() {
    // The questions and messages of a closed window were silenced; whatever comes after
    // it (a test's next window) gets its own dialogs back.
    if (dialogsBeforeClosing_) vorkal::setDialogs(dialogsBeforeClosing_);
}

void TForm1::createControls() {
    const QFont labelFont = uiFont(11, true);

    Shape1 = place(new QFrame(this), 8, 192, 425, 293);
    Shape1->setStyleSheet("QFrame { background-color: #c8c8c8; border: 2px solid black; }");

    StringGrid1 = new PreviewGrid(this);
    StringGrid1->setGeometry(11, 195, 420, 288);
    StringGrid1->setFocusPolicy(Qt::ClickFocus);  // for the arrow keys and Tab
    StringGrid1->setFont(uiFont(13, true));

    StringGrid2 = place(new QTableWidget(46, 9, this), 9, 193, 422, 289);
    SetUpLogTable(StringGrid2, uiFont(9, false, Face::Narrow),
                  [this](int column, int row, QPainter* p, const QRect& r) { StringGrid2DrawCell(column, row, p, r); });

    GroupBox6 = place(new QGroupBox("Display Functions", this), 206, 2, 219, 151);
    StaticText6 = staticText(GroupBox6, "", 32, 50, 161, 17, uiFont(9, true), Qt::AlignCenter);
    StaticText6->setStyleSheet("color: rgb(0, 128, 128);");  // teal
    Button7 = button(GroupBox6, "Load Defaults", 9, 122, 96, 22);
    Button7->setEnabled(false);
    StaticText5 = staticText(GroupBox6, "Disconnected", 28, 22, 165, 28, uiFont(21, true), Qt::AlignCenter);
    StaticText5->setStyleSheet("color: rgb(255, 0, 0);");
    GroupBox7 = place(new QGroupBox("Display Baudrate ", GroupBox6), 8, 70, 201, 45);
    ComboBox3 = comboBox(GroupBox7, true, 15, 17, 70, 21);
    ComboBox3->addItems(kSpeedEntries);
    ComboBox3->setCurrentIndex(-1);
    ComboBox3->setEditText("57600");
    Button8 = button(GroupBox7, "Set Baud", 99, 16, 86, 22);
    Button8->setEnabled(false);
    Button11 = button(GroupBox6, "Firmware Update", 112, 122, 97, 22);
    Button11->setEnabled(false);

    GroupBox2 = place(new QGroupBox(QString(), this), 198, 2, 234, 183);
    GroupBox2->setFont(uiFont(9));
    Edit1 = place(new QLineEdit("0", GroupBox2), 72, 52, 25, 21);
    StaticText1 = staticText(GroupBox2, "Pozycja X", 8, 56, 60, 17, labelFont);
    StaticText2 = staticText(GroupBox2, "Pozycja Y", 8, 88, 60, 17, labelFont);
    Edit2 = place(new QLineEdit("0", GroupBox2), 72, 83, 25, 21);
    RadioGroup1 = place(new TRadioGroup(GroupBox2), 144, 115, 81, 54);
    RadioGroup1->setTitle("Czcionka");
    RadioGroup1->setItems({"Small", "Big"});
    RadioGroup1->setItemIndex(0);
    CheckBox1 = place(new QCheckBox("Widoczny", GroupBox2), 8, 24, 89, 17);
    CheckBox1->setFont(labelFont);
    UpDown1 = place(new TUpDown(Edit1, GroupBox2), 97, 52, 16, 21);
    UpDown1->setRange(0, 83);
    UpDown1->setPosition(0);
    UpDown2 = place(new TUpDown(Edit2, GroupBox2), 97, 83, 16, 21);
    UpDown2->setRange(0, 47);
    UpDown2->setPosition(0);
    CheckBox2 = place(new QCheckBox("Negatyw", GroupBox2), 144, 24, 65, 17);
    GroupBox4 = place(new QGroupBox("Element", GroupBox2), 8, 115, 129, 54);
    ComboBox1 = comboBox(GroupBox4, false, 8, 22, 113, 21);
    ComboBox1->addItem(QString());
    RadioGroup2 = place(new TRadioGroup(GroupBox2), 144, 47, 81, 56);
    RadioGroup2->setTitle("Wyrównanie");
    RadioGroup2->setItems({"Do lewej", "Do prawej"});
    RadioGroup2->setItemIndex(0);
    RadioGroup2->hide();
    Edit3 = place(new QLineEdit("1", GroupBox2), 176, 51, 25, 21);
    UpDown3 = place(new TUpDown(Edit3, GroupBox2), 201, 51, 16, 21);
    UpDown3->setRange(1, 84);
    UpDown3->setPosition(1);
    StaticText3 = staticText(GroupBox2, "Długość", 123, 54, 52, 17, labelFont);
    StaticText3->hide();
    StaticText4 = staticText(GroupBox2, "Rozmiar", 123, 86, 49, 17, labelFont);
    Edit4 = place(new QLineEdit("3", GroupBox2), 176, 83, 25, 21);
    UpDown4 = place(new TUpDown(Edit4, GroupBox2), 201, 83, 15, 21);
    UpDown4->setRange(3, 31);
    UpDown4->setPosition(3);
    GroupBox2->hide();

    GroupBox1 = place(new QGroupBox("Konfiguracja", this), 8, 2, 177, 90);
    Button3 = button(GroupBox1, "Read", 13, 17, 69, 21);
    Button3->setEnabled(false);
    Button4 = button(GroupBox1, "Write", 93, 17, 69, 22);
    Button4->setEnabled(false);
    GroupBox3 = place(new QGroupBox("File", GroupBox1), 8, 41, 161, 43);
    Button1 = button(GroupBox3, "Import", 6, 16, 69, 22);
    Button2 = button(GroupBox3, "Export", 86, 15, 69, 22);
    Button2->setEnabled(false);

    RadioGroup6 = place(new TRadioGroup(this), 96, 93, 89, 92);
    RadioGroup6->setTitle("Language :  ");
    RadioGroup6->setItems({"English", "Polski"});
    RadioGroup6->setItemIndex(0);

    GroupBox5 = place(new QGroupBox("Port COM", this), 8, 93, 81, 92);
    Button5 = button(GroupBox5, "Open", 8, 65, 67, 21);
    ComboBox2 = comboBox(GroupBox5, true, 8, 39, 67, 21);
    ComboBox2->addItems(kSpeedEntries);
    ComboBox2->setCurrentIndex(-1);
    ComboBox2->setEditText("BAUD");
    ComboBox4 = comboBox(GroupBox5, true, 8, 15, 67, 21);
    ComboBox4->sorted = true;
    ComboBox4->setEditText("Wybierz");

    Button6 = button(this, "Podgląd Logu", 96, 162, 90, 22);
    Button6->hide();
    RadioGroup3 = place(new TRadioGroup(this), 96, 93, 89, 66);
    RadioGroup3->setTitle("Screen Layout");
    RadioGroup3->setColumns(2);
    RadioGroup3->setItems({"1", "2", "3", "4", "5", "6", "7", "8"});
    RadioGroup3->hide();
    Button9 = button(this, "Clear Log In display", 199, 162, 114, 22);
    Button9->setEnabled(false);
    Button9->hide();
    Button10 = button(this, "Save To File", 327, 161, 104, 23);
    Button10->hide();

    // In the log view the screen-layout group above Button6 is hidden: the button takes
    // its place there and moves nothing.
    TrackButton = button(this, "Track", 96, 136, 90, 22);
    TrackButton->hide();
    connect(TrackButton, &QPushButton::clicked, this, &TForm1::TrackButtonClick);
    connect(StringGrid2, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        TrackButtonClick();
        trackWindow_->markRow(row);
    });
    connect(StringGrid2, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (trackWindow_) trackWindow_->markRow(row);
    });
}

void TForm1::connectHandlers() {
    connect(RadioGroup6, &TRadioGroup::clicked, this, &TForm1::RadioGroup6Click);
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &TForm1::Button6Click);
    connect(Button7, &QPushButton::clicked, this, &TForm1::Button7Click);
    connect(Button8, &QPushButton::clicked, this, &TForm1::Button8Click);
    connect(Button9, &QPushButton::clicked, this, &TForm1::Button9Click);
    connect(Button10, &QPushButton::clicked, this, &TForm1::Button10Click);
    connect(Button11, &QPushButton::clicked, this, &TForm1::Button11Click);
    connect(ComboBox1, &QComboBox::activated, this, &TForm1::ComboBox1Change);
    connect(ComboBox2, &QComboBox::activated, this, &TForm1::ComboBox2Change);
    connect(ComboBox4, &QComboBox::activated, this, &TForm1::ComboBox4Click);
    connect(ComboBox4, &TComboBox::dropDown, this, &TForm1::ComboBox4DropDown);
    PortDetailsLine = AttachPortDetailsLine(
        this, ComboBox4, [this](const QString& entry) { return PortList::describe(entry, languagePolish); });
    PutAwayNote = new PutAwayNoteLabel(this);
    connect(CheckBox1, &QCheckBox::clicked, this, &TForm1::CheckBox1Click);
    connect(CheckBox2, &QCheckBox::clicked, this, &TForm1::CheckBox2Click);
    connect(RadioGroup1, &TRadioGroup::clicked, this, &TForm1::RadioGroup1Click);
    connect(RadioGroup2, &TRadioGroup::clicked, this, &TForm1::RadioGroup2Click);
    connect(RadioGroup3, &TRadioGroup::clicked, this, &TForm1::RadioGroup3Click);
    connect(UpDown1, &TUpDown::clicked, this, &TForm1::UpDown1Click);
    connect(UpDown2, &TUpDown::clicked, this, &TForm1::UpDown2Click);
    connect(UpDown3, &TUpDown::clicked, this, &TForm1::UpDown3Click);
    connect(UpDown4, &TUpDown::clicked, this, &TForm1::UpDown4Click);
    for (QLineEdit* e : {Edit1, Edit2, Edit3, Edit4}) e->installEventFilter(this);
    // The editable lists would take the undo keys from the window as well.
    for (QComboBox* c : {ComboBox2, ComboBox3, ComboBox4}) c->installEventFilter(this);
    connect(StringGrid1, &PreviewGrid::mousePressed, this, &TForm1::StringGrid1MouseDown);
    connect(StringGrid1, &PreviewGrid::mouseMoved, this, &TForm1::StringGrid1MouseMove);
    connect(StringGrid1, &PreviewGrid::mouseReleased, this, &TForm1::StringGrid1MouseUp);
    connect(Timer2, &QTimer::timeout, this, &TForm1::Timer2Timer);
}

void TForm1::showEvent(QShowEvent* e) {
    if (!shownOnce_) {
        shownOnce_ = true;
        FormShow();
    }
    QWidget::showEvent(e);
}

// Key presses and focus loss of the four value edits go to the editor's handlers.
bool TForm1::eventFilter(QObject* watched, QEvent* e) {
    if (watched == StringGrid1) {
        if (e->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(e);
            if (PreviewKeyPress(key->key(), key->modifiers())) return true;
        } else if (e->type() == QEvent::ContextMenu) {
            PreviewContextMenu(static_cast<QContextMenuEvent*>(e)->globalPos());
            return true;
        }
        return QWidget::eventFilter(watched, e);
    }
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (e->type() == QEvent::ShortcutOverride && IsHistoryKey(static_cast<QKeyEvent*>(e), undoAction, redoAction)) {
        // Line edits (and the editable lists, which hand the keys to theirs) claim the
        // undo keys for their own text. They undo the configuration instead, unless a
        // value edit holds typed text that was not applied yet.
        if (!(edit && edit->isModified())) {
            e->ignore();
            return true;  // not overridden: the window's shortcut runs
        }
        return QWidget::eventFilter(watched, e);
    }
    if (!edit) return QWidget::eventFilter(watched, e);
    if (e->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            ApplyTypedValue(*this, edit);  // Enter applies the value as leaving the edit does
            return true;
        }
        const QString text = key->text();
        // The undo keys are no typed character: they reach the edit's own undo.
        if (text.size() == 1 && !IsHistoryKey(key, undoAction, redoAction) && !Edit1KeyPress(edit, text[0]))
            return true;
    } else if (e->type() == QEvent::FocusOut) {
        ApplyTypedValue(*this, edit);
    }
    return QWidget::eventFilter(watched, e);
}
