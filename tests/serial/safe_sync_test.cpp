#include "af_com_port_core.h"
#include "af_safe_sync.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// Unregisters what a test registered.
struct Targets {
    std::vector<quint32> ids;
    quint32 add(AfSafeSync::TAfSyncMethod method) {
        const quint32 id = AfSafeSync::RegisterTarget(std::move(method));
        if (id) ids.push_back(id);
        return id;
    }
    ~Targets() {
        for (quint32 id : ids) AfSafeSync::UnregisterTarget(id);
    }
};

// Runs the event loop until `done` or the limit.
void PumpUntil(const std::function<bool()>& done, int limitMs = 3000) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    poll.start(1);
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    loop.exec();
}

TEST(SafeSync, IdsCountUpAndWrapToOne) {
    struct Case {
        quint32 counter;
        quint32 expected;
    };
    for (const Case c : {Case{0, 1}, Case{41, 42}, Case{0xFFFFFFFEu, 0xFFFFFFFFu}, Case{0xFFFFFFFFu, 1}}) {
        Targets targets;
        AfSafeSync::SetIdCounter(c.counter);
        EXPECT_EQ(targets.add([](int) {}), c.expected) << c.counter;
    }
}

TEST(SafeSync, TableHoldsSixtyFourTargets) {
    AfSafeSync::SetIdCounter(1000);
    Targets targets;
    for (int i = 0; i < AfSafeSync::MaxTargets; ++i) ASSERT_NE(targets.add([](int) {}), 0u) << i;
    EXPECT_EQ(AfSafeSync::RegisterTarget([](int) {}), 0u);
    // A freed slot is reused.
    ASSERT_TRUE(AfSafeSync::UnregisterTarget(targets.ids.back()));
    targets.ids.pop_back();
    EXPECT_NE(targets.add([](int) {}), 0u);

    // Unknown ids and id 0 find nothing.
    EXPECT_FALSE(AfSafeSync::UnregisterTarget(0));
    EXPECT_FALSE(AfSafeSync::UnregisterTarget(999));
    EXPECT_FALSE(AfSafeSync::EnableTarget(999, true));
    EXPECT_FALSE(AfSafeSync::CallTarget(0, 10));
    EXPECT_EQ(AfSafeSync::RegisterTarget(nullptr), 0u);
}

TEST(SafeSync, WorkerCallRunsTargetOnUserInterfaceThread) {
    Targets targets;
    QThread* ranOn = nullptr;
    int slotSeen = 0;
    const quint32 id = targets.add([&](int slot) {
        ranOn = QThread::currentThread();
        slotSeen = slot;
    });
    ASSERT_TRUE(AfSafeSync::EnableTarget(id, true));

    std::atomic<int> result{-1};
    std::thread worker([&] { result = AfSafeSync::CallTarget(id, 2000); });
    PumpUntil([&] { return result != -1; });
    worker.join();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ranOn, QCoreApplication::instance()->thread());
    EXPECT_GE(slotSeen, 1);
    EXPECT_LE(slotSeen, 64);
}

