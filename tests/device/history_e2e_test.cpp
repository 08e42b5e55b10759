// Undo, the unsaved mark and its question around the commands that exchange the
// configuration with the virtual display.

#include <QAction>
#include <QFile>
#include <QFileInfo>

#include "config_image.h"
#include "device_fixture.h"
#include "display_session.h"
#include "display_backup.h"
#include "line_protocol.h"
#include "settings_file.h"

using namespace vorkal;
using namespace vorkal::testing;
using sim::SimVariant;

namespace {

const QString kClean = "Vorkal Configurator v0.72";
const QString kMarked = "Vorkal Configurator v0.72 *";

class HistoryE2E : public WindowFixture {
protected:
    void read() {
        const size_t before = messages().size();
        form->Button3->click();
        ASSERT_EQ(messages().size(), before) << messages().join(" | ").toStdString();
    }
    int questions() const {
        return int(std::count_if(scripted.shown.begin(), scripted.shown.end(),
                                 [](const auto& s) { return s.kind == "yesno"; }));
    }
    // Commands the display has taken, after a probe read that waits for its reply, so
    // anything sent before the probe has been counted.
    uint64_t commandsSettled() {
        form->session().SendCommand(ClearScreenCommand(), ReplyTimeout::ClearScreen);
        EXPECT_EQ(form->session().WaitReply(), 'O');
        return display->counters().commands;
    }
};

}  // namespace

TEST_F(HistoryE2E, ReceiveAsksAboutUnsavedEditsAndUndoReturnsTheImageWithoutSending) {
    startDisplay(SimVariant::D128x64);
    ASSERT_NO_FATAL_FAILURE(connect());
    shortenSequencePauses();
    ASSERT_NO_FATAL_FAILURE(read());
    EXPECT_EQ(form->windowTitle(), kClean);
    EXPECT_EQ(questions(), 0);

    // An edit through a control: marked; Receive answered No reads nothing.
    form->ComboBox1->setCurrentIndex(1);
    form->ComboBox1Change();
    form->UpDown2->click(TUpDown::Direction::Up);
    EXPECT_EQ(form->windowTitle(), kMarked);
    const auto edited = form->config.image;
    const uint64_t blocksBefore = display->counters().commands;
    form->Button3->click();
    EXPECT_EQ(questions(), 1);
    EXPECT_EQ(form->config.image, edited);
    EXPECT_LE(display->counters().commands - blocksBefore, 2u) << "no read: at most a poll step";

    // Yes: the display's image comes in, as one step that undo takes back.
    auto displayImage = display->configMemory();
    displayImage[130] ^= 0x01;  // a byte the edit did not touch, so the step shows
    displayImage[508] = 0x40;   // and four layouts instead of three
    display->setConfigMemory(displayImage);
    scripted.answers = {MsgAnswer::Yes};
    ASSERT_NO_FATAL_FAILURE(read());
    EXPECT_EQ(questions(), 2);
    EXPECT_EQ(form->config.image[130], displayImage[130]);
    EXPECT_EQ(form->RadioGroup3->count(), 4);
    EXPECT_EQ(form->windowTitle(), kClean);

    form->Timer2->stop();  // the poll's own commands would blur the count
    ASSERT_TRUE(waitFor([this] { return !form->session().waiting(); }));
    const uint64_t commands = commandsSettled();
    form->undoAction->trigger();
    EXPECT_EQ(form->config.image, edited);
    EXPECT_EQ(form->windowTitle(), kMarked);
    EXPECT_EQ(form->RadioGroup3->count(), 3);              // rebuilt without telling the display
    const int selected = form->ComboBox1->currentIndex();  // the controls show the image as it is
    EXPECT_EQ(form->UpDown2->position(), form->config.image[form->config.ElementOffset(selected) + 1] & 0x3F);
    form->redoAction->trigger();
    EXPECT_EQ(form->config.image[130], displayImage[130]);
    EXPECT_EQ(form->RadioGroup3->count(), 4);
    EXPECT_EQ(commandsSettled(), commands + 1) << "undo and redo sent something";
    form->Timer2->start();

    // Send clears the mark.
    form->UpDown2->click(TUpDown::Direction::Up);
    EXPECT_EQ(form->windowTitle(), kMarked);
    form->Button4->click();
    EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
    EXPECT_EQ(form->windowTitle(), kClean);
}

