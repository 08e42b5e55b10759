#include "atomic_file.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorkal {

namespace {

QString systemReason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Reports the failing call's reason and removes the unfinished temporary file.
bool fail(int error, int fd, const QByteArray& temporary, QString* reason) {
    if (fd >= 0) ::close(fd);
    if (!temporary.isEmpty()) ::unlink(temporary.constData());
    if (reason) *reason = systemReason(error);
    return false;
}

// A new file beside `target` that no other writer uses. Created with 0666 so the
// user's umask decides its mode, as for a file the program creates directly.
int createTemporary(const QByteArray& target, QByteArray* temporary) {
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray() : target.left(slash + 1);
    const QByteArray name = target.mid(slash + 1).left(200);  // room for the suffix within a name's limit
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temporary =
            folder + '.' + name + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".tmp";
        const int fd = ::open(temporary->constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {  // a device that takes nothing would loop forever
            errno = EIO;
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

}  // namespace

bool ReplaceFileWhole(const QString& path, const QByteArray& bytes, QString* error) {
    // Replacing a symbolic link's target keeps the link, as saving in an editor does.
    QString targetPath = path;
    const QFileInfo info(path);
    if (info.isSymLink() && !info.canonicalFilePath().isEmpty()) targetPath = info.canonicalFilePath();
    const QByteArray target = QFile::encodeName(targetPath);

    QByteArray temporary;
    const int fd = createTemporary(target, &temporary);
    if (fd < 0) return fail(errno, -1, QByteArray(), error);

    // A file written over keeps its permissions.
    struct stat old;
    if (::stat(target.constData(), &old) == 0 && S_ISREG(old.st_mode) && ::fchmod(fd, old.st_mode & 07777) != 0)
        return fail(errno, fd, temporary, error);

    if (!writeAll(fd, bytes)) return fail(errno, fd, temporary, error);
    // The data must be on the disk before the name points at it, or a crash can leave
    // an empty file in place of the old one.
    if (::fsync(fd) != 0) return fail(errno, fd, temporary, error);
    // Network file systems may report a failed write only here.
    if (::close(fd) != 0) return fail(errno, -1, temporary, error);
    if (::rename(temporary.constData(), target.constData()) != 0) return fail(errno, -1, temporary, error);

    // Makes the new name itself durable. The file is in place by now whatever this
    // says, and some file systems cannot sync a folder, so a failure is not reported.
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : target.left(slash);
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace vorkal
