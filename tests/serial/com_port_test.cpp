#include <chrono>
#include "af_com_port.h"
#include "af_port_map.h"
#include "af_safe_sync.h"
#include "pty_peer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <poll.h>
#include <sys/ioctl.h>
#include <random>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kCom = 31;

// Runs the event loop until `done` or the limit; true when done.
bool PumpUntil(const std::function<bool()>& done, int limitMs = 3000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(500);
    }
    return true;
}

// Serves events for a while, sleeping between them (no polling of its own).
void PumpFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QByteArray RandomBytes(int count, unsigned seed) {
    std::mt19937 random(seed);
    QByteArray bytes(count, Qt::Uninitialized);
    for (char& b : bytes) b = static_cast<char>(random());
    return bytes;
}

template <typename Error>
std::string ErrorText(const std::function<void()>& call) {
    try {
        call();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

class ComPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        port = MakePort();
    }

    // Without outputDoneHandlers the port has handlers only for data, open and close,
    // like the main window's.
    std::unique_ptr<TAfComPort> MakePort(bool outputDoneHandlers = true) {
        auto p = std::make_unique<TAfComPort>();
        p->setObjectName("AfComPort1");
        p->SetComNumber(kCom);
        TAfComPort* raw = p.get();
        QObject::connect(raw, &TAfComPort::OnPortOpen, [this](QObject*) { events << "open"; });
        QObject::connect(raw, &TAfComPort::OnPortClose, [this](QObject*) { events << "close"; });
        if (outputDoneHandlers) {
            QObject::connect(raw, &TAfComPort::OnOutBufFree, [this](QObject*) { events << "outbuf-free"; });
            QObject::connect(raw, &TAfComPort::OnSyncEvent, [this](QObject*, TAfCoreEvent kind, quint32) {
                events << QStringLiteral("sync%1").arg(static_cast<int>(kind));
            });
        }
        QObject::connect(raw, &TAfComPort::OnDataRecived, [this, raw](QObject* sender, int count) {
            EXPECT_EQ(sender, raw);
            events << "data";
            counts.push_back(count);
            if (onData) onData(count);
        });
        return p;
    }

    // Keeps the port's ring full while the peer reads nothing.
    void FillUntilRingStaysUsed() {
        const QByteArray block(512, 'q');
        for (int i = 0; i < 4000 && port->OutQueueUsed() < 1024; ++i) {
            if (port->OutQueueFree() >= block.size()) port->SendText(block);
            else QThread::usleep(200);
        }
        ASSERT_GE(port->OutQueueUsed(), 1024);
    }

    // One command out and its reply back, read by the data handler. Returns how many
    // hand-offs to the user-interface thread the exchange made beyond its data reports,
    // after waiting (with a bound) for `expected` of them: the writer may signal its
    // emptied ring only after the reply is in.
    int OtherHandOffsOfAnExchange(int expected) {
        const QByteArray command("ping\r\n"), reply("pong\r\n");
        QByteArray got;
        onData = [&](int count) {
            QByteArray chunk(count, Qt::Uninitialized);
            port->ReadBlock(chunk.data(), count);  // raises if the count was wrong
            got += chunk;
        };
        const size_t dataBefore = counts.size();
        const quint64 callsBefore = AfSafeSync::CallsMade();
        auto others = [&] { return int(AfSafeSync::CallsMade() - callsBefore) - int(counts.size() - dataBefore); };
        port->SendText(command);
        EXPECT_EQ(peer.read(command.size()), command);
        peer.write(reply);
        EXPECT_TRUE(PumpUntil([&] { return got.size() >= reply.size() && others() >= expected; }));
        EXPECT_EQ(got, reply);
        onData = nullptr;
        return others();
    }

    PtyPeer peer{kCom};
    std::unique_ptr<TAfComPort> port;
    QStringList events;
    std::vector<int> counts;
    std::function<void(int)> onData;
};

