// The real window on an X server with a window manager (started by x_session.sh): where
// the manager stacks, focuses and places the program's windows. Stacking and focus are
// read as the manager publishes them on the root window, keys are typed through the X
// server (xdotool), so they reach whichever window really has the keyboard.

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <functional>

#include "../firmware/firmware_files.h"
#include "device_fixture.h"
#include "track_window.h"

using namespace vorkal;
using namespace vorkal::testing;

namespace {

std::string Text(const QRect& r) {
    return QString("%1x%2 at %3,%4").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y()).toStdString();
}

bool WaitUntil(const std::function<bool()>& done, int ms = 30000) { return QTest::qWaitFor(done, ms); }

QString RunTool(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(10000)) return {};
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// The windows the manager stacks, bottom to top, and the one with the keyboard.
struct Stacking {
    QList<quint64> bottomToTop;
    quint64 active = 0;

    static Stacking now() {
        Stacking s;
        const QString out = RunTool("xprop", {"-root", "-notype", "_NET_CLIENT_LIST_STACKING", "_NET_ACTIVE_WINDOW"});
        for (const QString& line : out.split('\n')) {
            QList<quint64> ids;
            for (const auto& m : QRegularExpression("0x[0-9a-fA-F]+").globalMatch(line))
                ids << m.captured().toULongLong(nullptr, 16);
            if (line.startsWith("_NET_CLIENT_LIST_STACKING")) s.bottomToTop = ids;
            if (line.startsWith("_NET_ACTIVE_WINDOW") && !ids.isEmpty()) s.active = ids.first();
        }
        return s;
    }
    bool above(const QWidget* upper, const QWidget* lower) const {
        const qsizetype u = bottomToTop.indexOf(upper->winId()), l = bottomToTop.indexOf(lower->winId());
        return u >= 0 && l >= 0 && u > l;
    }
    bool hasKeyboard(const QWidget* w) const { return active == w->winId(); }
};

QMessageBox* ShownBox() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
    return nullptr;
}

// Real boxes; the firmware file and the update's own question answered for the user.
class RealBoxes : public QtDialogs {
public:
    QString hexFile;
    FileDialogResult openFile(const FileDialogRequest&) override { return {hexFile, 1}; }
    MsgAnswer askYesNo(const QString&, const QString&, MsgIcon, MsgAnswer) override { return MsgAnswer::Yes; }
};

// What the user met when closing the window during a transfer.
struct CloseDuringTransfer {
    QString text;              // the box's text
    bool aboveProgress = false, hasKeyboard = false;
    bool progressUp = false;   // the progress window was still up when it was checked
    bool closedByKey = false;  // Return, typed through the X server, answered it
    bool windowKept = false;   // the main window is still open after that
};

class XWindowTest : public WindowFixture {
protected:
    // Starts the transfer by `click`, and once `underWay` holds closes the main window;
    // the box that comes is checked for stacking and keyboard, then answered with Return
    // (No, or OK) through the X server. Returns when the transfer has ended.
    CloseDuringTransfer closeDuring(QPushButton* click, const std::function<bool()>& underWay) {
        CloseDuringTransfer seen;
        enum class Phase { Starting, Running, Asked, Answered, Done } phase = Phase::Starting;
        QMessageBox* box = nullptr;
        QElapsedTimer askedFor;
        bool clicked = false;
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            switch (phase) {
            case Phase::Starting:
                phase = Phase::Running;
                // From a timer of its own: the click runs to the transfer's end, and this
                // timer must go on ticking inside it.
                QTimer::singleShot(0, click, [&] {
                    click->click();
                    clicked = true;
                });
                return;
            case Phase::Running:
                if (clicked) {
                    ADD_FAILURE() << "the transfer ended before it was under way";
                    phase = Phase::Done;
                    return;
                }
                if (!underWay()) return;
                form->close();
                askedFor.start();
                phase = Phase::Asked;
                return;
            case Phase::Asked: {
                box = ShownBox();
                if (!box) return;
                const Stacking s = Stacking::now();
                seen.aboveProgress = s.above(box, form->Form2);
                seen.hasKeyboard = s.hasKeyboard(box);
                // The manager stacks and focuses a new window shortly after it is mapped.
                if ((!seen.aboveProgress || !seen.hasKeyboard) && askedFor.elapsed() < 3000) return;
                seen.text = box->text();
                seen.progressUp = form->Form2->isVisible();
                if (const QString shot = qEnvironmentVariable("VORKAL_SCREENSHOT"); !shot.isEmpty())
                    RunTool("import", {"-window", "root", shot});
                RunTool("xdotool", {"key", "Return"});
                askedFor.restart();
                phase = Phase::Answered;
                return;
            }
            case Phase::Answered:
                if (ShownBox() && askedFor.elapsed() < 3000) return;
                seen.closedByKey = ShownBox() == nullptr;
                if (!seen.closedByKey) ShownBox()->reject();
                seen.windowKept = form->isVisible();
                phase = Phase::Done;
                return;
            case Phase::Done:
                // What the transfer says at its end (the update's result) is read and closed.
                if (QMessageBox* last = ShownBox()) last->reject();
                return;
            }
        });
        driver.start(20);
        EXPECT_TRUE(waitFor([&] { return clicked && phase == Phase::Done; }, 90000));
        return seen;
    }

    void expectAboveWithKeyboard(const CloseDuringTransfer& seen, const char* expectedText) {
        EXPECT_TRUE(seen.text.contains(expectedText)) << seen.text.toStdString();
        EXPECT_TRUE(seen.progressUp) << "the transfer ended before the box was checked";
        EXPECT_TRUE(seen.aboveProgress) << "the box is beneath the progress window";
        EXPECT_TRUE(seen.hasKeyboard) << "the box does not have the keyboard";
        EXPECT_TRUE(seen.closedByKey) << "Return typed on the keyboard did not answer the box";
        EXPECT_TRUE(seen.windowKept);
    }

    RealBoxes real;
};

