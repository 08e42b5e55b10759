// Undo and redo, the unsaved mark and its questions, keyboard moves and the preview's
// context menu, driven through the real main window.

#include <gtest/gtest.h>

#include <QAction>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "dialogs.h"
#include "element_catalogue.h"
#include "form1.h"
#include "layout_editor.h"
#include "preview_grid.h"
#include "qt_printers.h"
#include "settings_file.h"
#include "user_folders.h"

using namespace vorkal;

namespace {

const QString kClean = "Vorkal Configurator v0.72";
const QString kMarked = "Vorkal Configurator v0.72 *";

class HistoryWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        UseTestFolders(dir.path(), dir.path());
        f.show();
        f.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    }

    // Writes the factory image of a variant as a settings file and imports it with
    // the Import button, as a user would load a layout.
    QString factoryFile(bool large, const QString& name) {
        ConfigImage c;
        c.setVariant(large ? DisplayVariant::D128x64 : DisplayVariant::D84x48);
        c.LoadFactoryImage();
        c.separateLog = large;
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(SettingsFileBytes(c));
        return file.fileName();
    }
    void importFile(const QString& path) {
        scripted.fileAnswers.push_back({path, 1});
        f.Button1->click();
    }
    // Loads a factory layout, dropping whatever the previous case left unsaved.
    void load(bool large) {
        if (f.edits.hasUnsavedChanges()) scripted.answers.push_back(MsgAnswer::Yes);
        importFile(factoryFile(large, large ? "large.set" : "small.set"));
    }
    QByteArray exported() {
        const QString path = dir.filePath(QString("export%1.set").arg(exports++));
        scripted.fileAnswers.push_back({path, 1});
        f.Button2->click();
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QPoint cell(int column, int row) const {
        const int cw = f.StringGrid1->cellWidth() + 1, ch = f.StringGrid1->cellHeight() + 1;
        return {column * cw + cw / 2, row * ch + ch / 2};
    }
    void drag(QPoint from, const std::vector<QPoint>& via) {
        QTest::mousePress(f.StringGrid1, Qt::LeftButton, {}, cell(from.x(), from.y()));
        for (QPoint p : via) QTest::mouseMove(f.StringGrid1, cell(p.x(), p.y()));
        QTest::mouseRelease(f.StringGrid1, Qt::LeftButton, {}, cell(via.back().x(), via.back().y()));
    }
    void select(int entry) {
        f.ComboBox1->setCurrentIndex(entry);
        f.ComboBox1Change();
    }
    // A key as the user types it, to the widget with the focus (shortcuts included).
    void key(int k, Qt::KeyboardModifiers m = {}) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &f;
        QTest::keyClick(target, Qt::Key(k), m);
    }
    void undo() { key(Qt::Key_Z, Qt::ControlModifier); }
    void redo() { key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier); }
    void type(QLineEdit* edit, const QString& keys) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, keys);
        f.StringGrid1->setFocus();  // leaving the edit applies the value
    }
    ElementValues values(int entry) const { return DecodeElement(f.config, entry); }
    int questions() const {
        return int(std::count_if(scripted.shown.begin(), scripted.shown.end(),
                                 [](const auto& s) { return s.kind == "yesno"; }));
    }

    // Opens the preview's context menu and picks the entries of `path` one level after
    // the other (a submenu's title, then its entry). Returns the top menu's entries as
    // "text" or "text (off)" when disabled.
    QStringList chooseFromMenu(QStringList path) {
        QStringList topEntries;
        QMenu* last = nullptr;
        std::function<void()> step = [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu || menu == last) {
                QTimer::singleShot(5, step);
                return;
            }
            last = menu;
            if (topEntries.isEmpty())
                for (QAction* a : menu->actions())
                    if (!a->isSeparator()) topEntries << a->text() + (a->isEnabled() ? "" : " (off)");
            QAction* chosen = nullptr;
            for (QAction* a : menu->actions())
                if (!path.isEmpty() && a->text() == path.front() && a->isEnabled()) chosen = a;
            if (!chosen) {
                ADD_FAILURE() << "no enabled entry " << (path.isEmpty() ? "" : path.front().toStdString());
                menu->close();
                return;
            }
            path.pop_front();
            menu->setActiveAction(chosen);
            QTest::keyClick(menu, chosen->menu() ? Qt::Key_Right : Qt::Key_Return);
            if (chosen->menu()) QTimer::singleShot(5, step);
        };
        QTimer::singleShot(0, step);
        const QPoint at = cell(5, 5);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, f.StringGrid1->mapToGlobal(at));
        QApplication::sendEvent(f.StringGrid1, &event);
        return topEntries;
    }

    QTemporaryDir dir;
    ScriptedDialogs scripted;
    DialogsGuard guard{&scripted};
    TForm1 f;
    int exports = 0;
};

}  // namespace

