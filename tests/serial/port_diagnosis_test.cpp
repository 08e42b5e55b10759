// Why a port does not open, reproduced with pseudo-terminals, device nodes and
// prepared /proc and /sys folders; and the adapter line of the port list.

#include "af_com_port_core.h"
#include "port_diagnosis.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "open_watch.h"
#include "qt_printers.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace {

using vorkal::testing::OpenWatch;

TAfDcb LineRecord() {
    TAfDcb dcb;
    dcb.BaudRate = 57600;
    dcb.ByteSize = 8;
    dcb.Flags = AfDcbFlag::Binary;
    return dcb;
}

// Opens COM<n> with the serial core, as the window does, and gives back the errno its
// failure reports; -1 when the port opened.
int CoreOpenError(int com) {
    TAfComPortCore core;
    core.SetDcb(LineRecord());
    try {
        core.Open(uint16_t(com));
    } catch (const EAfComPortCoreError& e) {
        return e.SystemError();
    }
    core.CloseIfOpen();
    return -1;
}

// Runs `body` in a child process and gives back what it wrote to its pipe.
// The child waits, holding whatever it opened, until the parent lets it go.
class Child {
public:
    explicit Child(const std::function<std::string()>& body) {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const std::string out = body();
            if (::write(ready[1], out.c_str(), out.size() + 1) < 0) _exit(2);
            ::close(ready[1]);
            char c;
            while (::read(release[0], &c, 1) > 0) {}
            _exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        release_ = release[1];
        // The child's answer ends with a NUL; reading stops there, not at a guessed time.
        char c;
        while (::read(ready[0], &c, 1) == 1 && c != '\0') output_ += c;
        ::close(ready[0]);
    }
    ~Child() { Finish(); }
    void Finish() {
        if (release_ >= 0) ::close(release_);
        release_ = -1;
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    pid_t pid() const { return pid_; }
    const std::string& output() const { return output_; }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    std::string output_;
};

// A pseudo-terminal whose master this test process holds; the slave is the "port".
struct Pty {
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0) {
            char name[128];
            if (::ptsname_r(master, name, sizeof name) == 0) slave = QString::fromLatin1(name);
        }
    }
    ~Pty() {
        if (master >= 0) ::close(master);
    }
    int master = -1;
    QString slave;
};

// Another program holding `path` open, named `name`; `lock` adds an exclusive flock.
// It lets go of the pseudo-terminal master it inherited: a rival does not hold that.
std::string HoldDevice(const QString& path, const char* name, bool lock, int inheritedMaster = -1) {
    if (inheritedMaster >= 0) ::close(inheritedMaster);
    ::prctl(PR_SET_NAME, name);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0 || (lock && ::flock(fd, LOCK_EX | LOCK_NB) != 0)) return "failed";
    return "holding";
}

class PortDiagnosisTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ports.isValid());
        ASSERT_TRUE(emptyProc.isValid());
        env.portDirectory = ports.path();
        env.modemManagerRunning = [] { return false; };
        // The serial core finds the same links.
        qputenv("VORKAL_PORT_DIR", QFile::encodeName(ports.path()));
    }
    void link(int com, const QString& target) {
        ASSERT_TRUE(QFile::link(target, ports.filePath(QStringLiteral("COM%1").arg(com))));
    }

    QTemporaryDir ports, emptyProc;
    PortEnvironment env;
};

TEST_F(PortDiagnosisTest, MissingDeviceSaysWhereTheLinkPoints) {
    link(5, "/dev/serial/by-id/usb-Gone_Adapter-if00-port0");
    struct Case {
        int com;
        const char* english;
        const char* polish;
    };
    const Case cases[] = {
        {5, "COM5 is a link to /dev/serial/by-id/usb-Gone_Adapter-if00-port0, which no longer exists",
         "COM5 to dowiązanie do /dev/serial/by-id/usb-Gone_Adapter-if00-port0"},
        // No link: the naming rule's device, which is not there.
        {965, "There is no serial device at /dev/ttyACM900 (COM965)", "Pod /dev/ttyACM900 (COM965) nie ma urządzenia"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.com);
        const int openError = CoreOpenError(c.com);
        EXPECT_EQ(openError, ENOENT);
        const PortOpenDiagnosis d = DiagnosePortOpen(c.com, openError, env);
        EXPECT_EQ(d.cause, PortOpenCause::Missing);
        EXPECT_TRUE(d.english.contains(QString::fromUtf8(c.english))) << d.english.toStdString();
        EXPECT_TRUE(d.polish.contains(QString::fromUtf8(c.polish))) << d.polish.toStdString();
    }
}

