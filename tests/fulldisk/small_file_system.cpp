#include "small_file_system.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace vorkal::testing {

namespace {

const char kFiller[] = ".filler";

QString reason(const char* what) { return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(strerror(errno))); }

bool writeText(const char* path, const QByteArray& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::write(fd, text.constData(), size_t(text.size())) == text.size();
    return ::close(fd) == 0 && ok;
}

// Writes `chunk`-sized pieces until the file system refuses; false on any other error.
bool writeUntilFull(int fd, size_t chunk) {
    const QByteArray bytes(qsizetype(chunk), '\xA5');
    for (;;) {
        const ssize_t n = ::write(fd, bytes.constData(), chunk);
        if (n > 0) continue;
        if (n < 0 && errno == EINTR) continue;
        return n < 0 && errno == ENOSPC;
    }
}

}  // namespace

QString& MountNamespaceUnavailable() {
    static QString why = QStringLiteral("the mount namespace was not entered");
    return why;
}

QString EnterPrivateMountNamespace() {
    if (::unshare(CLONE_NEWNS) != 0) {
        if (errno != EPERM) return reason("unshare(CLONE_NEWNS)");
        // Not privileged: a user namespace of our own gives the right to mount there.
        const uid_t uid = ::getuid();
        const gid_t gid = ::getgid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return reason("unshare(CLONE_NEWUSER | CLONE_NEWNS)");
        if (!writeText("/proc/self/setgroups", "deny") ||
            !writeText("/proc/self/uid_map", QByteArray("0 ") + QByteArray::number(uid) + " 1") ||
            !writeText("/proc/self/gid_map", QByteArray("0 ") + QByteArray::number(gid) + " 1"))
            return reason("mapping the user namespace");
    }
    // Mounts made here must not travel back to the parent namespace.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return reason("making / private");
    return QString();
}

SmallFileSystem::~SmallFileSystem() {
    if (mounted_) ::umount2(QFile::encodeName(path()).constData(), MNT_DETACH);
}

QString SmallFileSystem::mount(qint64 bytes) {
    if (!folder_.isValid()) return folder_.errorString();
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0777";
    if (::mount("tmpfs", QFile::encodeName(path()).constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) !=
        0)
        return reason("mount -t tmpfs");
    mounted_ = true;
    return QString();
}

QString SmallFileSystem::fill() {
    const QByteArray filler = QFile::encodeName(filePath(kFiller));
    const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return reason("creating the filler");
    // Large pieces first, then single bytes for the tail of the last page.
    bool full = writeUntilFull(fd, 65536) && writeUntilFull(fd, 4096) && writeUntilFull(fd, 1);
    ::close(fd);
    if (!full) return reason("filling the file system");
    const QByteArray probe = QFile::encodeName(filePath(".probe"));
    const int p = ::open(probe.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (p < 0) return reason("creating the probe");
    const bool refused = ::write(p, "x", 1) < 0 && errno == ENOSPC;
    ::close(p);
    ::unlink(probe.constData());
    return refused ? QString() : QStringLiteral("a byte still fits after filling");
}

void SmallFileSystem::release() { ::unlink(QFile::encodeName(filePath(kFiller)).constData()); }

QString SmallFileSystem::setReadOnly(bool readOnly) {
    const unsigned long flags = MS_REMOUNT | MS_NOSUID | MS_NODEV | (readOnly ? MS_RDONLY : 0);
    if (::mount(nullptr, QFile::encodeName(path()).constData(), nullptr, flags, nullptr) != 0)
        return reason("mount -o remount");
    return QString();
}

QStringList SmallFileSystem::entries(const QString& folder) const {
    QStringList found;
    const QDir root(path());
    QDirIterator it(root.filePath(folder), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString relative = root.relativeFilePath(it.next());
        if (relative != kFiller) found << relative;
    }
    found.sort();
    return found;
}

}  // namespace vorkal::testing
