// Downloading the flight log from the virtual display through the view switch.

#include <QDateTime>
#include <QTimer>

#include "../device/device_fixture.h"

using namespace vorkal;
using namespace vorkal::testing;

namespace {

// A log memory whose records differ in every byte position that the table shows:
// records in slotCount 0 .. count-1, the rest erased.
std::vector<uint8_t> FilledLog(int slotCount, int count) {
    std::vector<uint8_t> log(size_t(slotCount) * 16, 0xFF);
    for (int r = 0; r < count; ++r) {
        uint8_t* p = log.data() + 16 * r;
        const uint8_t rec[16] = {0x30,
                                 0x61,
                                 0x4C,
                                 uint8_t(r % 24),
                                 0x24,
                                 0x3C,
                                 0x1E,
                                 uint8_t((r % 60) << 1),
                                 uint8_t(r % 60),
                                 45,
                                 uint8_t(r),
                                 0,
                                 30,
                                 uint8_t(r),
                                 1,
                                 uint8_t(r % 101)};
        std::copy(rec, rec + 16, p);
    }
    return log;
}

class LogDownloadTest : public WindowFixture {
protected:
    // Connects, reads the configuration (the view switch appears) and returns the
    // log memory the display was given.
    std::vector<uint8_t> prepare(sim::SimVariant variant, int slotCount, int records) {
        startDisplay(variant);
        const std::vector<uint8_t> log = FilledLog(slotCount, records);
        display->setLogMemory(log);
        connect();
        shortenSequencePauses();
        form->Button3->click();
        EXPECT_TRUE(form->config.configurationLoaded);
        EXPECT_TRUE(form->Button6->isVisible());
        return log;
    }
    std::vector<uint8_t> logImage(int bytes) const {
        return {form->config.logImage.begin(), form->config.logImage.begin() + bytes};
    }
    QString cell(int row, int col) const {
        const QTableWidgetItem* item = form->StringGrid2->item(row, col);
        return item ? item->text() : QString();
    }
};

}  // namespace

TEST_F(LogDownloadTest, SmallDisplayWithLogMemory) {
    const std::vector<uint8_t> log = prepare(sim::SimVariant::D84x48Log, 512, 20);
    const uint64_t before = display->counters().commands;
    const QDate dayBefore = QDateTime::currentDateTimeUtc().date();
    form->Button6Click();
    EXPECT_TRUE(messages().isEmpty()) << messages().join("|").toStdString();
    EXPECT_TRUE(form->config.logLoaded);
    // The download's date, which GPX points carry.
    EXPECT_GE(form->logDownloadDate, dayBefore);
    EXPECT_LE(form->logDownloadDate, QDateTime::currentDateTimeUtc().date());
    EXPECT_EQ(logImage(8192), log);
    EXPECT_GE(display->counters().commands - before, 512u);
    EXPECT_EQ(form->view(), TForm1::View::Log);
    EXPECT_FALSE(form->Form2->isVisible());
    EXPECT_TRUE(form->Timer2->isActive());
    // Newest first: slot 19 holds hour 19, height 19, RSSI 19.
    EXPECT_EQ(form->StringGrid2->rowCount(), 21);
    EXPECT_EQ(cell(1, 1), "19:19:19");
    EXPECT_EQ(cell(1, 5), "19m");
    EXPECT_EQ(cell(1, 8), "19%");
    EXPECT_EQ(cell(20, 1), "00:00:00");

    // Back and forth again: the log is loaded, nothing more is fetched.
    form->Button6Click();
    EXPECT_EQ(form->view(), TForm1::View::Screen);
    const uint64_t afterFirst = display->counters().commands;
    form->Button6Click();
    EXPECT_EQ(form->view(), TForm1::View::Log);
    EXPECT_LE(display->counters().commands - afterFirst, 3u);  // at most the poll's own traffic
}

TEST_F(LogDownloadTest, LargeDisplayReadsEightRecordsPerBlock) {
    const std::vector<uint8_t> log = prepare(sim::SimVariant::D128x64, 2048, 2048);
    form->Button6Click();
    EXPECT_TRUE(messages().isEmpty()) << messages().join("|").toStdString();
    EXPECT_TRUE(form->config.logLoaded);
    EXPECT_EQ(logImage(32768), log);
    // No empty slot: the newest record is the last slot, all 2048 listed.
    EXPECT_EQ(form->StringGrid2->rowCount(), 2049);
    EXPECT_EQ(cell(1, 5), "255m");  // slot 2047: height byte 2047 % 256
}

TEST_F(LogDownloadTest, CancelStopsTheDownloadAndStillShowsTheLog) {
    const std::vector<uint8_t> log = prepare(sim::SimVariant::D84x48Log, 512, 512);
    form->config.logImage.fill(0);
    display->setReplyDelayMs(3);  // long enough to press Cancel half-way
    QTimer::singleShot(300, form->Form2->Button1, &QPushButton::click);
    form->Button6Click();
    ASSERT_EQ(messages().size(), 1);
    EXPECT_EQ(messages()[0], "Canceled");
    EXPECT_FALSE(form->config.logLoaded);
    EXPECT_FALSE(form->logDownloadDate.isValid());
    EXPECT_EQ(form->view(), TForm1::View::Log);
    EXPECT_FALSE(form->Form2->isVisible());
    EXPECT_TRUE(form->Timer2->isActive());
    // The blocks read before Cancel are in the image, the rest is as it was.
    const std::vector<uint8_t> got = logImage(8192);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 16, log.begin()));
    EXPECT_EQ(got[8191], 0);

    // The next switch to the log view downloads again, now completely.
    display->setReplyDelayMs(0);
    scripted.shown.clear();
    form->Button6Click();
    form->Button6Click();
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_TRUE(form->config.logLoaded);
    EXPECT_EQ(logImage(8192), log);
}