TEST_F(PortDiagnosisTest, DeviceThatIsNoTerminalIsNotCalledBusy) {
    // Every program has /dev/null open; that makes it no serial port, not a busy one.
    link(4, "/dev/null");
    const int coreError = CoreOpenError(4);
    EXPECT_EQ(coreError, ENOTTY);
    // Told by the core's failure, and where no errno is known, by sysfs.
    for (int openError : {coreError, 0}) {
        SCOPED_TRACE(openError);
        const PortOpenDiagnosis d = DiagnosePortOpen(4, openError, env);
        EXPECT_EQ(d.cause, PortOpenCause::Other);
        EXPECT_TRUE(d.holders.empty());
        EXPECT_EQ(d.english, "/dev/null is no serial port: it is not a terminal device.");
        EXPECT_EQ(d.polish,
                  QString::fromUtf8("/dev/null nie jest portem szeregowym: to nie jest urządzenie terminalowe."));
    }
}

TEST_F(PortDiagnosisTest, ProgramHoldingThePortIsNamed) {
    Pty pty;
    ASSERT_FALSE(pty.slave.isEmpty());
    link(7, pty.slave);

    {
        // Visible in /proc: named with its process id, whether it locked the device or not.
        for (bool lock : {false, true}) {
            SCOPED_TRACE(lock);
            Child holder([&] { return HoldDevice(pty.slave, "holder-prog", lock, pty.master); });
            ASSERT_EQ(holder.output(), "holding");
            OpenWatch opens(pty.slave);
            ASSERT_TRUE(opens.valid());
            const int openError = CoreOpenError(7);
            EXPECT_EQ(openError, lock ? EWOULDBLOCK : EBUSY);
            EXPECT_EQ(opens.take(), 1);  // the core's own attempt: the watch sees opens
            const PortOpenDiagnosis d = DiagnosePortOpen(7, openError, env);
            // An open and close would drop DTR and reset the board behind an adapter.
            EXPECT_EQ(opens.take(), 0) << "the diagnosis opened the device";
            // The lock is seen in /proc/locks too; its holder is named once.
            EXPECT_EQ(FindLockHolders(pty.slave, env).size(), lock ? 1u : 0u);
            EXPECT_EQ(d.cause, PortOpenCause::Busy);
            ASSERT_EQ(d.holders.size(), 1u);
            EXPECT_EQ(d.holders[0].pid, holder.pid());
            const QString who = QStringLiteral("holder-prog (pid %1)").arg(holder.pid());
            EXPECT_TRUE(d.english.contains(who + ".\r\nClose that program first.")) << d.english.toStdString();
            EXPECT_TRUE(d.polish.contains(who + QString::fromUtf8(".\r\nNajpierw zamknij ten program.")))
                << d.polish.toStdString();
            EXPECT_FALSE(d.modemManagerAdvice);
        }
    }

    // A holder this user cannot see (its /proc entry hidden) but whose lock is felt:
    // with ModemManager running, that is most likely ModemManager's probe.
    Child hidden([&] { return HoldDevice(pty.slave, "hidden-prog", true, pty.master); });
    ASSERT_EQ(hidden.output(), "holding");
    const int openError = CoreOpenError(7);
    EXPECT_EQ(openError, EWOULDBLOCK);
    env.procRoot = emptyProc.path();
    OpenWatch opens(pty.slave);
    ASSERT_TRUE(opens.valid());
    for (bool modemManager : {false, true}) {
        SCOPED_TRACE(modemManager);
        env.modemManagerRunning = [modemManager] { return modemManager; };
        const PortOpenDiagnosis d = DiagnosePortOpen(7, openError, env);
        EXPECT_EQ(opens.take(), 0) << "the diagnosis opened the device";
        EXPECT_EQ(d.cause, PortOpenCause::Busy);
        EXPECT_TRUE(d.holders.empty());
        EXPECT_TRUE(d.english.contains("in use by another program, one this user cannot see"))
            << d.english.toStdString();
        EXPECT_EQ(d.modemManagerAdvice, modemManager);
        EXPECT_EQ(d.english.contains("ModemManager is running"), modemManager);
        EXPECT_EQ(d.polish.contains(QString::fromUtf8("Działa ModemManager")), modemManager);
    }
}

