// The undo and redo keys act on the configuration wherever the focus is in the main
// window; only a value edit with typed text not yet applied keeps them for itself.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "dialogs.h"
#include "form1.h"
#include "layout_editor.h"
#include "settings_file.h"
#include "user_folders.h"

using namespace vorkal;

namespace {

class UndoKeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        UseTestFolders(dir.path(), dir.path());
        f.show();
        f.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
        ConfigImage c;
        c.setVariant(DisplayVariant::D128x64);
        c.LoadFactoryImage();
        c.separateLog = true;
        QFile file(dir.filePath("factory.set"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(SettingsFileBytes(c));
        file.close();
        scripted.fileAnswers.push_back({file.fileName(), 1});
        f.Button1->click();
        ASSERT_TRUE(f.config.configurationLoaded);
        f.activateWindow();  // the import's progress window may have taken it
        ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
        f.Edit1->setObjectName("Edit1");
        f.Edit2->setObjectName("Edit2");
        f.ComboBox1->setCurrentIndex(1);
        f.ComboBox1Change();
    }
    // A key as the user presses it, to the widget with the focus.
    void press(int k, Qt::KeyboardModifiers m) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        QTest::keyClick(target, Qt::Key(k), m);
    }
    int y() const { return DecodeElement(f.config, 1).y; }

    QTemporaryDir dir;
    ScriptedDialogs scripted;
    DialogsGuard guard{&scripted};
    TForm1 f;
};

TEST_F(UndoKeysTest, UndoAndRedoWorkFromEveryKindOfFocus) {
    const int before = y();
    QWidget* const places[] = {f.Edit2,     f.Edit1,   f.ComboBox4, f.ComboBox2,
                               f.ComboBox3, f.Button1, f.CheckBox1, f.RadioGroup6->button(0)};
    for (QWidget* place : places) {
        SCOPED_TRACE(place->metaObject()->className() + std::string(" ") + place->objectName().toStdString());
        // A value typed and applied with Enter, the focus staying in the edit.
        f.Edit2->setFocus();
        f.Edit2->selectAll();
        QTest::keyClicks(f.Edit2, "9");
        QTest::keyClick(f.Edit2, Qt::Key_Return);
        ASSERT_EQ(y(), 9);
        place->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), place)
            << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className() : "none")
            << " active "
            << (QApplication::activeWindow() ? QApplication::activeWindow()->metaObject()->className() : "none");
        press(Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(y(), before);
        EXPECT_EQ(f.Edit2->text(), QString::number(before));
        press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(y(), 9);
        press(Qt::Key_Z, Qt::ControlModifier);
        ASSERT_EQ(y(), before);
        press(Qt::Key_Y, Qt::ControlModifier);
        EXPECT_EQ(y(), 9);
        press(Qt::Key_Z, Qt::ControlModifier);
        ASSERT_EQ(y(), before);
    }
}

TEST_F(UndoKeysTest, TypedTextNotYetAppliedIsUndoneInTheEditFirst) {
    // One applied step to undo later.
    f.Edit1->setFocus();
    f.Edit1->selectAll();
    QTest::keyClicks(f.Edit1, "10");
    QTest::keyClick(f.Edit1, Qt::Key_Return);
    const int steps = f.edits.history().undoCount();
    const auto applied = f.config.image;

    f.Edit2->setFocus();
    f.Edit2->selectAll();
    const QString shown = f.Edit2->text();
    QTest::keyClicks(f.Edit2, "7");
    ASSERT_EQ(f.Edit2->text(), "7");
    ASSERT_EQ(QApplication::focusWidget(), f.Edit2);
    ASSERT_TRUE(f.Edit2->isModified());
    press(Qt::Key_Z, Qt::ControlModifier);  // the edit's own undo: the typing goes
    EXPECT_EQ(f.Edit2->text(), shown);
    EXPECT_EQ(f.config.image, applied);
    EXPECT_EQ(f.edits.history().undoCount(), steps);
}

}  // namespace
