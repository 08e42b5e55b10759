#include "af_com_port.h"
#include "af_line_posix.h"
#include "pty_peer.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <termios.h>

namespace {

TEST(LineRecord, LayoutIsTheSystemDeviceControlBlock) {
    EXPECT_EQ(sizeof(TAfDcb), 28u);
    EXPECT_EQ(offsetof(TAfDcb, BaudRate), 4u);
    EXPECT_EQ(offsetof(TAfDcb, Flags), 8u);
    EXPECT_EQ(offsetof(TAfDcb, XonLim), 14u);
    EXPECT_EQ(offsetof(TAfDcb, XoffLim), 16u);
    EXPECT_EQ(offsetof(TAfDcb, ByteSize), 18u);
    EXPECT_EQ(offsetof(TAfDcb, XonChar), 21u);
    EXPECT_EQ(offsetof(TAfDcb, XoffChar), 22u);
}

TEST(LineRecord, BuiltFromProperties) {
    struct Case {
        const char* name;
        std::function<void(TAfComPort&)> set;
        uint32_t rate;
        uint32_t flags;
        uint8_t byteSize, parity, stopBits;
        uint16_t xonLim, xoffLim;
    };
    const Case cases[] = {
        {"defaults", [](TAfComPort&) {}, 115200, 0x1011, 8, 0, 0, 0, 0},
        {"xon/xoff", [](TAfComPort& p) { p.SetFlowControl(TAfFlowControl::fwXOnXOff); }, 115200, 0x1311, 8, 0, 0, 1024,
         3072},
        {"rts/cts", [](TAfComPort& p) { p.SetFlowControl(TAfFlowControl::fwRtsCts); }, 115200, 0x2015, 8, 0, 0, 1024,
         3072},
        {"dtr/dsr", [](TAfComPort& p) { p.SetFlowControl(TAfFlowControl::fwDtrDsr); }, 115200, 0x1029, 8, 0, 0, 1024,
         3072},
        {"flow back to none",
         [](TAfComPort& p) {
             p.SetFlowControl(TAfFlowControl::fwRtsCts);
             p.SetFlowControl(TAfFlowControl::fwNone);
         },
         115200, 0x1011, 8, 0, 0, 0, 0},
        {"all options",
         [](TAfComPort& p) {
             p.SetOptions(coParityCheck | coDsrSensitivity | coIgnoreXOff | coErrorChar | coStripNull);
         },
         115200, 0x1CD3, 8, 0, 0, 0, 0},
        {"lines off",
         [](TAfComPort& p) {
             p.SetDTR(false);
             p.SetRTS(false);
             p.SetBaudRate(TAfBaudrate::br4800);
         },
         4800, 0x0001, 8, 0, 0, 0, 0},
        {"format",
         [](TAfComPort& p) {
             p.SetDatabits(TAfDatabits::db5);
             p.SetParity(TAfParity::paMark);
             p.SetStopbits(TAfStopbits::sbTwo);
         },
         115200, 0x1011, 5, 3, 2, 0, 0},
        {"user rate", [](TAfComPort& p) { p.SetUserBaudRate(250000); }, 250000, 0x1011, 8, 0, 0, 0, 0},
        {"main window rate",
         [](TAfComPort& p) {
             p.SetUserBaudRate(1);
             p.SetBaudRate(TAfBaudrate::br56000);
         },
         56000, 0x1011, 8, 0, 0, 0, 0},
        {"limits enter at next rebuild",
         [](TAfComPort& p) {
             p.SetXOnLim(100);
             p.SetParity(TAfParity::paEven);
         },
         115200, 0x1011, 8, 2, 0, 100, 3996},
        {"bigger input queue",
         [](TAfComPort& p) {
             p.SetInBufSize(8000);
             p.SetFlowControl(TAfFlowControl::fwXOnXOff);
         },
         115200, 0x1311, 8, 0, 0, 2000, 6000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TAfComPort port;
        c.set(port);
        const TAfDcb& d = port.Dcb();
        EXPECT_EQ(+d.DCBlength, 28u);
        EXPECT_EQ(+d.BaudRate, c.rate);
        EXPECT_EQ(+d.Flags, c.flags);
        EXPECT_EQ(+d.ByteSize, c.byteSize);
        EXPECT_EQ(+d.Parity, c.parity);
        EXPECT_EQ(+d.StopBits, c.stopBits);
        EXPECT_EQ(+d.XonLim, c.xonLim);
        EXPECT_EQ(+d.XoffLim, c.xoffLim);
        EXPECT_EQ(+d.XonChar, 17);
        EXPECT_EQ(+d.XoffChar, 19);
        EXPECT_EQ(d.wReserved + d.ErrorChar + d.EofChar + d.EvtChar + d.wReserved1, 0);
    }
}

TEST(LineRecord, PropertyRules) {
    TAfComPort port;
    EXPECT_EQ(port.BaudRate(), TAfBaudrate::br115200);
    port.SetUserBaudRate(31250);
    EXPECT_EQ(port.BaudRate(), TAfBaudrate::brUser);
    port.SetBaudRate(TAfBaudrate::br9600);
    EXPECT_EQ(port.UserBaudRate(), 0);
    port.SetXOffLim(1000);
    EXPECT_EQ(port.XOnLim(), 4096 - 1000);
    EXPECT_EQ(port.InBufSize(), 4096);
    EXPECT_EQ(port.OutBufSize(), 2048);
    EXPECT_EQ(port.WriteThreadPriority(), TAfThreadPriority::tpHighest);
    EXPECT_EQ(port.EventThreadPriority(), TAfThreadPriority::tpNormal);
    EXPECT_TRUE(port.DTR());
    EXPECT_TRUE(port.RTS());
    EXPECT_FALSE(port.AutoOpen());
    EXPECT_EQ(port.ComNumber(), 0);
}

// The record mapped to terminal flags (the kernel's values are those of <termios.h>).
TEST(LineRecord, MappedToTerminalFlags) {
    constexpr unsigned otherRate = 0x1000;  // BOTHER: the rate is given in bits per second
    struct Case {
        const char* name;
        std::function<void(TAfComPort&)> set;
        tcflag_t cflag;
        tcflag_t iflag;
        unsigned rateCode;
        uint32_t rate;
    };
    const tcflag_t base = CREAD | CLOCAL | HUPCL;
    const Case cases[] = {
        {"8N1 57600", [](TAfComPort& p) { p.SetBaudRate(TAfBaudrate::br57600); }, base | CS8, 0, B57600, 57600},
        {"7E2",
         [](TAfComPort& p) {
             p.SetDatabits(TAfDatabits::db7);
             p.SetParity(TAfParity::paEven);
             p.SetStopbits(TAfStopbits::sbTwo);
         },
         base | CS7 | PARENB | CSTOPB, 0, B115200, 115200},
        {"5 bits, 1.5 stop",
         [](TAfComPort& p) {
             p.SetDatabits(TAfDatabits::db5);
             p.SetStopbits(TAfStopbits::sbOneAndHalf);
         },
         base | CS5 | CSTOPB, 0, B115200, 115200},
        {"odd", [](TAfComPort& p) { p.SetParity(TAfParity::paOdd); }, base | CS8 | PARENB | PARODD, 0, B115200, 115200},
        {"mark", [](TAfComPort& p) { p.SetParity(TAfParity::paMark); }, base | CS8 | PARENB | PARODD | CMSPAR, 0,
         B115200, 115200},
        {"space 6 bits",
         [](TAfComPort& p) {
             p.SetParity(TAfParity::paSpace);
             p.SetDatabits(TAfDatabits::db6);
         },
         base | CS6 | PARENB | CMSPAR, 0, B115200, 115200},
        {"rts/cts", [](TAfComPort& p) { p.SetFlowControl(TAfFlowControl::fwRtsCts); }, base | CS8 | CRTSCTS, 0, B115200,
         115200},
        {"xon/xoff + parity check",
         [](TAfComPort& p) {
             p.SetFlowControl(TAfFlowControl::fwXOnXOff);
             p.SetOptions(coParityCheck);
         },
         base | CS8, IXON | IXOFF | INPCK, B115200, 115200},
        {"non-standard rate", [](TAfComPort& p) { p.SetBaudRate(TAfBaudrate::br56000); }, base | CS8, 0, otherRate,
         56000},
        {"user rate", [](TAfComPort& p) { p.SetUserBaudRate(250000); }, base | CS8, 0, otherRate, 250000},
        {"standard user rate", [](TAfComPort& p) { p.SetUserBaudRate(921600); }, base | CS8, 0, B921600, 921600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TAfComPort port;
        c.set(port);
        AfLinePosix::TermiosFlags m;
        ASSERT_TRUE(AfLinePosix::MapDcb(port.Dcb(), m));
        EXPECT_EQ(m.cflag, c.cflag);
        EXPECT_EQ(m.iflag, c.iflag);
        EXPECT_EQ(m.rateCode, c.rateCode);
        EXPECT_EQ(m.rate, c.rate);
        EXPECT_EQ(m.startChar, 17);
        EXPECT_EQ(m.stopChar, 19);
    }

    struct Bad {
        const char* name;
        std::function<void(TAfComPort&)> set;
    };
    const Bad refused[] = {
        {"4 data bits", [](TAfComPort& p) { p.SetDatabits(TAfDatabits::db4); }},
        {"rate 0", [](TAfComPort& p) { p.SetUserBaudRate(0); }},
        {"negative rate", [](TAfComPort& p) { p.SetUserBaudRate(-9600); }},
    };
    for (const Bad& b : refused) {
        SCOPED_TRACE(b.name);
        TAfComPort port;
        b.set(port);
        AfLinePosix::TermiosFlags m;
        EXPECT_FALSE(AfLinePosix::MapDcb(port.Dcb(), m));
    }
}

// What a pseudo-terminal keeps of the record (it forces 8 bits without parity).
TEST(LineRecord, AppliedToTheTerminal) {
    struct Case {
        const char* name;
        std::function<void(TAfComPort&)> set;
        tcflag_t cflag;
        tcflag_t iflag;
        uint32_t rate;
    };
    const Case cases[] = {
        {"8N1 57600", [](TAfComPort& p) { p.SetBaudRate(TAfBaudrate::br57600); }, 0, 0, 57600},
        {"mark, 2 stop, rts/cts",
         [](TAfComPort& p) {
             p.SetParity(TAfParity::paMark);
             p.SetStopbits(TAfStopbits::sbTwo);
             p.SetFlowControl(TAfFlowControl::fwRtsCts);
         },
         PARODD | CMSPAR | CSTOPB | CRTSCTS, 0, 115200},
        {"xon/xoff",
         [](TAfComPort& p) {
             p.SetFlowControl(TAfFlowControl::fwXOnXOff);
             p.SetOptions(coParityCheck);
         },
         0, IXON | IXOFF | INPCK, 115200},
        {"user rate", [](TAfComPort& p) { p.SetUserBaudRate(250000); }, 0, 0, 250000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PtyPeer peer(21);
        ASSERT_TRUE(peer.ok());
        TAfComPort port;
        port.SetComNumber(21);
        c.set(port);
        port.OpenPort();
        termios t{};
        ASSERT_EQ(tcgetattr(peer.slave(), &t), 0);
        EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR | CSTOPB | CRTSCTS), c.cflag);
        EXPECT_EQ(t.c_iflag, c.iflag);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);  // raw bytes
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        TAfDcb device;
        ASSERT_TRUE(AfLinePosix::ReadDcb(peer.slave(), device));
        EXPECT_EQ(device.BaudRate, c.rate);
        port.ClosePort();
    }
}

TEST(LineRecord, ChangesWhileOpenApplyAtOnceAndRefusalsReadBack) {
    PtyPeer peer(22);
    ASSERT_TRUE(peer.ok());
    TAfComPort port;
    port.setObjectName("AfComPort1");
    port.SetComNumber(22);
    port.SetBaudRate(TAfBaudrate::br9600);
    port.OpenPort();
    TAfDcb device;

    port.SetBaudRate(TAfBaudrate::br38400);
    ASSERT_TRUE(AfLinePosix::ReadDcb(peer.slave(), device));
    EXPECT_EQ(device.BaudRate, 38400u);

    // Four data bits: the driver cannot do it.
    try {
        port.SetDatabits(TAfDatabits::db4);
        FAIL() << "no error";
    } catch (const EAfComPortCoreError& e) {
        EXPECT_STREQ(e.what(), "Error setting parameters from DCB");
    }
    EXPECT_EQ(port.Databits(), TAfDatabits::db4);  // the property keeps the value
    EXPECT_EQ(+port.Dcb().ByteSize, 8);            // the record is the device's again
    EXPECT_EQ(+port.Dcb().BaudRate, 38400u);
    EXPECT_EQ(+port.Core().Dcb().ByteSize, 8);
    EXPECT_TRUE(port.IsOpen());

    try {
        port.SetUserBaudRate(0);
        FAIL() << "no error";
    } catch (const EAfComPortCoreError& e) {
        EXPECT_STREQ(e.what(), "Error setting parameters from DCB");
    }
    ASSERT_TRUE(AfLinePosix::ReadDcb(peer.slave(), device));
    EXPECT_EQ(device.BaudRate, 38400u);
}

}  // namespace