TEST_F(PortDiagnosisTest, ModemManagerSeenHoldingTheDevice) {
    Pty pty;
    ASSERT_FALSE(pty.slave.isEmpty());
    link(9, pty.slave);
    // A /proc with ModemManager (pid 4242) holding the device on descriptor 12.
    QTemporaryDir proc;
    ASSERT_TRUE(QDir(proc.path()).mkpath("4242/fd"));
    QFile comm(proc.filePath("4242/comm"));
    ASSERT_TRUE(comm.open(QIODevice::WriteOnly));
    comm.write("ModemManager\n");
    comm.close();
    ASSERT_TRUE(QFile::link(pty.slave, proc.filePath("4242/fd/12")));
    env.procRoot = proc.path();
    env.modemManagerRunning = {};  // found through the prepared /proc

    const PortOpenDiagnosis d = DiagnosePortOpen(9, EBUSY, env);
    EXPECT_EQ(d.cause, PortOpenCause::Busy);
    EXPECT_TRUE(d.english.contains("in use by ModemManager (pid 4242)")) << d.english.toStdString();
    EXPECT_TRUE(d.modemManagerAdvice);
    EXPECT_TRUE(d.english.contains("ENV{ID_MM_DEVICE_IGNORE}=\"1\"")) << d.english.toStdString();
    EXPECT_TRUE(d.english.contains("/etc/udev/rules.d/"));
}

TEST_F(PortDiagnosisTest, OtherEndOfAPseudoTerminalIsNoCompetitor) {
    // A virtual display holds the master and the slave; it is the device, not a rival.
    Child display([] {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        char name[128];
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name))
            return std::string("failed");
        if (::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK) < 0) return std::string("failed");
        return std::string(name);
    });
    ASSERT_NE(display.output(), "failed");
    const QString slave = QString::fromStdString(display.output());
    link(11, slave);
    EXPECT_TRUE(FindDeviceHolders(slave, env).empty());
    const PortOpenDiagnosis d = DiagnosePortOpen(11, 0, env);
    EXPECT_EQ(d.cause, PortOpenCause::None) << d.english.toStdString();
    EXPECT_TRUE(d.english.isEmpty());

    // The serial core opens it; with a second program reading the same device it
    // refuses, as a port that is truly exclusive would.
    {
        TAfComPortCore core;
        core.SetDcb(LineRecord());
        EXPECT_TRUE(core.Open(11));
        core.CloseIfOpen();
    }
    Child reader([&] { return HoldDevice(slave, "cat", false); });
    ASSERT_EQ(reader.output(), "holding");
    TAfComPortCore core;
    core.SetDcb(LineRecord());
    int openError = 0;
    try {
        core.Open(11);
        ADD_FAILURE() << "opened a port another program reads";
    } catch (const EAfComPortCoreError& e) {
        EXPECT_STREQ(e.what(), "Can't open device COM11");
        openError = e.SystemError();
    }
    EXPECT_EQ(openError, EBUSY);
    EXPECT_FALSE(core.IsOpen());
    const QString reason = PortOpenFailureReason(11, "Can't open device COM11", openError, false, env);
    EXPECT_TRUE(reason.contains(QStringLiteral("cat (pid %1)").arg(reader.pid()))) << reason.toStdString();
}

