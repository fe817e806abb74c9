// Sockets on POSIX: every socket is non-blocking, and waits are poll()
// calls with a bound, so that the caller decides how long anything takes.
#include "platform/os_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

namespace {

bool g_initialised = false;

// Polls one descriptor for the events; 1 ready, 0 not before waitMs, or
// -errno. EINTR restarts with what is left of the wait.
int PollFor(int fd, short events, int waitMs) {
    uint64_t end = waitMs > 0 ? OsMonotonicMs() + static_cast<uint64_t>(waitMs) : 0;
    for (;;) {
        pollfd p{fd, events, 0};
        int n = poll(&p, 1, waitMs);
        if (n > 0) return 1;
        if (n == 0) return 0;
        if (errno != EINTR) return -errno;
        if (waitMs > 0) {
            uint64_t now = OsMonotonicMs();
            if (now >= end) return 0;
            waitMs = static_cast<int>(end - now);
        }
    }
}

bool IsClosedError(int e) { return e == ECONNRESET || e == EPIPE || e == ECONNREFUSED || e == ENOTCONN; }

void CopyText(char *out, size_t size, const char *text) {
    if (!out || size == 0) return;
    snprintf(out, size, "%s", text ? text : "");
}

// The official name and first IPv4 address of a name query.
int LookupIPv4(const char *name, int flags, char *official, size_t officialSize, char *address, size_t addressSize) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME | flags;
    addrinfo *res = nullptr;
    int rc = getaddrinfo(name, nullptr, &hints, &res);
    if (rc != 0) return rc;
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in *>(res->ai_addr)->sin_addr, text, sizeof text);
    CopyText(address, addressSize, text);
    CopyText(official, officialSize, res->ai_canonname ? res->ai_canonname : name);
    freeaddrinfo(res);
    return 0;
}

} // namespace

extern "C" uint64_t OsMonotonicMs(void) {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec / 1000000);
}

extern "C" int OsInitSockets(void) {
    if (!g_initialised) {
        signal(SIGPIPE, SIG_IGN);
        g_initialised = true;
    }
    return 0;
}

extern "C" void OsShutdownSockets(void) { g_initialised = false; }
extern "C" int OsSocketsInitialised(void) { return g_initialised ? 1 : 0; }

extern "C" int OsCreateSocket(int family, int type) {
    int fd = socket(family, type | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (family == AF_INET6) {
        int on = 1;
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    }
    return fd;
}

extern "C" void OsCloseSocket(int fd) {
    if (fd >= 0) close(fd);
}

extern "C" int OsSetSocketNonBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return errno;
    return 0;
}

extern "C" int OsSetSocketReuseAddress(int fd) {
    int on = 1;
    return setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) < 0 ? errno : 0;
}

extern "C" int OsConnectSocketUntil(int fd, const sockaddr *address, socklen_t length, uint64_t deadlineMs,
                                    cxOsWaitTurn turn, void *user) {
    if (connect(fd, address, length) == 0) return 0;
    if (errno != EINPROGRESS && errno != EINTR) return errno;
    for (;;) {
        int waitMs = 10;
        if (deadlineMs) {
            uint64_t now = OsMonotonicMs();
            if (now >= deadlineMs) return -1;
            if (deadlineMs - now < 10) waitMs = static_cast<int>(deadlineMs - now);
        }
        int r = PollFor(fd, POLLOUT, waitMs);
        if (r < 0) return -r;
        if (r > 0) {
            int err = 0;
            socklen_t len = sizeof err;
            if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0) return errno;
            return err;
        }
        if (turn) {
            if (int code = turn(user)) return code;
        }
    }
}

extern "C" int OsBindSocket(int fd, const sockaddr *address, socklen_t length) {
    return bind(fd, address, length) < 0 ? errno : 0;
}

extern "C" int OsListenSocket(int fd, int backlog) { return listen(fd, backlog) < 0 ? errno : 0; }

