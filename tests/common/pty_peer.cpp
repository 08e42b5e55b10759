#include "pty_peer.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

QString PtyPeer::portDirectory() {
    static QTemporaryDir dir;
    static const bool set = [] {
        setenv("VORKAL_PORT_DIR", QFile::encodeName(dir.path()).constData(), 1);
        return true;
    }();
    (void)set;
    return dir.path();
}

PtyPeer::PtyPeer() { open(); }

PtyPeer::PtyPeer(int comNumber) : PtyPeer(portDirectory(), comNumber) {}

PtyPeer::PtyPeer(const QString& portDir, int comNumber) : comNumber_(comNumber) {
    if (open()) registerAs(portDir);
}

bool PtyPeer::open() {
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
        master_ = slave_ = -1;
        return false;
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    slavePath_ = name;
    return true;
}

void PtyPeer::registerAs(const QString& portDir) {
    linkPath_ = QFile::encodeName(QDir(portDir).filePath(QStringLiteral("COM%1").arg(comNumber_)));
    unlink(linkPath_.constData());
    if (symlink(slavePath_.constData(), linkPath_.constData()) != 0) {
        linkPath_.clear();
        hangUp();
    }
}

PtyPeer::~PtyPeer() {
    stopServing();
    if (!linkPath_.isEmpty()) unlink(linkPath_.constData());
    hangUp();
}

void PtyPeer::write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size() && master_ >= 0 && !stop_) {
        const ssize_t n = ::write(master_, bytes.constData() + done, bytes.size() - done);
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            pollfd p{master_, POLLOUT, 0};
            poll(&p, 1, 100);
        }
    }
}

QByteArray PtyPeer::read(int count, std::chrono::milliseconds limit) {
    QByteArray out;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (out.size() < count && std::chrono::steady_clock::now() < end) {
        char buf[4096];
        const ssize_t n = ::read(master_, buf, std::min<qsizetype>(sizeof buf, count - out.size()));
        if (n > 0) {
            out.append(buf, n);
            continue;
        }
        pollfd p{master_, POLLIN, 0};
        poll(&p, 1, 20);
    }
    return out;
}

QByteArray PtyPeer::readAvailable() {
    usleep(50 * 1000);
    QByteArray out;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(master_, buf, sizeof buf)) > 0) out.append(buf, n);
    return out;
}

void PtyPeer::hangUp() {
    if (master_ >= 0) close(master_);
    master_ = -1;
    if (slave_ >= 0) close(slave_);
    slave_ = -1;
}

void PtyPeer::serve(Receiver onBytes, std::chrono::milliseconds tick) {
    stop_ = false;
    stopFd_ = eventfd(0, EFD_CLOEXEC);
    thread_ = std::thread([this, onBytes = std::move(onBytes), tick] {
        while (!stop_) {
            pollfd p[2] = {{master_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
            poll(p, 2, int(tick.count()));
            if (p[1].revents) return;
            if (p[0].revents & (POLLHUP | POLLERR)) {
                usleep(20000);  // no reader on the other side for a moment
                continue;
            }
            char buffer[4096];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            onBytes(n > 0 ? QByteArray(buffer, n) : QByteArray());
        }
    });
}

void PtyPeer::stopServing() {
    stop_ = true;
    if (stopFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(stopFd_, &one, sizeof one);
    }
    if (thread_.joinable()) thread_.join();
    if (stopFd_ >= 0) close(stopFd_);
    stopFd_ = -1;
}

double ProcessCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}
