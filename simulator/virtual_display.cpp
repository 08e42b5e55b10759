#include "virtual_display.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "line_speed.h"
#include "port_directory.h"
#include "sim_codec.h"
#include "text_drawing.h"
#include "wire_pacer.h"

namespace vorkal::sim {

const char* DisplayModeName(DisplayMode mode) {
    switch (mode) {
    case DisplayMode::Stopped: return "stopped";
    case DisplayMode::Firmware: return "firmware";
    case DisplayMode::Offline: return "offline";
    case DisplayMode::BootWindow: return "boot window";
    case DisplayMode::BootLoader: return "boot loader";
    case DisplayMode::HungUp: return "hung up";
    }
    return "?";
}

namespace {

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr int64_t kMs = 1'000'000;
constexpr size_t kMaxQueuedOut = 1 << 16;  // beyond this, replies nobody reads are dropped
// How long a hang-up waits for the PC side to read what was already sent.
constexpr int64_t kHangUpDrainNs = 2000 * kMs;

// A byte received at the wrong speed is garbage to the other side: never a line end,
// never a command byte.
uint8_t Scramble(uint8_t byte) { return uint8_t(((byte ^ 0x5A) & 0x6F) | 0x80); }

std::string Printable(const std::string& bytes) {
    std::string text;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F) {
            text += char(c);
        } else if (c != '\r' && c != '\n') {
            text += '<' + HexPair(c) + '>';
        }
    }
    return text;
}

enum class After { Nothing, SetSpeed, HangUp };

struct TxItem {
    std::string bytes;
    int64_t notBefore = 0;
    After after = After::Nothing;
    int arg = 0;
};

enum Request : int { kRequestReset = 1, kRequestHangUp = 2, kRequestReplug = 4, kRequestStop = 8 };

}  // namespace

struct VirtualDisplay::Impl {
    explicit Impl(const VirtualDisplayOptions& o)
        : options(o), firmware(memory, firmwareFaults), bootLoader(memory, bootFaults) {
        memory.reset(o.variant, o.version);
        memory.config[509] = uint8_t(std::clamp(o.speedIndex, 0, kSpeedCount - 1) << 4 | (memory.config[509] & 0x0F));
        memory.speedIndex = memory.storedSpeedIndex();
        if (o.demoLog) FillDemoLog(memory);
        bootLoader.setBlockSize(o.bootBlockSize);
        pace = o.pace;
    }

    VirtualDisplayOptions options;

    // Guarded by `mutex`.
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    DisplayMemory memory;
    DisplayCounters counters;
    DisplayMode mode = DisplayMode::Stopped;
    std::string slavePath;
    std::string linkPath;
    int requests = 0;
    bool replugDone = false;
    bool replugOk = false;
    std::string replugError;

    FirmwareFaults firmwareFaults;
    BootFaults bootFaults;
    DisplayFirmware firmware;
    BootLoader bootLoader;
    std::atomic<int> dropEveryNth{0};
    std::atomic<int> replyDelayMs{0};
    std::atomic<int> hangUpAfter{0};
    std::atomic<int> hangUpInStream[2]{0, 0};  // by BootPass
    std::atomic<bool> mute{false};
    std::atomic<bool> pace{false};

    // The display's thread only.
    std::thread thread;
    int masterFd = -1;
    int slaveFd = -1;
    int wakeFd = -1;
    int inotifyFd = -1;
    int ptyOpenCount = 0;  // opens by others, from inotify
    LineFramer framer;
    WirePacer rxPacer, txPacer;
    std::deque<std::pair<int64_t, uint8_t>> rx;  // byte and the time it has fully arrived
    std::deque<TxItem> tx;
    size_t txReleased = 0;  // bytes of tx.front() whose wire time has come
    size_t txWritten = 0;
    int64_t txNextDue = 0;  // arrival time of the next byte to release, 0 = not scheduled
    bool txBlocked = false;
    int64_t modeDeadline = 0;
    int64_t hangUpDue = 0;  // a hang-up waiting for the PC side to drain the line, 0 = none
    uint64_t replyCount = 0;

