// The program's application object: its name for the desktop, and an exception that
// escapes an event handler shown in an error box while the program goes on (here also with
// the preferences store failing under a language click).

#include <gtest/gtest.h>

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
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

// The window closed for good inside a handler that lets events through (as Set Baud does
// between its pauses) and then waits in a local loop: the application's loop is left
// only once that handler has returned, and the handler's wait is not cut short meanwhile.
TEST(Shutdown, TheLoopIsLeftOnlyAfterTheHandlerThatLetsEventsThroughReturned) {
    bool handlerReturned = false;
    int waitResult = -2;
    QTimer::singleShot(0, [&] {
        LeaveLoopOnceUnwound();
        // A timer of the same interval started after the check's: once it has fired a few
        // times inside processEvents(), so has the check.
        QTimer same;
        int fired = 0;
        QObject::connect(&same, &QTimer::timeout, [&] { ++fired; });
        same.start(2);
        while (fired < 5) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        // A local wait, as a pause or a wait for a reply: it ends by its own timer (0),
        // not at once (-1) because the application was told to quit.
        QEventLoop wait;
        QTimer::singleShot(20, &wait, [&wait] { wait.exit(0); });
        waitResult = wait.exec();
        handlerReturned = true;
    });
    QTimer watchdog;  // a check that never acts fails the test instead of hanging it
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    watchdog.start(30000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_EQ(waitResult, 0) << "the handler's wait returned at once: the loop was left under it";
    EXPECT_TRUE(handlerReturned);
}

int main(int argc, char** argv) {
    vorkal::testing::TestProcessHome home;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    VorkalApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
