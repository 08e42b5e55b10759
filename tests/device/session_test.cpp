// The display session's protocol logic against a scripted port in the test process:
// split and stray lines, version lines in the middle of an exchange, malformed and
// hostile replies, retries, time-outs, Cancel, the boot loader's byte replies, the poll
// and the command sequences. Time-outs are shortened; no pseudo-terminal, no window.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>

#include "block_replies.h"
#include "config_image.h"
#include "demo_script.h"
#include "qt_printers.h"
#include "scripted_port.h"

using namespace vorkal;
using namespace vorkal::testing;
using Chunk = ScriptedPort::Chunk;

namespace {

std::vector<Chunk> answer(const QByteArray& bytes) { return {{0, bytes}}; }

size_t count(const std::vector<QByteArray>& lines, const QByteArray& line) {
    return size_t(std::count(lines.begin(), lines.end(), line));
}

class Session : public ::testing::Test {
protected:
    void SetUp() override {
        port.session = &session;
        sink.session = &session;
        // Short enough for a quick suite, long enough that a loaded machine does not
        // turn a prompt reply into a time-out.
        session.timeouts.readBlock = 40;
        session.timeouts.writeBlock = 40;
        session.timeouts.writeText = 40;
        session.timeouts.clearScreen = 40;
        session.timeouts.setSpeed = 40;
        session.timeouts.showLayout = 40;
        QObject::connect(&session, &DisplaySession::variantAnnounced, [this](bool wide) {
            config.setVariant(wide ? DisplayVariant::D128x64 : DisplayVariant::D84x48);
        });
    }
    // Answers every line `line` with `reply`.
    void answerLine(const QByteArray& line, std::vector<Chunk> reply) {
        port.respond = [line, reply](const QByteArray& got) { return got == line ? reply : std::vector<Chunk>{}; };
    }

    ConfigImage config;
    bool polish = false;
    ScriptedPort port;
    RecordingSink sink;
    DisplaySession session{config, polish, port, sink};
};

}  // namespace

TEST_F(Session, ConfigBlockReadAgainstHostileReplies) {
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
        QByteArray image;  // bytes 0..15 afterwards (when checked)
        bool polish = false;
    };
    const Case cases[] = {
        {"plain reply", answer(good + "\r\n"), "", sample16()},
        {"split with CR inside",
         {{0, good.left(5)}, {2, "\r" + good.mid(5, 20)}, {2, good.mid(25) + "\r\n"}},
         "",
         sample16()},
        {"version line first", answer("v1.23+\r\n" + good + "\r\n"), "", sample16()},
        {"reply cut short by a line end", {{0, good.left(10)}, {1, "\n"}}, "Header Error !!!", {}},
        {"stray bytes after the reply", answer(good + "\r\n0FFFFFFFF\r\nO\r\n\x01\x02"), "", sample16()},
        {"wrong check byte", answer(wrongCheck + "\r\n"), "CRC error !!!", sample16()},
        {"wrong check byte, Polish", answer(wrongCheck + "\r\n"), QString::fromUtf8("Błąd CRC !!!"), sample16(), true},
        {"wrong echo", answer("1" + good.mid(1) + "\r\n"), "Header Error !!!", {}},
        {"wrong echo, Polish", answer("1" + good.mid(1) + "\r\n"), QString::fromUtf8("Błąd nagłówka !!!"), {}, true},
        {"one character short", answer(good.left(35) + "\r\n"), "Header Error !!!", {}},
        {"no comma", answer(good.left(33) + ";" + good.mid(34) + "\r\n"), "Header Error !!!", {}},
        {"non-hex pairs read as zero", answer(nonHex + "\r\n"), "", QByteArray(16, '\0')},
        {"binary garbage", answer(garbage + "\n"), "Header Error !!!", {}},
        {"empty line", answer("\r\n"), "Timeout !!!", {}},
        {"only a version line", answer("v1.23 \r\n"), "Timeout !!!", {}},
        {"no LF ever", answer(good), "Timeout !!!", {}},
        {"silence", {}, "Timeout !!!", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        polish = c.polish;
        port.lines.clear();
        answerLine("\xF1r0", c.answer);
        // Where no reply line comes, the time-out is all there is to wait for: a short one.
        session.timeouts.readBlock = c.error == "Timeout !!!" ? 10 : 40;
        config.image.fill(0xEE);
        EXPECT_EQ(session.ReadConfigBlock(0), c.error);
        if (!c.image.isEmpty()) {
            EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(config.image.data()), 16).toHex(), c.image.toHex());
        }
        // A failed read was tried 11 times.
        EXPECT_EQ(count(port.lines, "\xF1r0"), c.error.isEmpty() ? 1u : 11u);
        EXPECT_FALSE(session.replyTimer()->isActive());
    }
}

