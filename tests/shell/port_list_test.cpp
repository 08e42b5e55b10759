// The port list's adapter descriptions: entry tooltips, the line under the open
// list, and the closed list's tooltip.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHelpEvent>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "af_com_port.h"
#include "dialogs.h"
#include "form1.h"
#include "open_watch.h"
#include "port_details.h"
#include "qt_printers.h"
#include "user_folders.h"

using namespace vorkal;

namespace {

class PortListTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(settingsDir.isValid());
        ASSERT_TRUE(portDir.isValid());
        UseTestFolders(settingsDir.path(), portDir.path());
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(master, 0);
        ASSERT_EQ(::grantpt(master), 0);
        ASSERT_EQ(::unlockpt(master), 0);
        char name[128];
        ASSERT_EQ(::ptsname_r(master, name, sizeof name), 0);
        slave = QString::fromLatin1(name);
        ASSERT_TRUE(QFile::link(slave, portDir.filePath("COM7")));
        ASSERT_TRUE(QFile::link("/dev/null", portDir.filePath("COM3")));
    }
    void TearDown() override {
        if (master >= 0) ::close(master);
    }
    static QString tip(QComboBox* list, const QString& entry) {
        return list->itemData(list->findText(entry), Qt::ToolTipRole).toString();
    }

    QTemporaryDir settingsDir, portDir;
    ScriptedDialogs scripted;
    DialogsGuard guard{&scripted};
    int master = -1;
    QString slave;
};

TEST_F(PortListTest, OpenListShowsTheHighlightedPortWithoutMovingControls) {
    TForm1 f;
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    const QString pty = slave + ": pseudo-terminal (virtual display or another program)";
    EXPECT_EQ(tip(f.ComboBox4, "COM7"), pty);
    EXPECT_EQ(tip(f.ComboBox4, "COM3"), "/dev/null");
    for (int i = 0; i < f.ComboBox4->count(); ++i)  // the names stay COMn
        EXPECT_TRUE(QRegularExpression("^COM[0-9]+$").match(f.ComboBox4->itemText(i)).hasMatch());

    QList<QPair<QWidget*, QRect>> before;
    for (QWidget* w : f.findChildren<QWidget*>())
        if (w != f.PortDetailsLine && w->window() == &f) before.append({w, w->geometry()});

    // A port that appears while the program runs is there at the next drop-down.
    ASSERT_TRUE(QFile::link(slave, portDir.filePath("COM12")));
    f.ComboBox4->showPopup();
    QWidget* popup = f.ComboBox4->view()->window();
    ASSERT_TRUE(QTest::qWaitFor([&] { return popup->isVisible(); }, 5000));
    EXPECT_GE(f.ComboBox4->findText("COM12"), 0);
    ASSERT_TRUE(f.PortDetailsLine->isVisible());
    EXPECT_EQ(f.PortDetailsLine->text(), tip(f.ComboBox4, f.ComboBox4->itemText(0)));

    // Moving through the list follows the highlighted entry.
    const int com7 = f.ComboBox4->findText("COM7");
    f.ComboBox4->view()->setCurrentIndex(f.ComboBox4->model()->index(com7, 0));
    EXPECT_EQ(f.PortDetailsLine->text(), pty);
    // Below the list, inside the window, and no control has moved.
    const QRect line = f.PortDetailsLine->geometry();
    EXPECT_GE(f.mapToGlobal(line.topLeft()).y(), popup->geometry().bottom());
    EXPECT_TRUE(f.rect().contains(line));
    for (const auto& [w, rect] : before) EXPECT_EQ(w->geometry(), rect) << w->metaObject()->className();

    f.ComboBox4->hidePopup();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !popup->isVisible(); }, 5000));
    EXPECT_FALSE(f.PortDetailsLine->isVisible());
}

