/* Preloaded into Wine by the Windows tests. A pseudo-terminal has no modem lines, so
 * Wine's serial driver sees TIOCMGET and friends fail: its WaitCommEvent then wakes every
 * few milliseconds and EscapeCommFunction and GetCommModemStatus fail with error 50.
 * This library answers those requests on pseudo-terminals as a real port with a quiet
 * modem would, keeping the raised and dropped DTR and RTS per descriptor.
 *
 * Asked for (the file that $PTY_EXCLUSIVE_MARK names exists), it also refuses a second
 * open of a pseudo-terminal that the process holds open with EBUSY, as Linux refuses a
 * second open of a serial device its first opener made exclusive (TIOCEXCL). Wine's
 * server opens the devices of all the prefix's programs, so in it "the process" is every
 * Windows program. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#define TRACKED 4096
static int lines[TRACKED];     /* TIOCM_* bits set by the program */
static char known[TRACKED];

static dev_t held[TRACKED];     /* the pseudo-terminal open at a descriptor, 0 for none */

typedef int (*ioctl_fn)(int, unsigned long, ...);
typedef int (*open_fn)(const char *, int, ...);
typedef int (*close_fn)(int);

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

/* Unix 98 pseudo-terminal slaves: majors 136 to 143. */
static int pseudo_terminal(int fd, dev_t *device) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || major(st.st_rdev) < 136 || major(st.st_rdev) > 143) return 0;
    *device = st.st_rdev;
    return 1;
}

static int exclusive_asked(void) {
    const char *mark = getenv("PTY_EXCLUSIVE_MARK");
    return mark && access(mark, F_OK) == 0;
}

static int opened(int fd) {
    dev_t device;
    if (fd < 0 || fd >= TRACKED || !pseudo_terminal(fd, &device)) return fd;
    if (exclusive_asked())
        for (int other = 0; other < TRACKED; ++other)
            if (other != fd && held[other] == device) {
                static close_fn real_close;
                if (!real_close) real_close = (close_fn)dlsym(RTLD_NEXT, "close");
                real_close(fd);
                errno = EBUSY;
                return -1;
            }
    held[fd] = device;
    return fd;
}

int open(const char *path, int flags, ...) {
    static open_fn real;
    if (!real) real = (open_fn)dlsym(RTLD_NEXT, "open");
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    return opened(real(path, flags, mode));
}

/* The same function on 64-bit systems. */
int open64(const char *path, int flags, ...) __attribute__((alias("open")));

int close(int fd) {
    static close_fn real;
    if (!real) real = (close_fn)dlsym(RTLD_NEXT, "close");
    if (fd >= 0 && fd < TRACKED) held[fd] = 0;
    return real(fd);
}
