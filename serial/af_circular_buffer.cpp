#include "af_circular_buffer.h"

#include <algorithm>
#include <cstring>

TAfCircularBuffer::TAfCircularBuffer(int32_t capacity)
    : storage_(new uint8_t[std::max<int32_t>(capacity, 1)]), capacity_(std::max<int32_t>(capacity, 0)) {
    Clear();
}

void TAfCircularBuffer::Clear() {
    read_ = 0;
    write_ = 0;
    full_ = false;
}

int32_t TAfCircularBuffer::UsedCount() const {
    if (full_) return capacity_;
    return write_ >= read_ ? write_ - read_ : write_ + capacity_ - read_;
}

int32_t TAfCircularBuffer::ContiguousCount() const {
    if (full_) return capacity_ - read_;
    return write_ >= read_ ? write_ - read_ : capacity_ - read_;
}

int32_t TAfCircularBuffer::Advance(int32_t position, int32_t count) const {
    const int32_t next = position + count;
    return next < capacity_ ? next : next - capacity_;
}

bool TAfCircularBuffer::Remove(int32_t count) {
    if (count < 0 || UsedCount() < count) return false;
    read_ = Advance(read_, count);
    if (count > 0) full_ = false;
    return true;
}

bool TAfCircularBuffer::Append(const void* bytes, int32_t count) {
    if (count < 1 || FreeCount() < count) return false;
    const auto* src = static_cast<const uint8_t*>(bytes);
    if (write_ < read_) {
        std::memcpy(storage_.get() + write_, src, count);
    } else {
        const int32_t first = std::min(count, capacity_ - write_);
        std::memcpy(storage_.get() + write_, src, first);
        std::memcpy(storage_.get(), src + first, count - first);
    }
    write_ = Advance(write_, count);
    full_ = read_ == write_;
    return true;
}
