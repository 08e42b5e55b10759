#include "af_port_map.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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
