#include "pc_line.h"

#include <termios.h>

namespace vorkal::sim {

namespace {
speed_t SpeedConstant(int baud) {
    switch (baud) {
    case 57600: return B57600;
    case 38400: return B38400;
    case 19200: return B19200;
    case 9600: return B9600;
    case 4800: return B4800;
    default: return B115200;
    }
}
}  // namespace

bool SetPcLine(int fd, int baud) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    cfsetispeed(&t, SpeedConstant(baud));
    cfsetospeed(&t, SpeedConstant(baud));
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace vorkal::sim
