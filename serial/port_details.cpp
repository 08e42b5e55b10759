#include "port_details.h"

#include "af_port_map.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <functional>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

QString ReadLinkText(const QString& path) {
    char buffer[4096];
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer);
    return n <= 0 ? QString() : QFile::decodeName(QByteArray(buffer, int(n)));
}

QString ReadSmallFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.read(4096)).trimmed();
}

bool StatPath(const QString& path, struct stat& st) { return ::stat(QFile::encodeName(path).constData(), &st) == 0; }

// Pseudo-terminal slaves live on majors 136..143; -1 for anything else.
int PtsIndex(const struct stat& st) {
    if (!S_ISCHR(st.st_mode)) return -1;
    const unsigned ma = major(st.st_rdev);
    return ma >= 136 && ma <= 143 ? int((ma - 136) * 256 + minor(st.st_rdev)) : -1;
}

bool IsPtmx(const struct stat& st) { return S_ISCHR(st.st_mode) && major(st.st_rdev) == 5 && minor(st.st_rdev) == 2; }

bool SameFile(const struct stat& a, const struct stat& b) {
    if (S_ISCHR(a.st_mode) || S_ISCHR(b.st_mode))
        return S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode) && a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The pseudo-terminal number a master descriptor serves, from its fdinfo; -1 if unknown.
int MasterTtyIndex(const QString& fdinfoPath) {
    const QStringList lines = ReadSmallFile(fdinfoPath).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String("tty-index:"))) {
            bool ok = false;
            const int index = line.mid(10).trimmed().toInt(&ok);
            return ok ? index : -1;
        }
    }
    return -1;
}

QList<int> ProcessIds(const QString& procRoot) {
    QList<int> pids;
    const QStringList names = QDir(procRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        bool ok = false;
        const int pid = name.toInt(&ok);
        if (ok && pid > 0) pids << pid;
    }
    return pids;
}

QString ProcessName(const QString& procRoot, int pid) {
    return ReadSmallFile(QStringLiteral("%1/%2/comm").arg(procRoot).arg(pid));
}

// The USB device folder (the nearest with a vendor id) at or above `dir`, below `top`;
// `visit` sees each folder on the way up, that one included. Empty when there is none.
QString UsbDeviceDirAbove(QDir dir, const QString& top, const std::function<void(const QDir&)>& visit) {
    while (dir.absolutePath().size() > top.size() && dir.absolutePath() != QLatin1String("/")) {
        visit(dir);
        if (QFileInfo::exists(dir.filePath(QStringLiteral("idVendor")))) return dir.absolutePath();
        if (!dir.cdUp()) break;
    }
    return {};
}

}  // namespace

QString PortEnvironment::PortDirectory() const { return portDirectory.isEmpty() ? ComPortDirectory() : portDirectory; }

bool PortEnvironment::ModemManagerRunning() const {
    if (modemManagerRunning) return modemManagerRunning();
    for (int pid : ProcessIds(procRoot))
        if (ProcessName(procRoot, pid) == QLatin1String("ModemManager")) return true;
    return false;
}

ResolvedPort ResolvePort(int comNumber, const PortEnvironment& env) {
    ResolvedPort port;
    port.comNumber = comNumber;
    if (comNumber < 1 || comNumber > 65535) return port;
    const QString link = QDir(env.PortDirectory()).filePath(QStringLiteral("COM%1").arg(comNumber));
    const QFileInfo info(link);
    if (info.isSymLink()) {
        port.link = link;
        port.linkTarget = ReadLinkText(link);
        const QString final = info.canonicalFilePath();
        port.exists = !final.isEmpty();
        port.devicePath = port.exists ? final : QDir(info.absolutePath()).absoluteFilePath(port.linkTarget);
        return port;
    }
    // A ttyS node without a UART behind it is no port either.
    port.devicePath = RuleDevicePathForComNumber(comNumber);
    struct stat st {};
    port.exists = !port.devicePath.isEmpty() && StatPath(port.devicePath, st) && S_ISCHR(st.st_mode) &&
                  UartBehind(port.devicePath, env.sysRoot);
    return port;
}

