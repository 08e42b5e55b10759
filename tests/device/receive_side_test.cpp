// The window's receive side on a real serial port against a scripted peer that floods
// the line: the protocol's other cases run in process (session_test.cpp).

#include <QElapsedTimer>
#include <QTimer>

#include "block_replies.h"
#include "device_fixture.h"
#include "scripted_peer.h"

using namespace vorkal;
using namespace vorkal::testing;
using Chunk = ScriptedPeer::Chunk;

namespace {

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
        // No answer comes at all: shorter reply time-outs end the reads sooner, still
        // long enough for the checks on what happens meanwhile.
        if (c.waitsForTimeouts) form->session().timeouts.readBlock = 40;
        peer->flood(c.flood);
        ASSERT_TRUE(waitFor([this] { return peer->floodBytes() > 10000; }));
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(20);
        EXPECT_EQ(form->session().ReadConfigBlock(0), c.error);
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
    EXPECT_EQ(form->session().ReadConfigBlock(0), QString());
}