    void wake() {
        const uint64_t one = 1;
        if (wakeFd >= 0 && write(wakeFd, &one, sizeof one) < 0) {
            // A full counter still wakes the thread.
        }
    }

    void traceLine(const char* direction, const std::string& bytes) {
        if (options.trace) options.trace(std::string(direction) + Printable(bytes));
    }

    // --- pseudo-terminal -------------------------------------------------------------

    bool openPty(std::string* error) {
        auto fail = [&](const std::string& what) {
            if (error) *error = what + ": " + std::strerror(errno);
            closePty();
            return false;
        };
        masterFd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (masterFd < 0) return fail("cannot open a pseudo-terminal");
        if (grantpt(masterFd) != 0 || unlockpt(masterFd) != 0) return fail("cannot unlock the pseudo-terminal");
        char name[256];
        if (ptsname_r(masterFd, name, sizeof name) != 0) return fail("no pseudo-terminal name");
        // Our own slave descriptor keeps the line alive while the PC side closes and
        // reopens the port; without it the master would report a hang-up (EIO) until then.
        slaveFd = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (slaveFd < 0) return fail(std::string("cannot open ") + name);
        termios t{};
        if (tcgetattr(slaveFd, &t) == 0) {
            cfmakeraw(&t);
            cfsetispeed(&t, B57600);
            cfsetospeed(&t, B57600);
            tcsetattr(slaveFd, TCSANOW, &t);
        }
        inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (inotifyFd >= 0) inotify_add_watch(inotifyFd, name, IN_OPEN | IN_CLOSE);
        ptyOpenCount = 0;
        std::string link;
        if (options.registerPort) {
            const std::string dir = options.portDir.empty() ? DefaultPortDirectory() : options.portDir;
            std::string why;
            if (!RegisterPort(dir, options.comNumber, name, &link, &why)) {
                if (error) *error = why;
                closePty();
                return false;
            }
        }
        std::lock_guard lock(mutex);
        slavePath = name;
        linkPath = link;
        return true;
    }

    void closePty() {
        std::string link, path;
        {
            std::lock_guard lock(mutex);
            link = linkPath;
            path = slavePath;
            linkPath.clear();
        }
        UnregisterPort(link, path);
        for (int* fd : {&inotifyFd, &masterFd, &slaveFd}) {
            if (*fd >= 0) close(*fd);
            *fd = -1;
        }
    }

    bool lineSpeedMatches(int speedIndex) const { return LineBaudRate(masterFd) == kSpeedRates[speedIndex]; }

    // --- modes ------------------------------------------------------------------------

    void setMode(DisplayMode m) {
        std::lock_guard lock(mutex);
        mode = m;
        changed.notify_all();
    }

    // After a reset the firmware takes its speed from the settings memory; at start-up
    // the speed chosen by the owner holds, and a screen loaded from a state file stays.
    void startFirmware(bool powerUp = false) {
        std::lock_guard lock(mutex);
        memory.version = VersionFromImage(memory.flash.data(), memory.flash.size());
        const bool keepScreen = powerUp && memory.screen.litCount() > 0;
        if (!powerUp) memory.speedIndex = memory.storedSpeedIndex();
        const int layout = memory.config[508] & 0x07;
        if (!keepScreen) memory.screen.clear();
        if (!keepScreen && layout < memory.layoutCount()) {
            memory.shownLayout = layout;
            DrawLayout(memory, layout);
        }
        mode = DisplayMode::Firmware;
        ++counters.firmwareStarts;
        framer.clear();
        changed.notify_all();
    }

    void doReset(int64_t now) {
        tx.clear();
        rx.clear();
        txReleased = txWritten = 0;
        txNextDue = 0;
        txBlocked = false;
        framer.clear();
        modeDeadline = now + int64_t(options.resetOffMs) * kMs;
        std::lock_guard lock(mutex);
        memory.screen.clear();
        mode = DisplayMode::Offline;
        ++counters.resets;
        changed.notify_all();
    }

    // A dead or pulled line drops at once.
    void doHangUp() {
        beginHangUp(0);
        finishHangUp();
    }

