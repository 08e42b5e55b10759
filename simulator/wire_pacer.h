#pragma once
// Wire time of a serial line: every byte takes 10 bit times (start, 8 data, stop) and
// a byte cannot start before the previous one has left.

#include <algorithm>
#include <cstdint>

namespace vorkal::sim {

class WirePacer {
public:
    // 0 turns pacing off: every byte is there at once.
    void setBaud(int baud) { byteNs_ = baud > 0 ? 10'000'000'000LL / baud : 0; }
    int64_t byteNs() const { return byteNs_; }

    // Time (ns) at which the next byte has completely crossed the line, when it may
    // start no earlier than `earliest`.
    int64_t next(int64_t earliest) {
        lineFree_ = std::max(lineFree_, earliest) + byteNs_;
        return lineFree_;
    }

    // Time at which the line is idle again.
    int64_t lineFree() const { return lineFree_; }
    void reset() { lineFree_ = 0; }

private:
    int64_t byteNs_ = 0;
    int64_t lineFree_ = 0;
};

// Wire time in nanoseconds of `bytes` bytes at `baud`.
inline int64_t WireTimeNs(int64_t bytes, int baud) { return bytes * 10'000'000'000LL / baud; }

}  // namespace vorkal::sim