// A served caller is woken on the user-interface thread's next turn to its event
// dispatcher: a wait in an event loop, or a processEvents() call that does not wait.
TEST(SafeSync, ServedCallerReturnsOnTheNextEventTurn) {
    for (const bool loopWaits : {true, false}) {
        SCOPED_TRACE(loopWaits ? "event loop" : "processEvents");
        Targets targets;
        int runs = 0;
        const quint32 id = targets.add([&](int) { ++runs; });
        ASSERT_TRUE(AfSafeSync::EnableTarget(id, true));
        QEventLoop loop;
        std::atomic<bool> returned{false};
        // The worker ends the loop through a file descriptor, so that no Qt object is
        // shared with it (Qt's own reference counts are invisible to the thread checker).
        TAfSignal returnedSignal;
        ASSERT_GE(returnedSignal.Fd(), 0);
        QSocketNotifier returnedNotifier(returnedSignal.Fd(), QSocketNotifier::Read);
        QObject::connect(&returnedNotifier, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
        QElapsedTimer clock;
        clock.start();
        std::thread worker([&] {
            EXPECT_TRUE(AfSafeSync::CallTarget(id, 10000));
            returned = true;
            returnedSignal.Set();
        });
        if (loopWaits) {
            QTimer::singleShot(10000, &loop, &QEventLoop::quit);
            loop.exec();
        } else {
            while (!returned && clock.elapsed() < 10000) {
                QCoreApplication::processEvents();
                QThread::usleep(200);  // bare processEvents() turns are the path under test
            }
        }
        worker.join();
        EXPECT_EQ(runs, 1);
        EXPECT_LT(clock.elapsed(), 2000) << "the caller slept until its time-out";
    }
}

TEST(SafeSync, DisabledTargetIsNotRun) {
    Targets targets;
    int runs = 0;
    const quint32 id = targets.add([&](int) { ++runs; });  // registered disabled
    bool result = true;
    std::thread worker([&] { result = AfSafeSync::CallTarget(id, 2000); });
    worker.join();  // returns without waiting for this thread
    QCoreApplication::processEvents();
    EXPECT_FALSE(result);
    EXPECT_EQ(runs, 0);
}

TEST(SafeSync, ServedInsideNestedEventLoop) {
    Targets targets;
    int depthAtRun = -1;
    int depth = 0;
    const quint32 id = targets.add([&](int) { depthAtRun = depth; });
    ASSERT_TRUE(AfSafeSync::EnableTarget(id, true));
    std::thread worker;
    // A handler that waits the way the line protocol does: a local loop quit by the event.
    QTimer::singleShot(0, [&] {
        ++depth;
        QEventLoop wait;
        worker = std::thread([&] { AfSafeSync::CallTarget(id, 2000); });
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &wait, [&] {
            if (depthAtRun >= 0) wait.quit();
        });
        poll.start(1);
        QTimer::singleShot(3000, &wait, &QEventLoop::quit);
        wait.exec();
        --depth;
    });
    PumpUntil([&] { return depthAtRun >= 0 && depth == 0; });
    worker.join();
    EXPECT_EQ(depthAtRun, 1);
}

TEST(SafeSync, TargetDisabledOnTheWayIsSkippedAndFreesTheCaller) {
    Targets targets;
    int runs = 0;
    const quint32 id = targets.add([&](int) { ++runs; });
    ASSERT_TRUE(AfSafeSync::EnableTarget(id, true));
    std::atomic<int> result{-1};
    std::thread worker([&] { result = AfSafeSync::CallTarget(id, 10000); });
    // This thread is not processing events: the request waits in the queue.
    QThread::msleep(50);
    AfSafeSync::EnableTarget(id, false);
    worker.join();  // woken by the disable, long before its 10 s time-out
    QCoreApplication::processEvents();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(runs, 0);
}

TEST(SafeSync, TimedOutRequestIsDroppedButReportsEnabled) {
    Targets targets;
    int runs = 0;
    const quint32 id = targets.add([&](int) { ++runs; });
    ASSERT_TRUE(AfSafeSync::EnableTarget(id, true));
    bool result = false;
    std::thread worker([&] { result = AfSafeSync::CallTarget(id, 100); });
    worker.join();  // this thread never served it
    QCoreApplication::processEvents();
    EXPECT_TRUE(result);  // a slow user-interface thread, not a closed target
    EXPECT_EQ(runs, 0);   // abandoned requests do not run late
}

TEST(SafeSync, TargetMayUseTheTableAndExceptionsGoToTheHandler) {
    Targets targets;
    std::vector<std::string> messages;
    AfSafeSync::SetExceptionHandler([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& ex) {
            messages.push_back(ex.what());
        }
    });
    int step = 0;
    const quint32 id = targets.add([&](int) {
        ++step;
        // The table's mutex is not held while a target runs.
        const quint32 inner = AfSafeSync::RegisterTarget([](int) {});
        EXPECT_NE(inner, 0u);
        EXPECT_TRUE(AfSafeSync::UnregisterTarget(inner));
        if (step == 1) throw std::runtime_error("boom");
        throw EAfSilentAbort();
    });
    ASSERT_TRUE(AfSafeSync::EnableTarget(id, true));
    for (int call = 0; call < 2; ++call) {
        std::atomic<bool> done{false};
        std::thread worker([&] {
            AfSafeSync::CallTarget(id, 2000);
            done = true;
        });
        PumpUntil([&] { return done.load(); });
        worker.join();
    }
    AfSafeSync::SetExceptionHandler(nullptr);
    EXPECT_EQ(step, 2);
    EXPECT_EQ(messages, std::vector<std::string>{"boom"});  // the silent abort is not shown
}

}  // namespace
