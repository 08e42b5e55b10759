// The handshake and the identification against a scripted boot loader: what goes on
// the wire while nobody answers, Cancel, and the block sizes a boot loader may report.

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>

#include "fake_boot_loader.h"
#include "line_protocol.h"
#include "firmware_update.h"
#include "update_fixture.h"

using namespace vorkal;
using namespace vorkal::testing;

namespace {

constexpr int kFakeCom = 44;
const QByteArray kReset("\xF7ReSeT\r\n", 8);
const QByteArray kHandshake("Mofe\xFF", 5);
const QString kInstructions =
    "1. Turn off display power\r\n2. Click OK\r\n3. Reconnect display power\r\n4. Wait for end of update";

class BootExchange : public UpdateFixture {
protected:
    void startFake(bool answerHandshake, std::deque<QByteArray> identify = {}) {
        fake = std::make_unique<FakeBootLoader>(portDir.path(), kFakeCom, answerHandshake, std::move(identify));
        ASSERT_TRUE(fake->ok());
        ASSERT_NO_FATAL_FAILURE(openPort(kFakeCom));
        shortenUpdateWaits();
        // The poll's first tick after Open sends its version query, taken at once here; it
        // is not part of the update.
        form->Timer2Timer();
        ASSERT_TRUE(waitFor([this] { return fake->wire().endsWith(VersionQueryLine()); }))
            << fake->wire().toHex().toStdString();
        fake->clearWire();
    }
    void TearDown() override {
        UpdateFixture::TearDown();
        fake.reset();
    }
    void update(int length) {
        script(writeFile("image.hex", ToHex(MakeFirmware(length, "v5.00"))));
        form->Button11Click();
    }

    // The handshake's wire: counts of handshake strings between reset commands; false
    // when anything else was sent.
    static bool handshakeRuns(QByteArray wire, std::vector<int>* runs) {
        runs->clear();
        while (!wire.isEmpty()) {
            if (wire.startsWith(kReset)) {
                runs->push_back(0);
                wire.remove(0, kReset.size());
            } else if (wire.startsWith(kHandshake) && !runs->empty()) {
                ++runs->back();
                wire.remove(0, kHandshake.size());
            } else {
                return false;
            }
        }
        return true;
    }

    std::unique_ptr<FakeBootLoader> fake;
};

}  // namespace

TEST_F(BootExchange, NoCommunicationAfterTheRepeatedResetAndTheInstructions) {
    ASSERT_NO_FATAL_FAILURE(startFake(false));
    form->firmwareUpdate().handshakeTimeouts.afterInstructionsMs = 300;
    update(1000);

    EXPECT_EQ(messages(), (QStringList{kInstructions, "No communication !", StrandedDisplayHint(false, false)}));
    std::vector<int> runs;
    ASSERT_TRUE(handshakeRuns(fake->wire(), &runs)) << fake->wire().toHex().toStdString();
    // The reset, the handshake every 100 ms, the reset again after about a second.
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_GE(runs[0], 9);  // the tenth may be purged by the second reset
    EXPECT_LE(runs[0], 10);
    EXPECT_GE(runs[1], 10);
    EXPECT_EQ(fake->identifyCommands(), 0);
    EXPECT_EQ(form->Timer1->interval(), 500);
    expectIdleAfterwards();
}

TEST_F(BootExchange, CancelEndsTheHandshakeAtOnce) {
    ASSERT_NO_FATAL_FAILURE(startFake(false));
    QTimer presser;
    QObject::connect(&presser, &QTimer::timeout, [&] {
        if (form->Form2->isVisible() && form->Form2->ProgressBar1->value() >= 3) form->Form2->Button1->click();
    });
    presser.start(10);
    update(1000);

    EXPECT_EQ(messages(), (QStringList{"No communication !", StrandedDisplayHint(false, false)}));
    std::vector<int> runs;
    ASSERT_TRUE(handshakeRuns(fake->wire(), &runs));
    EXPECT_EQ(runs.size(), 1u);  // ended before the reset was repeated
    EXPECT_EQ(fake->identifyCommands(), 0);
    expectIdleAfterwards();
}

// A port that closes while the boot loader is being identified (a pulled cable, the
// window closed) ends the update there: no attempt waits out its time-out, and a block
// size remembered from before does not take it on to programming.
TEST_F(BootExchange, AClosedPortEndsTheIdentificationAtOnce) {
    ASSERT_NO_FATAL_FAILURE(startFake(true, {QByteArray()}));
    ASSERT_EQ(form->firmwareUpdate().waits.identifyTimeoutMs, 1000);  // the program's own
    QTimer puller;
    QObject::connect(&puller, &QTimer::timeout, [&] {
        if (fake->identifyCommands() >= 1 && form->AfComPort1->IsOpen()) form->AfComPort1->ClosePort();
    });
    puller.start(2);
    QElapsedTimer took;
    took.start();
    update(100);

    EXPECT_EQ(messages(), (QStringList{"Error during programming !", StrandedDisplayHint(false, false)}));
    // Not past the identification: programming would wait out a block's time-out.
    EXPECT_FALSE(form->firmwareUpdate().programmingStarted());
    EXPECT_LT(took.elapsed(), 4000);
    EXPECT_EQ(fake->identifyCommands(), 1);
    EXPECT_TRUE(fake->programmed().isEmpty());
}