PortDetails ReadPortDetails(const QString& devicePath, const PortEnvironment& env) {
    PortDetails d;
    const QString canonical = QFileInfo(devicePath).canonicalFilePath();
    d.devicePath = canonical.isEmpty() ? devicePath : canonical;
    struct stat st {};
    d.pseudoTerminal = StatPath(d.devicePath, st) && PtsIndex(st) >= 0;
    if (d.pseudoTerminal) return d;

    const QString ttyName = QFileInfo(d.devicePath).fileName();
    const QString deviceDir =
        QFileInfo(QStringLiteral("%1/class/tty/%2/device").arg(env.sysRoot, ttyName)).canonicalFilePath();
    if (deviceDir.isEmpty()) return d;
    bool ok = false;
    const int latency = ReadSmallFile(deviceDir + QStringLiteral("/latency_timer")).toInt(&ok);
    if (ok) d.latencyMs = latency;

    // The driver is the nearest one above the tty that is not the serial core's own
    // "port" or "ctrl" layer; the USB device is the nearest folder with a vendor id.
    const QString usbDir = UsbDeviceDirAbove(QDir(deviceDir), QFileInfo(env.sysRoot).canonicalFilePath(),
                                             [&d](const QDir& dir) {
        const QString driver = QFileInfo(ReadLinkText(dir.filePath(QStringLiteral("driver")))).fileName();
        if (d.driver.isEmpty() && !driver.isEmpty() && driver != QLatin1String("port") &&
            driver != QLatin1String("ctrl"))
            d.driver = driver;
    });
    if (!usbDir.isEmpty()) {
        const QDir usb(usbDir);
        d.usb = true;
        d.vendorId = ReadSmallFile(usb.filePath(QStringLiteral("idVendor")));
        d.productId = ReadSmallFile(usb.filePath(QStringLiteral("idProduct")));
        d.manufacturer = ReadSmallFile(usb.filePath(QStringLiteral("manufacturer")));
        d.product = ReadSmallFile(usb.filePath(QStringLiteral("product")));
        d.serialNumber = ReadSmallFile(usb.filePath(QStringLiteral("serial")));
    }
    return d;
}

QString ReadAdapterIdentity(const QString& devicePath, const PortEnvironment& env) {
    struct stat st {};
    if (devicePath.isEmpty() || !StatPath(devicePath, st) || !S_ISCHR(st.st_mode)) return {};
    // sysfs names every character device by its numbers, whatever its node is called.
    const QString top = QFileInfo(env.sysRoot).canonicalFilePath();
    QDir dir(QFileInfo(QStringLiteral("%1/dev/char/%2:%3").arg(env.sysRoot).arg(major(st.st_rdev)).arg(minor(st.st_rdev)))
                 .canonicalFilePath());
    if (top.isEmpty() || !dir.exists() || dir.absolutePath() == QLatin1String(".")) return {};
    QString interface;
    const QString usbDir = UsbDeviceDirAbove(dir, top, [&interface](const QDir& on) {
        const QString number = ReadSmallFile(on.filePath(QStringLiteral("bInterfaceNumber")));
        if (!number.isEmpty()) interface = number;
    });
    if (usbDir.isEmpty()) return {};
    const QDir usb(usbDir);
    return QStringList{ReadSmallFile(usb.filePath(QStringLiteral("idVendor"))),
                       ReadSmallFile(usb.filePath(QStringLiteral("idProduct"))),
                       ReadSmallFile(usb.filePath(QStringLiteral("serial"))), interface}
        .join(QLatin1Char(':'));
}

int FindComPortOfAdapter(const QString& identity, const PortEnvironment& env) {
    if (identity.isEmpty()) return 0;
    int found = 0;
    for (const QString& name : ListComPortNames()) {
        const int n = name.mid(3).toInt();
        const ResolvedPort port = ResolvePort(n, env);
        if (!port.exists || ReadAdapterIdentity(port.devicePath, env) != identity) continue;
        // The same device under a port-directory link and its own number is one adapter.
        if (found && ResolvePort(found, env).devicePath != port.devicePath) return 0;
        if (!found) found = n;
    }
    return found;
}

