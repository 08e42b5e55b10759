// Start-up, stored preferences, language switching, control layout and the port list
// of the main window.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <stdexcept>

#include "dialogs.h"
#include "qt_printers.h"
#include "form1.h"
#include "form2.h"
#include "preview_grid.h"
#include "user_folders.h"

using namespace vorkal;

namespace {

// Each test gets its own preferences store and an empty port directory.
class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(settingsDir.isValid());
        ASSERT_TRUE(portDir.isValid());
        UseTestFolders(settingsDir.path(), portDir.path());
    }
    void store(const char* name, const QVariant& value) {
        QSettings s("Brask", "Vorkal");
        s.setValue(name, value);
    }
    QVariant stored(const char* name) {
        QSettings s("Brask", "Vorkal");
        return s.value(name);
    }
    void addPort(const QString& name) { ASSERT_TRUE(QFile::link("/dev/null", portDir.filePath(name))); }

    QTemporaryDir settingsDir, portDir;
    ScriptedDialogs scripted;
    DialogsGuard guard{&scripted};
};

}  // namespace

TEST_F(ShellTest, FirstStartWithoutStoredPreferences) {
    TForm1 f;
    f.show();
    EXPECT_FALSE(f.languagePolish);
    EXPECT_EQ(f.RadioGroup6->itemIndex(), 0);
    EXPECT_EQ(f.ComboBox2->currentText(), "57600");
    EXPECT_EQ(f.ComboBox4->currentIndex(), -1);
    EXPECT_EQ(f.ComboBox4->currentText(), "Select...");
    EXPECT_EQ(f.selectedPort, 0);
    EXPECT_EQ(stored("Lang").toInt(), 0);
    EXPECT_EQ(f.windowTitle(), "Vorkal Configurator v0.72");
    EXPECT_EQ(f.size(), QSize(440, 492));
    EXPECT_EQ(f.view(), TForm1::View::Start);
}

TEST_F(ShellTest, StoredPreferencesAreApplied) {
    struct Case {
        QVariant lang, port, speed;
        QStringList ports;
        bool polish;
        QString portShown, speedShown;
        int storedLang;
    };
    const Case cases[] = {
        {5, 3, 3, {"COM1", "COM3"}, true, "COM3", "9600", 1},
        // COM90 is not port 9: port 9, which Open uses, is shown as absent.
        {0, 9, 9, {"COM90", "COM12"}, false, "COM9 ?", "", 0},
        {1, 7, 1, {"COM1", "COM3"}, true, "COM7 ?", "38400", 1},
        {"text", "x", 2, {}, false, "Select...", "19200", 0},
    };
    for (const Case& c : cases) {
        SetUp();
        QDir(portDir.path()).removeRecursively();
        QDir().mkpath(portDir.path());
        for (const QString& p : c.ports) addPort(p);
        store("Lang", c.lang);
        store("Port", c.port);
        store("Speed", c.speed);
        TForm1 f;
        f.show();
        EXPECT_EQ(f.languagePolish, c.polish);
        EXPECT_EQ(f.ComboBox4->currentText(), c.portShown);
        EXPECT_EQ(f.ComboBox2->currentText(), c.speedShown);
        EXPECT_EQ(stored("Lang").toInt(), c.storedLang);
        if (c.port.toInt() > 0) {
            EXPECT_EQ(f.selectedPort, c.port.toInt());
        }
    }
}

