// Serial ports on termios. The descriptor is non-blocking and every wait
// is a poll() with a bound, so a read never hangs the main thread on a
// silent line; only a write without time-out waits for the device.
#include "platform/os_serial.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/os_socket.h"

namespace {

const speed_t kBauds[] = {B300, B2400, B4800, B9600, B19200, B38400, B57600, B115200, B460800};
const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
const int kCodeCounts[CX_SERIAL_SETTING_COUNT] = {9, 4, 3, 2, 3, 2, 2};

// Puts one setting's code into a termios record (the modem lines are not
// termios settings and leave it alone).
void PutSetting(termios *t, int setting, int code) {
    switch (setting) {
    case CX_SERIAL_BAUD:
        cfsetispeed(t, kBauds[code]);
        cfsetospeed(t, kBauds[code]);
        break;
    case CX_SERIAL_DATABITS:
        t->c_cflag = (t->c_cflag & ~CSIZE) | kSizes[code];
        break;
    case CX_SERIAL_PARITY:
        t->c_cflag &= ~(PARENB | PARODD);
        if (code == 1) t->c_cflag |= PARENB | PARODD;
        if (code == 2) t->c_cflag |= PARENB;
        break;
    case CX_SERIAL_STOPBITS:
        if (code) t->c_cflag |= CSTOPB;
        else t->c_cflag &= ~CSTOPB;
        break;
    case CX_SERIAL_FLOW:
        t->c_cflag &= ~CRTSCTS;
        t->c_iflag &= ~(IXON | IXOFF | IXANY);
        if (code == 1) t->c_cflag |= CRTSCTS;
        if (code == 2) t->c_iflag |= IXON | IXOFF;
        break;
    default:
        break;
    }
}

// 0 when the device holds what was asked: tcsetattr succeeds when any part
// of a change took, so the record is read back.
int ApplyTermios(int fd, const termios *wanted) {
    if (tcsetattr(fd, TCSANOW, wanted) != 0) return CX_SERIAL_SETFAIL;
    termios now;
    if (tcgetattr(fd, &now) != 0) return CX_SERIAL_SETFAIL;
    const tcflag_t mask = CSIZE | PARENB | PARODD | CSTOPB;
    if ((now.c_cflag & mask) != (wanted->c_cflag & mask)) return CX_SERIAL_SETFAIL;
    if (cfgetospeed(&now) != cfgetospeed(wanted)) return CX_SERIAL_SETFAIL;
    return CX_SERIAL_OK;
}

// Raises or drops DTR or RTS. errno is kept for the caller.
int SetModemLine(int fd, int setting, int on) {
    int bits = setting == CX_SERIAL_DTR ? TIOCM_DTR : TIOCM_RTS;
    return ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0 ? 0 : -1;
}

// Waits until the descriptor is ready for events or the monotonic deadline
// passes (0 waits without limit; once polls a single time). 1 ready, 0 ran
// out, -1 failed or hung up.
int WaitReady(int fd, short events, uint64_t deadline, bool once = false) {
    for (;;) {
        int wait = -1;
        if (once) {
            wait = 0;
        } else if (deadline) {
            uint64_t now = OsMonotonicMs();
            if (now >= deadline) return 0;
            uint64_t left = deadline - now;
            wait = left > 1000000 ? 1000000 : static_cast<int>(left);
        }
        pollfd p{fd, events, 0};
        int n = poll(&p, 1, wait);
        if (n > 0) {
            // only called after the device gave nothing: a hang-up now means
            // nothing more will come
            if (p.revents & (POLLERR | POLLNVAL | POLLHUP)) return -1;
            return 1;
        }
        if (n == 0) {
            if (!deadline && !once) continue;
            return 0;
        }
        if (errno != EINTR) return -1;
    }
}

} // namespace

extern "C" cxOsSerialPort *OsAllocSerialPort(void) {
    auto *p = static_cast<cxOsSerialPort *>(calloc(1, sizeof(cxOsSerialPort)));
    if (!p) return nullptr;
    p->fd = -1;
    p->settings[CX_SERIAL_BAUD] = 3;
    p->settings[CX_SERIAL_DATABITS] = 3;
    OsSetSerialDevice(p, CX_SERIAL_DEFAULT_DEVICE);
    return p;
}

extern "C" int OsSetSerialDevice(cxOsSerialPort *port, const char *device) {
    if (!device) device = "";
    if (strlen(device) > CX_SERIAL_DEVICE_MAX) return -1;
    snprintf(port->device, sizeof port->device, "%s", device);
    return 0;
}

extern "C" int OsIsSerialCodeValid(int setting, int code) {
    return setting >= 0 && setting < CX_SERIAL_SETTING_COUNT && code >= 0 && code < kCodeCounts[setting];
}