QString DescribePort(const ResolvedPort& port, const PortDetails& d, bool polish) {
    QString head = d.devicePath;
    if (!port.linkTarget.isEmpty() && port.linkTarget != d.devicePath)
        head += QStringLiteral(" (%1)").arg(port.linkTarget);
    QStringList parts;
    if (d.pseudoTerminal)
        parts << (polish ? QString::fromUtf8("pseudoterminal (wirtualny wyświetlacz lub inny program)")
                         : QStringLiteral("pseudo-terminal (virtual display or another program)"));
    if (d.usb) {
        QString adapter = QStringList{d.manufacturer, d.product}.join(QLatin1Char(' ')).trimmed();
        if (adapter.isEmpty()) adapter = polish ? QStringLiteral("adapter USB") : QStringLiteral("USB adapter");
        if (!d.vendorId.isEmpty()) adapter += QStringLiteral(" (%1:%2)").arg(d.vendorId, d.productId);
        parts << adapter;
        if (!d.serialNumber.isEmpty())
            parts << (polish ? QString::fromUtf8("nr seryjny ") : QStringLiteral("serial ")) + d.serialNumber;
    } else if (!d.driver.isEmpty()) {
        parts << d.driver;
    }
    if (d.latencyMs >= 0)
        parts << (polish ? QString::fromUtf8("opóźnienie %1 ms") : QStringLiteral("latency %1 ms")).arg(d.latencyMs);
    return parts.isEmpty() ? head : head + QStringLiteral(": ") + parts.join(QStringLiteral(", "));
}

QString DescribeComPort(int comNumber, bool polish, const PortEnvironment& env) {
    const ResolvedPort port = ResolvePort(comNumber, env);
    if (!port.exists) return {};
    return DescribePort(port, ReadPortDetails(port.devicePath, env), polish);
}

std::vector<DeviceHolder> FindDeviceHolders(const QString& devicePath, const PortEnvironment& env) {
    std::vector<DeviceHolder> holders;
    struct stat device {};
    if (!StatPath(devicePath, device)) return holders;
    const int ptsIndex = PtsIndex(device);
    const int self = int(::getpid());
    for (int pid : ProcessIds(env.procRoot)) {
        if (pid == self) continue;
        const QString fdDir = QStringLiteral("%1/%2/fd").arg(env.procRoot).arg(pid);
        bool holds = false;
        bool otherEnd = false;
        const QStringList fds = QDir(fdDir).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        for (const QString& fd : fds) {
            struct stat st {};
            if (!StatPath(fdDir + QLatin1Char('/') + fd, st)) continue;
            if (SameFile(st, device)) holds = true;
            else if (ptsIndex >= 0 && IsPtmx(st) &&
                     MasterTtyIndex(QStringLiteral("%1/%2/fdinfo/%3").arg(env.procRoot).arg(pid).arg(fd)) == ptsIndex)
                otherEnd = true;
        }
        if (holds && !otherEnd) holders.push_back({pid, ProcessName(env.procRoot, pid)});
    }
    return holders;
}

std::vector<DeviceHolder> FindLockHolders(const QString& devicePath, const PortEnvironment& env) {
    std::vector<DeviceHolder> holders;
    struct stat device {};
    if (!StatPath(devicePath, device)) return holders;
    QFile locks(env.procRoot + QStringLiteral("/locks"));
    if (!locks.open(QIODevice::ReadOnly)) return holders;
    const int self = int(::getpid());
    // "1: FLOCK  ADVISORY  WRITE 1234 00:05:87 0 EOF"; a line with "->" is a waiter.
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields[1] == "->") continue;
        const QList<QByteArray> id = fields[5].split(':');
        if (id.size() != 3) continue;
        bool okPid = false, okMajor = false, okMinor = false, okInode = false;
        const int pid = fields[4].toInt(&okPid);
        const unsigned ma = id[0].toUInt(&okMajor, 16), mi = id[1].toUInt(&okMinor, 16);
        const qulonglong inode = id[2].toULongLong(&okInode);
        if (!okPid || !okMajor || !okMinor || !okInode || pid <= 0 || pid == self) continue;
        if (ma != major(device.st_dev) || mi != minor(device.st_dev) || inode != device.st_ino) continue;
        const bool known =
            std::any_of(holders.begin(), holders.end(), [pid](const DeviceHolder& h) { return h.pid == pid; });
        if (!known) holders.push_back({pid, ProcessName(env.procRoot, pid)});
    }
    return holders;
}

bool IsKnownNonTerminal(const QString& devicePath, const PortEnvironment& env) {
    struct stat st {};
    if (!StatPath(devicePath, st)) return false;
    if (!S_ISCHR(st.st_mode)) return true;
    // Pseudo-terminal slaves have no sysfs entry: unknown, so not known to be no terminal.
    const QString subsystem = ReadLinkText(
        QStringLiteral("%1/dev/char/%2:%3/subsystem").arg(env.sysRoot).arg(major(st.st_rdev)).arg(minor(st.st_rdev)));
    return !subsystem.isEmpty() && QFileInfo(subsystem).fileName() != QLatin1String("tty");
}
