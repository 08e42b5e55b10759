// How closely the virtual display's paced line follows the wire-time formula:
// a command/reply exchange should take (command + reply bytes) x 10 bits / baud.
// Prints the median measured time per exchange beside that floor.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "pc_line.h"
#include "virtual_display.h"
#include "wire_pacer.h"

using namespace vorkal::sim;
using Clock = std::chrono::steady_clock;

namespace {

// Sends `command` + CR LF and waits for the reply line; returns seconds, or -1.
double Exchange(int fd, const std::string& command, size_t& replyBytes) {
    const std::string line = command + "\r\n";
    const auto start = Clock::now();
    if (write(fd, line.data(), line.size()) != ssize_t(line.size())) return -1;
    std::string reply;
    while (reply.empty() || reply.back() != '\n') {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 2000) <= 0) return -1;
        char buffer[512];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) return -1;
        reply.append(buffer, size_t(n));
    }
    replyBytes = reply.size();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main() {
    char dir[] = "/tmp/vorkal-sim-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    std::printf("%-8s %-22s %8s %10s %10s %7s\n", "baud", "exchange", "bytes", "floor ms", "median ms", "ratio");
    for (int index = 0; index < kSpeedCount; ++index) {
        const int baud = kSpeedRates[index];
        VirtualDisplayOptions options;
        options.portDir = dir;
        options.comNumber = 90;
        options.variant = SimVariant::D128x64;
        options.speedIndex = index;
        options.pace = true;
        VirtualDisplay display(options);
        std::string error;
        if (!display.start(&error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        const int fd = open(display.slavePath().c_str(), O_RDWR | O_NOCTTY);
        SetPcLine(fd, baud);

        const std::pair<const char*, std::string> exchanges[] = {{"config block read", "\xF1r0"},
                                                                 {"log block read (128 B)",
                                                                  "\xFA"
                                                                  "00"}};
        for (const auto& [name, command] : exchanges) {
            std::vector<double> times;
            size_t replyBytes = 0;
            const int rounds = baud >= 19200 ? 15 : 5;
            for (int i = 0; i < rounds; ++i) {
                const double s = Exchange(fd, command, replyBytes);
                if (s >= 0) times.push_back(s);
            }
            if (times.empty()) {
                std::printf("%-8d %-22s no reply\n", baud, name);
                continue;
            }
            std::sort(times.begin(), times.end());
            const size_t bytes = command.size() + 2 + replyBytes;
            const double floorMs = double(WireTimeNs(int64_t(bytes), baud)) / 1e6;
            const double medianMs = times[times.size() / 2] * 1e3;
            std::printf("%-8d %-22s %8zu %10.2f %10.2f %7.3f\n", baud, name, bytes, floorMs, medianMs,
                        medianMs / floorMs);
        }
        close(fd);
        display.stop();
    }
    rmdir(dir);
    return 0;
}
