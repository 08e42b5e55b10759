// Every file the program writes, on a real file system that is full or read-only: the
// user is told which file and why, the earlier file stays byte for byte, nothing is left
// behind, the unsaved mark stays, and the display is not overwritten without its backup.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>

#include "atomic_file.h"
#include "device_fixture.h"
#include "display_backup.h"
#include "log_records.h"
#include "settings_file.h"
#include "small_file_system.h"
#include "track_window.h"
#include "window_texts.h"

using namespace vorkal;
using namespace vorkal::testing;
using sim::SimVariant;

namespace {

QString systemText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Bytes that no export of the program writes, so a file replaced by one shows.
QByteArray earlierFile(const QString& name, int size) {
    QByteArray bytes;
    while (bytes.size() < size) bytes += "earlier " + name.toUtf8() + "\r\n";
    return bytes.left(size);
}

class FullDisk : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        if (!MountNamespaceUnavailable().isEmpty())
            GTEST_SKIP() << "no mount namespace for a tmpfs of the test's own: "
                         << MountNamespaceUnavailable().toStdString();
        const QString why = disk.mount(1 << 20);
        ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    }

    void fillDisk() {
        const QString why = disk.fill();
        ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    }
    void setReadOnly(bool readOnly) {
        const QString why = disk.setReadOnly(readOnly);
        ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    }
    // Puts a file on the disk as a user had it before.
    QByteArray putFile(const QString& name, const QByteArray& bytes) {
        QFile file(disk.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
        EXPECT_EQ(file.write(bytes), bytes.size());
        file.close();
        return bytes;
    }
    // Chooses `path` in the next save dialog; replacing a file that exists is confirmed.
    void chooseInSaveDialog(const QString& path, int filterIndex = 1) {
        scripted.fileAnswers.push_back({path, filterIndex});
        if (QFile::exists(path)) scripted.answers.push_back(MsgAnswer::Yes);
    }
    // One message since `before` was counted, and it is `expected`.
    void expectOneMessage(size_t before, const QString& expected) {
        ASSERT_EQ(size_t(messages().size()), before + 1) << messages().join(" | ").toStdString();
        EXPECT_EQ(messages().last(), expected);
    }
    bool markedUnsaved() const {
        return form->edits.hasUnsavedChanges() && form->windowTitle() == QString(vorkal::kWindowCaption) + " *";
    }
    // An edit through the element controls: the window holds changes nobody has.
    void editSomething() {
        form->ComboBox1->setCurrentIndex(0);
        form->ComboBox1Change();
        form->UpDown1->click(TUpDown::Direction::Up);
        ASSERT_TRUE(markedUnsaved());
    }
    // The window in the log view with three flights of a 128 x 64 display's log.
    void showLog() {
        form = std::make_unique<TForm1>();
        form->SetDisplay128x64();
        form->config.logImage.fill(0xFF);
        int slot = 0;
        for (int f = 0; f < 3; ++f)
            for (int i = 0; i < 4; ++i) {
                const vorkal::test::RecordFields r{.hour = 10,
                                                   .minute = 10 * f,
                                                   .second = 10 * i,
                                                   .latitude = 5006143 + 150 * i * f,
                                                   .longitude = 1993812 + 150 * i,
                                                   .height = 200 + 40 * i,
                                                   .rssi = 70 - i};
                vorkal::test::putLogRecord(form->config, slot++, vorkal::test::encodeRecord(r));
            }
        form->show();
        form->setView(TForm1::View::Log);
        form->LogsView();
        ASSERT_GT(form->StringGrid2->rowCount(), 12);
    }

    SmallFileSystem disk;
};

TEST_F(FullDisk, TheWriterLeavesTheOldFileAndNoTrace) {
    struct Case {
        const char* what;
        qsizetype size;
        bool fill;  // else the data is simply larger than the disk
    };
    const QByteArray old = putFile("old.set", earlierFile("old.set", 8704));
    for (const Case& c :
         {Case{"one byte", 1, true}, Case{"under a page", 512, true}, Case{"more than a buffer", 16385, true},
          Case{"a settings file", 33792, true}, Case{"larger than the disk", 2 << 20, false}}) {
        SCOPED_TRACE(c.what);
        if (c.fill) {
            ASSERT_NO_FATAL_FAILURE(fillDisk());
        }
        QString reason;
        EXPECT_FALSE(WriteFileAtomically(disk.filePath("old.set"), QByteArray(c.size, 'n'), &reason));
        EXPECT_EQ(reason, systemText(ENOSPC));
        EXPECT_EQ(contents(disk.filePath("old.set")), old);
        EXPECT_EQ(disk.entries(), QStringList{"old.set"});
        disk.release();
    }
    // With room again the same file is replaced.
    QString reason;
    EXPECT_TRUE(WriteFileAtomically(disk.filePath("old.set"), "new", &reason)) << reason.toStdString();
    EXPECT_EQ(contents(disk.filePath("old.set")), "new");
    EXPECT_EQ(disk.entries(), QStringList{"old.set"});
}

