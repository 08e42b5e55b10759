// COM ports on Windows: the names come from the system's serial device map
// (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM), the device behind each from that map's value
// name (\Device\Serial0, \Device\VCP0, ...), and the diagnosis of a failed open from
// the error the open reported. Nothing here opens a device.
#include "af_port_map.h"
#include "port_details.h"
#include "port_diagnosis.h"

#include <QSettings>

#include <map>
#include <windows.h>

namespace {

// COM number -> the device's name in the map (\Device\Serial0, \Device\VCP0, ...).
std::map<int, QString> SerialDeviceMap() {
    std::map<int, QString> ports;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        wchar_t value[64];
        DWORD nameLength = 256, valueBytes = sizeof value, type = 0;
        const LONG result = ::RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                                            reinterpret_cast<BYTE*>(value), &valueBytes);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        const QString com = QString::fromWCharArray(value, int(valueBytes / sizeof(wchar_t))).section(QChar(0), 0, 0);
        if (!com.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)) continue;
        bool ok = false;
        const int n = com.mid(3).toInt(&ok);
        if (ok && n >= 1 && n <= 65535) ports[n] = QString::fromWCharArray(name, int(nameLength));
    }
    ::RegCloseKey(key);
    return ports;
}

QString ComPath(int n) { return QStringLiteral("\\\\.\\COM%1").arg(n); }

template <typename... Args>
void Say(PortOpenDiagnosis& d, PortOpenCause cause, const char* english, const char* polish, const Args&... args) {
    d.cause = cause;
    d.english = QString::fromUtf8(english).arg(args...);
    d.polish = QString::fromUtf8(polish).arg(args...);
}

}  // namespace

// No port directory on Windows: the system names the ports itself.
QString ComPortDirectory() { return {}; }

QString RuleDevicePathForComNumber(int n) { return n >= 1 && n <= 65535 ? ComPath(n) : QString(); }

QString DevicePathForComNumber(int n) {
    if (n < 1 || n > 65535) return {};
    return SerialDeviceMap().count(n) ? ComPath(n) : QString();
}

QStringList ListComPortNames() {
    QStringList result;
    for (const auto& entry : SerialDeviceMap()) result << QStringLiteral("COM%1").arg(entry.first);
    return result;
}

bool UartBehind(const QString&, const QString&) { return true; }

QString PortEnvironment::PortDirectory() const { return portDirectory; }
bool PortEnvironment::ModemManagerRunning() const { return modemManagerRunning ? modemManagerRunning() : false; }

ResolvedPort ResolvePort(int comNumber, const PortEnvironment&) {
    ResolvedPort port;
    port.comNumber = comNumber;
    if (comNumber < 1 || comNumber > 65535) return port;
    const auto map = SerialDeviceMap();
    const auto found = map.find(comNumber);
    port.devicePath = ComPath(comNumber);
    if (found != map.end()) {
        port.linkTarget = found->second;
        port.exists = true;
    }
    return port;
}

// The device map's value name tells the driver: \Device\Serial0 is a built-in UART,
// \Device\VCP0 an FTDI adapter, \Device\Silabser0 a CP210x, \Device\USBSER000 a CDC one.
static PortDetails DetailsOfMapEntry(const QString& devicePath, const QString& mapName) {
    PortDetails details;
    details.devicePath = devicePath;
    if (mapName.isEmpty()) return details;
    const QString device = mapName.section(QLatin1Char('\\'), -1);
    details.driver = device;
    details.usb = !device.startsWith(QLatin1String("Serial"), Qt::CaseInsensitive);
    return details;
}

PortDetails ReadPortDetails(const QString& devicePath, const PortEnvironment&) {
    const int n = devicePath.mid(devicePath.lastIndexOf(QLatin1String("COM")) + 3).toInt();
    const auto map = SerialDeviceMap();
    const auto found = map.find(n);
    return DetailsOfMapEntry(devicePath, found == map.end() ? QString() : found->second);
}

QString DescribePort(const ResolvedPort& port, const PortDetails& d, bool polish) {
    QString text = QStringLiteral("COM%1").arg(port.comNumber);
    if (!port.linkTarget.isEmpty()) text += QStringLiteral(": %1").arg(port.linkTarget);
    if (d.usb) text += polish ? QStringLiteral(", adapter USB") : QStringLiteral(", USB adapter");
    return text;
}

QString DescribeComPort(int comNumber, bool polish, const PortEnvironment& env) {
    const ResolvedPort port = ResolvePort(comNumber, env);
    if (!port.exists) return {};
    // The map entry came with the port: no second look at the registry.
    return DescribePort(port, DetailsOfMapEntry(port.devicePath, port.linkTarget), polish);
}

// Windows does not tell which program holds a port.
// The serial device map names no adapter: ports are followed by their COM number.
QString ReadAdapterIdentity(const QString&, const PortEnvironment&) { return {}; }
int FindComPortOfAdapter(const QString&, const PortEnvironment&) { return 0; }

std::vector<DeviceHolder> FindDeviceHolders(const QString&, const PortEnvironment&) { return {}; }
std::vector<DeviceHolder> FindLockHolders(const QString&, const PortEnvironment&) { return {}; }
bool IsKnownNonTerminal(const QString&, const PortEnvironment&) { return false; }

PortIdentity PortIdentity::Current() { return {}; }

PortOpenDiagnosis DiagnosePortOpen(int comNumber, int openError, const PortEnvironment& env, const PortIdentity&) {
    PortOpenDiagnosis d;
    const ResolvedPort port = ResolvePort(comNumber, env);
    const QString com = QStringLiteral("COM%1").arg(comNumber);
    if (!port.exists || openError == ERROR_FILE_NOT_FOUND || openError == ERROR_PATH_NOT_FOUND)
        Say(d, PortOpenCause::Missing,
            "There is no serial device at %1: the adapter is unplugged, or this computer has no such port.",
            "Pod %1 nie ma urządzenia szeregowego: adapter jest odłączony albo komputer nie ma takiego portu.", com);
    // A lock violation is a port another program holds exclusively: Wine says so of a
    // device that a Linux program has opened that way.
    else if (openError == ERROR_ACCESS_DENIED || openError == ERROR_SHARING_VIOLATION ||
             openError == ERROR_LOCK_VIOLATION)
        Say(d, PortOpenCause::Busy, "%1 is in use by another program.\r\nClose that program first.",
            "%1 jest używany przez inny program.\r\nNajpierw zamknij ten program.", com);
    else if (openError == ERROR_GEN_FAILURE || openError == ERROR_DEVICE_NOT_CONNECTED)
        Say(d, PortOpenCause::Missing, "The device %1 does not answer: it was unplugged.",
            "Urządzenie %1 nie odpowiada: zostało odłączone.", com);
    else if (openError != 0) {
        wchar_t* text = nullptr;
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, DWORD(openError), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        const QString reason = text ? QString::fromWCharArray(text).trimmed() : QString::number(openError);
        if (text) ::LocalFree(text);
        Say(d, PortOpenCause::Other, "The system says: %1 (%2).", "System zgłasza: %1 (%2).", reason, com);
    }
    return d;
}
