#include "port_diagnosis.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString GroupName(gid_t gid) {
    if (const group* g = ::getgrgid(gid)) return QString::fromLocal8Bit(g->gr_name);
    return QString::number(gid);
}

QString UserName(uid_t uid) {
    if (const passwd* p = ::getpwuid(uid)) return QString::fromLocal8Bit(p->pw_name);
    return QString::number(uid);
}

bool Contains(const std::vector<gid_t>& groups, gid_t gid) {
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

QString HolderList(const std::vector<DeviceHolder>& holders) {
    QStringList names;
    for (const DeviceHolder& h : holders)
        names << QStringLiteral("%1 (pid %2)").arg(h.name.isEmpty() ? QStringLiteral("?") : h.name).arg(h.pid);
    return names.join(QStringLiteral(", "));
}

bool LooksLikeUsbSerial(const PortDetails& details) {
    const QString name = QFileInfo(details.devicePath).fileName();
    return details.usb || name.startsWith(QLatin1String("ttyUSB")) || name.startsWith(QLatin1String("ttyACM"));
}

// Sets the cause and both texts; `args` (all strings) fill %1, %2, ... in each.
template <typename... Args>
void Say(PortOpenDiagnosis& d, PortOpenCause cause, const char* english, const char* polish, const Args&... args) {
    d.cause = cause;
    d.english = QString::fromUtf8(english).arg(args...);
    d.polish = QString::fromUtf8(polish).arg(args...);
}

void Missing(PortOpenDiagnosis& d, const ResolvedPort& port, const PortEnvironment& env) {
    const QString com = QStringLiteral("COM%1").arg(port.comNumber);
    if (!port.link.isEmpty())
        Say(d, PortOpenCause::Missing,
            "%1 is a link to %2, which no longer exists: the device was unplugged, or the program that made "
            "the link has ended.",
            "%1 to dowiązanie do %2, które już nie istnieje: urządzenie odłączono albo program, który je "
            "utworzył, zakończył pracę.",
            com, port.linkTarget);
    else if (!port.devicePath.isEmpty())
        Say(d, PortOpenCause::Missing,
            "There is no serial device at %1 (%2): the adapter is unplugged, or this computer has no such port.",
            "Pod %1 (%2) nie ma urządzenia szeregowego: adapter jest odłączony albo komputer nie ma takiego portu.",
            port.devicePath, com);
    else
        Say(d, PortOpenCause::Missing, "No device is named %1: there is no link %1 in %2.",
            "Żadne urządzenie nie nazywa się %1: brak dowiązania %1 w %2.", com, env.PortDirectory());
}

// The device node is there but nothing answers behind it.
void Gone(PortOpenDiagnosis& d, const ResolvedPort& port) {
    if (port.link.isEmpty())
        Say(d, PortOpenCause::Missing, "The device %1 does not answer: it was unplugged.",
            "Urządzenie %1 nie odpowiada: zostało odłączone.", port.devicePath);
    else
        Say(d, PortOpenCause::Missing, "The device %1 does not answer: it was unplugged. COM%2 is a link to %3.",
            "Urządzenie %1 nie odpowiada: zostało odłączone. COM%2 to dowiązanie do %3.", port.devicePath,
            QString::number(port.comNumber), port.linkTarget);
}

void PermissionDenied(PortOpenDiagnosis& d, const QString& path, const PortIdentity& who) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return Say(d, PortOpenCause::PermissionDenied, "Permission denied for %1.", "Brak uprawnień do %1.", path);
    const QString group = GroupName(st.st_gid);
    const bool groupMayUse = (st.st_mode & S_IRGRP) && (st.st_mode & S_IWGRP);
    if (!groupMayUse || st.st_gid == 0)
        Say(d, PortOpenCause::PermissionDenied,
            "Permission denied for %1 (owner %2, group %3, mode %4): the device does not let a group of users "
            "read and write it; its udev rule must be changed.",
            "Brak uprawnień do %1 (właściciel %2, grupa %3, tryb %4): urządzenie nie pozwala żadnej grupie "
            "użytkowników na odczyt i zapis; trzeba zmienić jego regułę udev.",
            path, UserName(st.st_uid), group, QStringLiteral("%1").arg(st.st_mode & 07777, 4, 8, QLatin1Char('0')));
    else if (Contains(who.accountGroups, st.st_gid) && !Contains(who.sessionGroups, st.st_gid))
        Say(d, PortOpenCause::PermissionDenied,
            "Permission denied for %1: you are in group %2, but this session started before you joined it.\r\n"
            "Logging out and in again is enough.",
            "Brak uprawnień do %1: należysz do grupy %2, ale ta sesja zaczęła się, zanim do niej dołączyłeś.\r\n"
            "Wystarczy wylogować się i zalogować ponownie.",
            path, group);
    else
        Say(d, PortOpenCause::PermissionDenied,
            "Permission denied for %1: it belongs to group %2.\r\nAdd yourself once with\r\n"
            "    sudo usermod -aG %2 $USER\r\nthen log out and log in again.",
            "Brak uprawnień do %1: urządzenie należy do grupy %2.\r\nDodaj się raz poleceniem\r\n"
            "    sudo usermod -aG %2 $USER\r\na potem wyloguj się i zaloguj ponownie.",
            path, group);
}

