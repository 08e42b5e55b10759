// Command/reply round trips over pseudo-terminals, each variant against its own echo
// peer thread:
//   raw       blocking write/read on the user-interface thread: the line's floor;
//   pipeline  the port's shape without its code: a writer thread woken by a condition,
//             a reader thread on epoll that posts an event to the user-interface thread
//             and waits on a condition until it has been handled, the user-interface
//             thread waiting in a local event loop: the port's floor;
//   port      TAfComPort, waiting in a local event loop that the data-received handler
//             quits (the way the line protocol waits);
//   qt        Qt's serial module with a local event loop, for comparison.
// The variants take turns in short blocks, each block starting with the next variant,
// so that a change in machine load meets all of them alike. Printed: the medians over
// all blocks, their ratios, the median of the per-block ratios, and the voluntary
// context switches (blocking waits, i.e. wake-ups) of the process's threads per round
// trip. Then the old 1 ms sleep + processEvents wait, and the CPU use with a port open
// and idle.
//
//   serial_roundtrip_bench [rounds=2000] [idle-seconds=5] [raw|pipeline|port|qt]
// With a variant name only that variant runs, `rounds` times, with no idle phase: for
// counting its system calls and wake-ups under perf or strace.
#include "af_com_port.h"
#include "pty_peer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#ifdef VORKAL_BENCH_QT_SERIAL
#include <QSerialPort>
#endif

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const QByteArray kCommand("\xF1r5\r\n");  // the size of a configuration-block request
const int kReplyLength = kCommand.size();
constexpr int kBlockRounds = 100;
constexpr int kWarmUpRounds = 20;

