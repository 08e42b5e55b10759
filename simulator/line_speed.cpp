// Kept in its own file: termios2 from the kernel headers clashes with <termios.h>.
#include "line_speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace vorkal::sim {

int LineBaudRate(int fd) {
    struct termios2 t {};
    // The kernel fills c_ospeed for the old B-constants as well, so this covers every
    // way the configurator may have set its speed.
    if (ioctl(fd, TCGETS2, &t) != 0) return -1;
    return int(t.c_ospeed);
}

}  // namespace vorkal::sim
