#pragma once
// Bytes handed to a serial port that cannot have crossed the line yet. A line carries
// one byte per 10 bit times however much the driver below accepts at once (a
// pseudo-terminal takes kilobytes), so the firmware streams pace themselves on this
// and a purge or an end command never overtakes bytes still on their way.

#include <cstdint>

#include "line_protocol.h"

namespace vorkal {

class WireBacklog {
public:
    // 0 or less: no pacing, every byte counts as gone at once.
    explicit WireBacklog(int baud = 0) { setBaud(baud); }
    void setBaud(int baud) { byteNs_ = baud > 0 ? kBitsPerChar * 1'000'000'000LL / baud : 0; }
    int64_t byteNs() const { return byteNs_; }

    // `bytes` were handed to the port at `nowNs`; they follow whatever is still on the line.
    void add(int bytes, int64_t nowNs);
    // Bytes that cannot have left by `nowNs`.
    int pending(int64_t nowNs) const;
    // Nanoseconds from `nowNs` until at most `bytes` are pending; 0 when already so.
    int64_t waitNs(int bytes, int64_t nowNs) const;
    // The port's output was purged: nothing of it is on its way any more.
    void clear() { lineFreeNs_ = 0; }

private:
    int64_t byteNs_ = 0;
    int64_t lineFreeNs_ = 0;  // when the last byte handed over has crossed the line
};

}  // namespace vorkal
