#include "af_port_map.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

namespace {

// Sets or clears an environment variable for one scope.
class EnvGuard {
public:
    EnvGuard(const char* name, const char* value) : name_(name) {
        if (const char* old = getenv(name)) old_ = old, had_ = true;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~EnvGuard() {
        if (had_) setenv(name_, old_.c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

TEST(PortMap, DirectoryFromEnvironment) {
    struct Case {
        const char* own;
        const char* runtime;
        QString expected;
    };
    const Case cases[] = {
        {"/x/ports", "/run/user/5", "/x/ports"},
        {nullptr, "/run/user/5", "/run/user/5/vorkal-ports"},
        {"", "/run/user/5", "/run/user/5/vorkal-ports"},
        {nullptr, nullptr, QStringLiteral("/tmp/vorkal-ports-%1").arg(getuid())},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected.toStdString());
        EnvGuard own("VORKAL_PORT_DIR", c.own);
        EnvGuard runtime("XDG_RUNTIME_DIR", c.runtime);
        EXPECT_EQ(ComPortDirectory(), c.expected);
    }
}

TEST(PortMap, OnlySymlinksToCharacterDevicesCount) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EnvGuard env("VORKAL_PORT_DIR", QFile::encodeName(dir.path()).constData());
    const auto link = [&](const char* name, const char* target) {
        ASSERT_EQ(symlink(target, QFile::encodeName(dir.filePath(name)).constData()), 0) << name;
    };
    QFile plain(dir.filePath("regular"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    QFile notLink(dir.filePath("COM8"));
    ASSERT_TRUE(notLink.open(QIODevice::WriteOnly));
    notLink.close();

    link("COM5", "/dev/null");
    link("COM10", "/dev/zero");
    link("COM33", "/dev/null");  // overrides /dev/ttyUSB0
    link("COM6", "/nonexistent/device");
    link("COM7", QFile::encodeName(dir.filePath("regular")).constData());
    link("COM0", "/dev/null");
    link("COMX", "/dev/null");
    link("COM9x", "/dev/null");

    struct Case {
        int number;
        QString path;
    };
    const Case cases[] = {
        {5, dir.filePath("COM5")},
        {10, dir.filePath("COM10")},
        {33, dir.filePath("COM33")},
        {6, ""},
        {7, ""},
        {8, ""},
        {0, ""},
        {-1, ""},
        {70000, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        EXPECT_EQ(DevicePathForComNumber(c.number), c.path);
    }

    const QStringList names = ListComPortNames();
    const QStringList ours = {"COM5", "COM10", "COM33"};
    QStringList fromDirectory;
    for (const QString& name : names)
        if (ours.contains(name)) fromDirectory << name;
    EXPECT_EQ(fromDirectory, ours);  // numeric order, not text order
    for (const char* absent : {"COM6", "COM7", "COM8", "COM0", "COMX"}) EXPECT_FALSE(names.contains(absent)) << absent;
    for (int i = 1; i < names.size(); ++i) EXPECT_LT(names[i - 1].mid(3).toInt(), names[i].mid(3).toInt());
}

TEST(PortMap, MissingDirectoryGivesNoEntries) {
    EnvGuard env("VORKAL_PORT_DIR", "/nonexistent/vorkal-ports");
    EXPECT_EQ(DevicePathForComNumber(4000), QString());
    // Only real devices remain, and none of them comes from the directory.
    for (const QString& name : ListComPortNames())
        EXPECT_FALSE(DevicePathForComNumber(name.mid(3).toInt()).startsWith("/nonexistent"));
}

}  // namespace

TEST(PortMap, UartBehindFollowsTheSerialCoresType) {
    QTemporaryDir sys;
    const auto writeType = [&](const char* line, const QByteArray& type) {
        QDir(sys.path()).mkpath(QStringLiteral("class/tty/%1").arg(line));
        QFile f(sys.filePath(QStringLiteral("class/tty/%1/type").arg(line)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(type);
    };
    writeType("ttyS0", "4\n");   // a 16550A
    writeType("ttyS1", "0\n");   // an entry without a UART
    writeType("ttyS12", "0\n");  // not a prefix match for ttyS1
    struct Case {
        const char* device;
        bool expected;
    };
    const Case cases[] = {
        {"/dev/ttyS0", true},   {"/dev/ttyS1", false},
        {"/dev/ttyS12", false}, {"/dev/ttyS2", true},  // sysfs says nothing: taken to be there
        {"/dev/ttyUSB0", true}, {"/tmp/ports/COM3", true},
    };
    for (const Case& c : cases) EXPECT_EQ(UartBehind(c.device, sys.path()), c.expected) << c.device;
}

// Opening a serial device raises DTR and RTS, closing it drops them: a board on the line
// may reset. Listing the ports must not touch the devices.
TEST(PortMap, ListingThePortsOpensNoSerialDevice) {
    QStringList watched;
    const int inotify = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(inotify, 0);
    for (const QString& name : QDir("/dev").entryList({"ttyS*", "ttyUSB*", "ttyACM*"}, QDir::System))
        if (inotify_add_watch(inotify, QFile::encodeName("/dev/" + name).constData(), IN_OPEN) >= 0) watched << name;
    if (watched.isEmpty()) {
        close(inotify);
        GTEST_SKIP() << "no serial device on this machine";
    }
    ListComPortNames();
    for (int n = 1; n <= 40; ++n) DevicePathForComNumber(n);
    // The events of the calls above are queued by the time they return.
    char events[4096];
    const ssize_t got = read(inotify, events, sizeof events);
    close(inotify);
    EXPECT_LT(got, 0) << "a serial device was opened; watched: " << watched.join(' ').toStdString();
}
