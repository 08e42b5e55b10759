#include "af_line_posix.h"

#include <asm/termbits.h>
#include <cerrno>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace AfLinePosix {
namespace {

struct StandardRate {
    uint32_t rate;
    unsigned code;
};
constexpr StandardRate standardRates[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},        {200, B200},
    {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},     {2400, B2400},      {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},  {230400, B230400},
    {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600}, {1000000, B1000000}};

// No serial driver goes beyond a few megabaud; a negative user rate lands above this.
constexpr uint32_t MaxRate = 20000000;

bool ValidDcb(const TAfDcb& dcb) {
    return dcb.BaudRate > 0 && dcb.BaudRate <= MaxRate && dcb.ByteSize >= 5 && dcb.ByteSize <= 8 && dcb.Parity <= 4 &&
           dcb.StopBits <= 2;
}

}  // namespace

bool SetRawNoTimeouts(int fd) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    t.c_iflag = 0;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return ioctl(fd, TCSETS2, &t) == 0;
}

bool MapDcb(const TAfDcb& dcb, TermiosFlags& out) {
    if (!ValidDcb(dcb)) return false;
    TermiosFlags m;
    const uint32_t f = dcb.Flags;
    if (f & AfDcbFlag::Parity) m.iflag |= INPCK;
    if (f & AfDcbFlag::OutX) m.iflag |= IXON;
    if (f & AfDcbFlag::InX) m.iflag |= IXOFF;

    static constexpr unsigned sizes[] = {CS5, CS6, CS7, CS8};
    m.cflag = CREAD | CLOCAL | HUPCL | sizes[dcb.ByteSize - 5];
    switch (dcb.Parity) {
    case 1: m.cflag |= PARENB | PARODD; break;
    case 2: m.cflag |= PARENB; break;
    case 3: m.cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: m.cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    // Linux gives 1.5 stop bits for CSTOPB with 5 data bits, 2 otherwise.
    if (dcb.StopBits != 0) m.cflag |= CSTOPB;
    if (f & (AfDcbFlag::OutxCtsFlow | AfDcbFlag::RtsControlHandshake)) m.cflag |= CRTSCTS;

    m.rateCode = BOTHER;
    for (const StandardRate& r : standardRates)
        if (r.rate == dcb.BaudRate) m.rateCode = r.code;
    m.rate = dcb.BaudRate;
    m.startChar = static_cast<uint8_t>(dcb.XonChar);
    m.stopChar = static_cast<uint8_t>(dcb.XoffChar);
    out = m;
    return true;
}

bool ApplyDcb(int fd, const TAfDcb& dcb) {
    TermiosFlags m;
    if (!MapDcb(dcb, m)) {
        errno = EINVAL;
        return false;
    }
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    t.c_iflag = m.iflag;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cflag = m.cflag | m.rateCode;
    t.c_ispeed = m.rate;
    t.c_ospeed = m.rate;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    t.c_cc[VSTART] = m.startChar;
    t.c_cc[VSTOP] = m.stopChar;
    if (ioctl(fd, TCSETS2, &t) != 0) return false;

    // DTR and RTS follow the record unless a handshake drives them.
    const uint32_t f = dcb.Flags;
    if (!(f & AfDcbFlag::DtrControlHandshake))
        EscapeFunction(fd, (f & AfDcbFlag::DtrControlEnable) ? AfEscape::SetDtr : AfEscape::ClrDtr);
    if (!(f & AfDcbFlag::RtsControlHandshake))
        EscapeFunction(fd, (f & AfDcbFlag::RtsControlEnable) ? AfEscape::SetRts : AfEscape::ClrRts);
    return true;
}

bool ReadDcb(int fd, TAfDcb& dcb) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    TAfDcb d;
    d.DCBlength = sizeof(TAfDcb);
    d.BaudRate = t.c_ospeed;
    switch (t.c_cflag & CSIZE) {
    case CS5: d.ByteSize = 5; break;
    case CS6: d.ByteSize = 6; break;
    case CS7: d.ByteSize = 7; break;
    default: d.ByteSize = 8; break;
    }
    if (t.c_cflag & PARENB) {
        const bool odd = t.c_cflag & PARODD;
        d.Parity = (t.c_cflag & CMSPAR) ? (odd ? 3 : 4) : (odd ? 1 : 2);
    }
    if (t.c_cflag & CSTOPB) d.StopBits = d.ByteSize == 5 ? 1 : 2;
    d.Flags = AfDcbFlag::Binary;
    if (t.c_iflag & INPCK) d.Flags |= AfDcbFlag::Parity;
    if (t.c_iflag & IXON) d.Flags |= AfDcbFlag::OutX;
    if (t.c_iflag & IXOFF) d.Flags |= AfDcbFlag::InX;
    if (t.c_cflag & CRTSCTS) d.Flags |= AfDcbFlag::OutxCtsFlow | AfDcbFlag::RtsControlHandshake;
    int lines = 0;
    if (ioctl(fd, TIOCMGET, &lines) == 0) {
        if ((lines & TIOCM_DTR)) d.Flags |= AfDcbFlag::DtrControlEnable;
        if ((lines & TIOCM_RTS) && !(t.c_cflag & CRTSCTS)) d.Flags |= AfDcbFlag::RtsControlEnable;
    }
    d.XonChar = static_cast<char>(t.c_cc[VSTART]);
    d.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
    dcb = d;
    return true;
}