    // An unplugged display has already put its last bytes on the wire: the PC side still
    // reads them, so the line drops only once they are read (or the wait is over).
    // Closing the terminal earlier would let the kernel discard them.
    void hangUpAfterDrain(int64_t now) {
        beginHangUp(now + kHangUpDrainNs);
        if (lineDrained(now)) finishHangUp();
    }

    void beginHangUp(int64_t due) {
        {
            // Marked before the line drops, so whoever sees the hang-up sees the mode too.
            std::lock_guard lock(mutex);
            if (mode != DisplayMode::HungUp) ++counters.hangUps;
            mode = DisplayMode::HungUp;
            changed.notify_all();
        }
        hangUpDue = due;
        tx.clear();
        rx.clear();
        txReleased = txWritten = 0;
        txNextDue = 0;
        txBlocked = false;
    }

    void finishHangUp() {
        hangUpDue = 0;
        closePty();
    }

    // Nothing left for the PC side to read, nobody there to read it, or waited long enough.
    // Polling our own end of the terminal also moves bytes still in the kernel's
    // hand-over buffer into the input queue, so an empty queue really is empty.
    bool lineDrained(int64_t now) const {
        if (slaveFd < 0 || ptyOpenCount == 0 || now >= hangUpDue) return true;
        pollfd p{slaveFd, POLLIN, 0};
        poll(&p, 1, 0);
        int unread = 0;
        return ioctl(slaveFd, FIONREAD, &unread) != 0 || unread == 0;
    }

    void advanceMode(int64_t now) {
        const DisplayMode m = currentMode();
        if (m == DisplayMode::Offline && now >= modeDeadline) {
            bootLoader.restart();
            modeDeadline = now + int64_t(options.bootWindowMs) * kMs;
            setMode(DisplayMode::BootWindow);
        } else if (m == DisplayMode::BootWindow && now >= modeDeadline) {
            startFirmware();
        }
    }

    DisplayMode currentMode() const {
        std::lock_guard lock(mutex);
        return mode;
    }

    // --- receiving ------------------------------------------------------------------

    void readMaster(int64_t now) {
        uint8_t buffer[4096];
        const ssize_t n = read(masterFd, buffer, sizeof buffer);
        if (n < 0 && errno == EIO) doHangUp();  // a dead line must not be polled again
        if (n <= 0) return;
        int speed;
        DisplayMode m;
        {
            std::lock_guard lock(mutex);
            counters.bytesIn += uint64_t(n);
            speed = memory.speedIndex;
            m = mode;
        }
        if (m == DisplayMode::Offline || m == DisplayMode::HungUp) return;
        if (!lineSpeedMatches(speed)) {
            std::lock_guard lock(mutex);
            counters.garbageBytesIn += uint64_t(n);
            return;
        }
        rxPacer.setBaud(pace ? kSpeedRates[speed] : 0);
        for (ssize_t i = 0; i < n; ++i) rx.emplace_back(rxPacer.next(now), buffer[i]);
    }

    void processRx(int64_t now) {
        while (!rx.empty() && rx.front().first <= now) {
            // The display acts when the byte has arrived, not when this thread woke up:
            // a late wake-up must not delay the answer on the line.
            const int64_t arrived = rx.front().first;
            const uint8_t byte = rx.front().second;
            rx.pop_front();
            switch (currentMode()) {
            case DisplayMode::Firmware: firmwareByte(byte, arrived); break;
            case DisplayMode::BootWindow:
                if (bootLoader.matchHandshake(byte)) {
                    bootLoader.restart();
                    setMode(DisplayMode::BootLoader);
                    countHandshake();
                    send(std::string(1, char(BootLoader::kHandshakeReply)), arrived);
                }
                break;
            case DisplayMode::BootLoader: bootByte(byte, arrived); break;
            default: break;  // off the line
            }
        }
    }

    void countHandshake() {
        std::lock_guard lock(mutex);
        ++counters.handshakes;
        changed.notify_all();
    }