extern "C" int OsOpenSerialPort(cxOsSerialPort *port) {
    if (port->fd >= 0) return CX_SERIAL_OK;
    for (int s = 0; s < CX_SERIAL_SETTING_COUNT; s++)
        if (!OsIsSerialCodeValid(s, port->settings[s])) return CX_SERIAL_BADCODE;
    int fd = open(port->device, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return CX_SERIAL_OPENFAIL;
    termios t;
    if (!isatty(fd) || tcgetattr(fd, &t) != 0) {
        close(fd);
        return CX_SERIAL_OPENFAIL;
    }
    port->saved = t;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    // reads are bounded by poll(), never by the line discipline
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    for (int s = CX_SERIAL_BAUD; s <= CX_SERIAL_FLOW; s++) PutSetting(&t, s, port->settings[s]);
    if (ApplyTermios(fd, &t) != CX_SERIAL_OK) {
        tcsetattr(fd, TCSANOW, &port->saved);
        close(fd);
        return CX_SERIAL_SETFAIL;
    }
    for (int s : {CX_SERIAL_DTR, CX_SERIAL_RTS}) {
        // a pseudo-terminal has no modem lines: that is no reason to refuse it
        if (SetModemLine(fd, s, port->settings[s]) != 0 && errno != ENOTTY && errno != EINVAL) {
            tcsetattr(fd, TCSANOW, &port->saved);
            close(fd);
            return CX_SERIAL_SETFAIL;
        }
    }
    port->fd = fd;
    port->savedValid = 1;
    return CX_SERIAL_OK;
}

extern "C" void OsCloseSerialPort(cxOsSerialPort *port) {
    if (!port || port->fd < 0) return;
    if (port->savedValid) tcsetattr(port->fd, TCSANOW, &port->saved);
    close(port->fd);
    port->fd = -1;
    port->savedValid = 0;
}

extern "C" void OsFreeSerialPort(cxOsSerialPort *port) {
    if (!port) return;
    OsCloseSerialPort(port);
    free(port);
}

extern "C" int OsSetSerialSetting(cxOsSerialPort *port, int setting, int code) {
    if (!OsIsSerialCodeValid(setting, code)) return CX_SERIAL_BADCODE;
    if (port->fd < 0) return CX_SERIAL_NOTOPEN;
    if (setting == CX_SERIAL_DTR || setting == CX_SERIAL_RTS) {
        if (SetModemLine(port->fd, setting, code) != 0) return CX_SERIAL_SETFAIL;
    } else {
        termios t;
        if (tcgetattr(port->fd, &t) != 0) return CX_SERIAL_SETFAIL;
        PutSetting(&t, setting, code);
        if (ApplyTermios(port->fd, &t) != CX_SERIAL_OK) return CX_SERIAL_SETFAIL;
    }
    port->settings[setting] = code;
    return CX_SERIAL_OK;
}

extern "C" int OsWriteSerial(cxOsSerialPort *port, const void *data, size_t length, int timeoutMs,
                             size_t *written) {
    *written = 0;
    if (port->fd < 0) return CX_SERIAL_NOTOPEN;
    const uint64_t deadline = timeoutMs > 0 ? OsMonotonicMs() + static_cast<uint64_t>(timeoutMs) : 0;
    const auto *bytes = static_cast<const unsigned char *>(data);
    while (*written < length) {
        ssize_t n = write(port->fd, bytes + *written, length - *written);
        if (n > 0) {
            *written += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return CX_SERIAL_IOFAIL;
        int r = WaitReady(port->fd, POLLOUT, deadline);
        if (r == 0) return CX_SERIAL_TIMEOUT;
        if (r < 0) return CX_SERIAL_IOFAIL;
    }
    return CX_SERIAL_OK;
}

extern "C" int OsReadSerial(cxOsSerialPort *port, void *buffer, size_t length, int timeoutMs, size_t *got) {
    *got = 0;
    if (port->fd < 0) return CX_SERIAL_NOTOPEN;
    const uint64_t deadline = timeoutMs > 0 ? OsMonotonicMs() + static_cast<uint64_t>(timeoutMs) : 0;
    auto *bytes = static_cast<unsigned char *>(buffer);
    while (*got < length) {
        ssize_t n = read(port->fd, bytes + *got, length - *got);
        if (n > 0) {
            *got += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // 0 bytes is "nothing waiting" with VMIN 0, as EAGAIN is
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return CX_SERIAL_IOFAIL;
        // a line that hung up reads as empty: tell it from a quiet one
        int r = WaitReady(port->fd, POLLIN, deadline, timeoutMs <= 0);
        if (r < 0) return CX_SERIAL_IOFAIL;
        if (r == 0) return timeoutMs <= 0 ? CX_SERIAL_OK : CX_SERIAL_TIMEOUT;
    }
    return CX_SERIAL_OK;
}

extern "C" int OsSerialBytesWaiting(cxOsSerialPort *port, size_t *count) {
    *count = 0;
    if (port->fd < 0) return CX_SERIAL_NOTOPEN;
    int n = 0;
    if (ioctl(port->fd, FIONREAD, &n) != 0 || n < 0) return CX_SERIAL_IOFAIL;
    *count = static_cast<size_t>(n);
    return CX_SERIAL_OK;
}

extern "C" int OsFlushSerial(cxOsSerialPort *port) {
    if (port->fd < 0) return CX_SERIAL_NOTOPEN;
    return tcflush(port->fd, TCIOFLUSH) == 0 ? CX_SERIAL_OK : CX_SERIAL_IOFAIL;
}

extern "C" int OsClearSerialInput(cxOsSerialPort *port) {
    size_t waiting = 0;
    if (int r = OsSerialBytesWaiting(port, &waiting)) return r;
    unsigned char scrap[512];
    while (waiting > 0) {
        size_t got = 0;
        int r = OsReadSerial(port, scrap, waiting < sizeof scrap ? waiting : sizeof scrap, 0, &got);
        if (r != CX_SERIAL_OK) return r;
        if (got == 0) break;
        waiting -= got;
    }
    return CX_SERIAL_OK;
}