TEST_F(BootExchange, IdentificationByBlockSize) {
    struct Case {
        const char* name;
        std::deque<QByteArray> replies;
        int length;
        QString message;
        int identifyCommands;
        int blockSizeAfter;
    };
    const QByteArray silent;
    const auto f = [](uint32_t v, int n = 2) { return FakeBootLoader::Frame(v, n); };
    std::deque<QByteArray> ten256(10, f(256)), nine256(9, f(256));
    nine256.push_back(silent);
    const Case cases[] = {
        {"512", {f(512)}, 1300, "Update successfull !", 1, 512},
        {"unknown, then 512", {f(256), f(512)}, 100, "Update successfull !", 2, 512},
        {"low 16 bits of a longer value", {f(0x00010200, 4)}, 100, "Update successfull !", 1, 512},
        {"never a known size", ten256, 100, "Not recognized processor !", 10, 256},
        {"unknown sizes, then silence", nine256, 100, "Error during programming !", 10, 256},
        {"1792 with a short image",
         {f(1792)},
         1300,
         "Incompatible firmare !\r\nThe image holds 1300 bytes; this display's boot loader takes 15900 to 32500 "
         "bytes: the file is firmware for the smaller processor.",
         1,
         1792},
        // A silent first attempt keeps the size the program started with.
        {"silent, size remembered", {silent}, 100, "Update successfull !", 1, 512},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        scripted.shown.clear();
        ASSERT_NO_FATAL_FAILURE(startFake(true, c.replies));
        // A boot loader that answers no identification at all may be given up on quickly.
        if (std::all_of(c.replies.begin(), c.replies.end(), [](const QByteArray& r) { return r.isEmpty(); }))
            form->firmwareUpdate().waits.identifyTimeoutMs = 50;
        const auto image = MakeFirmware(c.length, "v5.00");
        script(writeFile("image.hex", ToHex(image)));
        form->Button11Click();

        QStringList expected{c.message};
        if (c.message != "Update successfull !") expected << StrandedDisplayHint(false, false);
        EXPECT_EQ(messages(), expected);
        EXPECT_EQ(fake->identifyCommands(), c.identifyCommands);
        EXPECT_EQ(form->firmwareUpdate().blockSize, c.blockSizeAfter);
        const QByteArray bytes(reinterpret_cast<const char*>(image.data()), qsizetype(image.size()));
        if (c.message == "Update successfull !") {
            EXPECT_EQ(fake->programmed(), bytes);
            EXPECT_EQ(fake->verified(), bytes);
            // The last command may still be on its way through the port when the update returns.
            EXPECT_TRUE(waitFor([&] { return fake->wire().endsWith(QByteArray("\xA5\x80\xA5\x05", 4)); }, 2000));
        } else {
            EXPECT_TRUE(fake->programmed().isEmpty());
        }
        expectIdleAfterwards();
        TearDown();
    }
}

TEST_F(BootExchange, EscapedBytesOnTheWire) {
    ASSERT_NO_FATAL_FAILURE(startFake(true, {FakeBootLoader::Frame(512)}));
    std::vector<uint8_t> image = MakeFirmware(100, "v5.00");
    std::fill(image.begin() + 80, image.end(), 0xA5);
    script(writeFile("image.hex", ToHex(image)));
    form->Button11Click();
    ASSERT_EQ(messages(), QStringList{"Update successfull !"});

    QByteArray escaped;
    for (uint8_t b : image) {
        escaped.append(char(b));
        if (b == 0xA5) escaped.append(char(0x25));
    }
    const QByteArray program = QByteArray("\xA5\xA5\xA5\x04", 4) + escaped + QByteArray("\xA5\x80", 2);
    const QByteArray verify = QByteArray("\xA5\xA5\xA5\x07", 4) + escaped + QByteArray("\xA5\x80", 2);
    // The last command may still be on its way through the port when the update returns.
    waitFor([&] { return fake->wire().endsWith(QByteArray("\xA5\x05", 2)); }, 2000);
    const QByteArray wire = fake->wire();
    const qsizetype at = wire.indexOf(program);
    ASSERT_GE(at, 0);
    EXPECT_EQ(wire.mid(at + program.size()), verify + QByteArray("\xA5\x05", 2));
    EXPECT_EQ(form->Form2->ProgressBar1->maximum(), 100 / 16);
}