TEST_F(PortListTest, ClosedListTooltipDescribesTheChosenPortInTheCurrentLanguage) {
    TForm1 f;
    f.show();
    f.RadioGroup6->setItemIndex(1);  // Polish
    f.ComboBox4DropDown();
    const QString pty = slave + QString::fromUtf8(": pseudoterminal (wirtualny wyświetlacz lub inny program)");
    EXPECT_EQ(tip(f.ComboBox4, "COM7"), pty);

    f.ComboBox4->setCurrentIndex(f.ComboBox4->findText("COM7"));
    QHelpEvent ask(QEvent::ToolTip, QPoint(5, 5), f.ComboBox4->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(f.ComboBox4, &ask);
    EXPECT_EQ(f.ComboBox4->toolTip(), pty);

    // A port that went away is described as nothing rather than as its old device.
    ASSERT_TRUE(QFile::remove(portDir.filePath("COM7")));
    QCoreApplication::sendEvent(f.ComboBox4, &ask);
    EXPECT_EQ(f.ComboBox4->toolTip(), QString());
}

TEST_F(PortListTest, TheStoredPortIsShownOnlyByItsOwnEntry) {
    ASSERT_TRUE(QFile::link(slave, portDir.filePath("COM71")));
    ASSERT_TRUE(QFile::link(slave, portDir.filePath("COM30")));
    struct Case {
        int stored;
        QString shown;  // empty: no entry is that port
    };
    for (const Case& c : {Case{7, "COM7"}, Case{3, "COM3"}, Case{71, "COM71"}, Case{30, "COM30"}}) {
        QSettings("Brask", "Vorkal").setValue("Port", c.stored);
        TForm1 f;
        f.show();
        EXPECT_EQ(f.ComboBox4->currentText(), c.shown) << c.stored;
    }
    // COM7 unplugged: COM71 is not shown in its place.
    ASSERT_TRUE(QFile::remove(portDir.filePath("COM7")));
    QSettings("Brask", "Vorkal").setValue("Port", 7);
    TForm1 f;
    f.show();
    EXPECT_NE(f.ComboBox4->currentText(), "COM71");
    EXPECT_EQ(f.selectedPort, 7);
}

// Open on a port another program holds says who holds it, and the device is opened
// only by the one attempt: every open and close drops DTR, which resets many boards.
TEST_F(PortListTest, OpenOfAHeldPortNamesTheHolderWithoutOpeningItAgain) {
    QProcess holder;
    holder.start("sh", {"-c", "exec sleep 600 <>" + slave});
    ASSERT_TRUE(holder.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !FindDeviceHolders(slave).empty(); }, 5000));
    TForm1 f;
    f.show();
    f.selectedPort = 7;
    scripted.answers = {MsgAnswer::Cancel};
    vorkal::testing::OpenWatch opens(slave);
    ASSERT_TRUE(opens.valid());

    f.Button5->click();

    EXPECT_EQ(opens.take(), 1);
    EXPECT_FALSE(f.AfComPort1->IsOpen());
    ASSERT_EQ(scripted.shown.size(), 1u);
    EXPECT_EQ(scripted.shown[0].kind, "retrycancel");
    EXPECT_TRUE(
        scripted.shown[0].text.endsWith(QStringLiteral("%1 is in use by sleep (pid %2).\r\nClose that program first.")
                                            .arg(slave)
                                            .arg(holder.processId())))
        << scripted.shown[0].text.toStdString();
    holder.kill();
    holder.waitForFinished();
}


// While the window runs the list follows ports that come and go, also while it is
// dropped down, and marks the port Open uses while it is gone; no device is opened.
TEST_F(PortListTest, TheListFollowsPortsThatComeAndGo) {
    QSettings("Brask", "Vorkal").setValue("Port", 7);
    TForm1 f;
    f.show();
    ASSERT_EQ(f.ComboBox4->currentText(), "COM7");
    vorkal::testing::OpenWatch opens(slave);
    ASSERT_TRUE(opens.valid());
    const auto listed = [&](const char* name) { return f.ComboBox4->findText(name) >= 0; };

    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(QFile::link(slave, portDir.filePath("COM12")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed("COM12"); }, 5000));
    std::printf("a new port was listed %lld ms after its link appeared\n", (long long)clock.elapsed());
    EXPECT_EQ(f.ComboBox4->currentText(), "COM7");

    // The chosen port goes: it stays the one Open uses, marked absent.
    ASSERT_TRUE(QFile::remove(portDir.filePath("COM7")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !listed("COM7"); }, 5000));
    EXPECT_EQ(f.ComboBox4->currentText(), "COM7 ?");
    EXPECT_FALSE(f.absentPortHint().isEmpty());
    EXPECT_EQ(f.selectedPort, 7);

    // It comes back while the list is dropped down: listed and chosen again, the list
    // still down.
    f.ComboBox4->showPopup();
    QWidget* popup = f.ComboBox4->view()->window();
    ASSERT_TRUE(QTest::qWaitFor([&] { return popup->isVisible(); }, 5000));
    ASSERT_TRUE(QFile::link(slave, portDir.filePath("COM7")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed("COM7"); }, 5000));
    EXPECT_TRUE(popup->isVisible());
    EXPECT_EQ(f.ComboBox4->currentText(), "COM7");
    EXPECT_TRUE(f.absentPortHint().isEmpty());
    f.ComboBox4->hidePopup();
    EXPECT_EQ(opens.take(), 0);
}

// A port directory made while the window runs (the virtual display makes it when it
// registers the first port) is watched from then on.
TEST_F(PortListTest, APortDirectoryMadeLaterIsWatched) {
    const QString later = portDir.filePath("later/ports");
    qputenv("VORKAL_PORT_DIR", later.toUtf8());
    TForm1 f;
    f.show();
    ASSERT_TRUE(QDir().mkpath(later));
    ASSERT_TRUE(QFile::link(slave, later + "/COM21"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.ComboBox4->findText("COM21") >= 0; }, 5000));
    ASSERT_TRUE(QFile::link(slave, later + "/COM22"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.ComboBox4->findText("COM22") >= 0; }, 5000));
}

}  // namespace
