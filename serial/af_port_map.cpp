#include "af_port_map.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsCharDevice(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISCHR(st.st_mode);
}

// A busy or forbidden device still counts as present; only a ttyS line without a UART
// is left out.
bool SerialDevicePresent(const QString& path, bool needUart) {
    return IsCharDevice(path) && (!needUart || UartBehind(path));
}

// Port-directory entries: number -> symlink path.
std::map<int, QString> PortDirectoryEntries() {
    std::map<int, QString> entries;
    static const QRegularExpression name(QStringLiteral("^COM([1-9][0-9]{0,4})$"));
    const QDir dir(ComPortDirectory());
    const QFileInfoList list = dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo& info : list) {
        const auto match = name.match(info.fileName());
        if (!match.hasMatch() || !info.isSymLink()) continue;
        const int n = match.captured(1).toInt();
        if (n >= 1 && n <= 65535 && IsCharDevice(info.filePath())) entries[n] = info.filePath();
    }
    return entries;
}

struct RealPortRule {
    const char* prefix;
    int firstNumber;
    int count;
    bool needUart;
};
constexpr RealPortRule realPortRules[] = {
    {"/dev/ttyS", 1, 32, true}, {"/dev/ttyUSB", 33, 32, false}, {"/dev/ttyACM", 65, 65535 - 64, false}};

const RealPortRule* RuleForNumber(int n) {
    for (const RealPortRule& rule : realPortRules)
        if (n >= rule.firstNumber && n < rule.firstNumber + rule.count) return &rule;
    return nullptr;
}

QString RealPortPath(int n) {
    const RealPortRule* rule = RuleForNumber(n);
    if (!rule) return {};
    const QString path = RuleDevicePathForComNumber(n);
    return SerialDevicePresent(path, rule->needUart) ? path : QString();
}

}  // namespace

QString RuleDevicePathForComNumber(int n) {
    const RealPortRule* rule = RuleForNumber(n);
    return rule ? QString::fromLatin1(rule->prefix) + QString::number(n - rule->firstNumber) : QString();
}

bool UartBehind(const QString& devicePath, const QString& sysRoot) {
    const QString name = QFileInfo(devicePath).fileName();
    if (!name.startsWith(QLatin1String("ttyS"))) return true;
    QFile type(QStringLiteral("%1/class/tty/%2/type").arg(sysRoot, name));
    if (!type.open(QIODevice::ReadOnly)) return true;
    return type.read(32).trimmed() != "0";
}

QString ComPortDirectory() {
    const QString own = qEnvironmentVariable("VORKAL_PORT_DIR");
    if (!own.isEmpty()) return own;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) return runtime + QStringLiteral("/vorkal-ports");
    return QStringLiteral("/tmp/vorkal-ports-%1").arg(::getuid());
}

QString DevicePathForComNumber(int n) {
    if (n < 1 || n > 65535) return {};
    const QString link = QDir(ComPortDirectory()).filePath(QStringLiteral("COM%1").arg(n));
    QFileInfo info(link);
    if (info.isSymLink() && IsCharDevice(link)) return link;
    return RealPortPath(n);
}

QStringList ListComPortNames() {
    std::map<int, QString> ports = PortDirectoryEntries();
    for (const RealPortRule& rule : realPortRules) {
        const QDir dev(QStringLiteral("/dev"));
        const QString base = QFileInfo(QString::fromLatin1(rule.prefix)).fileName();
        const QStringList names = dev.entryList({base + QStringLiteral("*")}, QDir::System | QDir::NoDotAndDotDot);
        for (const QString& name : names) {
            bool ok = false;
            const int k = name.mid(base.size()).toInt(&ok);
            if (!ok || k < 0 || k >= rule.count) continue;
            const int n = rule.firstNumber + k;
            if (ports.count(n) == 0 && SerialDevicePresent(dev.filePath(name), rule.needUart))
                ports[n] = dev.filePath(name);
        }
    }
    QStringList result;
    for (const auto& entry : ports) result << QStringLiteral("COM%1").arg(entry.first);
    return result;
}
