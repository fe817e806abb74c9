#include "platform/os_wake.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <unistd.h>
#include <vector>

#include "errors/error_codes.h"
#include "platform/os_linegate.h"

namespace {
std::atomic<int> g_readEnd{-1};
std::atomic<int> g_writeEnd{-1};
std::atomic<cxForceEventLoopHook> g_hook{nullptr};
// Written by the main thread; the line-hook pulse thread reads copies.
std::mutex g_watchedLock;
std::vector<int> g_watched;
int g_eventsPending = 0;
// Messages written and not read yet: a pump turn with none waiting makes
// no system call. (A message whose count comes a moment after the write is
// read by the next turn; the wait sees the pipe readable meanwhile.)
std::atomic<long> g_unread{0};
cxOsWaitSource g_waitSource = nullptr;  // main thread only

bool SetNonBlocking(int fd) {
    const int fl = fcntl(fd, F_GETFL);
    return fl != -1 && fcntl(fd, F_SETFL, fl | O_NONBLOCK) != -1;
}
}  // namespace

extern "C" int OsCreateWakePipe(int *readEnd, int *writeEnd) {
    if (g_readEnd.load() < 0) {
        int fds[2];
        if (pipe(fds) != 0) return 0;
        if (!SetNonBlocking(fds[0]) || !SetNonBlocking(fds[1])) {
            close(fds[0]);
            close(fds[1]);
            return 0;
        }
        fcntl(fds[0], F_SETFD, FD_CLOEXEC);
        fcntl(fds[1], F_SETFD, FD_CLOEXEC);
        g_readEnd.store(fds[0]);
        g_writeEnd.store(fds[1]);
    }
    if (readEnd) *readEnd = g_readEnd.load();
    if (writeEnd) *writeEnd = g_writeEnd.load();
    return 1;
}

extern "C" void OsCloseWakePipe(void) {
    const int r = g_readEnd.exchange(-1), w = g_writeEnd.exchange(-1);
    g_unread = 0;
    if (r >= 0) close(r);
    if (w >= 0) close(w);
}

extern "C" int OsInitDisplaySystem(lua_State *) { return OsCreateWakePipe(nullptr, nullptr) ? 0 : ERR_PIPE; }

extern "C" long OsPostWakeMessage(uint32_t type, uintptr_t argument) {
    // A script that never waits sees the wake-up through its line hook.
    OsOpenLineHookGate(CX_GATE_WAKE);
    const int fd = g_writeEnd.load();
    if (fd < 0) return -1;
    cxOsWakeMessage msg{type, 0, uint64_t(argument)};
    const long n = long(write(fd, &msg, sizeof msg));
    if (n == long(sizeof msg)) g_unread.fetch_add(1);
    return n;
}

extern "C" int OsReadWakeMessage(cxOsWakeMessage *out) {
    const int fd = g_readEnd.load();
    if (fd < 0 || g_unread.load() <= 0) return 0;
    // Writes are whole 16-byte messages, so the pipe never holds a part of one.
    const ssize_t n = read(fd, out, sizeof *out);
    if (n != ssize_t(sizeof *out)) return 0;
    g_unread.fetch_sub(1);
    return 1;
}

extern "C" void OsSetForceEventLoopHook(cxForceEventLoopHook hook) { g_hook.store(hook); }

extern "C" int OsWakeMainThreadFor(uint32_t type) {
    if (cxForceEventLoopHook hook = g_hook.load()) {
        const int r = hook();
        if (r) {
            // Woken without a message: the line hook must still look.
            OsOpenLineHookGate(CX_GATE_WAKE);
            return r;
        }
    }
    OsPostWakeMessage(type, 0);
    return 0;
}

extern "C" int OsWakeMainThread(void) { return OsWakeMainThreadFor(CX_WAKE_PLAIN); }

extern "C" void OsWatchDescriptor(int fd) {
    std::lock_guard<std::mutex> hold(g_watchedLock);
    if (fd >= 0 && std::find(g_watched.begin(), g_watched.end(), fd) == g_watched.end()) g_watched.push_back(fd);
}

extern "C" void OsUnwatchDescriptor(int fd) {
    std::lock_guard<std::mutex> hold(g_watchedLock);
    g_watched.erase(std::remove(g_watched.begin(), g_watched.end(), fd), g_watched.end());
}

extern "C" int OsCopyWatchedDescriptors(int *out, int max) {
    std::lock_guard<std::mutex> hold(g_watchedLock);
    const int n = int(g_watched.size());
    for (int i = 0; i < n && i < max; i++) out[i] = g_watched[i];
    return n;
}

extern "C" void OsSetWaitSource(cxOsWaitSource source) { g_waitSource = source; }

extern "C" void OsSetEventsPending(int pending) {
    g_eventsPending = pending;
    if (pending) OsOpenLineHookGate(CX_GATE_WAKE);
}
extern "C" int OsGetEventsPending(void) { return g_eventsPending; }

extern "C" int OsWaitEvents(lua_State *) {
    if (g_eventsPending) {
        // X events are still queued inside Xlib, where no descriptor shows them.
        g_eventsPending = 0;
        return 0;
    }
    if (!OsCreateWakePipe(nullptr, nullptr)) return 0;
    // poll() rather than select(): a descriptor number above FD_SETSIZE must
    // not write past an fd_set.
    std::vector<pollfd> fds;
    fds.push_back({g_readEnd.load(), POLLIN, 0});
    {
        std::lock_guard<std::mutex> hold(g_watchedLock);
        for (int fd : g_watched) fds.push_back({fd, POLLIN, 0});
    }
    if (g_waitSource) {
        static std::vector<cxOsWaitItem> items(64);
        int n = g_waitSource(items.data(), int(items.size()));
        if (n > int(items.size())) {
            items.resize(size_t(n));
            n = g_waitSource(items.data(), int(items.size()));
        }
        if (n < 0) return 0;  // ready already
        for (int i = 0; i < n && i < int(items.size()); i++) fds.push_back({items[i].fd, items[i].events, 0});
    }
    OsParkLineHookPulse(1);
    while (poll(fds.data(), nfds_t(fds.size()), -1) < 0 && errno == EINTR) {
    }
    OsParkLineHookPulse(0);
    return 0;
}