TEST_F(Session, LogBlockReadsAddressesAndErrors) {
    struct Case {
        const char* what;
        bool wide;
        int block;
        QByteArray command;  // as sent, also the echo
        QByteArray reply;    // empty: the reply is the block's data
        QString error;
        bool polish = false;
    };
    const Case cases[] = {
        {"84x48 block 33",
         false,
         33,
         "\xFA"
         "11",
         {},
         ""},
        {"128x64 block 9",
         true,
         9,
         "\xFA"
         "18",
         {},
         ""},
        {"memory error", false, 2,
         "\xFA"
         "02",
         "X", "EEPROM Error !!!"},
        {"memory error, Polish", false, 2,
         "\xFA"
         "02",
         "X", QString::fromUtf8("Błąd pamięci EEPROM !!!"), true},
        {"wrong echo", false, 2,
         "\xFA"
         "02",
         "03", "Header Error !!!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        polish = c.polish;
        port.lines.clear();
        config.setVariant(c.wide ? DisplayVariant::D128x64 : DisplayVariant::D84x48);
        const int size = c.wide ? 128 : 16;
        QByteArray data;
        for (int i = 0; i < size; ++i) data += char(i * 3 + c.block);
        const QByteArray echo = c.command.mid(1);
        answerLine(c.command, answer((c.reply.isEmpty() ? blockReply(echo, data) : c.reply) + "\r\n"));
        config.logImage.fill(0);
        EXPECT_EQ(session.ReadLogBlock(c.block), c.error);
        EXPECT_EQ(count(port.lines, c.command), c.error.isEmpty() ? 1u : 11u);
        if (c.error.isEmpty()) {
            EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(config.logImage.data()) + size * c.block, size), data);
        }
    }
}

TEST_F(Session, VersionLineSetsVariantAndLogFlagWithoutEndingAnExchange) {
    struct Case {
        QByteArray line;
        bool separateLog, wide;
    };
    const Case cases[] = {{"v1.23*", true, true}, {"v1.23+", true, false}, {"v1.23 ", false, false},
                          {"v1.2", false, false}, {"v1.23*", true, true},  {"v9.99", false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.constData());
        session.firmwareVersion.clear();
        port.arrive(c.line + "\r\n");
        EXPECT_EQ(session.firmwareVersion, c.line);
        EXPECT_EQ(config.separateLog, c.separateLog);
        EXPECT_EQ(config.is128x64(), c.wide);
    }
    // A version line during an exchange leaves it waiting for its own reply.
    answerLine(
        "\xF5"
        "c",
        {{0, "v1.23+\r\n"}, {5, "O\r\n"}});
    session.SendCommand(
        "\xF5"
        "c",
        200);
    EXPECT_EQ(session.WaitReply(), 'O');
    EXPECT_EQ(session.replyText, "O");
}