    void firmwareByte(uint8_t byte, int64_t now) {
        std::string line;
        if (!framer.feed(byte, line)) return;
        FirmwareResult result;
        {
            std::lock_guard lock(mutex);
            result = firmware.handleLine(line);
            if (result.kind == FirmwareResult::Kind::Telemetry) ++counters.telemetryLines;
            if (result.kind == FirmwareResult::Kind::Command || result.kind == FirmwareResult::Kind::VersionQuery)
                ++counters.commands;
            if (result.kind == FirmwareResult::Kind::VersionQuery) ++counters.versionQueries;
            changed.notify_all();
        }
        if (result.kind == FirmwareResult::Kind::Ignored) return;
        traceLine("<- ", line);
        if (result.after == FirmwareResult::After::Reset) {
            doReset(now);
            return;
        }
        TxItem item;
        item.bytes = result.reply;
        item.notBefore = now;
        if (result.after == FirmwareResult::After::SetSpeed) {
            item.after = After::SetSpeed;
            item.arg = result.speedIndex;
        }
        if (result.kind == FirmwareResult::Kind::Command && !item.bytes.empty()) {
            item.notBefore += int64_t(replyDelayMs.load()) * kMs;
            const int n = dropEveryNth.load();
            ++replyCount;
            std::lock_guard lock(mutex);
            if (n > 0 && replyCount % uint64_t(n) == 0) {
                item.bytes.clear();
                ++counters.repliesDropped;
            } else {
                ++counters.replies;
            }
        }
        if (result.kind != FirmwareResult::Kind::Telemetry) {
            int left = hangUpAfter.load();
            while (left > 0 && !hangUpAfter.compare_exchange_weak(left, left - 1)) {}
            if (left == 1) item.after = After::HangUp;  // this was the last one
        }
        if (!item.bytes.empty()) traceLine("-> ", item.bytes);
        if (!item.bytes.empty() || item.after != After::Nothing) queue(std::move(item));
    }

    // The byte about to be fed is the one the stream fault waits for (under the lock).
    bool streamHangUpDue() {
        if (!bootLoader.inStream()) return false;
        std::atomic<int>& armed = hangUpInStream[int(bootLoader.verifying() ? BootPass::Verify : BootPass::Program)];
        const int bytes = armed.load();
        if (bytes <= 0 || bootLoader.streamBytes() + 1 < bytes) return false;
        armed = 0;
        return true;
    }

    void bootByte(uint8_t byte, int64_t now) {
        BootLoader::Output out;
        bool hangUp = false;
        {
            std::lock_guard lock(mutex);
            if (streamHangUpDue()) {
                hangUp = true;
            } else {
                out = bootLoader.feed(byte);
                if (out.handshake) ++counters.handshakes;
                if (out.blockAcknowledged) ++counters.blocksAcknowledged;
            }
        }
        if (hangUp) {
            doHangUp();  // pulled mid-stream: whatever that byte would have answered is lost
            return;
        }
        if (!out.bytes.empty()) send(out.bytes, now);
        if (out.startFirmware) startFirmware();
    }

    // --- sending --------------------------------------------------------------------

    void send(const std::string& bytes, int64_t now) {
        if (options.trace) {
            std::string hex;
            for (unsigned char c : bytes) hex += HexPair(c) + ' ';
            options.trace("-> boot " + hex);
        }
        TxItem item;
        item.bytes = bytes;
        item.notBefore = now;
        queue(std::move(item));
    }

    void queue(TxItem item) {
        if (mute) item.bytes.clear();
        size_t queued = 0;
        for (const auto& t : tx) queued += t.bytes.size();
        if (queued + item.bytes.size() > kMaxQueuedOut) item.bytes.clear();  // nobody reads
        tx.push_back(std::move(item));
    }

