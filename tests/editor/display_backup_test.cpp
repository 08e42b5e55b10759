// Backup files of the display's configuration: names, contents that Import accepts,
// keeping the newest 50 and a folder that cannot be written.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>

#include "display_backup.h"
#include "settings_file.h"

using namespace vorkal;

namespace {

QDateTime at(int minute, int ms = 0) {
    return QDateTime(QDate(2026, 12, 10), QTime(14, 0, 0)).addSecs(60 * minute).addMSecs(ms);
}

}  // namespace

TEST(DisplayBackup, FilesAreSettingsFilesOfTheDisplaysImage) {
    struct Case {
        DisplayVariant variant;
        bool separateLog;
        qint64 size;
        const char* suffix;
    };
    for (const Case c : {Case{DisplayVariant::D84x48, false, 512, "_84x48.set"},
                         Case{DisplayVariant::D84x48, true, 8704, "_84x48.set"},
                         Case{DisplayVariant::D128x64, true, 33792, "_128x64.set"}}) {
        SCOPED_TRACE(c.size);
        QTemporaryDir dir;
        ConfigImage config;
        config.setVariant(c.variant);
        config.separateLog = c.separateLog;
        config.image.fill(0x11);
        config.logImage.fill(0x22);
        std::array<uint8_t, kImageSize> display{};
        for (size_t i = 0; i < display.size(); ++i) display[i] = uint8_t(i * 7 + 1);

        const BackupWrite written =
            WriteDisplayBackup(dir.path(), BackupFileBytes(config, display), c.variant, at(5, 123));
        ASSERT_TRUE(written.ok()) << written.error.toStdString();
        const QString path = written.path;
        EXPECT_EQ(QFileInfo(path).fileName(), QString("2026-12-10_14-05-00-123") + c.suffix);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        ASSERT_EQ(bytes.size(), c.size);
        ASSERT_TRUE(IsSettingsFileSize(bytes.size()));
        // Read back as Import reads it: the display's image, the window's log image.
        ConfigImage restored;
        EXPECT_EQ(LoadSettingsFile(restored, bytes), c.variant);
        const int imagePart = c.variant == DisplayVariant::D128x64 ? 1024 : 512;
        EXPECT_TRUE(std::equal(display.begin(), display.begin() + imagePart, restored.image.begin()));
        EXPECT_EQ(restored.logImage[0], c.separateLog ? 0x22 : 0x00);
    }
}

TEST(DisplayBackup, KeepsTheNewestFiftyAndLeavesOtherFilesAlone) {
    QTemporaryDir dir;
    QFile other(dir.filePath("my layout.set"));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.close();
    const QByteArray bytes(512, '\x01');
    // Written out of order, two in the same millisecond.
    for (int n = 0; n < 51; ++n) {
        const int minute = (n * 37) % 51;
        ASSERT_TRUE(WriteDisplayBackup(dir.path(), bytes, DisplayVariant::D84x48, at(minute)).ok());
    }
    ASSERT_EQ(DisplayBackups(dir.path()).size(), 50);
    EXPECT_EQ(DisplayBackups(dir.path()).last(), "2026-12-10_14-01-00-000_84x48.set");
    ASSERT_TRUE(WriteDisplayBackup(dir.path(), bytes, DisplayVariant::D84x48, at(50)).ok());

    const QStringList kept = DisplayBackups(dir.path());
    ASSERT_EQ(kept.size(), 50);
    EXPECT_EQ(kept.first(), "2026-12-10_14-50-00-000_84x48_2.set");
    EXPECT_EQ(kept.at(1), "2026-12-10_14-50-00-000_84x48.set");
    EXPECT_EQ(kept.last(), "2026-12-10_14-02-00-000_84x48.set");  // minutes 0 and 1 went
    EXPECT_TRUE(QFile::exists(other.fileName()));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 51);
}

TEST(DisplayBackup, AFolderThatCannotBeMadeIsReported) {
    QTemporaryDir dir;
    QFile blocker(dir.filePath("backups"));  // a file where the folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const BackupWrite written =
        WriteDisplayBackup(blocker.fileName(), QByteArray(512, 0), DisplayVariant::D84x48, at(0));
    EXPECT_FALSE(written.ok());
    EXPECT_EQ(written.path, blocker.fileName());  // the folder that could not be made
    EXPECT_EQ(written.error, QString::fromLocal8Bit(std::strerror(ENOTDIR)));
}