TEST_F(ComPortTest, ClosedPortCountsZeroAndRefusesIo) {
    EXPECT_EQ(port->InQueueCount(), 0);
    EXPECT_EQ(port->OutQueueUsed(), 0);
    EXPECT_EQ(port->OutQueueFree(), 0);
    port->SendText("");  // nothing to send: no error
    EXPECT_EQ(ErrorText<EAfComPortError>([&] { port->SendText("A"); }),
              "Write data error [requested: 1, free: 0] - AfComPort1 ");
    EXPECT_EQ(ErrorText<EAfComPortError>([&] { port->SendByte(7); }),
              "Write data error [requested: 1, free: 0] - AfComPort1 ");
    EXPECT_EQ(ErrorText<EAfComPortError>([&] { port->ReadByte(); }), "Read data error - AfComPort1 ");
    port->DiscardInput();
    port->DiscardOutput();
    port->ClosePort();  // not open: still raises OnPortClose
    EXPECT_EQ(events, QStringList{"close"});
}

TEST_F(ComPortTest, OpenCloseEventsAndChangesWhileOpen) {
    PtyPeer second(kCom + 1);
    ASSERT_TRUE(second.ok());
    port->OpenPort();
    port->OpenPort();  // already open: no event
    EXPECT_EQ(events, QStringList{"open"});
    EXPECT_TRUE(port->IsOpen());
    int exclusive = 0;
    ASSERT_EQ(ioctl(peer.slave(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);

    EXPECT_EQ(ErrorText<EAfComPortError>([&] { port->SetInBufSize(100); }), "Port is not closed - AfComPort1 ");
    EXPECT_EQ(ErrorText<EAfComPortError>([&] { port->SetOutBufSize(100); }), "Port is not closed - AfComPort1 ");
    EXPECT_EQ(port->InBufSize(), 4096);
    EXPECT_EQ(port->OutQueueFree(), 2048);
    port->SetDTR(false);  // a pseudo-terminal has no modem lines: quietly nothing
    port->SetRTS(true);

    events.clear();
    port->SetComNumber(kCom + 1);
    EXPECT_EQ(events, (QStringList{"close", "open"}));
    // Released with the close, although the peer still holds the terminal open.
    ASSERT_EQ(ioctl(peer.slave(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    port->SendText("to the second");
    EXPECT_EQ(second.read(13), QByteArray("to the second"));
    EXPECT_EQ(peer.readAvailable(), QByteArray());

    events.clear();
    port->ClosePort();
    EXPECT_EQ(events, QStringList{"close"});
    EXPECT_FALSE(port->IsOpen());
    port->SetOutBufSize(16);  // allowed again while closed
    port->SetComNumber(kCom);
    port->OpenPort();
    EXPECT_EQ(port->OutQueueFree(), 16);
}

TEST_F(ComPortTest, OpenErrors) {
    QDir dir(PtyPeer::portDirectory());
    const QString nullLink = dir.filePath("COM4998");
    QFile::remove(nullLink);
    ASSERT_TRUE(QFile::link("/dev/null", nullLink));

    auto holder = MakePort();
    holder->SetComNumber(kCom);
    holder->OpenPort();
    events.clear();

    struct Case {
        int number;
        const char* text;
    };
    const Case cases[] = {
        {0, "Invalid port number (COM0)"},
        {4999, "Invalid port number (COM4999)"},  // no such device
        {kCom, "Can't open device COM31"},        // held by `holder`
        {4998, "Error setting timeouts"},         // not a terminal
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        port->SetComNumber(static_cast<uint16_t>(c.number));
        EXPECT_EQ(ErrorText<EAfComPortCoreError>([&] { port->OpenPort(); }), c.text);
        EXPECT_FALSE(port->IsOpen());
        EXPECT_TRUE(events.isEmpty());
    }
    QFile::remove(nullLink);

    // Nothing stays locked: once the holder lets go, the port opens.
    holder.reset();
    events.clear();
    port->SetComNumber(kCom);
    port->OpenPort();
    EXPECT_EQ(events, QStringList{"open"});
}

TEST_F(ComPortTest, OutputRingLimitAndOutBufFree) {
    port->OpenPort();
    const QByteArray tooMuch = RandomBytes(2049, 1);
    EXPECT_EQ(ErrorText<EAfComPortError>([&] { port->SendText(tooMuch); }),
              "Write data error [requested: 2049, free: 2048] - AfComPort1 ");
    EXPECT_EQ(port->OutQueueUsed(), 0);
    EXPECT_EQ(port->OutQueueFree(), 2048);

    const QByteArray full = RandomBytes(2048, 2);
    port->SendText(full);
    EXPECT_EQ(peer.read(2048), full);
    EXPECT_TRUE(PumpUntil([&] { return events.contains("outbuf-free"); }));
    EXPECT_EQ(events.indexOf("sync0") + 1, events.indexOf("outbuf-free"));
    EXPECT_EQ(peer.readAvailable(), QByteArray());  // nothing refused went out
}

// Without a handler for them, an emptied ring is not reported at all: no reader wake-up
// and no hand-off per write. A handler assigned while open gets them; once it is gone
// (disconnected, or its receiver destroyed) they stop again.
TEST_F(ComPortTest, OutputDoneReportsOnlyWhileAHandlerListens) {
    port = MakePort(false);
    port->OpenPort();
    EXPECT_EQ(OtherHandOffsOfAnExchange(0), 0);

    int freed = 0;
    auto connection = QObject::connect(port.get(), &TAfComPort::OnOutBufFree, [&](QObject*) { ++freed; });
    EXPECT_EQ(OtherHandOffsOfAnExchange(1), 1);
    // A hand-off is counted when the reader makes it, a moment before it is served.
    EXPECT_TRUE(PumpUntil([&] { return freed == 1; }));
    QObject::disconnect(connection);
    EXPECT_EQ(OtherHandOffsOfAnExchange(0), 0);

    // A receiver that goes away takes its connection along.
    auto receiver = std::make_unique<QObject>();
    int synced = 0;
    QObject::connect(port.get(), &TAfComPort::OnSyncEvent, receiver.get(),
                     [&](QObject*, TAfCoreEvent kind, quint32) { synced += kind == TAfCoreEvent::OutputDone; });
    EXPECT_EQ(OtherHandOffsOfAnExchange(1), 1);
    EXPECT_TRUE(PumpUntil([&] { return synced == 1; }));
    receiver.reset();
    EXPECT_EQ(OtherHandOffsOfAnExchange(0), 0);
    EXPECT_EQ(OtherHandOffsOfAnExchange(0), 0);  // nothing came late either
    EXPECT_EQ(freed, 1);
}

// The line protocol waits for a reply in a local event loop that the data-received
// handler quits; the report must be served inside that nested loop.
TEST_F(ComPortTest, DataReceivedServedInsideNestedLocalLoop) {
    port->OpenPort();
    QByteArray reply;
    QEventLoop* waiting = nullptr;
    onData = [&](int count) {
        for (int i = 0; i < count; ++i) reply.append(static_cast<char>(port->ReadByte()));
        if (waiting && reply.endsWith('\n')) waiting->quit();
    };
    bool handlerDone = false;
    QTimer::singleShot(0, [&] {
        port->SendText("?\r\n");
        EXPECT_EQ(peer.read(3), QByteArray("?\r\n"));
        QEventLoop loop;
        waiting = &loop;
        QTimer::singleShot(3000, &loop, &QEventLoop::quit);
        peer.write("reply\r\n");
        loop.exec();
        waiting = nullptr;
        handlerDone = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return handlerDone; }, 5000));
    EXPECT_EQ(reply, QByteArray("reply\r\n"));
    ASSERT_GE(events.indexOf("data"), 1);
    EXPECT_EQ(events[events.indexOf("data") - 1], "sync1");  // OnSyncEvent comes first
}

TEST_F(ComPortTest, UnreadBytesReportedAgainWithoutSpinning) {
    port->OpenPort();
    peer.write("12345");
    ASSERT_TRUE(PumpUntil([&] { return !counts.empty(); }));
    const double cpuBefore = ProcessCpuMs();
    PumpFor(1000);
    const double cpuUsed = ProcessCpuMs() - cpuBefore;
    // About one poll every 200 ms, each with the whole unread count.
    EXPECT_GE(counts.size(), 4u);
    EXPECT_LE(counts.size(), 10u);
    for (int count : counts) EXPECT_EQ(count, 5);
    EXPECT_LT(cpuUsed, 300.0) << "a spinning reader burns a whole core";

    EXPECT_EQ(port->InQueueCount(), 5);
    char buffer[5];
    port->ReadBlock(buffer, 5);
    EXPECT_EQ(QByteArray(buffer, 5), QByteArray("12345"));
    EXPECT_EQ(ErrorText<EAfComPortError>([&] { port->ReadByte(); }), "Read data error - AfComPort1 ");
    counts.clear();
    PumpFor(500);
    EXPECT_TRUE(counts.empty());
}

// A user-interface thread that processes no events for longer than a report waits
// (2000 ms): the reports made meanwhile are dropped, and once it processes events
// again the unread bytes are reported with their true count, and so is new input.
TEST_F(ComPortTest, ReportsResumeAfterALongPauseOfTheUserInterfaceThread) {
    port = MakePort(false);
    port->OpenPort();
    QByteArray got;
    onData = [&](int count) {
        QByteArray chunk(count, Qt::Uninitialized);
        port->ReadBlock(chunk.data(), count);  // raises if the count was stale
        got += chunk;
    };
    peer.write("before");
    // The pause itself is under test: longer than the 2 s a worker waits for a report.
    QThread::msleep(2600);
    ASSERT_TRUE(PumpUntil([&] { return got == "before"; }));
    peer.write(" after");
    ASSERT_TRUE(PumpUntil([&] { return got == "before after"; }));
    PumpFor(300);  // no stale report reads what is not there
    EXPECT_EQ(got, QByteArray("before after"));
}

TEST_F(ComPortTest, DiscardInputAndOutput) {
    port->OpenPort();
    peer.write("stale input");
    ASSERT_TRUE(PumpUntil([&] { return port->InQueueCount() == 11; }));
    port->DiscardInput();
    EXPECT_EQ(port->InQueueCount(), 0);

    FillUntilRingStaysUsed();
    port->DiscardOutput();
    EXPECT_EQ(port->OutQueueUsed(), 0);
    EXPECT_EQ(port->OutQueueFree(), 2048);
    // The writer goes on after the purge: what it had begun may still come first.
    port->SendText("after");
    QByteArray seen;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!seen.endsWith("after") && std::chrono::steady_clock::now() < end) seen += peer.read(1);
    EXPECT_TRUE(seen.endsWith("after")) << seen.right(40).toStdString();
}

TEST_F(ComPortTest, CloseWithQueuedOutputDropsIt) {
    port->OpenPort();
    FillUntilRingStaysUsed();
    events.clear();
    port->ClosePort();
    EXPECT_EQ(events, QStringList{"close"});
    EXPECT_EQ(port->OutQueueUsed(), 0);
    EXPECT_EQ(port->OutQueueFree(), 0);
}

TEST_F(ComPortTest, CloseFromInsideDataHandler) {
    port->OpenPort();
    onData = [&](int) { port->ClosePort(); };
    peer.write("x");
    ASSERT_TRUE(PumpUntil([&] { return events.contains("close"); }));
    EXPECT_FALSE(port->IsOpen());
    port->OpenPort();  // the reader of the first connection is gone; a new one starts
    EXPECT_TRUE(port->IsOpen());
}

TEST_F(ComPortTest, DestroyWhileOpenRaisesNoCloseEvent) {
    port->OpenPort();
    peer.write("pending");
    PumpFor(50);
    events.clear();
    port.reset();
    EXPECT_TRUE(events.isEmpty());
    // The device is free again.
    port = MakePort();
    port->OpenPort();
    EXPECT_TRUE(port->IsOpen());
}

TEST_F(ComPortTest, MegabyteEachWayByteForByte) {
    constexpr int size = 1 << 20;
    const QByteArray toDevice = RandomBytes(size, 11);
    const QByteArray fromDevice = RandomBytes(size, 12);
    port->SetBaudRate(TAfBaudrate::br115200);
    port->OpenPort();

    // The device side: writes its megabyte and reads ours, both at once.
    QByteArray deviceGot;
    std::thread device([&] {
        int sent = 0;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while ((sent < size || deviceGot.size() < size) && std::chrono::steady_clock::now() < end) {
            pollfd p{peer.master(), static_cast<short>(POLLIN | (sent < size ? POLLOUT : 0)), 0};
            poll(&p, 1, 50);
            if (p.revents & POLLIN) {
                char buf[8192];
                const ssize_t n = read(peer.master(), buf, sizeof buf);
                if (n > 0) deviceGot.append(buf, n);
            }
            if ((p.revents & POLLOUT) && sent < size) {
                const ssize_t n = write(peer.master(), fromDevice.constData() + sent, std::min(4096, size - sent));
                if (n > 0) sent += static_cast<int>(n);
            }
        }
    });

    QByteArray got;
    onData = [&](int count) {
        if (count <= 0) return;
        QByteArray chunk(count, Qt::Uninitialized);
        port->ReadBlock(chunk.data(), count);
        got += chunk;
    };
    int queued = 0;
    PumpUntil(
        [&] {
            const int free = port->OutQueueFree();
            if (queued < size && free > 0) {
                const int n = std::min(free, size - queued);
                port->SendBlock(toDevice.constData() + queued, n);
                queued += n;
            }
            return got.size() >= size && queued == size;
        },
        60000);
    device.join();
    EXPECT_EQ(got.size(), size);
    EXPECT_TRUE(got == fromDevice) << "bytes from the device differ";
    EXPECT_EQ(deviceGot.size(), size);
    EXPECT_TRUE(deviceGot == toDevice) << "bytes to the device differ";
}

TEST_F(ComPortTest, HangUpMidTransferClosesThePortOnce) {
    port->OpenPort();
    int received = 0;
    onData = [&](int count) {
        if (count <= 0) return;
        QByteArray chunk(count, Qt::Uninitialized);
        port->ReadBlock(chunk.data(), count);
        received += count;
    };
    std::atomic<bool> gone{false};
    std::thread device([&] {
        const QByteArray block = RandomBytes(1024, 5);
        for (int i = 0; i < 64; ++i) peer.write(block);
        peer.hangUp();  // unplugged in the middle of the stream
        gone = true;
    });
    const QByteArray out = RandomBytes(1024, 6);
    PumpUntil(
        [&] {
            if (!gone && port->IsOpen() && port->OutQueueFree() >= out.size()) port->SendText(out);
            return events.contains("close");
        },
        10000);
    device.join();
    EXPECT_TRUE(events.contains("close"));
    EXPECT_FALSE(port->IsOpen());
    EXPECT_GT(received, 0);

    const double cpuBefore = ProcessCpuMs();
    PumpFor(1000);
    EXPECT_LT(ProcessCpuMs() - cpuBefore, 300.0) << "something spins after the hang-up";
    EXPECT_EQ(events.count("close"), 1);
    EXPECT_EQ(ErrorText<EAfComPortError>([&] { port->SendText("x"); }),
              "Write data error [requested: 1, free: 0] - AfComPort1 ");
}

// The line protocol's wait: a local event loop that a reply, a close or its timer ends.
// A hang-up while it waits closes the port once, ends the wait and leaves nothing running.
TEST_F(ComPortTest, HangUpDuringALocalLoopWaitClosesOnceWithoutSpinning) {
    port = MakePort(false);
    port->OpenPort();
    bool closedInsideWait = false;
    bool waitDone = false;
    QTimer::singleShot(0, [&] {
        QEventLoop loop;
        auto quit = QObject::connect(port.get(), &TAfComPort::OnPortClose, &loop, [&](QObject*) {
            closedInsideWait = true;
            loop.quit();
        });
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        port->SendText("?\r\n");
        std::thread device([&] {
            peer.read(3);
            peer.hangUp();
        });
        loop.exec();
        device.join();
        QObject::disconnect(quit);
        waitDone = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return waitDone; }, 8000));
    EXPECT_TRUE(closedInsideWait);
    EXPECT_FALSE(port->IsOpen());

    const double cpuBefore = ProcessCpuMs();
    PumpFor(1000);
    EXPECT_LT(ProcessCpuMs() - cpuBefore, 100.0) << "something spins after the hang-up";
    EXPECT_EQ(events.count("close"), 1);
}

}  // namespace