TEST_F(FullDisk, SettingsExportKeepsTheOldFileAndTheUnsavedMark) {
    struct Case {
        const char* name;
        bool large, separateLog;
        qsizetype size;
        int fault;  // ENOSPC: the disk is full; EROFS: it is read-only
    };
    QStringList files;
    for (const Case& c :
         {Case{"small.set", false, false, 512, ENOSPC}, Case{"log.set", false, true, 8704, ENOSPC},
          Case{"large.set", true, true, 33792, ENOSPC}, Case{"readonly.set", false, true, 8704, EROFS}}) {
        SCOPED_TRACE(c.name);
        form = std::make_unique<TForm1>();
        form->show();
        if (c.large) form->SetDisplay128x64();
        form->config.LoadFactoryImage();
        form->config.separateLog = c.separateLog;
        for (size_t i = 0; i < form->config.logImage.size(); ++i) form->config.logImage[i] = uint8_t(i * 13 + 5);
        form->ShowLoadedConfiguration();

        // Exported once with room on the disk, then edited.
        const QString path = disk.filePath(c.name);
        chooseInSaveDialog(path);
        form->Button2->click();
        ASSERT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
        const QByteArray old = contents(path);
        ASSERT_EQ(old.size(), c.size);
        files << c.name;
        files.sort();
        ASSERT_NO_FATAL_FAILURE(editSomething());
        ASSERT_NE(SettingsFileBytes(form->config), old);

        if (c.fault == ENOSPC) {
            ASSERT_NO_FATAL_FAILURE(fillDisk());
        } else {
            ASSERT_NO_FATAL_FAILURE(setReadOnly(true));
        }
        const size_t before = messages().size();
        chooseInSaveDialog(path);
        form->Button2->click();
        expectOneMessage(before, QString("Cannot write the file %1:\n%2").arg(path, systemText(c.fault)));
        EXPECT_EQ(contents(path), old);
        EXPECT_TRUE(markedUnsaved());
        EXPECT_EQ(disk.entries(), files);

        // With room again the export goes through and the mark goes.
        if (c.fault == ENOSPC) {
            disk.release();
        } else {
            ASSERT_NO_FATAL_FAILURE(setReadOnly(false));
        }
        chooseInSaveDialog(path);
        form->Button2->click();
        EXPECT_EQ(size_t(messages().size()), before + 1);
        EXPECT_EQ(contents(path), SettingsFileBytes(form->config));
        EXPECT_FALSE(form->edits.hasUnsavedChanges());
        EXPECT_EQ(disk.entries(), files);
        scripted.shown.clear();
    }
}

TEST_F(FullDisk, EveryLogExportKeepsTheOldFile) {
    ASSERT_NO_FATAL_FAILURE(showLog());
    struct Case {
        int filterIndex;
        const char* name;
    };
    const Case cases[] = {{1, "flight.txt"}, {2, "flight.kml"}, {3, "extruded.kml"}, {4, "flight.gpx"}};
    QStringList files;
    for (const Case& c : cases) {
        putFile(c.name, earlierFile(c.name, 3000));
        files << c.name;
    }
    files.sort();
    ASSERT_NO_FATAL_FAILURE(fillDisk());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = disk.filePath(c.name);
        const size_t before = messages().size();
        chooseInSaveDialog(path, c.filterIndex);
        form->Button10->click();
        expectOneMessage(before, QString("Cannot write the file %1:\n%2").arg(path, systemText(ENOSPC)));
        EXPECT_EQ(contents(path), earlierFile(c.name, 3000));
        EXPECT_EQ(disk.entries(), files);
    }
}