TEST_F(HistoryWindowTest, ADragIsOneStepAndUndoGivesTheExportBack) {
    for (bool large : {false, true}) {
        SCOPED_TRACE(large ? "128 x 64" : "84 x 48");
        load(large);
        const QByteArray before = exported();
        EXPECT_EQ(f.windowTitle(), kClean);
        const int x = values(0).x, y = values(0).y;
        const int steps = f.edits.history().undoCount();
        drag({x, y}, {{x + 3, y + 1}, {x + 6, y + 2}, {x + 9, y + 4}});
        const QByteArray dragged = SettingsFileBytes(f.config);
        ASSERT_NE(dragged, before) << "the drag moved nothing";
        EXPECT_EQ(f.windowTitle(), kMarked);
        EXPECT_EQ(f.edits.history().undoCount(), steps + 1) << "a whole drag is one step";

        undo();
        EXPECT_EQ(exported(), before);
        EXPECT_EQ(f.UpDown1->position(), x);  // the controls show the image as it is
        EXPECT_EQ(f.Edit2->text(), QString::number(y));
        EXPECT_EQ(f.windowTitle(), kClean) << "back at what was exported";
        redo();
        EXPECT_EQ(exported(), dragged);
        undo();
        key(Qt::Key_Y, Qt::ControlModifier);  // the other redo key
        EXPECT_EQ(exported(), dragged);

        // A new edit after an undo drops the redo steps.
        undo();
        f.UpDown2->click(TUpDown::Direction::Up);
        const QByteArray edited = exported();
        EXPECT_NE(edited, dragged);
        redo();
        EXPECT_EQ(exported(), edited);
        EXPECT_FALSE(f.edits.history().canRedo());
    }
}