TEST_F(Session, ClosedPortAndRefusedSends) {
    port.open = false;
    // No timer, '!' at once, writes return empty without sending.
    session.SendCommand(
        "\xF5"
        "c",
        500);
    EXPECT_FALSE(session.replyTimer()->isActive());
    EXPECT_EQ(session.WaitReply(), '!');
    EXPECT_EQ(session.ReadConfigBlock(3), "Timeout !!!");
    EXPECT_EQ(session.WriteConfigBlocks(0, 8), QString());
    EXPECT_EQ(session.WriteLogRecords(0, 511), QString());
    EXPECT_FALSE(session.WriteDisplayText(0, 0, 1, 0, "x"));
    EXPECT_TRUE(port.wire.isEmpty());

    port.open = true;
    port.respond = [](const QByteArray& line) {
        return line.startsWith(
                   "\xF3"
                   "d")
                   ? answer("O\r\n")
                   : std::vector<Chunk>{};
    };
    EXPECT_FALSE(session.WriteDisplayText(0, 0, 1, 0, QByteArray(17, 'x')));
    EXPECT_TRUE(session.WriteDisplayText(2, 16, 1, 0, QByteArray(16, 'x')));
    // Nothing to write: the window is shown and closed again.
    EXPECT_EQ(session.WriteConfigBlocks(5, 4), QString());
    EXPECT_EQ(sink.shows, 1);
    EXPECT_FALSE(sink.visible);
    ASSERT_EQ(port.lines.size(), 1u);
    EXPECT_EQ(port.lines[0], QByteArray("\xF3"
                                        "d10210") +
                                 QByteArray(16, 'x'));
    // Font 1 goes out as font 0 on the large display.
    config.setVariant(DisplayVariant::D128x64);
    EXPECT_TRUE(session.WriteDisplayText(2, 16, 1, 0, "x"));
    EXPECT_EQ(port.lines.back(), QByteArray("\xF3"
                                            "d00210x"));
}

TEST_F(Session, WritesRetryAndCountRecords) {
    // Block 2 is refused three times, then taken; block 3 is never answered.
    int refusals = 0;
    port.respond = [&refusals](const QByteArray& line) -> std::vector<Chunk> {
        if (!line.startsWith("\xF2w")) return {};
        if (line[2] == '2' && refusals++ < 3) return answer("N\r\n");
        if (line[2] == '3') return {};
        return answer("O\r\n");
    };
    EXPECT_EQ(session.WriteConfigBlocks(1, 3), "Sending record 3 Failed !!!\r\nTimeout.");
    EXPECT_EQ(port.lines.size(), 1u + 4u + 11u);
    EXPECT_FALSE(sink.visible);
    EXPECT_EQ(sink.maximum, 3);
    EXPECT_EQ(sink.position, 2);

    // Log records refused every time, in Polish: the record's place in the transfer.
    polish = true;
    port.lines.clear();
    port.respond = [](const QByteArray& line) {
        return line.startsWith("\xFB") && line[2] != '0' ? answer("N\r\n") : answer("O\r\n");
    };
    EXPECT_EQ(session.WriteLogRecords(0, 5), QString::fromUtf8("Wysłanie rekordu 2 Nieudane !!!\r\nBłąd zapisu."));
    EXPECT_EQ(port.lines.size(), 1u + 11u);
}

TEST_F(Session, CancelEndsTheExchangeAndHoldsUntilTheWindowIsShownAgain) {
    // Nobody answers; Cancel comes in the middle of the first wait.
    session.timeouts.writeBlock = 5000;
    QTimer::singleShot(20, [this] { session.cancel(); });
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(session.WriteConfigBlocks(0, 8), "Canceled");
    EXPECT_LT(t.elapsed(), 2000);
    EXPECT_EQ(port.lines.size(), 1u);
    EXPECT_FALSE(sink.visible);
    EXPECT_EQ(session.boot.state, BootReceiver::kNoReply);
    // Still cancelled: the next transaction ends after one exchange.
    polish = true;
    EXPECT_EQ(session.ReadConfigBlock(0), "Przerwano");
    EXPECT_EQ(port.lines.size(), 2u);
    // Showing the progress window clears the flag.
    polish = false;
    session.timeouts.readBlock = 10;  // nobody answers
    sink.showProgress(1);
    sink.hideProgress();
    EXPECT_EQ(session.ReadConfigBlock(0), "Timeout !!!");
    EXPECT_EQ(port.lines.size(), 13u);
}