TEST_F(XWindowTest, TheCloseQuestionDuringAReceiveIsAboveTheProgressWindow) {
    setDialogs(&real);
    startDisplay(sim::SimVariant::D84x48Log);
    ASSERT_NO_FATAL_FAILURE(connect());
    stretchReplyTimeouts();
    shortenSequencePauses();
    display->setReplyDelayMs(100);  // a Receive of several seconds
    const CloseDuringTransfer seen = closeDuring(form->Button3, [this] {
        return form->Form2->isVisible() && form->Form2->ProgressBar1->value() >= 2;
    });
    expectAboveWithKeyboard(seen, "Stop it and close the window?");
    // Answered No: the Receive went on to its end.
    EXPECT_TRUE(form->config.configurationLoaded);
}

TEST_F(XWindowTest, TheNoteThatProgrammingCannotStopIsAboveTheProgressWindow) {
    QTemporaryDir files;
    ASSERT_TRUE(files.isValid());
    real.hexFile = files.filePath("firmware.hex");
    QFile hex(real.hexFile);
    ASSERT_TRUE(hex.open(QIODevice::WriteOnly));
    hex.write(ToHex(MakeFirmware(8192, "9.99")));
    hex.close();
    setDialogs(&real);
    sim::VirtualDisplayOptions o = displayOptions();
    o.pace = true;  // programming takes seconds
    startDisplay(o);
    ASSERT_NO_FATAL_FAILURE(connect());
    const CloseDuringTransfer seen = closeDuring(form->Button11, [this] {
        return form->firmwareUpdate().mustFinish() && form->Form2->isVisible() &&
               form->Form2->ProgressBar1->value() >= 2;
    });
    expectAboveWithKeyboard(seen, "cannot be stopped now");
}

// Run at several screen sizes and scale factors (see CMakeLists.txt).
TEST(XWindowPlacement, EveryWindowIsWhollyOnTheScreenAndTheWrittenPlaceKeptWhereItFits) {
    QTemporaryDir settingsDir, portDir;
    UseTestFolders(settingsDir.path(), portDir.path());
    ScriptedDialogs scripted;
    DialogsGuard guard(&scripted);
    TForm1 form;
    form.show();
    const QRect area = form.screen()->availableGeometry();
    // Framed by the manager, and left where the program put it.
    const auto framed = [](QWidget& w) {
        return w.isVisible() && w.frameGeometry() != w.geometry() && w.frameGeometry().top() < w.geometry().top();
    };
    ASSERT_TRUE(WaitUntil([&] { return framed(form) && area.contains(form.frameGeometry()); }))
        << "frame " << Text(form.frameGeometry()) << " on " << Text(area);
    const QRect written(QPoint(409, 210), form.frameGeometry().size());
    if (area.contains(written)) {
        EXPECT_EQ(form.frameGeometry().topLeft(), QPoint(409, 210)) << Text(area);
    }
    EXPECT_TRUE(area.contains(form.frameGeometry())) << Text(form.frameGeometry()) << " on " << Text(area);

    TrackWindow track(&form);
    track.show();
    EXPECT_TRUE(WaitUntil([&] { return framed(track) && area.contains(track.frameGeometry()); }))
        << "track window " << Text(track.frameGeometry()) << " on " << Text(area);
    // Its buttons are on the screen, below the picture.
    for (QPushButton* b : track.findChildren<QPushButton*>())
        EXPECT_TRUE(area.contains(QRect(b->mapToGlobal(QPoint(0, 0)), b->size())))
            << b->text().toStdString() << " at " << Text(QRect(b->mapToGlobal(QPoint(0, 0)), b->size()));
}

}  // namespace
