// The window's receive side and transactions against a scripted peer that sends
// exactly the bytes a case needs: split and stray lines, version lines in the middle of
// an exchange, malformed and hostile replies, and the boot loader's byte replies.

#include <QElapsedTimer>
#include <QTimer>

#include "device_fixture.h"
#include "scripted_peer.h"

using namespace vorkal;
using namespace vorkal::testing;
using Chunk = ScriptedPeer::Chunk;

namespace {

// A block read reply built here independently of the program's framing.
QByteArray blockReply(const QByteArray& echo, const QByteArray& data) {
    int sum = 1;
    for (char b : data) sum += uint8_t(b);
    const uint8_t check = uint8_t((sum & 0xFF) ^ 0xA5);
    return echo + data.toHex().toUpper() + "," + QByteArray(1, char(check)).toHex().toUpper();
}

QByteArray sample16() {
    QByteArray d;
    for (int i = 0; i < 16; ++i) d += char(0x30 + 11 * i);
    return d;
}

class ReceiveSide : public WindowFixture {
protected:
    void startPeer(ScriptedPeer::Responder respond) {
        peer = std::make_unique<ScriptedPeer>(portDir.path(), kCom, std::move(respond));
        ASSERT_TRUE(peer->ok());
    }
    // Opens the port with the poll stopped, so only the test talks.
    void openQuiet() {
        ASSERT_NO_FATAL_FAILURE(openPort());
        form->Timer2->stop();
    }
    void TearDown() override {
        WindowFixture::TearDown();
        peer.reset();
    }
    std::unique_ptr<ScriptedPeer> peer;
};

}  // namespace

TEST_F(ReceiveSide, ConfigBlockReadAgainstHostileReplies) {
    const QByteArray good = blockReply("0", sample16());
    QByteArray wrongCheck = good;
    wrongCheck[35] = wrongCheck[35] == '1' ? '2' : '1';
    QByteArray garbage;
    for (int i = 0; i < 300; ++i) garbage += char((i * 97 + 13) & 0xFF);
    garbage.replace('\n', 'x');
    // The 16 bytes "not hex" read as zeros; the check byte is that of 16 zeros.
    const QByteArray nonHex = "0" + QByteArray(32, 'g') + ",A4";

    struct Case {
        const char* what;
        std::vector<Chunk> answer;  // to every read of block 0
        QString error;
        QByteArray image;           // bytes 0..15 afterwards (when checked)
        bool polish = false;
    };
    const Case cases[] = {
        {"plain reply", {{0, good + "\r\n"}}, "", sample16()},
        {"split with CR inside", {{0, good.left(5)}, {20, "\r" + good.mid(5, 20)}, {20, good.mid(25) + "\r\n"}}, "",
         sample16()},
        {"version line first", {{0, "v1.23+\r\n" + good + "\r\n"}}, "", sample16()},
        {"reply cut short by a line end", {{0, good.left(10)}, {5, "\n"}}, "Header Error !!!", {}},
        {"stray bytes after the reply", {{0, good + "\r\n0FFFFFFFF\r\nO\r\n\x01\x02"}}, "", sample16()},
        {"wrong check byte", {{0, wrongCheck + "\r\n"}}, "CRC error !!!", sample16()},
        {"wrong check byte, Polish", {{0, wrongCheck + "\r\n"}}, QString::fromUtf8("Błąd CRC !!!"), sample16(), true},
        {"wrong echo", {{0, "1" + good.mid(1) + "\r\n"}}, "Header Error !!!", {}},
        {"wrong echo, Polish", {{0, "1" + good.mid(1) + "\r\n"}}, QString::fromUtf8("Błąd nagłówka !!!"), {}, true},
        {"one character short", {{0, good.left(35) + "\r\n"}}, "Header Error !!!", {}},
        {"no comma", {{0, good.left(33) + ";" + good.mid(34) + "\r\n"}}, "Header Error !!!", {}},
        {"non-hex pairs read as zero", {{0, nonHex + "\r\n"}}, "", QByteArray(16, '\0')},
        {"binary garbage", {{0, garbage + "\n"}}, "Header Error !!!", {}},
        {"empty line", {{0, "\r\n"}}, "Timeout !!!", {}},
        {"only a version line", {{0, "v1.23 \r\n"}}, "Timeout !!!", {}},
        {"no LF ever", {{0, good}}, "Timeout !!!", {}},
        {"silence", {}, "Timeout !!!", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QSettings("Brask", "Vorkal").setValue("Lang", c.polish ? 1 : 0);
        const std::vector<Chunk> answer = c.answer;
        startPeer([answer](const QByteArray& line) {
            return line == QByteArray("\xF1r0") ? answer : std::vector<Chunk>{};
        });
        ASSERT_NO_FATAL_FAILURE(openQuiet());
        // A reply that comes is never late, however busy the machine; silence still
        // costs only the written time-outs.
        if (c.error != "Timeout !!!") form->replyTimeoutScale.percent = 2000;
        form->config.image.fill(0xEE);
        EXPECT_EQ(form->ReadConfigBlock(0), c.error);
        if (!c.image.isEmpty()) {
            EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(form->config.image.data()), 16).toHex(),
                      c.image.toHex());
        }
        // A failed read was tried 11 times.
        const auto lines = peer->lines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), QByteArray("\xF1r0")), c.error.isEmpty() ? 1 : 11);
        TearDown();
    }
}