void Busy(PortOpenDiagnosis& d, const QString& path) {
    if (d.holders.empty())
        Say(d, PortOpenCause::Busy,
            "%1 is in use by another program, one this user cannot see (for example a system service).",
            "%1 jest używany przez inny program, niewidoczny dla tego użytkownika (na przykład usługę systemową).",
            path);
    else if (d.holders.size() == 1)
        Say(d, PortOpenCause::Busy, "%1 is in use by %2.\r\nClose that program first.",
            "%1 jest używany przez %2.\r\nNajpierw zamknij ten program.", path, HolderList(d.holders));
    else
        Say(d, PortOpenCause::Busy, "%1 is in use by %2.\r\nClose those programs first.",
            "%1 jest używany przez %2.\r\nNajpierw zamknij te programy.", path, HolderList(d.holders));
}

void AddModemManagerAdvice(PortOpenDiagnosis& d, const PortDetails& details) {
    const QString rule =
        details.vendorId.isEmpty()
            ? QStringLiteral("ENV{ID_MM_DEVICE_IGNORE}=\"1\"")
            : QStringLiteral("ATTRS{idVendor}==\"%1\", ATTRS{idProduct}==\"%2\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"")
                  .arg(details.vendorId, details.productId);
    PortOpenDiagnosis advice;
    Say(advice, d.cause,
        "ModemManager is running: it opens a newly plugged USB serial device for several seconds to look for a "
        "modem. Wait a moment and click \"Retry\".\r\nTo keep it off this adapter, put the line\r\n    %1\r\n"
        "into /etc/udev/rules.d/99-vorkal.rules and plug the adapter in again (without a modem: "
        "sudo systemctl disable --now ModemManager).",
        "Działa ModemManager: przez kilka sekund otwiera każde świeżo podłączone urządzenie szeregowe USB, "
        "szukając modemu. Poczekaj chwilę i kliknij \"Retry\".\r\nAby nie dotykał tego adaptera, wpisz wiersz"
        "\r\n    %1\r\ndo /etc/udev/rules.d/99-vorkal.rules i podłącz adapter ponownie (bez modemu: "
        "sudo systemctl disable --now ModemManager).",
        rule);
    const QString gap = QStringLiteral("\r\n");
    d.english = d.english.isEmpty() ? advice.english : d.english + gap + advice.english;
    d.polish = d.polish.isEmpty() ? advice.polish : d.polish + gap + advice.polish;
    d.modemManagerAdvice = true;
}

}  // namespace