    void pumpTx(int64_t now) {
        while (!tx.empty() && masterFd >= 0) {
            TxItem& item = tx.front();
            int speed;
            {
                std::lock_guard lock(mutex);
                speed = memory.speedIndex;
            }
            txPacer.setBaud(pace ? kSpeedRates[speed] : 0);
            while (txReleased < item.bytes.size()) {
                if (txNextDue == 0) txNextDue = txPacer.next(item.notBefore);
                if (txNextDue > now) break;
                txNextDue = 0;
                ++txReleased;
            }
            if (txReleased > txWritten) {
                std::string chunk = item.bytes.substr(txWritten, txReleased - txWritten);
                if (!lineSpeedMatches(speed))
                    for (char& c : chunk) c = char(Scramble(uint8_t(c)));
                const ssize_t n = write(masterFd, chunk.data(), chunk.size());
                if (n > 0) {
                    txWritten += size_t(n);
                    std::lock_guard lock(mutex);
                    counters.bytesOut += uint64_t(n);
                }
                txBlocked = n < ssize_t(chunk.size());
                if (txBlocked) return;
            }
            if (txWritten < item.bytes.size()) return;  // the rest is still on the wire
            const After after = item.after;
            const int arg = item.arg;
            tx.pop_front();
            txReleased = txWritten = 0;
            if (after == After::SetSpeed) {
                std::lock_guard lock(mutex);
                memory.speedIndex = arg;
                changed.notify_all();
            } else if (after == After::HangUp) {
                hangUpAfterDrain(now);
                return;
            }
        }
    }

    // --- the thread -----------------------------------------------------------------

