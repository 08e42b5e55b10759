// What closing the window means while the display is busy, decided without a window.

#include <gtest/gtest.h>

#include "close_guard.h"
#include "display_session.h"
#include "edited_configuration.h"
#include "firmware_update.h"
#include "scripted_port.h"

using namespace vorkal;
using vorkal::testing::RecordingSink;
using vorkal::testing::ScriptedPort;

namespace {

struct Guarded {
    EditedConfiguration edits;
    bool polish = false;
    ScriptedPort port;
    RecordingSink sink;
    DisplaySession session{edits.image(), polish, port, sink};
    FirmwareUpdate update{session};
    CloseGuard guard{session, update, edits};
};

}  // namespace

TEST(CloseGuard, ATransferIsAskedAboutOnceAndYesStopsItOnlyWhileItRuns) {
    using OnClose = CloseGuard::OnClose;
    using OnStop = CloseGuard::OnStop;
    Guarded g;
    EXPECT_EQ(g.guard.onClose(), OnClose::AskToDropChanges) << "nothing running";
    {
        const DisplaySession::PollPause transfer(g.session, DisplaySession::PollPause::End::RestoreRunning);
        EXPECT_EQ(g.guard.onClose(), OnClose::AskToStopTransfer);
        EXPECT_EQ(g.guard.onClose(), OnClose::AlreadyAsking) << "a second question opened";
        EXPECT_EQ(g.guard.answered(false), OnStop::Nothing);
        EXPECT_EQ(g.guard.onClose(), OnClose::AskToStopTransfer) << "No left the question marked open";
        EXPECT_EQ(g.guard.answered(true), OnStop::StopAndClose);
        EXPECT_EQ(g.guard.onClose(), OnClose::AskToStopTransfer);
    }
    // The transfer ended while the question was open: Yes is a plain close.
    EXPECT_EQ(g.guard.answered(true), OnStop::PlainClose);
    EXPECT_TRUE(g.guard.mayCancelExchange());

    g.guard.markClosing();
    EXPECT_EQ(g.guard.onClose(), OnClose::Close) << "a second close after ours was held";
    EXPECT_EQ(g.guard.answered(true), OnStop::Nothing) << "a late Yes closed again";
}

TEST(CloseGuard, TheQuestionWarnsOfUnsavedChangesInTheChosenLanguage) {
    Guarded g;
    const QString lost = "will be lost";
    EXPECT_FALSE(g.guard.stopTransferQuestion(false).contains(lost));
    g.edits.image().LoadFactoryImage();
    g.edits.image().configurationLoaded = true;
    g.edits.markSaved();
    {
        const EditedConfiguration::Step step(g.edits);
        g.edits.image().image[kLayoutByte + 1] ^= 0x01;
    }
    ASSERT_TRUE(g.edits.hasUnsavedChanges());
    const QString english = g.guard.stopTransferQuestion(false);
    EXPECT_TRUE(english.startsWith("A transfer with the display is running.")) << english.toStdString();
    EXPECT_TRUE(english.contains(lost));
    EXPECT_TRUE(english.endsWith("Stop it and close the window?"));
    const QString polish = g.guard.stopTransferQuestion(true);
    EXPECT_TRUE(polish.contains(QString::fromUtf8("zostaną utracone"))) << polish.toStdString();
    EXPECT_TRUE(polish.endsWith(QString::fromUtf8("Przerwać je i zamknąć okno?")));
    EXPECT_TRUE(CloseGuard::updateMustFinishText(false).startsWith("The firmware update is programming"));
}
