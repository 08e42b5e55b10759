// A pulled cable: the window waits for the same adapter, opens it again when it is back
// and lets the status poll find the display; the edits stay, nothing is resent, and a
// port the user closed stays closed.

#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "device_fixture.h"
#include "port_details.h"
#include "port_list.h"

namespace vorkal::testing {
namespace {

using sim::SimVariant;

class Reconnect : public WindowFixture {
protected:
    // Pulls the cable: the display's line and its port-directory link go.
    void pull() {
        display->hangUp();
        ASSERT_TRUE(waitFor([this] { return !form->AfComPort1->IsOpen(); }));
        ASSERT_TRUE(form->waitingForLostPort());
    }
    void plug() {
        std::string error;
        ASSERT_TRUE(display->replug(&error)) << error;
    }
    // The window's own poll timer finds the display; returns the time from the plug to
    // "Connected", and in `answeredMs` when the display first answered.
    qint64 timePlugToConnected(qint64* answeredMs) {
        const uint64_t queries = display->counters().versionQueries;
        QElapsedTimer clock;
        clock.start();
        plug();
        *answeredMs = -1;
        waitFor(
            [&] {
                if (*answeredMs < 0 && display->counters().versionQueries > queries) *answeredMs = clock.elapsed();
                return form->StaticText5->text() == "Connected";
            },
            10000);
        return form->StaticText5->text() == "Connected" ? clock.elapsed() : -1;
    }
    bool undoable() const { return form->undoAction->isEnabled(); }
};

TEST_F(Reconnect, APulledCableComesBackByItselfWithTheEditsKept) {
    ASSERT_NO_FATAL_FAILURE(connectAndReceive());
    form->ComboBox1->setCurrentIndex(1);
    form->ComboBox1Change();
    form->UpDown2->click(TUpDown::Direction::Up);
    const auto edited = form->config.image;
    ASSERT_TRUE(undoable());
    ASSERT_TRUE(form->edits.hasUnsavedChanges());

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_NO_FATAL_FAILURE(pull());
        EXPECT_TRUE(waitFor([this] { return form->StaticText5->text() == "Disconnected"; }));
        EXPECT_EQ(form->Button5->text(), "Close");
        EXPECT_FALSE(form->ComboBox4->isEnabled());
        EXPECT_FALSE(form->Button3->isEnabled());

        qint64 answeredMs = -1;
        const qint64 connectedMs = timePlugToConnected(&answeredMs);
        ASSERT_GE(connectedMs, 0) << form->StaticText5->text().toStdString();
        std::printf("plug to \"Connected\": %lld ms (the display answered %lld ms after the plug)\n",
                    (long long)connectedMs, (long long)answeredMs);
        EXPECT_LT(connectedMs - answeredMs, 1000);
        EXPECT_TRUE(form->AfComPort1->IsOpen());
        EXPECT_FALSE(form->waitingForLostPort());
        EXPECT_EQ(form->Button5->text(), "Close");
        EXPECT_EQ(form->ComboBox4->currentText(), QString("COM%1").arg(kCom));
        EXPECT_TRUE(form->Button4->isEnabled());
        EXPECT_EQ(form->config.image, edited);
        EXPECT_TRUE(undoable());
        EXPECT_TRUE(form->edits.hasUnsavedChanges());
    }
    EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
}

// Close while the adapter is away, and Close of an open port: neither is opened again
// when the port is (back) there.
TEST_F(Reconnect, NothingReopensAPortTheUserClosed) {
    startDisplay(SimVariant::D84x48Log);
    ASSERT_NO_FATAL_FAILURE(connect());
    ASSERT_NO_FATAL_FAILURE(pull());
    form->Button5->click();
    EXPECT_FALSE(form->waitingForLostPort());
    EXPECT_EQ(form->Button5->text(), "Open");
    EXPECT_TRUE(form->ComboBox4->isEnabled());
    ASSERT_NO_FATAL_FAILURE(plug());
    // The list shows the port again once the window has looked at it: it stays closed.
    const QString name = QString("COM%1").arg(kCom);
    ASSERT_TRUE(waitFor([&] { return form->ComboBox4->findText(name) >= 0; }));
    EXPECT_FALSE(form->AfComPort1->IsOpen());

    // Opened, closed by the user, pulled and plugged in while closed.
    form->Button5->click();
    ASSERT_TRUE(form->AfComPort1->IsOpen());
    form->Button5->click();
    ASSERT_FALSE(form->AfComPort1->IsOpen());
    display->hangUp();
    ASSERT_TRUE(waitFor([&] { return form->ComboBox4->findText(name) < 0; }));
    const uint64_t opens = display->counters().portOpens;
    ASSERT_NO_FATAL_FAILURE(plug());
    ASSERT_TRUE(waitFor([&] { return form->ComboBox4->findText(name) >= 0; }));
    EXPECT_FALSE(form->AfComPort1->IsOpen());
    EXPECT_FALSE(form->waitingForLostPort());
    EXPECT_EQ(display->counters().portOpens, opens);
    EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
}

// A Send cut by the pull stays failed with its message; once the display is back, the
// poll runs on and nothing of the Send goes to it again.
TEST_F(Reconnect, ASendCutByThePullIsNotResent) {
    ASSERT_NO_FATAL_FAILURE(connectAndReceive());
    for (int i = 0; i < 135; ++i) form->config.image[size_t(i)] ^= 0x01;
    display->setHangUpAfterCommands(4);
    form->Button4Click();
    ASSERT_TRUE(waitFor([this] { return !form->AfComPort1->IsOpen(); }));
    ASSERT_EQ(messages().size(), 1) << messages().join(" | ").toStdString();
    EXPECT_TRUE(messages()[0].startsWith("Sending record")) << messages()[0].toStdString();
    EXPECT_TRUE(form->waitingForLostPort());
    const auto displayAfterCut = display->configMemory();
    display->setHangUpAfterCommands(0);

    ASSERT_NO_FATAL_FAILURE(plug());
    ASSERT_TRUE(waitUntilShownConnected());
    // A whole pass of the poll's script, from one version query to the one after next.
    const uint64_t queries = display->counters().versionQueries;
    ASSERT_TRUE(waitFor([&] { return display->counters().versionQueries >= queries + 2; }, 10000));
    EXPECT_EQ(display->configMemory(), displayAfterCut);
    EXPECT_EQ(messages().size(), 1) << messages().join(" | ").toStdString();
}

// A port that is back but does not open yet (here another program holds its lock, as
// ModemManager does while it probes a new adapter) is tried again quietly until it opens.
TEST_F(Reconnect, APortThatIsBackButBusyIsOpenedOnceItIsFree) {
    startDisplay(SimVariant::D84x48Log);
    ASSERT_NO_FATAL_FAILURE(connect());
    ASSERT_NO_FATAL_FAILURE(pull());
    display->stop();
    sim::VirtualDisplayOptions o = displayOptions();
    o.registerPort = false;  // linked below, once the prober holds it
    startDisplay(o);
    const QString slave = QString::fromStdString(display->slavePath());
    QProcess prober;
    // The lock is flock's own (-o): it goes when cat ends at the end of its input.
    prober.start("flock", {"-o", slave, "cat"});
    ASSERT_TRUE(prober.waitForStarted());
    ASSERT_TRUE(waitFor([&] { return !FindLockHolders(slave).empty(); }));
    ASSERT_TRUE(QFile::link(slave, portDir.filePath(QString("COM%1").arg(kCom))));
    ASSERT_TRUE(waitFor([&] { return form->ComboBox4->findText(QString("COM%1").arg(kCom)) >= 0; }));
    EXPECT_FALSE(form->AfComPort1->IsOpen());
    EXPECT_TRUE(form->waitingForLostPort());

    prober.closeWriteChannel();
    ASSERT_TRUE(prober.waitForFinished());
    EXPECT_TRUE(waitUntilShownConnected());
    EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
}

// A prepared sysfs that gives pseudo-terminals the identity of a USB adapter, as the
// kernel's tree does for /dev/ttyUSB<k>: /sys/dev/char/<major>:<minor> leads to the
// tty below the adapter's interface and device.
class AdapterIdentity : public Reconnect {
protected:
    void SetUp() override {
        Reconnect::SetUp();
        ASSERT_TRUE(sysRoot.isValid());
        qputenv("VORKAL_SYS_ROOT", sysRoot.path().toUtf8());
    }
    void TearDown() override {
        Reconnect::TearDown();
        if (other) other->stop();
        qunsetenv("VORKAL_SYS_ROOT");
    }
    // The pseudo-terminal at `slave` is the adapter with `serial` from now on.
    void giveIdentity(const std::string& slave, const QString& serial) {
        struct stat st {};
        ASSERT_EQ(::stat(slave.c_str(), &st), 0);
        const QString usb = sysRoot.filePath("devices/usb1/1-" + serial);
        const QString tty = usb + "/1-1:1.0/ttyUSB0/tty/ttyUSB0";
        ASSERT_TRUE(QDir().mkpath(tty));
        const auto write = [](const QString& path, const QByteArray& text) {
            QFile f(path);
            return f.open(QIODevice::WriteOnly) && f.write(text + "\n") > 0;
        };
        ASSERT_TRUE(write(usb + "/idVendor", "0403") && write(usb + "/idProduct", "6001") &&
                    write(usb + "/serial", serial.toUtf8()) && write(usb + "/1-1:1.0/bInterfaceNumber", "00"));
        QDir().mkpath(sysRoot.filePath("dev/char"));
        const QString node = sysRoot.filePath(QString("dev/char/%1:%2").arg(major(st.st_rdev)).arg(minor(st.st_rdev)));
        QFile::remove(node);
        ASSERT_TRUE(QFile::link(tty, node));
    }
    // A display on a new pseudo-terminal that is the adapter `serial`, registered as
    // COM`com` only once its identity is there, as udev does with its links.
    std::unique_ptr<sim::VirtualDisplay> plugAdapter(const QString& serial, int com) {
        sim::VirtualDisplayOptions o = displayOptions();
        o.comNumber = com;
        o.registerPort = false;
        auto d = std::make_unique<sim::VirtualDisplay>(o);
        std::string error;
        EXPECT_TRUE(d->start(&error)) << error;
        giveIdentity(d->slavePath(), serial);
        EXPECT_TRUE(QFile::link(QString::fromStdString(d->slavePath()), portDir.filePath(QString("COM%1").arg(com))));
        return d;
    }
    void unplugAdapter(std::unique_ptr<sim::VirtualDisplay>& d) {
        QFile::remove(portDir.filePath(QString("COM%1").arg(d->comNumber())));
        d->stop();
    }