// A remembered port that is not present stays the one Open uses, and the list says so.
TEST_F(ShellTest, AbsentRememberedPortIsShownAndOpenUsesIt) {
    addPort("COM12");
    store("Port", 9);
    TForm1 f;
    f.show();
    EXPECT_EQ(f.ComboBox4->currentIndex(), -1);
    EXPECT_EQ(f.ComboBox4->currentText(), "COM9 ?");
    EXPECT_TRUE(f.absentPortHint().contains("COM9")) << f.absentPortHint().toStdString();
    f.RadioGroup6->setItemIndex(1);
    EXPECT_EQ(f.ComboBox4->currentText(), "COM9 ?");
    EXPECT_TRUE(f.absentPortHint().contains(QString::fromUtf8("nie jest teraz dostępny")));
    f.RadioGroup6->setItemIndex(0);

    // Open tries port 9 (and says it cannot), and port 9 is still the one shown and used.
    ScriptedDialogs scripted;
    DialogsGuard guard(&scripted);
    f.Button5Click();
    ASSERT_EQ(scripted.shown.size(), 1u);
    EXPECT_TRUE(scripted.shown[0].text.contains("COM9")) << scripted.shown[0].text.toStdString();
    EXPECT_EQ(f.selectedPort, 9);
    EXPECT_EQ(f.ComboBox4->currentText(), "COM9 ?");
    f.ComboBox4DropDown();  // a refreshed list without it changes nothing
    EXPECT_EQ(f.ComboBox4->currentText(), "COM9 ?");

    // Plugged in: the refreshed list chooses its entry.
    addPort("COM9");
    f.ComboBox4DropDown();
    EXPECT_EQ(f.ComboBox4->currentText(), "COM9");
    EXPECT_TRUE(f.absentPortHint().isEmpty());
    f.ComboBox4Click();
    EXPECT_EQ(f.selectedPort, 9);

    // With nothing remembered the list asks for a choice.
    store("Port", 0);
    TForm1 fresh;
    fresh.show();
    EXPECT_EQ(fresh.ComboBox4->currentText(), "Select...");
    EXPECT_TRUE(fresh.absentPortHint().isEmpty());
}

TEST_F(ShellTest, LanguageSwitchChangesCaptions) {
    TForm1 f;
    f.show();
    f.RadioGroup6->setItemIndex(1);
    EXPECT_TRUE(f.languagePolish);
    EXPECT_EQ(f.Button3->text(), "Pobierz");
    EXPECT_EQ(f.Button4->text(), QString::fromUtf8("Wyślij"));
    EXPECT_EQ(f.Button7->text(), QString::fromUtf8("Załaduj Domyślne"));
    EXPECT_EQ(f.GroupBox6->title(), QString::fromUtf8("Wyświetlacz "));
    EXPECT_EQ(f.StaticText5->text(), QString::fromUtf8("Odłączony"));
    EXPECT_EQ(f.RadioGroup1->items(), QStringList({QString::fromUtf8("Mała"), QString::fromUtf8("Duża")}));
    EXPECT_EQ(f.ComboBox4->currentText(), "Wybierz...");
    EXPECT_EQ(stored("Lang").toInt(), 1);

    f.SetDisplay128x64();
    EXPECT_EQ(f.RadioGroup1->items(),
              QStringList({QString::fromUtf8("Mała"), QString::fromUtf8("Średnia"), QString::fromUtf8("Duża")}));
    f.RadioGroup6->setItemIndex(0);
    EXPECT_EQ(f.Button3->text(), "Receive");
    EXPECT_EQ(f.RadioGroup2->title(), "Algin");
    EXPECT_EQ(f.GroupBox7->title(), "Display BaudRate ");
    EXPECT_EQ(f.RadioGroup1->items(), QStringList({"Small", "Medium", "Big"}));
    EXPECT_EQ(f.ComboBox4->currentText(), "Select...");
    EXPECT_EQ(stored("Lang").toInt(), 0);
}

TEST_F(ShellTest, ControlGeometryAndInitialState) {
    TForm1 f;
    f.show();
    struct Case {
        QWidget* w;
        QRect rect;
        bool visible, enabled;
    };
    const Case cases[] = {
        {f.StringGrid1, {11, 195, 420, 288}, true, true}, {f.StringGrid2, {9, 193, 422, 289}, false, true},
        {f.GroupBox6, {206, 2, 219, 151}, true, true},    {f.Button7, {9, 122, 96, 22}, true, false},
        {f.Button8, {99, 16, 86, 22}, true, false},       {f.Button11, {112, 122, 97, 22}, true, false},
        {f.GroupBox2, {198, 2, 234, 183}, false, true},   {f.RadioGroup1, {144, 115, 81, 54}, false, true},
        {f.GroupBox1, {8, 2, 177, 90}, true, true},       {f.Button3, {13, 17, 69, 21}, true, false},
        {f.Button4, {93, 17, 69, 22}, true, false},       {f.Button1, {6, 16, 69, 22}, true, true},
        {f.Button2, {86, 15, 69, 22}, true, false},       {f.RadioGroup6, {96, 93, 89, 92}, true, true},
        {f.Button5, {8, 65, 67, 21}, true, true},         {f.Button6, {96, 162, 90, 22}, false, true},
        {f.RadioGroup3, {96, 93, 89, 66}, false, true},   {f.Button9, {199, 162, 114, 22}, false, false},
        {f.Button10, {327, 161, 104, 23}, false, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.w->geometry(), c.rect) << c.w->metaObject()->className();
        EXPECT_EQ(c.w->isVisible(), c.visible) << c.rect.x() << "," << c.rect.y();
        EXPECT_EQ(c.w->isEnabled(), c.enabled) << c.rect.x() << "," << c.rect.y();
    }
    EXPECT_EQ(f.UpDown1->max(), 82);
    EXPECT_EQ(f.UpDown2->max(), 46);
    EXPECT_EQ(f.UpDown3->max(), 83);
    EXPECT_TRUE(f.Timer2->isActive());
    EXPECT_FALSE(f.Timer1->isActive());
    EXPECT_FALSE(f.Form2->isVisible());

    f.SetDisplay128x64();
    EXPECT_EQ(f.StringGrid1->geometry(), QRect(29, 211, 384, 256));
    EXPECT_EQ(f.RadioGroup1->geometry(), QRect(144, 109, 81, 60));
    EXPECT_EQ(f.UpDown1->max(), 126);
    EXPECT_EQ(f.UpDown3->max(), 127);
    EXPECT_TRUE(f.config.separateLog);
    f.SetDisplay84x48();
    EXPECT_TRUE(f.config.separateLog);  // the small variant leaves the flag alone
    EXPECT_EQ(f.StringGrid1->geometry(), QRect(11, 195, 420, 288));
}

