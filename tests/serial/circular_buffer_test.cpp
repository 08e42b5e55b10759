#include "af_circular_buffer.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(int count, uint8_t first) {
    std::vector<uint8_t> v(count);
    for (int i = 0; i < count; ++i) v[i] = static_cast<uint8_t>(first + i);
    return v;
}

TEST(CircularBuffer, WrapsIntoTwoSpansAndRefusesBeyondCapacity) {
    TAfCircularBuffer ring(8);
    const auto first = Bytes(5, 1);
    const auto second = Bytes(6, 100);
    ASSERT_TRUE(ring.Append(first.data(), 5));
    ASSERT_TRUE(ring.Remove(3));
    ASSERT_TRUE(ring.Append(second.data(), 6));

    EXPECT_EQ(ring.UsedCount(), 8);
    EXPECT_EQ(ring.FreeCount(), 0);
    EXPECT_EQ(ring.ContiguousCount(), 5);  // offsets 3..7
    const uint8_t extra = 0;
    EXPECT_FALSE(ring.Append(&extra, 1));
    EXPECT_EQ(ring.UsedCount(), 8);

    // First span: the two old bytes and three new ones; the rest wraps to the start.
    const std::vector<uint8_t> span1(ring.ReadPointer(), ring.ReadPointer() + ring.ContiguousCount());
    EXPECT_EQ(span1, (std::vector<uint8_t>{4, 5, 100, 101, 102}));
    ASSERT_TRUE(ring.Remove(5));
    const std::vector<uint8_t> span2(ring.ReadPointer(), ring.ReadPointer() + ring.ContiguousCount());
    EXPECT_EQ(span2, (std::vector<uint8_t>{103, 104, 105}));
    ASSERT_TRUE(ring.Remove(3));
    EXPECT_EQ(ring.UsedCount(), 0);
    EXPECT_EQ(ring.ContiguousCount(), 0);
}

TEST(CircularBuffer, FullRingWithEqualPositions) {
    // Read position at each offset, then filled exactly: contiguous = capacity - read.
    for (int read = 0; read < 8; ++read) {
        SCOPED_TRACE(read);
        TAfCircularBuffer ring(8);
        const auto pre = Bytes(8, 0);
        if (read > 0) {
            ASSERT_TRUE(ring.Append(pre.data(), read));
            ASSERT_TRUE(ring.Remove(read));
        }
        const auto fill = Bytes(8, 50);
        ASSERT_TRUE(ring.Append(fill.data(), 8));
        EXPECT_EQ(ring.UsedCount(), 8);
        EXPECT_EQ(ring.ContiguousCount(), 8 - read);
        EXPECT_EQ(*ring.ReadPointer(), 50);
        EXPECT_TRUE(ring.Remove(0));  // a count of 0 keeps the full flag
        EXPECT_EQ(ring.UsedCount(), 8);
        ASSERT_TRUE(ring.Remove(8));
        EXPECT_EQ(ring.UsedCount(), 0);
        EXPECT_EQ(ring.FreeCount(), 8);
    }
}

TEST(CircularBuffer, RefusedCallsChangeNothing) {
    TAfCircularBuffer ring(4);
    const auto bytes = Bytes(5, 1);
    ASSERT_TRUE(ring.Append(bytes.data(), 3));
    struct Case {
        const char* name;
        bool (*call)(TAfCircularBuffer&, const uint8_t*);
    };
    const Case cases[] = {
        {"append zero", [](TAfCircularBuffer& r, const uint8_t* b) { return r.Append(b, 0); }},
        {"append negative", [](TAfCircularBuffer& r, const uint8_t* b) { return r.Append(b, -1); }},
        {"append beyond free", [](TAfCircularBuffer& r, const uint8_t* b) { return r.Append(b, 2); }},
        {"remove beyond used", [](TAfCircularBuffer& r, const uint8_t*) { return r.Remove(4); }},
        {"remove negative", [](TAfCircularBuffer& r, const uint8_t*) { return r.Remove(-1); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(c.call(ring, bytes.data()));
        EXPECT_EQ(ring.UsedCount(), 3);
        EXPECT_EQ(ring.ContiguousCount(), 3);
        EXPECT_EQ(*ring.ReadPointer(), 1);
    }
    ring.Clear();
    EXPECT_EQ(ring.UsedCount(), 0);
    EXPECT_EQ(ring.FreeCount(), 4);
}

// Random appends and span-wise removals against a plain queue.
TEST(CircularBuffer, MatchesAQueueUnderRandomUse) {
    for (int capacity : {1, 2, 7, 64}) {
        SCOPED_TRACE(capacity);
        std::mt19937 random(capacity);
        TAfCircularBuffer ring(capacity);
        std::deque<uint8_t> model;
        uint8_t next = 0;
        for (int step = 0; step < 5000; ++step) {
            if (random() % 2) {
                const int n = static_cast<int>(random() % (capacity + 2));
                std::vector<uint8_t> bytes(std::max(n, 1));
                for (auto& b : bytes) b = next++;
                const bool fits = n >= 1 && n <= capacity - static_cast<int>(model.size());
                ASSERT_EQ(ring.Append(bytes.data(), n), fits);
                if (fits) model.insert(model.end(), bytes.begin(), bytes.begin() + n);
                else next = static_cast<uint8_t>(next - bytes.size());
            } else {
                const int span = ring.ContiguousCount();
                ASSERT_LE(span, static_cast<int>(model.size()));
                ASSERT_EQ(span == 0, model.empty());
                const int take = span == 0 ? 0 : 1 + static_cast<int>(random() % span);
                for (int i = 0; i < take; ++i) ASSERT_EQ(ring.ReadPointer()[i], model[i]);
                ASSERT_TRUE(ring.Remove(take));
                model.erase(model.begin(), model.begin() + take);
            }
            ASSERT_EQ(ring.UsedCount(), static_cast<int>(model.size()));
            ASSERT_EQ(ring.FreeCount(), capacity - static_cast<int>(model.size()));
        }
    }
}

}  // namespace