    QTemporaryDir sysRoot;
    std::unique_ptr<sim::VirtualDisplay> other;
};

// The adapter comes back under another number: that one is opened, and another adapter
// under the old number is left alone. Remembered with the port, it is also offered at
// the next start.
TEST_F(AdapterIdentity, TheSameAdapterIsFoundUnderAnotherNumber) {
    display = plugAdapter("A50285BI", kCom);
    ASSERT_NO_FATAL_FAILURE(connect());
    EXPECT_EQ(QSettings("Brask", "Vorkal").value("PortAdapter").toString(), "0403:6001:A50285BI:00");
    unplugAdapter(display);
    ASSERT_TRUE(waitFor([this] { return !form->AfComPort1->IsOpen(); }));
    ASSERT_TRUE(form->waitingForLostPort());

    // Another adapter takes the old number: listed, not opened.
    other = plugAdapter("FT0THER1", kCom);
    const QString oldName = QString("COM%1").arg(kCom), newName = QString("COM%1").arg(kCom + 3);
    ASSERT_TRUE(waitFor([&] { return form->ComboBox4->findText(oldName) >= 0; }));
    EXPECT_FALSE(form->AfComPort1->IsOpen());
    EXPECT_EQ(other->counters().portOpens, 0u);

    QElapsedTimer clock;
    clock.start();
    display = plugAdapter("A50285BI", kCom + 3);
    ASSERT_TRUE(waitFor([this] { return form->StaticText5->text() == "Connected"; }, 10000));
    std::printf("the adapter under another number: plug to \"Connected\" %lld ms\n", (long long)clock.elapsed());
    EXPECT_EQ(form->AfComPort1->ComNumber(), kCom + 3);
    EXPECT_EQ(form->ComboBox4->currentText(), newName);
    EXPECT_EQ(form->selectedPort, kCom + 3);
    EXPECT_EQ(QSettings("Brask", "Vorkal").value("Port").toInt(), kCom + 3);
    EXPECT_EQ(other->counters().portOpens, 0u);

    // The next start, the adapter under yet another number: offered as the port Open uses.
    form.reset();
    unplugAdapter(display);
    display = plugAdapter("A50285BI", kCom + 5);
    form = std::make_unique<TForm1>();
    form->show();
    EXPECT_EQ(form->selectedPort, kCom + 5);
    EXPECT_EQ(form->ComboBox4->currentText(), QString("COM%1").arg(kCom + 5));
    EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
}

}  // namespace
}  // namespace vorkal::testing