PortIdentity PortIdentity::Current() {
    PortIdentity who;
    const uid_t uid = ::geteuid();
    who.userName = UserName(uid);
    const int count = ::getgroups(0, nullptr);
    who.sessionGroups.resize(size_t(std::max(count, 0)));
    if (count > 0 && ::getgroups(count, who.sessionGroups.data()) != count) who.sessionGroups.clear();
    who.sessionGroups.push_back(::getegid());
    if (const passwd* p = ::getpwuid(uid)) {
        const QByteArray name(p->pw_name);
        const gid_t primary = p->pw_gid;
        int n = 64;
        std::vector<gid_t> groups(static_cast<size_t>(n));
        if (::getgrouplist(name.constData(), primary, groups.data(), &n) < 0) {
            groups.resize(size_t(n));
            ::getgrouplist(name.constData(), primary, groups.data(), &n);
        }
        groups.resize(size_t(std::max(n, 0)));
        who.accountGroups = groups;
    }
    return who;
}

PortOpenDiagnosis DiagnosePortOpen(int comNumber, int openError, const PortEnvironment& env,
                                   const PortIdentity& identity) {
    PortOpenDiagnosis d;
    const ResolvedPort port = ResolvePort(comNumber, env);
    if (!port.exists) {
        Missing(d, port, env);
        return d;
    }
    const PortDetails details = ReadPortDetails(port.devicePath, env);
    const QString& path = details.devicePath;

    // Everything below looks at the device from outside (stat, access, /proc, /sys):
    // opening it again to find out would drop DTR, which resets many boards.
    const QByteArray nativePath = QFile::encodeName(path);
    const bool denied = openError == EACCES || openError == EPERM ||
                        (openError == 0 && ::access(nativePath.constData(), R_OK | W_OK) != 0 && errno == EACCES);
    const bool terminal = openError != ENOTTY && !IsKnownNonTerminal(path, env);
    // Holders count only for terminals: every program has /dev/null open.
    if (terminal && !denied) {
        d.holders = FindDeviceHolders(path, env);
        for (const DeviceHolder& h : FindLockHolders(path, env)) {
            const bool known = std::any_of(d.holders.begin(), d.holders.end(),
                                           [&h](const DeviceHolder& other) { return other.pid == h.pid; });
            if (!known) d.holders.push_back(h);
        }
    }
    const bool modemManagerHolds = std::any_of(d.holders.begin(), d.holders.end(), [](const DeviceHolder& h) {
        return h.name == QLatin1String("ModemManager");
    });
    const bool locked = openError == EWOULDBLOCK || openError == EAGAIN;
    if (denied) PermissionDenied(d, path, identity);
    else if (!terminal)
        Say(d, PortOpenCause::Other, "%1 is no serial port: it is not a terminal device.",
            "%1 nie jest portem szeregowym: to nie jest urządzenie terminalowe.", path);
    else if (!d.holders.empty() || openError == EBUSY || locked) Busy(d, path);
    else if (openError == ENOENT || openError == ENODEV || openError == ENXIO || openError == EIO) Gone(d, port);
    else if (openError != 0)
        Say(d, PortOpenCause::Other, "The system says: %1 (%2).", "System zgłasza: %1 (%2).",
            QString::fromLocal8Bit(std::strerror(openError)), path);

    // ModemManager's probe is over in seconds and its descriptors are hidden from
    // users, so a hidden holder or an unexplained failure of a USB device while it
    // runs is most likely its doing.
    const bool hiddenHolder = d.cause == PortOpenCause::Busy && d.holders.empty();
    const bool unexplainedUsb = d.cause == PortOpenCause::None && LooksLikeUsbSerial(details);
    if (modemManagerHolds || ((hiddenHolder || unexplainedUsb) && env.ModemManagerRunning()))
        AddModemManagerAdvice(d, details);
    return d;
}