void RequestLowLatency(int fd) {
    serial_struct ss{};
    if (ioctl(fd, TIOCGSERIAL, &ss) != 0 || (ss.flags & ASYNC_LOW_LATENCY)) return;
    ss.flags |= ASYNC_LOW_LATENCY;
    ioctl(fd, TIOCSSERIAL, &ss);
}

bool InputCount(int fd, int& count) {
    count = 0;
    return ioctl(fd, FIONREAD, &count) == 0;
}

// A pseudo-terminal has no output queue of its own: what was written is already in the
// other end's input, and an output flush would reach in and drop bytes that a real line
// would have delivered.
bool IsPseudoTerminal(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned int majorNumber = major(st.st_rdev);
    return majorNumber >= 136 && majorNumber <= 143;  // the Unix98 terminal slaves
}

bool Purge(int fd, int queues) {
    if ((queues & PurgeOutput) && IsPseudoTerminal(fd)) {
        queues &= ~PurgeOutput;
        if (!queues) return true;
    }
    const int which = queues == (PurgeInput | PurgeOutput) ? TCIOFLUSH : queues == PurgeOutput ? TCOFLUSH : TCIFLUSH;
    return ioctl(fd, TCFLSH, which) == 0;
}

bool EscapeFunction(int fd, int code) {
    int bits = 0;
    unsigned long request = 0;
    switch (code) {
    case AfEscape::SetRts:
        request = TIOCMBIS;
        bits = TIOCM_RTS;
        break;
    case AfEscape::ClrRts:
        request = TIOCMBIC;
        bits = TIOCM_RTS;
        break;
    case AfEscape::SetDtr:
        request = TIOCMBIS;
        bits = TIOCM_DTR;
        break;
    case AfEscape::ClrDtr:
        request = TIOCMBIC;
        bits = TIOCM_DTR;
        break;
    default: return false;
    }
    return ioctl(fd, request, &bits) == 0;
}

bool ReadCounters(int fd, Counters& c) {
    serial_icounter_struct ic{};
    if (ioctl(fd, TIOCGICOUNT, &ic) != 0) return false;
    c.cts = ic.cts;
    c.dsr = ic.dsr;
    c.ring = ic.rng;
    c.dcd = ic.dcd;
    c.frame = ic.frame;
    c.overrun = ic.overrun;
    c.parity = ic.parity;
    c.brk = ic.brk;
    c.bufOverrun = ic.buf_overrun;
    return true;
}

bool ModemLevels(int fd, uint32_t& bits) {
    int lines = 0;
    bits = 0;
    if (ioctl(fd, TIOCMGET, &lines) != 0) return false;
    if (lines & TIOCM_CTS) bits |= AfCommEvent::Cts;
    if (lines & TIOCM_DSR) bits |= AfCommEvent::Dsr;
    if (lines & TIOCM_CD) bits |= AfCommEvent::Rlsd;
    if (lines & TIOCM_RI) bits |= AfCommEvent::Ring;
    return true;
}

}  // namespace AfLinePosix
