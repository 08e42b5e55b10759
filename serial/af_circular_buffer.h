// Fixed-capacity byte ring, read in place in contiguous spans. Not thread-safe:
// its owner guards every access (the serial core's output lock).
#pragma once

#include <cstdint>
#include <memory>

class TAfCircularBuffer {
public:
    explicit TAfCircularBuffer(int32_t capacity);

    int32_t Capacity() const { return capacity_; }
    int32_t UsedCount() const;
    int32_t FreeCount() const { return capacity_ - UsedCount(); }
    // Stored bytes that follow the read position without wrapping.
    int32_t ContiguousCount() const;
    const uint8_t* ReadPointer() const { return storage_.get() + read_; }
    bool Remove(int32_t count);
    // All or nothing: refused when count < 1 or above the free space.
    bool Append(const void* bytes, int32_t count);
    void Clear();

private:
    int32_t Advance(int32_t position, int32_t count) const;

    std::unique_ptr<uint8_t[]> storage_;
    int32_t capacity_;
    int32_t read_ = 0;
    int32_t write_ = 0;
    bool full_ = false;
};
