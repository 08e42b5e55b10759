// The backup decisions before the display is overwritten: when the display is read
// first, what the backup holds, and what a failed read or write leaves to the caller.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "display_backup_keeper.h"

using namespace vorkal;

namespace {

using Kind = DisplayBackupKeeper::Result::Kind;
using Image = std::array<uint8_t, kImageSize>;

struct Keeper {
    Keeper() {
        config.setVariant(DisplayVariant::D128x64);
        config.separateLog = true;
        config.image.fill(0x11);
    }
    DisplayBackupKeeper make(const QString& folder) {
        return DisplayBackupKeeper(
            config,
            [this](Image& dest) {
                ++reads;
                dest = display;
                return readError;
            },
            folder, [this] { return when = when.addMSecs(1); });
    }
    QByteArray file(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll().left(kImageSize) : QByteArray();
    }
    static QByteArray bytes(const Image& image) {
        return QByteArray(reinterpret_cast<const char*>(image.data()), kImageSize);
    }

    QTemporaryDir dir;
    ConfigImage config;
    Image display = [] {
        Image d;
        d.fill(0x33);
        return d;
    }();
    QString readError;
    int reads = 0;
    QDateTime when = QDateTime(QDate(2026, 12, 10), QTime(14, 0));
};

}  // namespace

TEST(DisplayBackupKeeper, ReadsTheDisplayOnlyWhenItsImageIsUnknown) {
    Keeper k;
    DisplayBackupKeeper keeper = k.make(k.dir.path());

    // Unknown: read first; the backup holds what the display answered.
    auto r = keeper.backUp();
    ASSERT_EQ(r.kind, Kind::Written) << r.error.toStdString();
    EXPECT_EQ(k.reads, 1);
    EXPECT_EQ(k.file(r.path), Keeper::bytes(k.display));
    EXPECT_EQ(keeper.lastPath(), r.path);
    EXPECT_FALSE(keeper.displayKnown()) << "after a backup the display is about to be written";

    // Read in this connection, then told to show layout 3: no read, the received image
    // with the layout the display now shows.
    Image received;
    received.fill(0x44);
    received[kLayoutByte] = 0x30;
    keeper.displayRead(received);
    keeper.displayShowsLayout(2);
    r = keeper.backUp();
    ASSERT_EQ(r.kind, Kind::Written);
    EXPECT_EQ(k.reads, 1) << "read although the image was known";
    received[kLayoutByte] = 0x32;
    EXPECT_EQ(k.file(r.path), Keeper::bytes(received));

    // Anything written since (Set Baud, Clear Log, firmware, a new connection): read again.
    for (const char* why : {"written", "reconnected"}) {
        SCOPED_TRACE(why);
        keeper.displayRead(received);
        keeper.displayChanged();
        keeper.displayShowsLayout(1);  // ignored while unknown
        r = keeper.backUp();
        ASSERT_EQ(r.kind, Kind::Written);
        EXPECT_EQ(k.file(r.path), Keeper::bytes(k.display));
    }
    EXPECT_EQ(k.reads, 3);
    EXPECT_EQ(DisplayBackups(k.dir.path()).size(), 4);
}

TEST(DisplayBackupKeeper, AFailedReadOrWriteSaysSoAndWritesNothing) {
    Keeper k;
    k.readError = "No communication !";
    DisplayBackupKeeper unreadable = k.make(k.dir.path());
    auto r = unreadable.backUp();
    EXPECT_EQ(r.kind, Kind::ReadFailed);
    EXPECT_EQ(r.error, k.readError);
    EXPECT_TRUE(DisplayBackups(k.dir.path()).isEmpty());
    EXPECT_FALSE(unreadable.displayKnown());

    // A folder that cannot be made: a plain file stands where it should be.
    k.readError.clear();
    const QString blocked = k.dir.filePath("blocked");
    QFile plain(blocked);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    DisplayBackupKeeper unwritable = k.make(blocked + "/backups");
    Image received;
    received.fill(0x55);
    unwritable.displayRead(received);
    r = unwritable.backUp();
    EXPECT_EQ(r.kind, Kind::WriteFailed);
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_TRUE(unwritable.lastPath().isEmpty());
    EXPECT_TRUE(unwritable.displayKnown()) << "nothing was sent, so the display still holds what was read";
    EXPECT_EQ(k.reads, 1);
}

TEST(DisplayBackupKeeper, KeepsTheNewestFifty) {
    Keeper k;
    DisplayBackupKeeper keeper = k.make(k.dir.path());
    QString first;
    for (int n = 0; n < kBackupsKept + 3; ++n) {
        const auto r = keeper.backUp();
        ASSERT_EQ(r.kind, Kind::Written);
        if (n == 0) first = r.path;
    }
    const QStringList kept = DisplayBackups(k.dir.path());
    EXPECT_EQ(kept.size(), kBackupsKept);
    EXPECT_FALSE(QFile::exists(first));
    EXPECT_EQ(k.dir.filePath(kept.first()), keeper.lastPath());
}

// Before Clear Log: the log counts as held when this connection downloaded it (separate
// log memory) or read it with the configuration (log in the image); keeping it never
// reads the display.
TEST(DisplayBackupKeeper, KeepsTheLogThisConnectionHoldsWithoutReadingTheDisplay) {
    Keeper k;
    k.config.setVariant(DisplayVariant::D84x48);
    DisplayBackupKeeper keeper = k.make(k.dir.path());
    Image received;
    received.fill(0x44);
    struct Case {
        bool separateLog, logLoaded, displayRead;
        bool known;
    };
    for (const Case& c : {Case{true, false, true, false}, Case{true, true, false, true},
                          Case{false, false, false, false}, Case{false, false, true, true},
                          Case{false, true, false, false}}) {
        k.config.separateLog = c.separateLog;
        k.config.logLoaded = c.logLoaded;
        if (c.displayRead) keeper.displayRead(received);
        else keeper.displayChanged();
        EXPECT_EQ(keeper.logKnown(), c.known)
            << "separate " << c.separateLog << " loaded " << c.logLoaded << " read " << c.displayRead;
    }

    // Downloaded log, configuration unknown: the one shown goes with it.
    k.config.separateLog = true;
    k.config.logLoaded = true;
    k.config.logImage.fill(0xFF);
    k.config.logImage[0] = 0x30;
    k.config.logImage[8191] = 0x31;
    keeper.displayChanged();
    auto r = keeper.backUpLog();
    ASSERT_EQ(r.kind, Kind::Written) << r.error.toStdString();
    QFile file(r.path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray kept = file.readAll();
    ASSERT_EQ(kept.size(), 512 + 8192);
    EXPECT_EQ(kept.left(512), Keeper::bytes(k.config.image).left(512));
    EXPECT_EQ(kept.mid(512), QByteArray(reinterpret_cast<const char*>(k.config.logImage.data()), 8192));

    // Log in the image, read in this connection: the display's image as read.
    k.config.separateLog = false;
    keeper.displayRead(received);
    r = keeper.backUpLog();
    ASSERT_EQ(r.kind, Kind::Written);
    EXPECT_EQ(k.file(r.path), Keeper::bytes(received).left(512));
    EXPECT_TRUE(keeper.displayKnown()) << "keeping the log wrote nothing to the display";
    EXPECT_EQ(k.reads, 0);
    EXPECT_EQ(DisplayBackups(k.dir.path()).size(), 2);
}