// A holder whose descriptors this user cannot see is still named by its lock.
TEST_F(PortDiagnosisTest, LockHolderIsNamedFromTheLockTable) {
    Pty pty;
    ASSERT_FALSE(pty.slave.isEmpty());
    link(9, pty.slave);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(pty.slave).constData(), &st), 0);
    const QString id = QStringLiteral("%1:%2:%3")
                           .arg(major(st.st_dev), 2, 16, QLatin1Char('0'))
                           .arg(minor(st.st_dev), 2, 16, QLatin1Char('0'))
                           .arg(st.st_ino);
    // A /proc whose lock table has the holder, one waiting for the lock and a lock on
    // another file; no process there shows its descriptors.
    QTemporaryDir proc;
    const auto write = [&](const QString& name, const QByteArray& text) {
        ASSERT_TRUE(QDir(proc.path()).mkpath(QFileInfo(proc.filePath(name)).path()));
        QFile f(proc.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    write("locks", ("1: FLOCK  ADVISORY  WRITE 4343 " + id +
                    " 0 EOF\n"
                    "1: -> FLOCK  ADVISORY  WRITE 5555 " +
                    id +
                    " 0 EOF\n"
                    "2: POSIX  ADVISORY  WRITE 6666 00:1f:12345 0 EOF\n")
                       .toLatin1());
    write("4343/comm", "minicom\n");
    write("5555/comm", "picocom\n");
    write("6666/comm", "other\n");
    env.procRoot = proc.path();

    const PortOpenDiagnosis d = DiagnosePortOpen(9, EWOULDBLOCK, env);
    EXPECT_EQ(d.cause, PortOpenCause::Busy);
    ASSERT_EQ(d.holders.size(), 1u);
    EXPECT_EQ(d.holders[0].pid, 4343);
    EXPECT_TRUE(d.english.contains("is in use by minicom (pid 4343).\r\nClose that program first."))
        << d.english.toStdString();
}

TEST_F(PortDiagnosisTest, PermissionDeniedNamesTheGroupAndTheFix) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: the test makes a device node and checks it as an unprivileged user";
    const gid_t dialout = ::getgrnam("dialout") ? ::getgrnam("dialout")->gr_gid : 20;
    const QString node = ports.filePath("ttyFake0");
    ASSERT_EQ(::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0660, makedev(1, 3)), 0);
    ASSERT_EQ(::chown(QFile::encodeName(node).constData(), 0, dialout), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(ports.path()).constData(), 0755), 0);
    link(3, node);

    struct Case {
        mode_t mode;
        bool accountInGroup;  // joined the group after this session began
        const char* english;
        const char* polish;
    };
    const Case cases[] = {
        {0660, false,
         "belongs to group dialout.\r\nAdd yourself once with\r\n    sudo usermod -aG dialout $USER\r\n"
         "then log out and log in again.",
         "sudo usermod -aG dialout $USER\r\na potem wyloguj się i zaloguj ponownie."},
        {0660, true,
         "you are in group dialout, but this session started before you joined it.\r\n"
         "Logging out and in again is enough.",
         "Wystarczy wylogować się i zalogować ponownie."},
        {0600, false, "(owner root, group dialout, mode 0600): the device does not let a group of users read",
         "trzeba zmienić jego regułę udev"},
    };
    for (const Case& c : cases) {
        // From the errno of the core's failed open, and where none is known, by access().
        for (bool fromOpen : {true, false}) {
            SCOPED_TRACE(std::string(c.english) + (fromOpen ? " (open's errno)" : " (no errno)"));
            ASSERT_EQ(::chmod(QFile::encodeName(node).constData(), c.mode), 0);
            // An ordinary user who is (not yet, in this session) in the device's group.
            Child user([&] {
                if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                    return std::string("cannot drop privileges");
                PortIdentity who = PortIdentity::Current();
                if (c.accountInGroup) who.accountGroups.push_back(dialout);
                const int openError = CoreOpenError(3);
                if (openError != EACCES) return "open gave " + std::to_string(openError);
                const PortOpenDiagnosis d = DiagnosePortOpen(3, fromOpen ? openError : 0, env, who);
                return std::string(d.cause == PortOpenCause::PermissionDenied ? "denied|" : "other|") +
                       d.english.toStdString() + "|" + d.polish.toStdString();
            });
            const QString out = QString::fromStdString(user.output());
            EXPECT_TRUE(out.startsWith("denied|")) << user.output();
            EXPECT_TRUE(out.contains(QString::fromUtf8(c.english))) << user.output();
            EXPECT_TRUE(out.contains(QString::fromUtf8(c.polish))) << user.output();
            EXPECT_TRUE(out.contains("Permission denied for " + node)) << user.output();
        }
    }
}

