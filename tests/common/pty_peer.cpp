#include "pty_peer.h"

#include <QDir>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
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

PtyPeer::PtyPeer(int comNumber) : comNumber_(comNumber) {
    const QString dir = portDirectory();
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    slavePath_ = name;
    linkPath_ = QFile::encodeName(QDir(dir).filePath(QStringLiteral("COM%1").arg(comNumber)));
    unlink(linkPath_.constData());
    if (symlink(name, linkPath_.constData()) != 0) {
        close(master_);
        close(slave_);
        master_ = slave_ = -1;
    }
}

PtyPeer::~PtyPeer() {
    if (!linkPath_.isEmpty())
        unlink(linkPath_.constData());
    if (master_ >= 0)
        close(master_);
    if (slave_ >= 0)
        close(slave_);
}

void PtyPeer::write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
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
    while ((n = ::read(master_, buf, sizeof buf)) > 0)
        out.append(buf, n);
    return out;
}

void PtyPeer::hangUp() {
    if (master_ >= 0)
        close(master_);
    master_ = -1;
    if (slave_ >= 0)
        close(slave_);
    slave_ = -1;
}

double ProcessCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}