TEST_F(FullDisk, TrackPictureKeepsTheOldFile) {
    ASSERT_NO_FATAL_FAILURE(showLog());
    form->RadioGroup6->setItemIndex(1);  // Polish: the message follows the window's language
    QTest::mouseClick(form->TrackButton, Qt::LeftButton);
    TrackWindow* track = form->trackWindow();
    ASSERT_NE(track, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(track));
    const QString path = disk.filePath("track.png");
    const QByteArray old = putFile("track.png", earlierFile("track.png", 20000));
    ASSERT_NO_FATAL_FAILURE(fillDisk());

    chooseInSaveDialog(path);
    QTest::mouseClick(track->saveButton, Qt::LeftButton);
    expectOneMessage(0, QString::fromUtf8("Nie można zapisać pliku %1:\n%2").arg(path, systemText(ENOSPC)));
    EXPECT_EQ(contents(path), old);
    EXPECT_EQ(disk.entries(), QStringList{"track.png"});

    // With room again the picture replaces it.
    disk.release();
    chooseInSaveDialog(path);
    QTest::mouseClick(track->saveButton, Qt::LeftButton);
    EXPECT_EQ(messages().size(), 1);
    QImage saved;
    ASSERT_TRUE(saved.load(path, "PNG"));
    EXPECT_EQ(saved.size(), track->view->size());
}

TEST_F(FullDisk, NoBackupMeansSendAndLoadDefaultsSendNothing) {
    qputenv("XDG_DATA_HOME", disk.filePath("data").toUtf8());
    const QString folder = DisplayBackupFolder();
    ASSERT_TRUE(folder.startsWith(disk.path())) << folder.toStdString();
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString earlier = "2026-01-01_00-00-00-000_84x48.set";
    const QByteArray earlierBackup =
        putFile(QDir(disk.path()).relativeFilePath(folder) + "/" + earlier, earlierFile(earlier, 8704));
    startDisplay(SimVariant::D84x48Log);
    ASSERT_NO_FATAL_FAILURE(connect());
    shortenSequencePauses();
    form->Button3->click();  // Receive
    ASSERT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
    ASSERT_NO_FATAL_FAILURE(editSomething());
    const auto edited = form->config.image;
    const auto displayed = display->configMemory();
    const QStringList entries = disk.entries();
    ASSERT_NO_FATAL_FAILURE(fillDisk());

    // The message names the backup that could not be written and why.
    const QRegularExpression expected(
        "^The backup of the display could not be written to " + QRegularExpression::escape(folder) +
        "/\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d-\\d{3}_84x48\\.set, so nothing was sent\\.\r\n" +
        QRegularExpression::escape(systemText(ENOSPC)) + "$");
    form->Button4->click();  // Send
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(expected.match(messages().last()).hasMatch()) << messages().last().toStdString();
    EXPECT_EQ(display->configMemory(), displayed);
    EXPECT_TRUE(markedUnsaved());

    scripted.answers = {MsgAnswer::Yes};
    form->Button7->click();  // Load Defaults
    ASSERT_EQ(messages().size(), 2);
    EXPECT_TRUE(expected.match(messages().last()).hasMatch()) << messages().last().toStdString();
    EXPECT_EQ(display->configMemory(), displayed);
    EXPECT_EQ(display->counters().resets, 0u);
    EXPECT_EQ(form->config.image, edited);
    EXPECT_TRUE(markedUnsaved());
    EXPECT_EQ(disk.entries(), entries);
    EXPECT_EQ(contents(QDir(folder).filePath(earlier)), earlierBackup);

    // With room again Send keeps its backup and sends.
    disk.release();
    form->Button4->click();
    EXPECT_EQ(messages().size(), 2) << messages().join(" | ").toStdString();
    EXPECT_EQ(DisplayBackups(folder).size(), 2);
    EXPECT_TRUE(std::equal(edited.begin(), edited.begin() + 512, display->configMemory().begin()));
    EXPECT_FALSE(form->edits.hasUnsavedChanges());
}

TEST_F(FullDisk, ScreenshotOptionKeepsTheOldFile) {
    const QString path = disk.filePath("window.png");
    const QByteArray old = putFile("window.png", earlierFile("window.png", 5000));
    ASSERT_NO_FATAL_FAILURE(fillDisk());
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(env);
    program.start(VORKAL_PROGRAM, {"--screenshot", path});
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_TRUE(err.contains(path + ": " + systemText(ENOSPC))) << err.toStdString();
    EXPECT_EQ(contents(path), old);
    EXPECT_EQ(disk.entries(), QStringList{"window.png"});
}

}  // namespace
