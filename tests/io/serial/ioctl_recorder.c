/* An ioctl recorder preloaded into the modem-line test: while it is on, the
   modem-line requests (which a pseudo-terminal refuses) succeed against a
   simulated line state and are logged; every other request goes to the C
   library. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <sys/ioctl.h>

enum { kLogSize = 64 };

static int g_on, g_fail, g_lines, g_count;
static unsigned long g_requests[kLogSize];
static int g_bits[kLogSize];

void CxIoctlRecorderSet(int on, int fail) {
    g_on = on;
    g_fail = fail;
    g_count = 0;
    g_lines = 0;
}
int CxIoctlRecorderLines(void) { return g_lines; }
int CxIoctlRecorderCount(void) { return g_count; }
unsigned long CxIoctlRecorderRequest(int i) { return i >= 0 && i < g_count ? g_requests[i] : 0; }
int CxIoctlRecorderBits(int i) { return i >= 0 && i < g_count ? g_bits[i] : 0; }

int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    if (g_on && (request == TIOCMBIS || request == TIOCMBIC || request == TIOCMSET || request == TIOCMGET)) {
        int *bits = (int *)arg;
        if (g_fail) {
            errno = EIO;
            return -1;
        }
        if (request == TIOCMGET) {
            *bits = g_lines;
            return 0;
        }
        if (g_count < kLogSize) {
            g_requests[g_count] = request;
            g_bits[g_count] = *bits;
            g_count++;
        }
        if (request == TIOCMBIS) g_lines |= *bits;
        else if (request == TIOCMBIC) g_lines &= ~*bits;
        else g_lines = *bits;
        return 0;
    }
    static int (*next)(int, unsigned long, ...);
    if (!next) next = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    return next(fd, request, arg);
}