TEST_F(Session, BootModeTakesOneByteAtATime) {
    port.respond = [](const QByteArray& line) -> std::vector<Chunk> {
        if (line == "frame") return {{0, "\xA8"}, {2, "\x03"}, {2, "\x12"}, {2, "\x34"}};
        if (line == "single") return answer("\x4F");
        if (line == "burst") return answer("\xA8\x03\x56\x78");
        return {};
    };
    session.bootReceiveMode = true;
    QTimer* timer = session.replyTimer();
    const auto waitFor = [&](uint8_t state) {
        timer->start(2000);  // bounds the wait
        session.WaitUntil([&] { return session.boot.state == state || !timer->isActive(); });
        timer->stop();
    };
    port.sendText("frame\n");
    waitFor(BootReceiver::kFrameDone);
    EXPECT_EQ(session.boot.state, BootReceiver::kFrameDone);
    EXPECT_EQ(session.boot.frameValue, 0x1234u);
    // A frame that arrives in one burst is still taken a byte per event.
    session.boot.state = 0;
    port.sendText("burst\n");
    waitFor(BootReceiver::kFrameDone);
    EXPECT_EQ(session.boot.frameValue, 0x5678u);
    port.sendText("single\n");
    waitFor(0x4F);
    EXPECT_EQ(session.boot.state, 0x4F);
    EXPECT_TRUE(session.replyText.isEmpty());  // no text line was assembled
    // The reply timer's run-out leaves "no reply".
    timer->start(20);
    session.WaitUntil([&] { return !timer->isActive(); });
    EXPECT_EQ(session.boot.state, BootReceiver::kNoReply);
}