    void handleInotify() {
        alignas(inotify_event) char buffer[4096];
        const ssize_t n = read(inotifyFd, buffer, sizeof buffer);
        for (ssize_t pos = 0; pos < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + pos);
            pos += ssize_t(sizeof(inotify_event) + event->len);
            std::lock_guard lock(mutex);
            if (event->mask & IN_OPEN) {
                ++ptyOpenCount;
                ++counters.portOpens;
            }
            if (event->mask & IN_CLOSE) {
                ++counters.portCloses;
                if (ptyOpenCount > 0 && --ptyOpenCount == 0 && slaveFd >= 0) {
                    // The PC side has gone: its exclusive flag would otherwise outlive it
                    // (we keep the terminal open) and bar its next open; and a closed
                    // port receives nothing.
                    ioctl(slaveFd, TIOCNXCL);
                    tcflush(slaveFd, TCIFLUSH);
                }
            }
            changed.notify_all();
        }
    }

    bool handleRequests(int64_t now) {
        int r;
        {
            std::lock_guard lock(mutex);
            r = requests;
            requests = 0;
        }
        if (r & kRequestStop) return false;
        // Pulled at an arbitrary moment: the line drops at once.
        if ((r & kRequestHangUp) && masterFd >= 0) doHangUp();
        if ((r & kRequestReset) && masterFd >= 0 && hangUpDue == 0) doReset(now);
        if (r & kRequestReplug) {
            if (hangUpDue != 0) finishHangUp();  // plugged in again: the old line is gone
            std::string error;
            bool ok = masterFd >= 0;
            if (!ok) {
                ok = openPty(&error);
                if (ok) startFirmware();
            }
            std::lock_guard lock(mutex);
            replugOk = ok;
            replugError = ok ? std::string() : error;
            replugDone = true;
            changed.notify_all();
        }
        return true;
    }

    int64_t nextWake(int64_t now) const {
        int64_t next = INT64_MAX;
        int64_t lastByteDue = INT64_MAX;  // the last byte now on the wire, either way
        const DisplayMode m = currentMode();
        if (m == DisplayMode::Offline || m == DisplayMode::BootWindow) next = modeDeadline;
        if (!rx.empty()) {
            next = std::min(next, rx.front().first);
            lastByteDue = rx.back().first;
        }
        if (!tx.empty() && !txBlocked) {
            if (txReleased > txWritten || txWritten >= tx.front().bytes.size()) next = now;
            else if (txNextDue > 0) {
                next = std::min(next, txNextDue);
                const int64_t left = int64_t(tx.front().bytes.size() - txReleased) - 1;
                lastByteDue = std::min(lastByteDue, txNextDue + left * txPacer.byteNs());
            } else next = std::min(next, tx.front().notBefore);
        }
        // Paced bytes are released in small groups rather than one wake-up each, but the
        // last byte of what is on the wire keeps its exact time: a command is complete, or
        // a reply has arrived, no later than the line itself would deliver it.
        if (next != INT64_MAX && next > now)
            next = std::min(std::max(next, now + kMs / 2), std::max(next, lastByteDue));
        return next;
    }

    void run() {
        // A byte's time on the line is 0.17 ms at 57600 baud: the kernel's default
        // 50 us of slack on each timed wait would show as line time.
        prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
        while (true) {
            int64_t now = NowNs();
            if (!handleRequests(now)) break;
            if (hangUpDue != 0 && lineDrained(now)) finishHangUp();
            advanceMode(now);
            processRx(now);
            pumpTx(now);
            int64_t wakeAt = nextWake(now);
            // While the PC side drains the line, look again shortly; the terminal does not
            // tell its master when the other side has read.
            if (hangUpDue != 0) wakeAt = std::min(wakeAt, std::min(hangUpDue, now + kMs));
            pollfd fds[3];
            int count = 0;
            fds[count++] = {wakeFd, POLLIN, 0};
            int masterIndex = -1, inotifyIndex = -1;
            if (masterFd >= 0) {
                masterIndex = count;
                fds[count++] = {masterFd, short(POLLIN | (txBlocked ? POLLOUT : 0)), 0};
            }
            if (inotifyFd >= 0) {
                inotifyIndex = count;
                fds[count++] = {inotifyFd, POLLIN, 0};
            }
            timespec timeout{};
            timespec* timeoutPtr = nullptr;
            if (wakeAt != INT64_MAX) {
                const int64_t wait = std::max<int64_t>(0, wakeAt - now);
                timeout.tv_sec = time_t(wait / 1'000'000'000);
                timeout.tv_nsec = long(wait % 1'000'000'000);
                timeoutPtr = &timeout;
            }
            if (ppoll(fds, nfds_t(count), timeoutPtr, nullptr) < 0 && errno != EINTR) break;
            now = NowNs();
            if (fds[0].revents & POLLIN) {
                uint64_t value;
                if (read(wakeFd, &value, sizeof value) < 0) {
                    // Nothing to do: the counter was already read.
                }
            }
            if (inotifyIndex >= 0 && (fds[inotifyIndex].revents & POLLIN)) handleInotify();
            if (masterIndex >= 0) {
                const short ev = fds[masterIndex].revents;
                if (ev & POLLOUT) txBlocked = false;
                if (ev & POLLIN) readMaster(now);
                else if (ev & (POLLHUP | POLLERR)) doHangUp();  // never spin on a dead line
            }
        }
    }
};

VirtualDisplay::VirtualDisplay(VirtualDisplayOptions options)
    : options_(std::move(options)), impl_(std::make_unique<Impl>(options_)) {}

VirtualDisplay::~VirtualDisplay() { stop(); }

bool VirtualDisplay::start(std::string* error) {
    Impl& d = *impl_;
    if (d.thread.joinable()) return true;
    if (options_.bootBlockSize != 512 && options_.bootBlockSize != 1792) {
        if (error) *error = "the boot block size must be 512 or 1792";
        return false;
    }
    d.wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (d.wakeFd < 0 || !d.openPty(error)) {
        if (d.wakeFd >= 0) close(d.wakeFd);
        d.wakeFd = -1;
        return false;
    }
    d.startFirmware(true);
    d.thread = std::thread([&d] { d.run(); });
    return true;
}

void VirtualDisplay::stop() {
    Impl& d = *impl_;
    if (!d.thread.joinable()) return;
    {
        std::lock_guard lock(d.mutex);
        d.requests |= kRequestStop;
    }
    d.wake();
    d.thread.join();
    d.closePty();
    close(d.wakeFd);
    d.wakeFd = -1;
    std::lock_guard lock(d.mutex);
    d.mode = DisplayMode::Stopped;
    d.slavePath.clear();
}

std::string VirtualDisplay::slavePath() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->slavePath;
}

std::string VirtualDisplay::linkPath() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->linkPath;
}

DisplayMode VirtualDisplay::mode() const { return impl_->currentMode(); }

DisplayCounters VirtualDisplay::counters() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->counters;
}

std::array<uint8_t, kConfigMemorySize> VirtualDisplay::configMemory() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->memory.config;
}

void VirtualDisplay::setConfigMemory(const std::array<uint8_t, kConfigMemorySize>& bytes) {
    std::lock_guard lock(impl_->mutex);
    impl_->memory.config = bytes;
}