// A prepared /sys: an FTDI adapter, a CDC-ACM board and an on-board UART.
class SysfsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sys.isValid());
        const QString usb = "devices/pci0000:00/0000:00:14.0/usb1/1-2";
        write(usb + "/idVendor", "0403\n");
        write(usb + "/idProduct", "6001\n");
        write(usb + "/manufacturer", "FTDI\n");
        write(usb + "/product", "FT232R USB UART\n");
        write(usb + "/serial", "A50285BI\n");
        write(usb + "/1-2:1.0/ttyUSB0/latency_timer", "1\n");
        write("bus/usb-serial/drivers/ftdi_sio/uevent", "");
        symlink("../../../../../../../bus/usb-serial/drivers/ftdi_sio", usb + "/1-2:1.0/ttyUSB0/driver");
        tty("ttyUSB0", "../../../" + usb + "/1-2:1.0/ttyUSB0");

        const QString acm = "devices/pci0000:00/0000:00:14.0/usb1/1-3";
        write(acm + "/idVendor", "2341\n");
        write(acm + "/idProduct", "0043\n");
        write(acm + "/product", "Uno\n");
        write(acm + "/1-3:1.0/uevent", "");
        tty("ttyACM0", "../../../" + acm + "/1-3:1.0");

        // Newer kernels put the serial core's "ctrl" and "port" devices below the UART's.
        write("devices/pnp0/00:04/00:04:0/00:04:0.0/uevent", "");
        write("bus/pnp/drivers/serial/uevent", "");
        write("bus/serial-base/drivers/port/uevent", "");
        write("bus/serial-base/drivers/ctrl/uevent", "");
        symlink("../../../bus/pnp/drivers/serial", "devices/pnp0/00:04/driver");
        symlink("../../../../bus/serial-base/drivers/ctrl", "devices/pnp0/00:04/00:04:0/driver");
        symlink("../../../../../bus/serial-base/drivers/port", "devices/pnp0/00:04/00:04:0/00:04:0.0/driver");
        tty("ttyS0", "../../../devices/pnp0/00:04/00:04:0/00:04:0.0");
        env.sysRoot = sys.path();
    }
    void write(const QString& relative, const QByteArray& text) {
        const QString path = sys.filePath(relative);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    void symlink(const QString& target, const QString& relative) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(sys.filePath(relative)).path()));
        ASSERT_EQ(
            ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(sys.filePath(relative)).constData()), 0);
    }
    void tty(const QString& name, const QString& deviceTarget) {
        ASSERT_TRUE(QDir().mkpath(sys.filePath("class/tty/" + name)));
        symlink(deviceTarget, "class/tty/" + name + "/device");
    }

    QTemporaryDir sys;
    PortEnvironment env;
};

TEST_F(SysfsTest, AdapterLineNamesMakerProductSerialAndLatency) {
    struct Case {
        const char* device;
        bool polish;
        const char* line;
    };
    const Case cases[] = {
        {"/dev/ttyUSB0", false, "/dev/ttyUSB0: FTDI FT232R USB UART (0403:6001), serial A50285BI, latency 1 ms"},
        {"/dev/ttyUSB0", true, "/dev/ttyUSB0: FTDI FT232R USB UART (0403:6001), nr seryjny A50285BI, opóźnienie 1 ms"},
        {"/dev/ttyACM0", false, "/dev/ttyACM0: Uno (2341:0043)"},
        {"/dev/ttyS0", false, "/dev/ttyS0: serial"},
        {"/dev/ttyS9", false, "/dev/ttyS9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ResolvedPort port;
        port.devicePath = c.device;
        const PortDetails d = ReadPortDetails(c.device, env);
        EXPECT_EQ(DescribePort(port, d, c.polish), QString::fromUtf8(c.line));
    }
    const PortDetails ftdi = ReadPortDetails("/dev/ttyUSB0", env);
    EXPECT_EQ(ftdi.driver, "ftdi_sio");
    EXPECT_TRUE(ftdi.usb);
    EXPECT_EQ(ftdi.latencyMs, 1);
}

TEST_F(SysfsTest, LinkedPseudoTerminalIsDescribedAsSuch) {
    QTemporaryDir ports;
    Pty pty;
    ASSERT_FALSE(pty.slave.isEmpty());
    ASSERT_TRUE(QFile::link(pty.slave, ports.filePath("COM99")));
    env.portDirectory = ports.path();
    const QString line = DescribeComPort(99, false, env);
    EXPECT_EQ(line, pty.slave + ": pseudo-terminal (virtual display or another program)");
    EXPECT_TRUE(DescribeComPort(98, false, env).isEmpty());
}

}  // namespace