TEST_F(HistoryE2E, LoadDefaultsIsOneStep) {
    startDisplay(SimVariant::D84x48Log);
    ASSERT_NO_FATAL_FAILURE(connect());
    shortenSequencePauses();
    ASSERT_NO_FATAL_FAILURE(read());
    form->ComboBox1->setCurrentIndex(0);
    form->ComboBox1Change();
    form->UpDown1->click(TUpDown::Direction::Up);
    const auto edited = form->config.image;

    scripted.answers = {MsgAnswer::Yes};
    form->Button7->click();
    ASSERT_EQ(messages().value(0), "Return to Defaults Succes !");
    ConfigImage factory;
    factory.LoadFactoryImage();
    EXPECT_EQ(form->config.image, factory.image);
    EXPECT_EQ(form->windowTitle(), kClean);  // the display holds what the window holds

    form->undoAction->trigger();
    EXPECT_EQ(form->config.image, edited);
    EXPECT_EQ(form->windowTitle(), kMarked);
    form->redoAction->trigger();
    EXPECT_EQ(form->config.image, factory.image);
    EXPECT_EQ(form->windowTitle(), kClean);
}

namespace {

// Backups land in the fixture's data folder, never in the user's.
class BackupE2E : public HistoryE2E {
protected:
    void SetUp() override {
        HistoryE2E::SetUp();
        folder = DisplayBackupFolder();
        ASSERT_TRUE(folder.startsWith(dataHome.path()));
    }
    QByteArray backup(int newest = 0) const {
        QFile file(QDir(folder).filePath(DisplayBackups(folder).value(newest)));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static bool startsWithImage(const QByteArray& file, const std::array<uint8_t, 1024>& image, int size) {
        return file.size() >= size &&
               std::equal(image.begin(), image.begin() + size, reinterpret_cast<const uint8_t*>(file.constData()));
    }
    // Presses Send and notes the progress window's captions on the way.
    QStringList sendNotingCaptions() {
        QStringList captions;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (form->Form2->isVisible() && !captions.contains(form->Form2->windowTitle()))
                captions << form->Form2->windowTitle();
        });
        probe.start(5);
        form->Button4->click();
        return captions;
    }

    QString folder;
};

}  // namespace

TEST_F(BackupE2E, SendAfterImportReadsTheDisplayFirstAndKeepsItsImage) {
    startDisplay(SimVariant::D84x48Log);
    auto old = display->configMemory();
    for (int i = 150; i < 160; ++i) old[size_t(i)] = uint8_t(i);  // something only the display has
    display->setConfigMemory(old);
    ASSERT_NO_FATAL_FAILURE(connect());
    shortenSequencePauses();

    ConfigImage file;
    file.LoadFactoryImage();
    file.image[4] = 40;
    file.separateLog = true;
    const QString path = QDir(dataHome.path()).filePath("layout.set");
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(SettingsFileBytes(file));
    out.close();
    scripted.fileAnswers.push_back({path, 1});
    form->Button1->click();
    ASSERT_EQ(form->config.image[4], 40);

    const QStringList captions = sendNotingCaptions();
    EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
    EXPECT_TRUE(captions.contains("Reading the display for a backup...")) << captions.join(" | ").toStdString();
    ASSERT_EQ(DisplayBackups(folder).size(), 1);
    const QByteArray kept = backup();
    EXPECT_EQ(kept.size(), 8704);
    EXPECT_TRUE(startsWithImage(kept, old, 512)) << "the backup is the display's old image";
    EXPECT_EQ(display->configMemory()[4], 40);  // and the new one was sent

    // Importing the backup puts the old image back in the window.
    scripted.fileAnswers.push_back({QDir(folder).filePath(DisplayBackups(folder).first()), 1});
    form->Button1->click();
    EXPECT_TRUE(std::equal(old.begin() + 150, old.begin() + 160, form->config.image.begin() + 150));
}

