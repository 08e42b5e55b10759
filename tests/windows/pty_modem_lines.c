/* Preloaded into Wine by the Windows tests. A pseudo-terminal has no modem lines, so
 * Wine's serial driver sees TIOCMGET and friends fail: its WaitCommEvent then wakes every
 * few milliseconds and EscapeCommFunction and GetCommModemStatus fail with error 50.
 * This library answers those requests on pseudo-terminals as a real port with a quiet
 * modem would, keeping the raised and dropped DTR and RTS per descriptor. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <termios.h>

#define TRACKED 4096
static int lines[TRACKED];     /* TIOCM_* bits set by the program */
static char known[TRACKED];

typedef int (*ioctl_fn)(int, unsigned long, ...);

static int quiet_modem(int fd) { return fd >= 0 && fd < TRACKED; }

int ioctl(int fd, unsigned long request, ...) {
    static ioctl_fn real;
    va_list args;
    va_start(args, request);
    void *arg = va_arg(args, void *);
    va_end(args);
    if (!real) real = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
    const int result = real(fd, request, arg);
    if (result == 0 || (errno != ENOTTY && errno != EINVAL) || !quiet_modem(fd)) return result;
    if (request != TIOCMGET && request != TIOCMSET && request != TIOCMBIS && request != TIOCMBIC) return result;
    if (!known[fd]) {
        known[fd] = 1;
        lines[fd] = TIOCM_DTR | TIOCM_RTS;
    }
    int *bits = (int *)arg;
    switch (request) {
    case TIOCMGET:
        /* The display side holds CTS and DSR up; no carrier, no ring. */
        *bits = lines[fd] | TIOCM_CTS | TIOCM_DSR;
        break;
    case TIOCMSET: lines[fd] = *bits & (TIOCM_DTR | TIOCM_RTS); break;
    case TIOCMBIS: lines[fd] |= *bits & (TIOCM_DTR | TIOCM_RTS); break;
    case TIOCMBIC: lines[fd] &= ~(*bits & (TIOCM_DTR | TIOCM_RTS)); break;
    }
    errno = 0;
    return 0;
}