std::vector<uint8_t> VirtualDisplay::logMemory() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->memory.log;
}

void VirtualDisplay::setLogMemory(const std::vector<uint8_t>& bytes) {
    std::lock_guard lock(impl_->mutex);
    auto& log = impl_->memory.log;
    std::fill(log.begin(), log.end(), 0xFF);
    std::copy_n(bytes.begin(), std::min(bytes.size(), log.size()), log.begin());
}

std::vector<uint8_t> VirtualDisplay::flash() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->memory.flash;
}

Framebuffer VirtualDisplay::framebuffer() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->memory.screen;
}

std::vector<std::string> VirtualDisplay::telemetryLines() const {
    std::lock_guard lock(impl_->mutex);
    return {impl_->memory.telemetry.begin(), impl_->memory.telemetry.end()};
}

std::string VirtualDisplay::versionLine() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->memory.versionLine();
}

int VirtualDisplay::speedIndex() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->memory.speedIndex;
}

void VirtualDisplay::setSpeedIndex(int index) {
    std::lock_guard lock(impl_->mutex);
    auto& m = impl_->memory;
    m.speedIndex = std::clamp(index, 0, kSpeedCount - 1);
    m.config[509] = uint8_t(m.speedIndex << 4 | (m.config[509] & 0x0F));
}

int VirtualDisplay::shownLayout() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->memory.shownLayout;
}

void VirtualDisplay::withMemory(const std::function<void(DisplayMemory&)>& fn) {
    std::lock_guard lock(impl_->mutex);
    fn(impl_->memory);
}

void VirtualDisplay::setDropEveryNthReply(int n) { impl_->dropEveryNth = std::max(n, 0); }
void VirtualDisplay::setCorruptCheckBytes(int count) { impl_->firmwareFaults.corruptCheckBytes = count; }
void VirtualDisplay::setRefuseWrites(int count) { impl_->firmwareFaults.refuseWrites = count; }
void VirtualDisplay::setLogReadErrors(int count) { impl_->firmwareFaults.logReadErrors = count; }
void VirtualDisplay::setReplyDelayMs(int ms) { impl_->replyDelayMs = std::max(ms, 0); }
void VirtualDisplay::setHangUpAfterCommands(int n) { impl_->hangUpAfter = std::max(n, 0); }
void VirtualDisplay::setHangUpInBootStream(BootPass pass, int bytes) {
    impl_->hangUpInStream[int(pass)] = std::max(bytes, 0);
}
void VirtualDisplay::setMute(bool mute) { impl_->mute = mute; }
void VirtualDisplay::setRefuseBootBlocks(int count) { impl_->bootFaults.refuseBlocks = count; }
void VirtualDisplay::setCorruptFlash(bool corrupt) { impl_->bootFaults.corruptFlash = corrupt; }
void VirtualDisplay::setPacing(bool pace) { impl_->pace = pace; }

void VirtualDisplay::reset() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->requests |= kRequestReset;
    }
    impl_->wake();
}

void VirtualDisplay::hangUp() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->requests |= kRequestHangUp;
    }
    impl_->wake();
    std::unique_lock lock(impl_->mutex);
    impl_->changed.wait_for(lock, std::chrono::seconds(2),
                            [this] { return impl_->mode == DisplayMode::HungUp || !impl_->thread.joinable(); });
}

bool VirtualDisplay::replug(std::string* error) {
    Impl& d = *impl_;
    if (!d.thread.joinable()) return start(error);
    std::unique_lock lock(d.mutex);
    d.replugDone = false;
    d.requests |= kRequestReplug;
    lock.unlock();
    d.wake();
    lock.lock();
    d.changed.wait(lock, [&d] { return d.replugDone; });
    if (!d.replugOk && error) *error = d.replugError;
    return d.replugOk;
}

bool VirtualDisplay::waitFor(const std::function<bool()>& condition, int timeoutMs) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) return false;
        std::unique_lock lock(impl_->mutex);
        impl_->changed.wait_for(
            lock, std::min<std::chrono::steady_clock::duration>(end - now, std::chrono::milliseconds(10)));
    }
    return true;
}

}  // namespace vorkal::sim
