// POSIX mapping of the serial line operations: termios2 for the line-parameter
// record (any rate through BOTHER, mark/space parity through CMSPAR), queue counts,
// purges, modem lines and the driver's error counters. Kept apart because the
// kernel's termios2 header cannot share a translation unit with <termios.h>.
#pragma once

#include "af_com_port_types.h"

namespace AfLinePosix {

// Raw byte mode, reads return at once with what has arrived.
bool SetRawNoTimeouts(int fd);
// The record as terminal flags (the kernel's values, the same as <termios.h>).
struct TermiosFlags {
    unsigned cflag = 0;  // without the rate bits
    unsigned iflag = 0;
    unsigned rateCode = 0;  // B<rate>, or BOTHER for any other rate
    uint32_t rate = 0;
    uint8_t startChar = 0, stopChar = 0;
};
// False when the record asks for something a terminal cannot do (rate 0, 4 data bits, ...).
bool MapDcb(const TAfDcb& dcb, TermiosFlags& flags);
// False (errno set) when the record is invalid or the driver refuses it.
bool ApplyDcb(int fd, const TAfDcb& dcb);
bool ReadDcb(int fd, TAfDcb& dcb);
// Asks USB adapters not to hold short replies for their latency timer; quiet where unsupported.
void RequestLowLatency(int fd);

bool InputCount(int fd, int& count);
// queues: 0x1 input, 0x2 output.
bool Purge(int fd, int queues);
constexpr int PurgeInput = 0x1;
constexpr int PurgeOutput = 0x2;

bool EscapeFunction(int fd, int code);

// Driver counters of line events; false where the driver has none (pseudo-terminals).
struct Counters {
    int cts = 0, dsr = 0, ring = 0, dcd = 0;
    int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};
bool ReadCounters(int fd, Counters& counters);
// Modem-status levels as CommEvent bits (Cts, Dsr, Rlsd, Ring); false where unsupported.
bool ModemLevels(int fd, uint32_t& bits);

}  // namespace AfLinePosix