TEST_F(ShellTest, ViewsFollowTheVisibilityTable) {
    TForm1 f;
    f.show();
    f.setView(TForm1::View::Screen);
    EXPECT_TRUE(f.StringGrid1->isVisible());
    EXPECT_FALSE(f.GroupBox6->isVisible());
    EXPECT_TRUE(f.GroupBox2->isVisible());
    EXPECT_FALSE(f.RadioGroup6->isVisible());
    EXPECT_TRUE(f.RadioGroup3->isVisible());
    EXPECT_TRUE(f.Button6->isVisible());
    EXPECT_FALSE(f.Button9->isVisible());
    f.setView(TForm1::View::Log);
    EXPECT_FALSE(f.StringGrid1->isVisible());
    EXPECT_TRUE(f.StringGrid2->isVisible());
    EXPECT_TRUE(f.GroupBox6->isVisible());
    EXPECT_FALSE(f.GroupBox2->isVisible());
    EXPECT_FALSE(f.RadioGroup3->isVisible());
    EXPECT_TRUE(f.Button9->isVisible());
    EXPECT_TRUE(f.Button10->isVisible());
}

TEST_F(ShellTest, PortListReadsThePortDirectory) {
    addPort("COM7");
    addPort("COM12");
    addPort("COM3");
    ASSERT_TRUE(QFile::link("/nonexistent-device", portDir.filePath("COM5")));
    QFile plain(portDir.filePath("COM6"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));  // a regular file is no port
    plain.close();
    TForm1 f;
    f.show();
    QStringList listed;
    for (int i = 0; i < f.ComboBox4->count(); ++i) listed << f.ComboBox4->itemText(i);
    const int i12 = listed.indexOf("COM12"), i3 = listed.indexOf("COM3"), i7 = listed.indexOf("COM7");
    ASSERT_GE(i12, 0);
    ASSERT_GE(i3, 0);
    ASSERT_GE(i7, 0);
    EXPECT_LT(i12, i3);  // sorted as text
    EXPECT_LT(i3, i7);
    EXPECT_FALSE(listed.contains("COM5"));
    EXPECT_FALSE(listed.contains("COM6"));

    QDir(portDir.path()).removeRecursively();
    f.ComboBox4DropDown();
    EXPECT_FALSE(f.ComboBox4->findText("COM7") >= 0);
}

TEST_F(ShellTest, FailedPreferenceWriteRaisesTheStoreError) {
    TForm1 f;
    f.show();
    // A folder where the store's file should be makes every write fail.
    QSettings probe("Brask", "Vorkal");
    const QString file = probe.fileName();
    QFile::remove(file);
    ASSERT_TRUE(QDir().mkpath(file));
    f.RadioGroup6->blockSignals(true);
    f.RadioGroup6->setItemIndex(1);
    f.RadioGroup6->blockSignals(false);
    try {
        f.RadioGroup6Click();
        FAIL() << "no error raised";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'Lang'");
    }
    EXPECT_EQ(f.Button3->text(), "Pobierz");  // the language was applied before the write
}
