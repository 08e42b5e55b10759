#include "port_watch.h"

#include "af_port_map.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr uint32_t kNodeEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB;

int AddWatch(int fd, const QString& path, uint32_t mask) {
    return ::inotify_add_watch(fd, QFile::encodeName(path).constData(), mask | IN_ONLYDIR);
}

}  // namespace

PortWatch::PortWatch(QObject* parent) : QObject(parent) {
    settle_.setSingleShot(true);
    settle_.setInterval(SettleMs);
    connect(&settle_, &QTimer::timeout, this, &PortWatch::portsChanged);
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) return;  // no watch: the list is still filled at each drop-down
    // IN_ATTRIB: udev gives a new node its group and mode only after making it, and
    // until then it cannot be opened.
    AddWatch(fd_, QStringLiteral("/dev"), kNodeEvents);
    AddWatch(fd_, QStringLiteral("/dev/pts"), kNodeEvents);
    watchPortDirectory();
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &PortWatch::readEvents);
}

PortWatch::~PortWatch() {
    if (fd_ >= 0) ::close(fd_);
}

// The port directory, or while it does not exist yet the nearest folder above it, so
// that its making is seen too.
void PortWatch::watchPortDirectory() {
    QString dir = ComPortDirectory();
    while (!QDir(dir).exists() && dir.contains(QLatin1Char('/')) && dir != QLatin1String("/"))
        dir = QDir::cleanPath(dir + QStringLiteral("/.."));
    if (dir == watchedPortDir_) return;
    if (portDirWatch_ >= 0) ::inotify_rm_watch(fd_, portDirWatch_);
    portDirWatch_ = AddWatch(fd_, dir, kNodeEvents | IN_DELETE_SELF | IN_MOVE_SELF);
    watchedPortDir_ = portDirWatch_ >= 0 ? dir : QString();
}

void PortWatch::readEvents() {
    alignas(inotify_event) char buffer[8192];
    bool any = false;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0) break;  // EAGAIN: all read
        any = true;
    }
    if (!any) return;
    watchPortDirectory();
    // Not restarted by later events: a device that keeps changing must not hold the
    // news back.
    if (!settle_.isActive()) settle_.start();
}