TEST_F(BackupE2E, AReceivedImageIsTheBackupUntilSomethingIsWritten) {
    startDisplay(SimVariant::D128x64);
    ASSERT_NO_FATAL_FAILURE(connect());
    shortenSequencePauses();
    ASSERT_NO_FATAL_FAILURE(read());
    const auto first = display->configMemory();
    form->ComboBox1->setCurrentIndex(1);
    form->ComboBox1Change();
    form->UpDown2->click(TUpDown::Direction::Up);

    // Right after a Receive: no read before the backup.
    QStringList captions = sendNotingCaptions();
    EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
    EXPECT_FALSE(captions.contains("Reading the display for a backup..."));
    ASSERT_EQ(DisplayBackups(folder).size(), 1);
    EXPECT_EQ(backup().size(), 33792);
    EXPECT_TRUE(startsWithImage(backup(), first, 1024));

    // After a write the display is read again.
    const auto second = display->configMemory();
    form->UpDown2->click(TUpDown::Direction::Up);
    captions = sendNotingCaptions();
    EXPECT_TRUE(captions.contains("Reading the display for a backup..."));
    ASSERT_EQ(DisplayBackups(folder).size(), 2);
    EXPECT_TRUE(startsWithImage(backup(0), second, 1024));

    // Load Defaults keeps a backup too.
    const auto third = display->configMemory();
    scripted.answers = {MsgAnswer::Yes};
    form->Button7->click();
    ASSERT_EQ(messages().value(0), "Return to Defaults Succes !");
    ASSERT_EQ(DisplayBackups(folder).size(), 3);
    EXPECT_TRUE(startsWithImage(backup(0), third, 1024));
}

TEST_F(BackupE2E, ABackupThatCannotBeWrittenStopsSendAndLoadDefaults) {
    QDir().mkpath(QFileInfo(folder).path());
    QFile blocker(folder);  // a file where the backup folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    startDisplay(SimVariant::D84x48Log);
    ASSERT_NO_FATAL_FAILURE(connect());
    shortenSequencePauses();
    ASSERT_NO_FATAL_FAILURE(read());
    const auto before = display->configMemory();
    form->ComboBox1->setCurrentIndex(0);
    form->ComboBox1Change();
    form->UpDown1->click(TUpDown::Direction::Up);
    const auto edited = form->config.image;

    form->Button4->click();
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages().first().contains("could not be written")) << messages().first().toStdString();
    EXPECT_EQ(display->configMemory(), before);
    EXPECT_EQ(form->windowTitle(), kMarked);  // nothing was sent

    scripted.answers = {MsgAnswer::Yes};
    form->Button7->click();
    ASSERT_EQ(messages().size(), 2);
    EXPECT_TRUE(messages().last().contains("could not be written"));
    EXPECT_EQ(form->config.image, edited);
    EXPECT_EQ(display->configMemory(), before);
    EXPECT_EQ(display->counters().resets, 0u);
}

TEST_F(BackupE2E, ADisplayThatCannotBeReadIsOverwrittenOnlyWhenTheUserSaysSo) {
    startDisplay(SimVariant::D84x48Log);
    ASSERT_NO_FATAL_FAILURE(connect());
    shortenSequencePauses();
    const auto before = display->configMemory();
    form->config.LoadFactoryImage();  // stands for an imported configuration
    form->config.image[4] = 50;
    display->setCorruptCheckBytes(-1);  // every read fails its check byte

    form->Button4Click();  // the question answered No
    ASSERT_EQ(questions(), 1);
    EXPECT_TRUE(scripted.shown.back().text.contains("CRC error !!!")) << scripted.shown.back().text.toStdString();
    EXPECT_EQ(scripted.shown.back().defaultAnswer, MsgAnswer::No);
    EXPECT_EQ(display->configMemory(), before);
    EXPECT_TRUE(DisplayBackups(folder).isEmpty());

    scripted.answers = {MsgAnswer::Yes};
    form->Button4Click();
    EXPECT_EQ(display->configMemory()[4], 50);
    EXPECT_TRUE(DisplayBackups(folder).isEmpty());
}