TEST_F(ReceiveSide, VersionLineSetsVariantAndLogFlag) {
    struct Case {
        QByteArray line;
        bool separateLog, wide;
    };
    const Case cases[] = {{"v1.23*", true, true}, {"v1.23+", true, false}, {"v1.23 ", false, false},
                          {"v1.2", false, false}, {"v1.23*", true, true},  {"v9.99", false, false}};
    QByteArray next;
    startPeer([&next](const QByteArray& line) {
        return line == QByteArray("\xF6v") ? std::vector<Chunk>{{0, next + "\r\n"}} : std::vector<Chunk>{};
    });
    ASSERT_NO_FATAL_FAILURE(openQuiet());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.constData());
        next = c.line;
        form->firmwareVersion.clear();
        form->AfComPort1->SendText("\xF6v\r\n");
        ASSERT_TRUE(waitFor([this] { return !form->firmwareVersion.isEmpty(); }, 3000));
        EXPECT_EQ(form->firmwareVersion, c.line);
        EXPECT_EQ(form->config.separateLog, c.separateLog);
        EXPECT_EQ(form->config.is128x64(), c.wide);
        EXPECT_FALSE(form->replyComplete && form->replyText == c.line);
    }
}

TEST_F(ReceiveSide, FloodsNeitherHangNorGrow) {
    // An endless line without LF, then binary garbage with line ends, while a read
    // waits: each read ends with its time-out and the window keeps serving events.
    struct Case {
        QByteArray flood;
        const char* error;
        bool waitsForTimeouts;
    };
    const Case cases[] = {
        {QByteArray(4096, 'A'), "Timeout !!!", true},
        {QByteArray("\x00\xff\n\x13\x11\r\xf1", 7).repeated(500), "Header Error !!!", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        startPeer([](const QByteArray&) { return std::vector<Chunk>{}; });
        ASSERT_NO_FATAL_FAILURE(openQuiet());
        peer->flood(c.flood);
        ASSERT_TRUE(waitFor([this] { return peer->floodBytes() > 10000; }));
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(20);
        EXPECT_EQ(form->ReadConfigBlock(0), c.error);
        if (c.waitsForTimeouts) {
            EXPECT_GT(ticks, 5);  // the event loop ran during the reads
            EXPECT_GT(peer->floodBytes(), 100000u);
        }
        peer->stopFlood();
        TearDown();
    }
    // Once a flood is over the line works again.
    startPeer([](const QByteArray& line) {
        return line == QByteArray("\xF1r0") ? std::vector<Chunk>{{0, blockReply("0", sample16()) + "\r\n"}}
                                             : std::vector<Chunk>{};
    });
    ASSERT_NO_FATAL_FAILURE(openQuiet());
    peer->flood(QByteArray(1000, 'z'));
    QTest::qWait(200);
    peer->stopFlood();
    QTest::qWait(100);
    EXPECT_EQ(form->ReadConfigBlock(0), QString());
}

TEST_F(ReceiveSide, ClosedPortAndRefusedSends) {
    form = std::make_unique<TForm1>();
    form->show();
    form->Timer2->stop();
    // Closed port: no timer, '!' at once, writes return empty without sending.
    form->SendCommand("\xF5" "c", 500);
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(form->WaitReply(), '!');
    EXPECT_EQ(form->ReadConfigBlock(3), "Timeout !!!");
    EXPECT_EQ(form->WriteConfigBlocks(0, 8), QString());
    EXPECT_EQ(form->WriteLogRecords(0, 511), QString());
    EXPECT_FALSE(form->WriteDisplayText(0, 0, 1, 0, "x"));

    startPeer([](const QByteArray& line) {
        return line.startsWith("\xF3" "d") ? std::vector<Chunk>{{0, "O\r\n"}} : std::vector<Chunk>{};
    });
    ASSERT_NO_FATAL_FAILURE(openQuiet());
    form->replyTimeoutScale.percent = 2000;  // the answer must not be late on a busy machine
    EXPECT_FALSE(form->WriteDisplayText(0, 0, 1, 0, QByteArray(17, 'x')));
    EXPECT_TRUE(form->WriteDisplayText(2, 16, 1, 0, QByteArray(16, 'x')));
    EXPECT_EQ(form->WriteConfigBlocks(5, 4), QString());
    EXPECT_FALSE(form->Form2->isVisible());
    const auto lines = peer->lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], QByteArray("\xF3" "d10210") + QByteArray(16, 'x'));
}

