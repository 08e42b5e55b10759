// What stands behind a COM<n> name on Linux: the link in the port directory, the
// device node, the USB adapter with its maker, product and serial number, and the
// processes that hold the device open. /proc, /sys and the port directory can be
// replaced by prepared folders.
#pragma once

#include <QString>

#include <functional>
#include <vector>

struct PortEnvironment {
    QString procRoot = QStringLiteral("/proc");
    // $VORKAL_SYS_ROOT when set: a prepared tree that stands in for sysfs.
    QString sysRoot = qEnvironmentVariable("VORKAL_SYS_ROOT", QStringLiteral("/sys"));
    QString portDirectory;  // empty: ComPortDirectory()
    // Whether ModemManager runs; empty: a process named ModemManager under procRoot.
    std::function<bool()> modemManagerRunning;

    QString PortDirectory() const;
    bool ModemManagerRunning() const;
};

struct ResolvedPort {
    int comNumber = 0;
    QString link;        // COM<n> in the port directory; empty when the naming rule applies
    QString linkTarget;  // what the link names, as written in it
    QString devicePath;  // the device node: the link's final target, or the rule's /dev path
    bool exists = false;
};
ResolvedPort ResolvePort(int comNumber, const PortEnvironment& env = {});

struct PortDetails {
    QString devicePath;
    QString driver;  // ftdi_sio, cp210x, cdc_acm, serial8250, ...
    bool usb = false;
    bool pseudoTerminal = false;
    QString manufacturer, product, serialNumber, vendorId, productId;
    int latencyMs = -1;  // the adapter's latency timer where the driver has one
};
// Reads sysfs about the device node at `devicePath` (links followed).
PortDetails ReadPortDetails(const QString& devicePath, const PortEnvironment& env = {});
// The USB adapter behind a device node, as /dev/serial/by-id names it: vendor and
// product id, serial number and interface, "0403:6001:A50285BI:00". It follows the
// adapter to whatever device number it gets; empty where the system gives none
// (pseudo-terminals, built-in ports).
QString ReadAdapterIdentity(const QString& devicePath, const PortEnvironment& env = {});
// The COM number of the port whose adapter is `identity`; 0 when none is present, or
// when more than one is (identical adapters without serial numbers).
int FindComPortOfAdapter(const QString& identity, const PortEnvironment& env = {});
// One line for the port list: "/dev/ttyUSB0: FTDI FT232R USB UART, serial A50285BI, latency 1 ms".
QString DescribePort(const ResolvedPort& port, const PortDetails& details, bool polish);
// Resolve, read and describe in one go; empty when the port does not exist.
QString DescribeComPort(int comNumber, bool polish, const PortEnvironment& env = {});

struct DeviceHolder {
    int pid = 0;
    QString name;  // the process's command name
};
// Other processes that have the device open. This process and the program on the
// other side of a pseudo-terminal (which holds its master) do not count. Only
// processes whose descriptors this user may look at are seen.
std::vector<DeviceHolder> FindDeviceHolders(const QString& devicePath, const PortEnvironment& env = {});
// Processes holding a lock on the device node, from /proc/locks: seen even where their
// descriptors are hidden from this user. This process does not count.
std::vector<DeviceHolder> FindLockHolders(const QString& devicePath, const PortEnvironment& env = {});

// sysfs files the device under a class other than tty (/dev/null is "mem"), or it is no
// character device at all. False when that is unknown, as for pseudo-terminals.
bool IsKnownNonTerminal(const QString& devicePath, const PortEnvironment& env = {});