TEST_F(Session, PollScriptAndAHeaderReadThatAnswersLate) {
    QByteArray header(16, '\xFF');
    header[12] = char(0x30);
    port.respond = [&header](const QByteArray& line) -> std::vector<Chunk> {
        if (line == QByteArray("\xF6v")) return answer("v1.23+\r\n");
        // Later than a poll interval, so poll ticks fall into the header read's wait.
        if (line == QByteArray("\xF1rO")) return {{90, blockReply("O", header) + "\r\n"}};
        return {};
    };
    session.timeouts.readBlock = 300;
    int headers = 0;
    QObject::connect(&session, &DisplaySession::headerReceived, [&] { ++headers; });
    QTimer* poll = session.pollTimer();
    QObject::connect(poll, &QTimer::timeout, &session, &DisplaySession::pollStep);
    // A command asked for during the header read runs once it is over.
    bool commandRan = false, commandRanWhileWaiting = false;
    // Asked from inside the header read's wait, as a click would be.
    bool asked = false;
    QTimer asker;
    QObject::connect(&asker, &QTimer::timeout, [&] {
        if (asked || !session.pollStepRunning()) return;
        asked = session.deferWhileBusy([&] {
            commandRan = true;
            commandRanWhileWaiting = session.waiting();
        });
    });
    asker.start(5);
    // The script's steps before its first header read take their ticks at once, a version
    // query once it has been answered; from the header read on the poll timer ticks, so
    // that its ticks fall into the read's wait.
    QElapsedTimer t;
    t.start();
    while (DemoScriptEntry(session.pollScriptPosition()) != QByteArray(1, kHeaderMarker) && t.elapsed() < 8000) {
        session.pollStep();
        while (session.firmwareVersion.isEmpty() && t.elapsed() < 8000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    poll->start();
    while (headers == 0 && t.elapsed() < 8000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    asker.stop();
    poll->stop();
    ASSERT_EQ(headers, 1);
    EXPECT_TRUE(asked);
    QCoreApplication::processEvents();
    EXPECT_TRUE(commandRan);
    EXPECT_FALSE(commandRanWhileWaiting);
    EXPECT_EQ(port.overlaps, 0);
    EXPECT_EQ(config.image[508], 0x30);
    // The script: a version query, six telemetry lines, two more queries, ..., the header.
    ASSERT_GE(port.lines.size(), 16u);
    EXPECT_EQ(port.lines[0], QByteArray("\xF6v"));
    EXPECT_EQ(port.lines[1], QByteArray("RSSI=!020 RCQ=080 U=05.0V T=-22\xB0"
                                        "C P=53000 F=01 I=12.3A"));
    EXPECT_EQ(count(port.lines, "\xF1rO"), 1u);

    // A closed port: the poll slows down and forgets the display.
    port.open = false;
    session.pollStep();
    EXPECT_TRUE(session.firmwareVersion.isEmpty());
    EXPECT_EQ(poll->interval(), 100);

    // Closed and opened again between two ticks, mid-script: the next tick asks for the
    // version first rather than going on with a script that no display has answered.
    port.open = true;
    session.pollStep();
    t.restart();
    while (session.firmwareVersion.isEmpty() && t.elapsed() < 8000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    ASSERT_FALSE(session.firmwareVersion.isEmpty());
    for (int i = 0; i < 2; ++i) session.pollStep();
    EXPECT_NE(port.lines.back(), QByteArray("\xF6v"));
    session.portClosed();
    session.portOpened();
    const size_t before = port.lines.size();
    session.pollStep();
    ASSERT_EQ(port.lines.size(), before + 1);
    EXPECT_EQ(port.lines.back(), QByteArray("\xF6v"));
}

TEST_F(Session, ReceiveStopsAtTheFailingBlockAndPausesThePoll) {
    // Blocks 0..4 answer, block 5 never does.
    port.respond = [](const QByteArray& line) -> std::vector<Chunk> {
        if (!line.startsWith("\xF1r") || line[2] >= '5') return {};
        QByteArray data(16, char(line[2]));
        return answer(blockReply(line.mid(2, 1), data) + "\r\n");
    };
    int started = 0, finished = 0, received = 0;
    QObject::connect(&session, &DisplaySession::transferStarted, [&] { ++started; });
    QObject::connect(&session, &DisplaySession::transferFinished, [&] {
        ++finished;
        EXPECT_FALSE(session.transferRunning());
    });
    QObject::connect(&session, &DisplaySession::configurationReceived, [&] { ++received; });
    bool pollStoppedDuringTransfer = true;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (session.pollTimer()->isActive()) pollStoppedDuringTransfer = false;
    });
    probe.start(5);
    config.logLoaded = true;
    config.image.fill(0xEE);
    session.pollTimer()->start();

    EXPECT_EQ(session.receiveConfiguration(), "Timeout !!!");
    EXPECT_TRUE(pollStoppedDuringTransfer);
    EXPECT_EQ(sink.messages, QStringList{"Error\r\nTimeout !!!\r\nCheck that the display is switched on, that the "
                                         "speed (BAUD) matches the display's and that the cable is plugged in."});
    EXPECT_EQ(count(port.lines, "\xF1r5"), 11u);
    EXPECT_EQ(port.lines.size(), 5u + 11u);
    EXPECT_EQ(sink.maximum, 32);
    EXPECT_EQ(sink.position, 6);
    for (int b = 0; b < 5; ++b) EXPECT_EQ(config.image[size_t(16 * b + 15)], '0' + b) << b;
    EXPECT_EQ(config.image[16 * 6], 0xEE);
    EXPECT_FALSE(config.logLoaded);  // even after a failure
    EXPECT_EQ(received, 0);
    EXPECT_EQ(started, 1);
    EXPECT_EQ(finished, 1);
    EXPECT_TRUE(session.pollTimer()->isActive());
}

TEST_F(Session, EveryBlockReadLeavesTheDisplayTenQuietMillisecondsAfterItsAnswer) {
    // The answers come from the test's own timers so that their arrival can be stamped;
    // block 3 is answered only at its second attempt (the pause follows a time-out too).
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> sentAt, answeredAt;
    int attemptsOfBlock3 = 0;
    port.respond = [&](const QByteArray& line) -> std::vector<Chunk> {
        sentAt.push_back(clock.nsecsElapsed());
        if (!line.startsWith("\xF1r")) return {};
        if (line[2] == '3' && attemptsOfBlock3++ == 0) {
            answeredAt.push_back(-1);  // ends in a time-out
            return {};
        }
        const QByteArray reply = blockReply(line.mid(2, 1), QByteArray(16, char(line[2]))) + "\r\n";
        QTimer::singleShot(1, &session, [&, reply] {
            answeredAt.push_back(clock.nsecsElapsed());
            port.arrive(reply);
        });
        return {};
    };
    std::array<uint8_t, kImageSize> copy{};
    ASSERT_EQ(session.readConfigurationInto(copy), QString());
    ASSERT_EQ(sentAt.size(), 33u);
    ASSERT_EQ(answeredAt.size(), 33u);
    for (size_t i = 0; i + 1 < sentAt.size(); ++i) {
        if (answeredAt[i] < 0) continue;  // a retry follows a time-out at once
        EXPECT_GE(sentAt[i + 1] - answeredAt[i], 10'000'000) << "line " << i;
    }
}

TEST_F(Session, AllBlocksReadComesWithTheLastBlockBeforeTheClosingPause) {
    // Work started on that signal (a file written) runs during the quiet pause after the
    // last answer, which is still kept in full.
    QElapsedTimer clock;
    clock.start();
    qint64 lastAnswerAt = -1;
    port.respond = [&](const QByteArray& line) -> std::vector<Chunk> {
        if (!line.startsWith("\xF1r")) return {};
        const QByteArray reply = blockReply(line.mid(2, 1), QByteArray(16, char(line[2]))) + "\r\n";
        QTimer::singleShot(1, &session, [&, reply] {
            lastAnswerAt = clock.nsecsElapsed();
            port.arrive(reply);
        });
        return {};
    };
    session.pauses.betweenBlockReadsMs = 30;
    config.image.fill(0xEE);
    int announcements = 0;
    bool imageWholeAtSignal = false, ranInsideTheReceive = false;
    QObject::connect(&session, &DisplaySession::allBlocksRead, [&] {
        ++announcements;
        imageWholeAtSignal = true;
        for (int b = 0; b < 32; ++b) imageWholeAtSignal &= config.image[size_t(16 * b + 15)] == '0' + b;
        // Runs at the first turn of the event loop after the signal.
        QTimer::singleShot(0, [&] { ranInsideTheReceive = session.transferRunning(); });
    });
    int received = 0;
    QObject::connect(&session, &DisplaySession::configurationReceived, [&] {
        ++received;
        EXPECT_EQ(announcements, 1);  // the signal came first
    });
    ASSERT_EQ(session.receiveConfiguration(), QString());
    const qint64 returnedAt = clock.nsecsElapsed();
    EXPECT_EQ(announcements, 1);
    EXPECT_EQ(received, 1);
    EXPECT_TRUE(imageWholeAtSignal);
    EXPECT_TRUE(ranInsideTheReceive);
    EXPECT_GE(returnedAt - lastAnswerAt, 30'000'000);

    // The other block reads say the same; a read whose last block fails does not.
    std::array<uint8_t, kImageSize> copy{};
    EXPECT_EQ(session.readConfigurationInto(copy), QString());
    EXPECT_EQ(announcements, 2);
    port.respond = [](const QByteArray& line) -> std::vector<Chunk> {
        if (!line.startsWith("\xF1r") || line[2] == DigitChar(31)) return {};
        return answer(blockReply(line.mid(2, 1), QByteArray(16, char(line[2]))) + "\r\n");
    };
    session.pauses.betweenBlockReadsMs = 1;
    EXPECT_EQ(session.receiveConfiguration(), "Timeout !!!");
    EXPECT_EQ(announcements, 2);
}

TEST_F(Session, ReadingIntoASeparateBufferLeavesTheImageAlone) {
    port.respond = [](const QByteArray& line) -> std::vector<Chunk> {
        if (!line.startsWith("\xF1r")) return {};
        return answer(blockReply(line.mid(2, 1), QByteArray(16, char(line[2]))) + "\r\n");
    };
    config.image.fill(0xEE);
    session.pauses.betweenBlockReadsMs = 1;  // Receive runs with the program's pause above
    const auto before = config.image;
    std::array<uint8_t, kImageSize> copy{};
    EXPECT_EQ(session.readConfigurationInto(copy), QString());
    EXPECT_EQ(config.image, before);
    for (int b = 0; b < 32; ++b) EXPECT_EQ(copy[size_t(16 * b)], '0' + b) << b;
    EXPECT_EQ(copy[16 * 32], 0);
    EXPECT_TRUE(sink.messages.isEmpty());
}

TEST_F(Session, SendShowsTheLayoutEvenAfterAFailure) {
    config.LoadFactoryImage();  // three layouts: blocks 0..8
    config.selectedLayout = 2;
    for (const bool refuse : {false, true}) {
        SCOPED_TRACE(refuse);
        port.lines.clear();
        sink.messages.clear();
        port.respond = [refuse](const QByteArray&) { return answer(refuse ? "N\r\n" : "O\r\n"); };
        EXPECT_EQ(session.sendConfiguration().isEmpty(), !refuse);
        ASSERT_FALSE(port.lines.empty());
        EXPECT_EQ(port.lines.back(), QByteArray("\xF9l2"));
        EXPECT_EQ(port.lines.size(), refuse ? 11u + 1u : 9u + 1u);
        EXPECT_EQ(sink.messages,
                  refuse ? QStringList{"Sending record 1 Failed !!!\r\nWrite error !!!\r\nThe display may now hold "
                                       "part of its old and part of the new settings, and no backup was made: Send "
                                       "the settings again."}
                         : QStringList{});
    }
}

TEST_F(Session, ClearLogInTheImageKeepsTheImage) {
    config.LoadFactoryImage();  // layout area of 135 bytes
    config.separateLog = false;
    config.logLoaded = true;
    port.respond = [](const QByteArray&) { return answer("O\r\n"); };
    const auto before = config.image;
    EXPECT_EQ(session.clearLog(), QString());
    EXPECT_EQ(config.image, before);
    EXPECT_FALSE(config.logLoaded);
    // Blocks 8..31, bytes 135..503 as 0xFF.
    ASSERT_EQ(port.lines.size(), 24u);
    std::array<uint8_t, 16> first;
    std::copy_n(before.begin() + 128, 16, first.begin());
    std::fill(first.begin() + 7, first.end(), 0xFF);
    EXPECT_EQ(port.lines[0], WriteConfigCommand(8, first.data()));
    std::array<uint8_t, 16> erased;
    erased.fill(0xFF);
    EXPECT_EQ(port.lines[1], WriteConfigCommand(9, erased.data()));
}

TEST_F(Session, SetBaudFollowsTheDisplayOrFallsBack) {
    session.pauses.beforeSpeedChangeMs = 1;  // the window's test runs Set Baud with the program's pauses
    for (const bool answers : {true, false}) {
        SCOPED_TRACE(answers);
        port.lines.clear();
        port.reopened.clear();
        sink.messages.clear();
        port.respond = [answers](const QByteArray& line) {
            return answers && line != QByteArray(
                                          "\xF0"
                                          "b2w")
                       ? answer("O\r\n")
                       : std::vector<Chunk>{};
        };
        int restored = -1;
        const auto c =
            QObject::connect(&session, &DisplaySession::speedSelectionsRestored, [&](int i) { restored = i; });
        EXPECT_EQ(session.setBaud(2, 0), answers);
        QObject::disconnect(c);
        EXPECT_EQ(port.reopened, std::vector<int>{2});
        ASSERT_GE(port.lines.size(), 3u);
        EXPECT_EQ(port.lines[0], QByteArray("\xF0"
                                            "b2w"));
        if (answers) {
            EXPECT_EQ(sink.messages, QStringList{"New BaudRate is: 19200 baud"});
            EXPECT_EQ(port.lines.back(), QByteArray("\xF3"
                                                    "d10220") +
                                             "19200 baud");
            EXPECT_EQ(restored, -1);
        } else {
            EXPECT_EQ(sink.messages, QStringList{"Failed to change BaudRate\r\nReturned to 57600 baud"});
            EXPECT_EQ(restored, 0);
        }
    }
}