TEST_F(ReceiveSide, WritesRetryAndCountRecords) {
    // Block 2 is refused three times, then taken; block 3 is never answered.
    int refusals = 0;
    startPeer([&refusals](const QByteArray& line) -> std::vector<Chunk> {
        if (!line.startsWith("\xF2w")) return {};
        if (line[2] == '2' && refusals++ < 3) return {{0, "N\r\n"}};
        if (line[2] == '3') return {};
        return {{0, "O\r\n"}};
    });
    ASSERT_NO_FATAL_FAILURE(openQuiet());
    // Answered writes must not time out on a busy machine; the silent block then costs
    // eleven of these longer waits.
    form->replyTimeoutScale.percent = 500;
    EXPECT_EQ(form->WriteConfigBlocks(1, 3), "Sending record 3 Failed !!!\r\nTimeout.");
    const auto lines = peer->lines();
    EXPECT_EQ(lines.size(), 1u + 4u + 11u);
    EXPECT_FALSE(form->Form2->isVisible());
}

TEST_F(ReceiveSide, BootModeTakesOneByteAtATime) {
    startPeer([](const QByteArray& line) -> std::vector<Chunk> {
        if (line == "frame") return {{0, "\xA8"}, {10, "\x03"}, {10, "\x12"}, {10, "\x34"}};
        if (line == "single") return {{0, "\x4F"}};
        return {};
    });
    ASSERT_NO_FATAL_FAILURE(openQuiet());
    form->bootReceiveMode = true;
    form->AfComPort1->SendText("frame\n");
    form->Timer1->start(2000);  // bounds the wait
    form->WaitUntil([this] { return form->boot.state == BootReceiver::kFrameDone || !form->Timer1->isActive(); });
    EXPECT_EQ(form->boot.state, BootReceiver::kFrameDone);
    EXPECT_EQ(form->boot.frameValue, 0x1234u);
    form->AfComPort1->SendText("single\n");
    form->WaitUntil([this] { return form->boot.state == 0x4F || !form->Timer1->isActive(); });
    EXPECT_EQ(form->boot.state, 0x4F);
    EXPECT_TRUE(form->replyText.isEmpty());  // no text line was assembled
    // The reply timer's run-out leaves "no reply".
    form->Timer1->start(20);
    form->WaitUntil([this] { return !form->Timer1->isActive(); });
    EXPECT_EQ(form->boot.state, BootReceiver::kNoReply);
}

TEST_F(ReceiveSide, PollTickDuringHeaderReadStartsNoSecondExchange) {
    // Block 31 answers late, so poll ticks fall into the header read's wait.
    startPeer([](const QByteArray& line) -> std::vector<Chunk> {
        if (line == QByteArray("\xF6v")) return {{0, "v1.23+\r\n"}};
        if (line == QByteArray("\xF1rO")) {
            QByteArray header(16, '\xFF');
            header[12] = char(0x30);
            return {{90, blockReply("O", header) + "\r\n"}};
        }
        return {};
    });
    ASSERT_NO_FATAL_FAILURE(openPort());
    // The late answer stays well inside the reply time however busy the machine, and
    // the poll ticks still fall into the wait.
    form->replyTimeoutScale.percent = 1000;
    ASSERT_TRUE(waitFor(
        [this] {
            const auto lines = peer->lines();
            return std::count(lines.begin(), lines.end(), QByteArray("\xF1rO")) >= 1 &&
                   !form->DeviceWaiting();
        },
        8000));
    EXPECT_EQ(peer->overlaps(), 0);
}
