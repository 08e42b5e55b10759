// The program's application object: its name for the desktop, and an exception that
// escapes an event handler shown in an error box while the program goes on (here also with
// the preferences store failing under a language click).

#include <gtest/gtest.h>

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <stdexcept>

#include "application.h"
#include "dialogs.h"
#include "form1.h"
#include "qt_printers.h"
#include "test_process_home.h"
#include "user_folders.h"

using namespace vorkal;

namespace {

class Throwing : public QObject {
public:
    bool event(QEvent*) override { throw std::runtime_error("handler failed"); }
};

}  // namespace

TEST(ErrorBox, EscapedExceptionIsShownAndTheLoopGoesOn) {
    ScriptedDialogs scripted;
    DialogsGuard guard(&scripted);
    Throwing target;
    QEvent e(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&target, &e));
    ASSERT_EQ(scripted.messages(), QStringList{"handler failed"});
    EXPECT_EQ(scripted.shown[0].icon, MsgIcon::Error);
    EXPECT_EQ(scripted.shown[0].title, "VorkalConfig");
}

// A desktop entry VorkalConfig.desktop groups the program's windows under its name.
TEST(ProgramIdentity, NamedVorkalConfigForTheDesktop) {
    EXPECT_EQ(QGuiApplication::applicationName(), "VorkalConfig");
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "VorkalConfig");
    EXPECT_EQ(QGuiApplication::desktopFileName(), "VorkalConfig");
}

TEST(ErrorBox, FailedPreferenceWriteUnderALanguageClick) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    UseTestFolders(dir.path(), dir.filePath("ports"));
    ScriptedDialogs scripted;
    DialogsGuard guard(&scripted);
    TForm1 form;
    form.show();
    // A folder where the store's file should be makes every write fail.
    const QString file = QSettings("Brask", "Vorkal").fileName();
    QFile::remove(file);
    ASSERT_TRUE(QDir().mkpath(file));
    QRadioButton* polski = form.RadioGroup6->button(1);
    QTest::mouseClick(polski, Qt::LeftButton, {}, QPoint(5, polski->height() / 2));
    ASSERT_EQ(scripted.messages(), QStringList{"Failed to set data for 'Lang'"});
    EXPECT_EQ(form.Button3->text(), "Pobierz");  // applied before the write failed
    // The window still works.
    QTest::mouseClick(form.RadioGroup6->button(0), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(form.Button3->text(), "Receive");
}

int main(int argc, char** argv) {
    vorkal::testing::TestProcessHome home;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    VorkalApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
