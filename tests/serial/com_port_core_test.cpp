#include "af_com_port_core.h"
#include "pty_peer.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Report {
    TAfCoreEvent kind;
    uint32_t data;
};

// Collects the core's reports as the reader thread makes them.
class CoreProbe {
public:
    CoreProbe() {
        core.SetCallback([this](TAfComPortCore*, TAfCoreEvent kind, uint32_t data, std::exception_ptr) {
            std::lock_guard lock(mutex_);
            reports_.push_back({kind, data});
        });
    }
    std::vector<Report> take() {
        std::lock_guard lock(mutex_);
        return std::exchange(reports_, {});
    }
    // Waits (with a bound) until the reports made since the last take() hold `count` of
    // `kind`; true when they do.
    bool waitFor(TAfCoreEvent kind, int count, int limitMs = 3000);
    TAfComPortCore core;

private:
    std::mutex mutex_;
    std::vector<Report> reports_;
};

int Count(const std::vector<Report>& reports, TAfCoreEvent kind, uint32_t mask = 0) {
    int n = 0;
    for (const Report& r : reports)
        if (r.kind == kind && (mask == 0 || (r.data & mask))) ++n;
    return n;
}

bool CoreProbe::waitFor(TAfCoreEvent kind, int count, int limitMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (Count(reports_, kind) >= count) return true;
        }
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

TEST(ComPortCore, RefusesEverythingWhileClosed) {
    TAfComPortCore core;
    char buffer[4];
    EXPECT_EQ(core.Read(buffer, 4), -1);
    EXPECT_FALSE(core.QueueOutput("ab", 2));
    EXPECT_FALSE(core.PurgeInput());
    EXPECT_FALSE(core.PurgeOutput());
    EXPECT_EQ(core.OutputUsed(), 0);
    EXPECT_EQ(core.OutputFree(), 0);
    EXPECT_EQ(core.FetchLineErrors(), 0u);
    const TAfComStat stat = core.StatusQuery();
    EXPECT_EQ(stat.InQueue + stat.Errors, 0u);
    core.CloseIfOpen();  // harmless
    EXPECT_FALSE(core.IsOpen());
}

TEST(ComPortCore, UnreadInputIsPolledAndNewInputStillRaisesAnEvent) {
    PtyPeer peer(41);
    ASSERT_TRUE(peer.ok());
    CoreProbe probe;
    TAfDcb dcb;
    dcb.BaudRate = 57600;
    dcb.ByteSize = 8;
    dcb.Flags = AfDcbFlag::Binary;
    probe.core.SetDcb(dcb);
    probe.core.SetQueueSizes(4096, 64);
    ASSERT_TRUE(probe.core.Open(41));
    EXPECT_FALSE(probe.core.Open(41));  // already open
    EXPECT_EQ(probe.core.OutputFree(), 64);

    peer.write("abc");
    // Two polls of the unread bytes.
    ASSERT_TRUE(probe.waitFor(TAfCoreEvent::InputWaiting, 2));
    auto reports = probe.take();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front().kind, TAfCoreEvent::CommEvent);
    EXPECT_TRUE(reports.front().data & AfCommEvent::RxChar);
    EXPECT_EQ(Count(reports, TAfCoreEvent::CommEvent, AfCommEvent::RxChar), 1);
    EXPECT_GE(Count(reports, TAfCoreEvent::InputWaiting), 2);
    for (const Report& r : reports) {
        if (r.kind == TAfCoreEvent::InputWaiting) {
            EXPECT_EQ(r.data, 3u);
        }
    }

    // More bytes while the old ones are unread: an event, not just the next poll.
    peer.write("de");
    ASSERT_TRUE(probe.waitFor(TAfCoreEvent::CommEvent, 1));
    reports = probe.take();
    EXPECT_EQ(Count(reports, TAfCoreEvent::CommEvent, AfCommEvent::RxChar), 1);

    char buffer[16] = {};
    EXPECT_EQ(probe.core.Read(buffer, sizeof buffer), 5);
    EXPECT_EQ(std::string(buffer, 5), "abcde");
    EXPECT_EQ(probe.core.Read(buffer, sizeof buffer), 0);  // never waits
    probe.take();

    // The writer empties the ring in spans; an empty ring is reported once. Meanwhile,
    // with nothing unread, the polls of the next half second report no input.
    const std::string text(65, 'x');
    EXPECT_FALSE(probe.core.QueueOutput(text.data(), 65));  // beyond the ring: nothing queued
    ASSERT_TRUE(probe.core.QueueOutput(text.data(), 60));
    EXPECT_EQ(peer.read(60), QByteArray(60, 'x'));
    ASSERT_TRUE(probe.waitFor(TAfCoreEvent::OutputDone, 1));
    // What must not happen can only be watched for: two and a half poll periods.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    reports = probe.take();
    EXPECT_EQ(Count(reports, TAfCoreEvent::InputWaiting), 0);
    EXPECT_EQ(Count(reports, TAfCoreEvent::OutputDone), 1);
    EXPECT_EQ(probe.core.OutputUsed(), 0);
    probe.core.CloseIfOpen();
    EXPECT_FALSE(probe.core.IsOpen());
    EXPECT_EQ(probe.core.Read(buffer, 1), -1);
}

TEST(ComPortCore, HangUpIsReportedOnceWithoutSpinning) {
    auto peer = std::make_unique<PtyPeer>(42);
    ASSERT_TRUE(peer->ok());
    CoreProbe probe;
    TAfDcb dcb;
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    probe.core.SetDcb(dcb);
    ASSERT_TRUE(probe.core.Open(42));
    EXPECT_FALSE(probe.core.LineHungUp());
    peer->hangUp();
    ASSERT_TRUE(probe.waitFor(TAfCoreEvent::LineHangUp, 1));
    // Known before anyone handles the report, for code that does not return to its loop.
    EXPECT_TRUE(probe.core.LineHungUp());
    const double cpuBefore = ProcessCpuMs();
    // Writes to the lost device fail quietly and do not spin either.
    probe.core.QueueOutput("zz", 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const double cpuUsed = ProcessCpuMs() - cpuBefore;
    const auto reports = probe.take();
    EXPECT_EQ(Count(reports, TAfCoreEvent::LineHangUp), 1);
    EXPECT_EQ(Count(reports, TAfCoreEvent::InputWaiting), 0);
    EXPECT_LT(cpuUsed, 250.0) << "a spinning thread burns a whole core";
    probe.core.CloseIfOpen();

    // Plugged in again: the new line starts live.
    peer.reset();
    PtyPeer replugged(42);
    ASSERT_TRUE(replugged.ok());
    ASSERT_TRUE(probe.core.Open(42));
    EXPECT_FALSE(probe.core.LineHungUp());
    probe.core.CloseIfOpen();
}

}  // namespace
