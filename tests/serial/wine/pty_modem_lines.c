/* Test-rig preload library for running the Windows build under Wine against ptys.
 *
 * A pty has no modem lines: TIOCMGET and friends fail with ENOTTY, and Wine's serial code
 * then fails WaitCommEvent at once. This library answers those four requests on ptys with
 * a fixed set of lines (DSR, CTS and carrier up; DTR and RTS as last set) and passes every
 * other request to the real ioctl. Loaded with LD_PRELOAD by the Wine test rig only. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <sys/ioctl.h>

typedef int (*ioctl_fn)(int, unsigned long, ...);

static int modem_lines = TIOCM_DTR | TIOCM_RTS | TIOCM_DSR | TIOCM_CTS | TIOCM_CAR;

int ioctl(int fd, unsigned long request, ...) {
    static ioctl_fn real_ioctl;
    va_list args;
    void* argument;
    int result;
    if (!real_ioctl) real_ioctl = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
    va_start(args, request);
    argument = va_arg(args, void*);
    va_end(args);
    result = real_ioctl(fd, request, argument);
    if (result == 0 || (errno != ENOTTY && errno != EINVAL)) return result;
    switch (request) {
        case TIOCMGET: *(int*)argument = modem_lines; return 0;
        case TIOCMSET: modem_lines = *(const int*)argument | TIOCM_DSR | TIOCM_CTS | TIOCM_CAR; return 0;
        case TIOCMBIS: modem_lines |= *(const int*)argument; return 0;
        case TIOCMBIC: modem_lines &= ~*(const int*)argument | TIOCM_DSR | TIOCM_CTS | TIOCM_CAR; return 0;
        default: return result;
    }
}
