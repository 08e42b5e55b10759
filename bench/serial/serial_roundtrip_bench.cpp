// Command/reply round trips over a pseudo-terminal against an echo peer thread:
// a raw blocking write/read loop (the floor), our port with the user-interface
// thread waiting in a local event loop quit by the data-received event, the same
// with a 1 ms sleep-and-process-events wait, and Qt's serial module for comparison.
// Also the process's CPU use with a port open and idle.
#include "af_com_port.h"
#include "pty_peer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#ifdef VORKAL_BENCH_QT_SERIAL
#include <QSerialPort>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kCom = 77;
const QByteArray kCommand("\xF1r5\r\n");  // the size of a configuration-block request
const int kReplyLength = kCommand.size();

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Median microseconds of `rounds` exchanges, after a few warm-up rounds.
double Measure(int rounds, const std::function<bool()>& exchange) {
    std::vector<double> us;
    for (int i = 0; i < rounds + 10; ++i) {
        QElapsedTimer t;
        t.start();
        if (!exchange()) {
            std::fprintf(stderr, "exchange failed\n");
            return -1;
        }
        if (i >= 10)
            us.push_back(t.nsecsElapsed() / 1000.0);
    }
    return Median(us);
}

double RawFloor(const QByteArray& path, int rounds) {
    const int fd = open(path.constData(), O_RDWR | O_NOCTTY);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    const double us = Measure(rounds, [&] {
        if (write(fd, kCommand.constData(), kCommand.size()) != kCommand.size())
            return false;
        char buf[64];
        int got = 0;
        while (got < kReplyLength) {
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0)
                return false;
            got += static_cast<int>(n);
        }
        return true;
    });
    close(fd);
    return us;
}

// Reads the `count` bytes a data-received event announced; returns how many.
int ReadAll(TAfComPort& port, int count) {
    char buf[256];
    int total = 0;
    while (count > 0) {
        const int n = std::min<int>(count, sizeof buf);
        port.ReadBlock(buf, n);
        total += n;
        count -= n;
    }
    return total;
}

// The way the line protocol waits: a local event loop quit by the data-received handler.
double OurPortEventLoop(TAfComPort& port, int rounds) {
    int got = 0;
    QEventLoop* loop = nullptr;
    auto connection = QObject::connect(&port, &TAfComPort::OnDataRecived, [&](QObject*, int count) {
        got += ReadAll(port, count);
        if (loop && got >= kReplyLength)
            loop->quit();
    });
    const double us = Measure(rounds, [&] {
        got = 0;
        QEventLoop wait;
        loop = &wait;
        QTimer::singleShot(1000, &wait, &QEventLoop::quit);
        port.SendText(kCommand);
        if (got < kReplyLength)
            wait.exec();
        loop = nullptr;
        return got >= kReplyLength;
    });
    QObject::disconnect(connection);
    return us;
}

// The old way: sleep 1 ms, then process events, until the reply is complete.
double OurPortSleepPoll(TAfComPort& port, int rounds) {
    int got = 0;
    auto connection = QObject::connect(&port, &TAfComPort::OnDataRecived,
                                       [&](QObject*, int count) { got += ReadAll(port, count); });
    const double us = Measure(rounds, [&] {
        got = 0;
        port.SendText(kCommand);
        for (int i = 0; i < 1000 && got < kReplyLength; ++i) {
            QThread::msleep(1);
            QCoreApplication::processEvents();
        }
        return got >= kReplyLength;
    });
    QObject::disconnect(connection);
    return us;
}

#ifdef VORKAL_BENCH_QT_SERIAL
double QtSerialEventLoop(const QByteArray& path, int rounds) {
    QSerialPort serial(QString::fromLocal8Bit(path));
    serial.setBaudRate(57600);
    if (!serial.open(QIODevice::ReadWrite)) {
        std::fprintf(stderr, "QSerialPort: %s\n", qPrintable(serial.errorString()));
        return -1;
    }
    QByteArray reply;
    QEventLoop* loop = nullptr;
    QObject::connect(&serial, &QSerialPort::readyRead, [&] {
        reply += serial.readAll();
        if (loop && reply.size() >= kReplyLength)
            loop->quit();
    });
    return Measure(rounds, [&] {
        reply.clear();
        QEventLoop wait;
        loop = &wait;
        QTimer::singleShot(1000, &wait, &QEventLoop::quit);
        serial.write(kCommand);
        wait.exec();
        loop = nullptr;
        return reply == kCommand;
    });
}
#endif

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(10, atoi(argv[1])) : 2000;
    const int idleSeconds = argc > 2 ? std::max(1, atoi(argv[2])) : 10;

    PtyPeer peer(kCom);
    if (!peer.ok()) {
        std::perror("pseudo-terminal");
        return 1;
    }
    peer.serve([&peer](const QByteArray& bytes) { peer.write(bytes); }, std::chrono::milliseconds(50));

    std::printf("round trips of %d bytes over a pseudo-terminal, echo peer thread, median of %d\n",
                int(kCommand.size()), rounds);
    const double raw = RawFloor(peer.slavePath(), rounds);
    std::printf("  %-44s %9.1f us  (floor)\n", "raw blocking write/read", raw);

    TAfComPort port;
    port.setObjectName("AfComPort1");
    port.SetComNumber(kCom);
    port.SetBaudRate(TAfBaudrate::br57600);
    port.OpenPort();
    const double ours = OurPortEventLoop(port, rounds);
    std::printf("  %-44s %9.1f us  x%.2f\n", "TAfComPort, local event loop", ours, ours / raw);
    const double poll = OurPortSleepPoll(port, std::max(10, rounds / 10));
    std::printf("  %-44s %9.1f us  x%.2f\n", "TAfComPort, 1 ms sleep + processEvents", poll, poll / raw);
    port.ClosePort();

#ifdef VORKAL_BENCH_QT_SERIAL
    const double qt = QtSerialEventLoop(peer.slavePath(), rounds);
    std::printf("  %-44s %9.1f us  x%.2f\n", "QSerialPort, local event loop", qt, qt / raw);
#else
    std::printf("  QSerialPort: not built (Qt6 SerialPort not found)\n");
#endif

    // The floor again: the first run may have met a cold CPU.
    const double rawAgain = RawFloor(peer.slavePath(), rounds);
    std::printf("  %-44s %9.1f us\n", "raw blocking write/read, again", rawAgain);

    port.OpenPort();
    const double before = ProcessCpuMs();
    QEventLoop idle;
    QTimer::singleShot(idleSeconds * 1000, &idle, &QEventLoop::quit);
    idle.exec();
    const double used = ProcessCpuMs() - before;
    std::printf("idle with the port open for %d s: %.1f ms CPU (%.3f%% of one core)\n", idleSeconds, used,
                used / (idleSeconds * 10.0));
    port.ClosePort();
    return 0;
}