int OpenRaw(const QByteArray& path, int flags) {
    const int fd = open(path.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC | flags);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// Blocking write, then blocking reads until the reply is complete.
class RawExchange {
public:
    explicit RawExchange(const QByteArray& path) : fd_(OpenRaw(path, 0)) {}
    ~RawExchange() { close(fd_); }
    bool operator()() {
        if (write(fd_, kCommand.constData(), kCommand.size()) != kCommand.size()) return false;
        char buf[64];
        for (int got = 0; got < kReplyLength;) {
            const ssize_t n = read(fd_, buf, sizeof buf);
            if (n <= 0) return false;
            got += static_cast<int>(n);
        }
        return true;
    }

private:
    int fd_;
};

// The port's threads and hand-off with nothing else: what any design of this shape pays.
class BarePipeline : public QObject {
public:
    explicit BarePipeline(const QByteArray& path) : fd_(OpenRaw(path, O_NONBLOCK)) {
        writer_ = std::thread([this] { WriterLoop(); });
        reader_ = std::thread([this] { ReaderLoop(); });
    }
    ~BarePipeline() override {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        writerWake_.notify_all();
        handled_.notify_all();
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(stopFd_, &one, sizeof one);
        writer_.join();
        reader_.join();
        close(stopFd_);
        close(fd_);
    }

    bool operator()() {
        reply_.clear();
        QEventLoop wait;
        loop_ = &wait;
        QTimer::singleShot(1000, &wait, &QEventLoop::quit);
        {
            std::lock_guard lock(mutex_);
            out_ += kCommand;
        }
        writerWake_.notify_one();
        wait.exec();
        loop_ = nullptr;
        return reply_ == kCommand;
    }

protected:
    bool event(QEvent* e) override {
        if (e->type() != QEvent::User) return QObject::event(e);
        char buf[256];
        const ssize_t n = read(fd_, buf, sizeof buf);
        if (n > 0) reply_.append(buf, n);
        {
            std::lock_guard lock(mutex_);
            handled = true;
        }
        handled_.notify_one();
        if (loop_ && reply_.size() >= kReplyLength) loop_->quit();
        return true;
    }

private:
    void WriterLoop() {
        std::unique_lock lock(mutex_);
        for (;;) {
            writerWake_.wait(lock, [this] { return stop_ || !out_.isEmpty(); });
            if (stop_) return;
            const QByteArray span = std::exchange(out_, {});
            lock.unlock();
            for (qsizetype done = 0; done < span.size();) {
                const ssize_t n = write(fd_, span.constData() + done, span.size() - done);
                if (n > 0) done += n;
                else break;  // a pseudo-terminal takes a few bytes at once
            }
            lock.lock();
        }
    }

    void ReaderLoop() {
        const int ep = epoll_create1(EPOLL_CLOEXEC);
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLET;
        ev.data.fd = fd_;
        epoll_ctl(ep, EPOLL_CTL_ADD, fd_, &ev);
        ev.events = EPOLLIN;
        ev.data.fd = stopFd_;
        epoll_ctl(ep, EPOLL_CTL_ADD, stopFd_, &ev);
        for (;;) {
            epoll_event events[2];
            const int n = epoll_wait(ep, events, 2, 200);
            bool line = false;
            for (int i = 0; i < n; ++i) {
                if (events[i].data.fd == stopFd_) {
                    close(ep);
                    return;
                }
                line = true;
            }
            if (!line) continue;
            std::unique_lock lock(mutex_);
            handled = false;
            QCoreApplication::postEvent(this, new QEvent(QEvent::User));
            handled_.wait_for(lock, std::chrono::milliseconds(2000), [this] { return handled || stop_; });
        }
    }

    int fd_;
    int stopFd_ = eventfd(0, EFD_CLOEXEC);
    std::mutex mutex_;
    std::condition_variable writerWake_, handled_;
    QByteArray out_;
    bool stop_ = false;
    bool handled = false;
    QByteArray reply_;
    QEventLoop* loop_ = nullptr;
    std::thread writer_, reader_;
};

// The port, read the way the line protocol reads: in its data-received handler.
class PortExchange {
public:
    PortExchange(int com, bool sleepPoll = false) : sleepPoll_(sleepPoll) {
        port_.setObjectName("AfComPort1");
        port_.SetComNumber(static_cast<uint16_t>(com));
        port_.SetBaudRate(TAfBaudrate::br57600);
        QObject::connect(&port_, &TAfComPort::OnDataRecived, [this](QObject*, int count) {
            char buf[256];
            while (count > 0) {
                const int n = std::min<int>(count, sizeof buf);
                port_.ReadBlock(buf, n);
                got_ += n;
                count -= n;
            }
            if (loop_ && got_ >= kReplyLength) loop_->quit();
        });
        port_.OpenPort();
    }
    bool operator()() {
        got_ = 0;
        port_.SendText(kCommand);
        if (sleepPoll_) {
            // The old way: sleep 1 ms, then process events, until the reply is complete.
            for (int i = 0; i < 1000 && got_ < kReplyLength; ++i) {
                QThread::msleep(1);
                QCoreApplication::processEvents();
            }
            return got_ >= kReplyLength;
        }
        QEventLoop wait;
        loop_ = &wait;
        QTimer::singleShot(1000, &wait, &QEventLoop::quit);
        if (got_ < kReplyLength) wait.exec();
        loop_ = nullptr;
        return got_ >= kReplyLength;
    }
    TAfComPort& port() { return port_; }

private:
    TAfComPort port_;
    bool sleepPoll_;
    int got_ = 0;
    QEventLoop* loop_ = nullptr;
};

#ifdef VORKAL_BENCH_QT_SERIAL
class QtSerialExchange {
public:
    explicit QtSerialExchange(const QByteArray& path) : serial_(QString::fromLocal8Bit(path)) {
        serial_.setBaudRate(57600);
        if (!serial_.open(QIODevice::ReadWrite))
            std::fprintf(stderr, "QSerialPort: %s\n", qPrintable(serial_.errorString()));
        QObject::connect(&serial_, &QSerialPort::readyRead, [this] {
            reply_ += serial_.readAll();
            if (loop_ && reply_.size() >= kReplyLength) loop_->quit();
        });
    }
    bool operator()() {
        reply_.clear();
        QEventLoop wait;
        loop_ = &wait;
        QTimer::singleShot(1000, &wait, &QEventLoop::quit);
        serial_.write(kCommand);
        wait.exec();
        loop_ = nullptr;
        return reply_ == kCommand;
    }

private:
    QSerialPort serial_;
    QByteArray reply_;
    QEventLoop* loop_ = nullptr;
};
#endif

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Blocking waits of all the process's threads so far.
long VoluntarySwitches() {
    long total = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::ifstream status(tasks.filePath(tid + QStringLiteral("/status")).toStdString());
        std::string key;
        long value = 0;
        while (status >> key) {
            if (key == "voluntary_ctxt_switches:" && status >> value) total += value;
        }
    }
    return total;
}