extern "C" int OsAcceptSocket(int fd, sockaddr *address, socklen_t *length, int waitMs) {
    for (;;) {
        int c = accept4(fd, address, length, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (c >= 0) return c;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -errno;
        if (waitMs == 0) return -1;
        int r = PollFor(fd, POLLIN, waitMs);
        if (r <= 0) return r < 0 ? r : -1;
        waitMs = 0;
    }
}

extern "C" int OsSendSocket(int fd, const void *buffer, size_t length, size_t *done, int waitMs) {
    *done = 0;
    for (;;) {
        ssize_t n = send(fd, buffer, length, MSG_NOSIGNAL);
        if (n >= 0) {
            *done = static_cast<size_t>(n);
            return 0;
        }
        if (errno == EINTR) continue;
        if (IsClosedError(errno)) return -2;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return errno;
        if (waitMs == 0) return -1;
        int r = PollFor(fd, POLLOUT, waitMs);
        if (r < 0) return -r;
        if (r == 0) return -1;
        waitMs = 0;
    }
}

extern "C" int OsRecvSocket(int fd, void *buffer, size_t length, size_t *done, int waitMs) {
    *done = 0;
    for (;;) {
        ssize_t n = recv(fd, buffer, length, 0);
        if (n > 0) {
            *done = static_cast<size_t>(n);
            return 0;
        }
        if (n == 0) return length ? -2 : 0;
        if (errno == EINTR) continue;
        if (IsClosedError(errno)) return -2;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return errno;
        if (waitMs == 0) return -1;
        int r = PollFor(fd, POLLIN, waitMs);
        if (r < 0) return -r;
        if (r == 0) return -1;
        waitMs = 0;
    }
}

extern "C" int OsPeekSocket(int fd) {
    char c;
    for (;;) {
        ssize_t n = recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n > 0) return 0;
        if (n == 0) return -2;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return -1;
        if (IsClosedError(errno)) return -2;
        return errno;
    }
}

extern "C" int OsSendToSocket(int fd, const void *buffer, size_t length, const sockaddr *address,
                              socklen_t addressLength, size_t *done) {
    *done = 0;
    for (;;) {
        ssize_t n = address ? sendto(fd, buffer, length, MSG_NOSIGNAL, address, addressLength)
                            : send(fd, buffer, length, MSG_NOSIGNAL);
        if (n >= 0) {
            *done = static_cast<size_t>(n);
            return 0;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return -1;
        if (errno == ECONNREFUSED) return -2;
        return errno;
    }
}

extern "C" int OsRecvFromSocket(int fd, void *buffer, size_t length, size_t *done, sockaddr *address,
                                socklen_t *addressLength, int peek) {
    *done = 0;
    for (;;) {
        ssize_t n = recvfrom(fd, buffer, length, MSG_DONTWAIT | (peek ? MSG_PEEK : 0), address, addressLength);
        if (n >= 0) {
            *done = static_cast<size_t>(n);
            return 0;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return -1;
        if (errno == ECONNREFUSED) return -2;
        return errno;
    }
}

extern "C" int OsFormatAddress(const sockaddr *address, socklen_t length, char *host, size_t hostSize, int *port) {
    char h[NI_MAXHOST], s[NI_MAXSERV];
    int rc = getnameinfo(address, length, h, sizeof h, s, sizeof s, NI_NUMERICHOST | NI_NUMERICSERV);
    if (rc != 0) return rc;
    h[45] = 0; // numeric addresses are at most 45 characters
    CopyText(host, hostSize, h);
    if (port) *port = atoi(s);
    return 0;
}

extern "C" int OsGetHostByName(const char *name, char *official, size_t officialSize, char *address,
                               size_t addressSize) {
    return LookupIPv4(name, 0, official, officialSize, address, addressSize);
}

extern "C" int OsGetHostByAddr(const char *dotted, char *official, size_t officialSize, char *address,
                               size_t addressSize) {
    in_addr a;
    if (inet_aton(dotted, &a) == 0) return EAI_NONAME;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr = a;
    char h[NI_MAXHOST];
    int rc = getnameinfo(reinterpret_cast<sockaddr *>(&sa), sizeof sa, h, sizeof h, nullptr, 0, NI_NAMEREQD);
    if (rc != 0) return rc;
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &a, text, sizeof text);
    CopyText(official, officialSize, h);
    CopyText(address, addressSize, text);
    return 0;
}

extern "C" int OsGetMacAddress(char out[18]) {
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0) return 0;
    int found = 0;
    for (ifaddrs *i = list; i && !found; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_PACKET || (i->ifa_flags & IFF_LOOPBACK)) continue;
        auto *ll = reinterpret_cast<sockaddr_ll *>(i->ifa_addr);
        if (ll->sll_halen != 6) continue;
        snprintf(out, 18, "%02X:%02X:%02X:%02X:%02X:%02X", ll->sll_addr[0], ll->sll_addr[1], ll->sll_addr[2],
                 ll->sll_addr[3], ll->sll_addr[4], ll->sll_addr[5]);
        found = 1;
    }
    freeifaddrs(list);
    return found;
}

extern "C" const char *OsGetSocketErrorText(int error) { return strerror(error); }
extern "C" const char *OsGetAddrInfoErrorText(int error) {
    if (error == EAI_SYSTEM) return strerror(errno);
    return gai_strerror(error);
}
extern "C" const char *OsGetHostErrorText(int error) { return OsGetAddrInfoErrorText(error); }
