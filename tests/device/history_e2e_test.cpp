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
const QString kNotDownloaded = "The log was not downloaded since the display was connected, so no copy is kept.";

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
    // Clear Log answered Yes for a log this connection holds: asked once, without the
    // not-downloaded line, no message, one backup kept.
    void clearLogKeepingOneBackup() {
        scripted.answers = {MsgAnswer::Yes};
        form->Button9->click();
        ASSERT_EQ(questions(), 1);
        EXPECT_FALSE(scripted.shown.back().text.contains(kNotDownloaded));
        EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
        ASSERT_EQ(DisplayBackups(folder).size(), 1);
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

namespace {

// Ten log records the table shows as flights.
std::vector<uint8_t> tenRecords() {
    std::vector<uint8_t> log(8192, 0xFF);
    for (int r = 0; r < 10; ++r) {
        const uint8_t rec[16] = {0x30, 0x61, 0x4C, 12, 0x24, 0x3C, 0x1E, uint8_t(r << 1), 5, 45, 1, 0, 30, 1, 1, 50};
        std::copy(rec, rec + 16, log.begin() + 16 * r);
    }
    return log;
}


}  // namespace

TEST_F(BackupE2E, ClearLogKeepsALogDownloadedInThisConnection) {
    startDisplay(SimVariant::D84x48Log);
    const std::vector<uint8_t> log = tenRecords();
    display->setLogMemory(log);
    ASSERT_NO_FATAL_FAILURE(connect());
    shortenSequencePauses();
    ASSERT_NO_FATAL_FAILURE(read());
    form->Button6->click();  // downloads the log and shows it
    ASSERT_TRUE(form->config.logLoaded);
    const auto displayImage = display->configMemory();

    ASSERT_NO_FATAL_FAILURE(clearLogKeepingOneBackup());
    const QByteArray kept = backup();
    ASSERT_EQ(kept.size(), 8704);
    EXPECT_TRUE(startsWithImage(kept, displayImage, 512));
    EXPECT_EQ(kept.mid(512), QByteArray(reinterpret_cast<const char*>(log.data()), 8192)) << "the log is kept";
    EXPECT_EQ(display->logMemory()[7], 0xFF);  // and cleared in the display

    // A new connection has not downloaded the log: the question says it is not kept.
    display->setLogMemory(log);
    form->Button5->click();
    ASSERT_FALSE(form->AfComPort1->IsOpen());
    form->Button5->click();
    ASSERT_TRUE(waitUntilShownConnected());
    ASSERT_TRUE(form->Button9->isVisible());
    ASSERT_FALSE(form->config.logLoaded);
    struct Case {
        bool polish;
        MsgAnswer answer;
        QString line;
    };
    for (const Case& c : {Case{true, MsgAnswer::No,
                               QString::fromUtf8("Logi nie zostały pobrane od podłączenia wyświetlacza, więc nie "
                                                 "zostanie zachowana ich kopia.")},
                          Case{false, MsgAnswer::Yes, kNotDownloaded}}) {
        form->languagePolish = c.polish;
        scripted.answers = {c.answer};
        form->Button9->click();
        const QString text = scripted.shown.back().text;
        EXPECT_TRUE(text.contains("\r\n" + c.line + "\r\n")) << text.toStdString();
        EXPECT_EQ(display->logMemory()[7], c.answer == MsgAnswer::Yes ? 0xFF : log[7]);
    }
    form->languagePolish = false;
    EXPECT_EQ(DisplayBackups(folder).size(), 1);  // nothing to keep
    EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
}

// Without log memory the log lives in the configuration: a Receive of this connection
// has read it, and the backup is the display's image as read.
TEST_F(BackupE2E, ClearLogKeepsTheLogOfTheConfigurationAsReceived) {
    startDisplay(SimVariant::D84x48);
    auto memory = display->configMemory();
    for (int i = 495; i <= 503; ++i) memory[size_t(i)] = uint8_t(i);  // one record at the top of the log area
    display->setConfigMemory(memory);
    ASSERT_NO_FATAL_FAILURE(connect());
    ASSERT_FALSE(form->config.separateLog);
    shortenSequencePauses();
    ASSERT_NO_FATAL_FAILURE(read());
    form->Button6->click();
    const auto displayImage = display->configMemory();

    ASSERT_NO_FATAL_FAILURE(clearLogKeepingOneBackup());
    EXPECT_EQ(backup().size(), 512);
    EXPECT_TRUE(startsWithImage(backup(), displayImage, 512));
    EXPECT_EQ(display->configMemory()[495], 0xFF);

    // The display was written: its log is no longer the one read.
    scripted.answers = {MsgAnswer::No};
    form->Button9->click();
    EXPECT_TRUE(scripted.shown.back().text.contains(kNotDownloaded));
}

TEST_F(BackupE2E, ALogBackupThatCannotBeWrittenLeavesTheLogInTheDisplay) {
    QDir().mkpath(QFileInfo(folder).path());
    QFile blocker(folder);  // a file where the backup folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    startDisplay(SimVariant::D84x48Log);
    const std::vector<uint8_t> log = tenRecords();
    display->setLogMemory(log);
    ASSERT_NO_FATAL_FAILURE(connect());
    shortenSequencePauses();
    ASSERT_NO_FATAL_FAILURE(read());
    form->Button6->click();
    ASSERT_TRUE(form->config.logLoaded);

    scripted.answers = {MsgAnswer::Yes};
    form->Button9->click();
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages().first().startsWith("The backup of the log could not be written to " + folder))
        << messages().first().toStdString();
    EXPECT_EQ(display->logMemory()[7], log[7]);
    EXPECT_TRUE(form->config.logLoaded);
}