struct Variant {
    Variant(const char* key, const char* label, std::function<bool()> exchange)
        : key(key), label(label), exchange(std::move(exchange)) {}
    const char* key;
    const char* label;
    std::function<bool()> exchange;
    std::vector<double> us;
    std::vector<double> blockMedians;
    long switches = 0;
    int rounds = 0;
    bool failed = false;

    // Runs `rounds` exchanges, keeping each one's time in microseconds.
    void Run(int count, bool keep = true) {
        std::vector<double> block;
        const long switchesBefore = VoluntarySwitches();
        for (int i = 0; i < count && !failed; ++i) {
            QElapsedTimer t;
            t.start();
            if (!exchange()) {
                std::fprintf(stderr, "%s: exchange failed\n", label);
                failed = true;
            }
            block.push_back(t.nsecsElapsed() / 1000.0);
        }
        if (!keep) return;
        switches += VoluntarySwitches() - switchesBefore;
        rounds += count;
        us.insert(us.end(), block.begin(), block.end());
        blockMedians.push_back(Median(block));
    }
};

// Median over the blocks of a/b, each block's pair measured side by side.
double BlockRatio(const Variant& a, const Variant& b) {
    std::vector<double> ratios;
    for (size_t i = 0; i < std::min(a.blockMedians.size(), b.blockMedians.size()); ++i)
        ratios.push_back(a.blockMedians[i] / b.blockMedians[i]);
    return Median(ratios);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(10, atoi(argv[1])) : 2000;
    const int idleSeconds = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    const std::string only = argc > 3 ? argv[3] : "";
    auto wanted = [&](const char* key) { return only.empty() || only == key; };

    // The device of each variant: echoes every byte it gets, on its own pseudo-terminal,
    // woken only by those bytes.
    std::vector<std::unique_ptr<PtyPeer>> peers;
    auto newPeer = [&](int com) {
        peers.push_back(std::make_unique<PtyPeer>(com));
        PtyPeer* peer = peers.back().get();
        if (!peer->ok()) {
            std::perror("pseudo-terminal");
            std::exit(1);
        }
        peer->serve([peer](const QByteArray& bytes) { peer->write(bytes); }, PtyPeer::kNoTick);
        return peer->slavePath();
    };

    std::vector<Variant> variants;
    std::unique_ptr<RawExchange> raw;
    std::unique_ptr<BarePipeline> pipeline;
    std::unique_ptr<PortExchange> port;
    if (wanted("raw")) {
        raw = std::make_unique<RawExchange>(newPeer(70));
        variants.emplace_back("raw", "raw blocking write/read", [&] { return (*raw)(); });
    }
    if (wanted("pipeline")) {
        pipeline = std::make_unique<BarePipeline>(newPeer(71));
        variants.emplace_back("pipeline", "bare pipeline (same shape, no port code)", [&] { return (*pipeline)(); });
    }
    if (wanted("port")) {
        newPeer(77);
        port = std::make_unique<PortExchange>(77);
        variants.emplace_back("port", "TAfComPort, local event loop", [&] { return (*port)(); });
    }
#ifdef VORKAL_BENCH_QT_SERIAL
    std::unique_ptr<QtSerialExchange> qt;
    if (wanted("qt")) {
        qt = std::make_unique<QtSerialExchange>(newPeer(72));
        variants.emplace_back("qt", "QSerialPort, local event loop", [&] { return (*qt)(); });
    }
#endif
    if (variants.empty()) {
        std::fprintf(stderr, "unknown variant %s\n", only.c_str());
        return 2;
    }

    if (!only.empty()) {
        Variant& v = variants.front();
        v.Run(rounds);
        std::printf("%s: median %.1f us over %d round trips, %.2f voluntary switches a round trip\n", v.label,
                    Median(v.us), v.rounds, double(v.switches) / v.rounds);
        return v.failed ? 1 : 0;
    }

    for (Variant& v : variants) v.Run(kWarmUpRounds, false);
    const int blocks = std::max(1, (rounds + kBlockRounds - 1) / kBlockRounds);
    for (int b = 0; b < blocks; ++b)
        for (size_t k = 0; k < variants.size(); ++k) variants[(b + k) % variants.size()].Run(kBlockRounds);

    auto find = [&](const char* key) -> const Variant* {
        for (const Variant& v : variants)
            if (std::string(v.key) == key) return &v;
        return nullptr;
    };
    const Variant* rawV = find("raw");
    const Variant* pipeV = find("pipeline");
    const Variant* qtV = find("qt");
    std::printf("round trips of %d bytes over pseudo-terminals, echo peer threads, %d blocks of %d in turn\n",
                int(kCommand.size()), blocks, kBlockRounds);
    std::printf("  %-42s %9s %8s %8s %8s %9s\n", "", "median", "/raw", "/pipe", "/qt", "switches");
    for (const Variant& v : variants) {
        const double m = Median(v.us);
        auto ratio = [&](const Variant* floor) { return floor && !floor->us.empty() ? m / Median(floor->us) : 0.0; };
        std::printf("  %-42s %6.1f us %8.2f %8.2f %8.2f %9.2f%s\n", v.label, m, ratio(rawV), ratio(pipeV), ratio(qtV),
                    double(v.switches) / std::max(1, v.rounds), v.failed ? "  FAILED" : "");
    }
    if (const Variant* portV = find("port")) {
        std::printf("  median of per-block ratios: port/pipeline %.2f, port/raw %.2f", BlockRatio(*portV, *pipeV),
                    BlockRatio(*portV, *rawV));
        if (qtV) std::printf(", port/qt %.2f, qt/pipeline %.2f", BlockRatio(*portV, *qtV), BlockRatio(*qtV, *pipeV));
        std::printf("\n");
    }
#ifndef VORKAL_BENCH_QT_SERIAL
    std::printf("  QSerialPort: not built (Qt6 SerialPort not found)\n");
#endif

    // The old wait, then the idle port, with the other variants gone.
    port.reset();
    pipeline.reset();
    raw.reset();
#ifdef VORKAL_BENCH_QT_SERIAL
    qt.reset();
#endif
    {
        Variant sleepPoll("sleep", "TAfComPort, 1 ms sleep + processEvents", {});
        PortExchange polled(77, true);
        sleepPoll.exchange = [&] { return polled(); };
        sleepPoll.Run(std::max(10, rounds / 20));
        std::printf("  %-42s %6.1f us (%d round trips)\n", sleepPoll.label, Median(sleepPoll.us), sleepPoll.rounds);

        const double before = ProcessCpuMs();
        QEventLoop idle;
        QTimer::singleShot(idleSeconds * 1000, &idle, &QEventLoop::quit);
        idle.exec();
        const double used = ProcessCpuMs() - before;
        std::printf("idle with the port open for %d s: %.1f ms CPU (%.3f%% of one core)\n", idleSeconds, used,
                    used / (idleSeconds * 10.0));
    }
    return 0;
}