// Each applied control change is a step of its own, and undoing it shows the old
// values in the controls and the preview.
TEST_F(HistoryWindowTest, EveryControlChangeIsOneStep) {
    load(true);
    struct Case {
        const char* name;
        int entry;
        std::function<void()> act;
    };
    const Case cases[] = {
        {"X up-down", 1, [&] { f.UpDown1->click(TUpDown::Direction::Down); }},  // 2 to 0: even X
        {"Y up-down", 1, [&] { f.UpDown2->click(TUpDown::Direction::Up); }},
        {"length up-down", 0, [&] { f.UpDown3->click(TUpDown::Direction::Down); }},
        {"size up-down", 0, [&] { f.UpDown4->click(TUpDown::Direction::Up); }},
        {"visible", 1, [&] { QTest::mouseClick(f.CheckBox1, Qt::LeftButton); }},
        {"negative", 1, [&] { QTest::mouseClick(f.CheckBox2, Qt::LeftButton); }},
        {"font", 1, [&] { f.RadioGroup1->button(2)->click(); }},
        {"alignment", 1, [&] { f.RadioGroup2->button(f.RadioGroup2->itemIndex() == 0 ? 1 : 0)->click(); }},
        {"typed X", 1, [&] { type(f.Edit1, "40"); }},
        {"typed Y", 25, [&] { type(f.Edit2, "7"); }},
        {"typed thickness", 25, [&] { type(f.Edit4, "3"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        select(c.entry);
        const auto before = f.config.image;
        const int steps = f.edits.history().undoCount();
        c.act();
        const auto after = f.config.image;
        ASSERT_NE(after, before) << "the change did not reach the image";
        EXPECT_EQ(f.edits.history().undoCount(), steps + 1);
        EXPECT_EQ(f.windowTitle(), kMarked);

        f.StringGrid1->setFocus();
        undo();
        EXPECT_EQ(f.config.image, before);
        const ElementValues v = values(c.entry);
        EXPECT_EQ(f.UpDown1->position(), v.x);
        EXPECT_EQ(f.UpDown2->position(), v.y);
        EXPECT_EQ(f.CheckBox1->isChecked(), v.visible);
        if (c.entry >= 1 && c.entry <= f.config.listBound()) {
            EXPECT_EQ(f.CheckBox2->isChecked(), v.flag);
            EXPECT_EQ(f.RadioGroup2->itemIndex(), v.alignment);
        }
        redo();
        EXPECT_EQ(f.config.image, after);
    }
}

// Import is one step: undo returns the image, the variant and the element list that
// were there before, with the edits made before the import.
TEST_F(HistoryWindowTest, UndoOfAnImportReturnsTheImageAndVariantBeforeIt) {
    load(false);
    select(3);
    f.UpDown2->click(TUpDown::Direction::Up);
    const auto edited = f.config.image;
    const QString largeFile = factoryFile(true, "other.set");
    scripted.answers.push_back(MsgAnswer::Yes);  // drop the unsaved edit
    importFile(largeFile);
    ASSERT_TRUE(f.config.is128x64());
    EXPECT_EQ(f.windowTitle(), kClean);

    undo();
    EXPECT_FALSE(f.config.is128x64());
    EXPECT_FALSE(f.config.separateLog);
    EXPECT_TRUE(std::equal(edited.begin(), edited.begin() + 512, f.config.image.begin()));
    EXPECT_EQ(f.ComboBox1->count(), 21);
    EXPECT_EQ(f.StringGrid1->columnCount(), 84);
    EXPECT_EQ(f.windowTitle(), kMarked);  // the edit is still neither sent nor exported
    // The preview draws the restored layout: the selection's pixels are red.
    const QImage shown = f.StringGrid1->renderImage();
    const ElementValues v = values(f.ComboBox1->currentIndex());
    const int cw = f.StringGrid1->cellWidth() + 1, ch = f.StringGrid1->cellHeight() + 1;
    bool red = false;
    for (int col = v.x; col < v.x + 20 && !red; ++col)
        for (int row = v.y; row < v.y + 8 && !red; ++row) red = shown.pixel(col * cw, row * ch) == qRgb(255, 0, 0);
    EXPECT_TRUE(red);

    redo();
    EXPECT_TRUE(f.config.is128x64());
    EXPECT_EQ(f.ComboBox1->count(), 43);
    EXPECT_EQ(f.windowTitle(), kClean);
}

TEST_F(HistoryWindowTest, ArrowKeysMoveTheSelectionWithinTheScreen) {
    struct Case {
        const char* name;
        bool large;
        int entry;  // placed at (x, y) first
        int x, y;
        int key;
        Qt::KeyboardModifiers mods;
        int wantX, wantY;
    };
    const Case cases[] = {
        {"right", false, 1, 40, 20, Qt::Key_Right, {}, 41, 20},
        {"shift left", false, 1, 40, 20, Qt::Key_Left, Qt::ShiftModifier, 32, 20},
        {"left edge", false, 1, 3, 20, Qt::Key_Left, Qt::ShiftModifier, 0, 20},
        {"right edge 84", false, 1, 82, 20, Qt::Key_Right, {}, 82, 20},
        {"top edge", false, 0, 10, 0, Qt::Key_Up, {}, 10, 0},
        {"bottom edge", false, 1, 10, 44, Qt::Key_Down, Qt::ShiftModifier, 10, 46},
        {"even X right", true, 1, 10, 20, Qt::Key_Right, {}, 12, 20},
        {"even X left", true, 1, 10, 20, Qt::Key_Left, {}, 8, 20},
        {"even X shift", true, 1, 10, 20, Qt::Key_Right, Qt::ShiftModifier, 18, 20},
        {"even X edge", true, 1, 126, 20, Qt::Key_Right, {}, 126, 20},
        {"line to 127", true, 23, 126, 63, Qt::Key_Right, Qt::ShiftModifier, 127, 63},
        {"line bottom", true, 23, 5, 60, Qt::Key_Down, Qt::ShiftModifier, 5, 63},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        load(c.large);
        QTest::mouseClick(f.StringGrid1, Qt::LeftButton, {}, cell(f.config.width() - 1, f.config.height() - 1));
        ASSERT_TRUE(f.StringGrid1->hasFocus()) << "a click gives the preview the focus";
        select(c.entry);
        f.UpDown1->setPosition(c.x);
        f.UpDown2->setPosition(c.y);
        StoreX(f.config, c.entry, c.x);
        StoreY(f.config, c.entry, c.y);
        const int steps = f.edits.history().undoCount();
        key(c.key, c.mods);
        EXPECT_EQ(values(c.entry).x, c.wantX);
        EXPECT_EQ(values(c.entry).y, c.wantY);
        EXPECT_EQ(f.UpDown1->position(), c.wantX);
        EXPECT_EQ(f.Edit2->text(), QString::number(c.wantY));
        const bool moved = c.wantX != c.x || c.wantY != c.y;
        EXPECT_EQ(f.edits.history().undoCount(), steps + (moved ? 1 : 0));
        EXPECT_TRUE(f.StringGrid1->hasFocus());
    }
}

TEST_F(HistoryWindowTest, HiddenElementsStayAndTabWalksTheList) {
    load(true);
    f.StringGrid1->setFocus();
    select(1);
    QTest::mouseClick(f.CheckBox1, Qt::LeftButton);  // hide it
    ASSERT_FALSE(values(1).visible);
    const auto hidden = f.config.image;
    f.StringGrid1->setFocus();
    key(Qt::Key_Right);
    EXPECT_EQ(f.config.image, hidden);

    select(0);
    key(Qt::Key_Tab);
    EXPECT_EQ(f.ComboBox1->currentIndex(), 1);
    key(Qt::Key_Tab);
    EXPECT_EQ(f.ComboBox1->currentIndex(), 2);
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(f.ComboBox1->currentIndex(), 42) << "before the first entry comes the last";
    EXPECT_TRUE(f.StringGrid1->hasFocus());
    EXPECT_EQ(f.CheckBox2->text(), "Vertical");  // the controls follow the selection
    key(Qt::Key_Tab);
    EXPECT_EQ(f.ComboBox1->currentIndex(), 0);
}

TEST_F(HistoryWindowTest, ContextMenuCopiesALayoutAndCentresInOneStepEach) {
    load(true);
    ConfigImage& c = f.config;
    ASSERT_EQ(c.selectedLayout, 0);
    const auto before = c.image;
    const QStringList entries = chooseFromMenu({"Copy layout to", "Layout 3"});
    EXPECT_EQ(entries, QStringList({"Undo (off)", "Redo (off)", "Copy layout to", "Centre horizontally"}));
    // Elements of layout 3 are those of layout 1; its spare bytes and the rest stay.
    EXPECT_TRUE(std::equal(c.image.begin(), c.image.begin() + 48, c.image.begin() + 2 * 62));
    EXPECT_TRUE(std::equal(c.image.begin() + 512, c.image.begin() + 572, c.image.begin() + 632));
    EXPECT_TRUE(std::equal(before.begin() + 124 + 48, before.begin() + 186, c.image.begin() + 124 + 48));
    EXPECT_TRUE(std::equal(before.begin() + 62, before.begin() + 124, c.image.begin() + 62));
    EXPECT_EQ(f.edits.history().undoCount(), 1);
    const auto copied = c.image;

    select(1);
    chooseFromMenu({"Centre horizontally"});
    // Drawn as wide as its box, plus the alignment marker's character cell.
    const ElementBox box = HitBox(c, 1);
    const int n = int(CatalogueEntry(1).sampleText.size());
    const int drawn = box.width + (CatalogueEntry(1).alignmentMarker ? box.width / n : 0);
    EXPECT_EQ(values(1).x, ((128 - drawn) / 2) & ~1);
    EXPECT_EQ(f.UpDown1->position(), values(1).x);

    const QStringList now = chooseFromMenu({"Undo"});
    EXPECT_EQ(now.first(), "Undo");
    EXPECT_EQ(c.image, copied);
    chooseFromMenu({"Undo"});
    EXPECT_EQ(c.image, before);
    chooseFromMenu({"Redo"});
    EXPECT_EQ(c.image, copied);

    // Only the layouts that exist, without the current one, in the language shown.
    f.RadioGroup3->button(1)->click();
    f.languagePolish = true;
    const QStringList polish = chooseFromMenu({QString::fromUtf8("Kopiuj układ do"), QString::fromUtf8("Układ 1")});
    EXPECT_EQ(polish.at(2), QString::fromUtf8("Kopiuj układ do"));
    EXPECT_TRUE(std::equal(c.image.begin() + 62, c.image.begin() + 62 + 48, c.image.begin()));
}

TEST_F(HistoryWindowTest, UnsavedChangesAreMarkedAndAskedAbout) {
    const QString file = factoryFile(false, "a.set");
    importFile(file);
    EXPECT_EQ(f.windowTitle(), kClean);
    importFile(file);  // nothing unsaved: no question
    EXPECT_EQ(questions(), 0);

    f.UpDown1->click(TUpDown::Direction::Up);
    EXPECT_EQ(f.windowTitle(), kMarked);
    const auto edited = f.config.image;

    // Import, answered No (the default): no file dialog, the edit stays.
    const size_t shownBefore = scripted.shown.size();
    f.Button1->click();
    ASSERT_EQ(questions(), 1);
    EXPECT_EQ(scripted.shown.size(), shownBefore + 1) << "no file dialog after No";
    EXPECT_EQ(scripted.shown.back().defaultAnswer, MsgAnswer::No);
    EXPECT_EQ(scripted.shown.back().icon, MsgIcon::Warning);
    EXPECT_EQ(f.config.image, edited);
    EXPECT_TRUE(scripted.fileAnswers.empty());

    // Closing, answered No: the window stays.
    EXPECT_FALSE(f.close());
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(questions(), 2);

    // Export clears the mark; closing then asks nothing.
    exported();
    EXPECT_EQ(f.windowTitle(), kClean);
    f.UpDown1->click(TUpDown::Direction::Up);
    undo();
    EXPECT_EQ(f.windowTitle(), kClean) << "undone back to what was exported";
    redo();
    EXPECT_EQ(f.windowTitle(), kMarked);

    // In Polish; Yes goes on.
    f.languagePolish = true;
    scripted.answers.push_back(MsgAnswer::Yes);
    importFile(file);
    EXPECT_EQ(questions(), 3);
    EXPECT_EQ(scripted.shown[scripted.shown.size() - 2].title, QString::fromUtf8("Potwierdź..."));
    EXPECT_TRUE(scripted.shown[scripted.shown.size() - 2].text.contains(QString::fromUtf8("Porzucić")));
    EXPECT_EQ(f.windowTitle(), kClean);

    f.UpDown1->click(TUpDown::Direction::Up);
    scripted.answers.push_back(MsgAnswer::Yes);
    EXPECT_TRUE(f.close());
    EXPECT_EQ(questions(), 4);
}
