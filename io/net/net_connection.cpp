// The connection engine. Everything runs on the main thread; every wait
// polls with a bound and turns the event pump, so the applet stays
// responsive and a quit request ends a transfer at once.
#include "io/net/net_connection.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "display/events/event_pump.h"
#include "errors/errors.h"
#include "engine/plugins/plugin_registry.h"
#include "engine/runtime/runtime.h"
#include "streams/stream.h"
#include "platform/os_socket.h"
#include "platform/os_time.h"

namespace {

int g_protocol = CX_IPV4;
int g_timeoutMs = 10000;
cxNetPumpTurn g_pumpTurn = nullptr;

double NowSeconds() { return static_cast<double>(OsMonotonicMs()) / 1000.0; }

int SocketSend(void *context, const void *buffer, size_t length, size_t *sent) {
    auto *s = static_cast<cxNetSocket *>(context);
    return OsSendSocket(s->fd, buffer, length, sent, 0);
}

int SocketReceive(void *context, void *buffer, size_t length, size_t *received) {
    auto *s = static_cast<cxNetSocket *>(context);
    return OsRecvSocket(s->fd, buffer, length, received, 0);
}

// Marks a connection as used by a running receive or send, so that a
// script handler run by the pump that closes it does not free it under us.
struct BusyGuard {
    cxConnection *c;
    explicit BusyGuard(cxConnection *conn) : c(conn) { c->busy++; }
    ~BusyGuard() {
        if (--c->busy == 0 && c->doomed) FreeConnection(c);
    }
};

bool IsInbuilt(const cxConnection *c) { return c->adapter == nullptr; }

cxRecvBuffer *BufferOf(cxConnection *c) {
    return IsInbuilt(c) ? &static_cast<cxNetSocket *>(c->handle)->recv : c->adapterBuffer;
}

// Refills the empty buffer: 0 with bytes, -1 nothing now, -2 closed, an
// errno value (inbuilt), or an adapter's own error code in *code.
int Refill(cxConnection *c, cxRecvBuffer *b, int *code) {
    *code = 0;
    if (IsInbuilt(c)) {
        auto *s = static_cast<cxNetSocket *>(c->handle);
        size_t got = 0;
        int st = s->io.receive(s->io.context, b->data, CX_NET_BUFFER_SIZE, &got);
        if (st == 0 && got > 0) {
            b->readIndex = 0;
            b->endIndex = static_cast<uint32_t>(got);
        }
        return st;
    }
    int got = 0;
    int rc = CallPluginEntry(c->adapter, c->adapter->ReceiveData, c->handle, static_cast<void *>(b->data),
                             CX_NET_BUFFER_SIZE, &got, static_cast<const cxTagItem *>(nullptr));
    if (rc == ERR_RECVTIMEOUT) return -1;
    if (rc == ERR_RECVCLOSED) return -2;
    if (rc != 0) {
        *code = rc;
        return 0;
    }
    if (got <= 0) return -1;
    if (got > CX_NET_BUFFER_SIZE) got = CX_NET_BUFFER_SIZE; // an adapter must not claim more than it was given
    b->readIndex = 0;
    b->endIndex = static_cast<uint32_t>(got);
    return 0;
}

// Waits up to 1 ms for more data: on the socket itself when it is ours (so
// that data arriving ends the wait at once), else a plain sleep.
void IdleWait(cxConnection *c) {
    if (IsInbuilt(c)) {
        auto *s = static_cast<cxNetSocket *>(c->handle);
        pollfd p{s->fd, POLLIN, 0};
        poll(&p, 1, 1);
        return;
    }
    OsDelayMs(1);
}

bool TimedOut(uint64_t idleStart) {
    if (g_timeoutMs == 0) return false;
    return OsMonotonicMs() - idleStart > static_cast<uint64_t>(g_timeoutMs);
}

int SocketStatusError(int status, const char *(*text)(int)) {
    if (GetUserAbortFlag()) return ERR_USERABORT;
    if (status == -1) return ERR_RECVTIMEOUT;
    if (status == -2) return ERR_RECVCLOSED;
    SetErrorDetail(text ? text(status) : OsGetSocketErrorText(status));
    return ERR_SOCKET;
}

// Delivers one piece to the target. 0 or an error code.
int Deliver(cxRecvTarget *t, std::string &builder, const unsigned char *p, size_t n, size_t total, int lineMode,
            size_t deliveredBefore) {
    if (t->stream) {
        if (WriteStream(t->stream, p, n) != n) return ERR_WRITE;
        return 0;
    }
    if (t->fixed) {
        size_t room = t->fixedSize - (lineMode ? 1 : 0);
        if (t->fixedSize == 0 || deliveredBefore + n > room) {
            t->overflowed = true;
            return ERR_MEM;
        }
        memcpy(t->fixed + deliveredBefore, p, n);
        return 0;
    }
    if (t->growable) return t->growable->Append(p, n) ? 0 : ERR_MEM;
    if (t->callback.function) {
        lua_State *L = t->callback.L;
        lua_newtable(L);
        SetTableNumber(L, "action", 0);
        SetTableNumber(L, "size", static_cast<int32_t>(n));
        SetTableNumber(L, "total", static_cast<int32_t>(total));
        lua_pushstring(L, "data");
        lua_pushlstring(L, reinterpret_cast<const char *>(p), n);
        lua_settable(L, -3);
        if (t->callback.userdata) {
            lua_pushstring(L, "userdata");
            lua_pushvalue(L, t->callback.userdata);
            lua_settable(L, -3);
        }
        return CallNetCallback(&t->callback);
    }
    builder.append(reinterpret_cast<const char *>(p), n);
    return 0;
}

} // namespace

bool cxNetBody::Reserve(size_t n) {
    if (n <= capacity && data) return true;
    char *p = data ? lua_resizestringbuffer(L, data, n) : lua_newstringbuffer(L, n);
    if (!p) return false;
    data = p;
    capacity = n;
    return true;
}

bool cxNetBody::Append(const void *bytes, size_t n) {
    if (n > SIZE_MAX - size) return false;
    const size_t need = size + n;
    if (need > capacity || !data) {
        // Doubling: large buffers move by remapping, not by copying.
        size_t grown = capacity < 16384 ? 16384 : capacity;
        while (grown < need) grown = grown > SIZE_MAX / 2 ? need : grown * 2;
        if (!Reserve(grown) && !Reserve(need)) return false;
    }
    memcpy(data + size, bytes, n);
    size += n;
    return true;
}

void cxNetBody::Push() {
    if (!data) {
        lua_pushlstring(L, "", 0);
        return;
    }
    lua_pushstringbuffer(L, data, size);
    data = nullptr;
    size = capacity = 0;
}

int GetNetworkProtocol(void) { return g_protocol; }
void SetNetworkProtocolSetting(int protocol) { g_protocol = protocol; }
int GetNetworkTimeoutMs(void) { return g_timeoutMs; }
void SetNetworkTimeoutMs(int ms) { g_timeoutMs = ms; }

void SetNetPumpTurn(cxNetPumpTurn turn) { g_pumpTurn = turn; }

int TurnNetPump(lua_State *L) {
    if (g_pumpTurn) return g_pumpTurn(L);
    int code = 0;
    if (ProcessEvents(L, CX_PUMP_WAITING, 0, &code)) return code ? code : ERR_USERABORT;
    if (GetUserAbortFlag()) return ERR_USERABORT;
    return 0;
}

int InitNetwork(void) {
    if (OsSocketsInitialised()) return 0;
    return OsInitSockets() == 0 ? 0 : ERR_OPENSOCKET;
}

int FamilyToProtocol(int family) {
    if (family == 0) return CX_IPAUTO;
    if (family == AF_INET) return CX_IPV4;
    if (family == AF_INET6) return CX_IPV6;
    return CX_IPUNKNOWN;
}

int ProtocolToFamily(int protocol) {
    if (protocol == CX_IPV4) return AF_INET;
    if (protocol == CX_IPV6) return AF_INET6;
    return 0;
}

cxNetSocket *NewNetSocket(int family) {
    auto *s = static_cast<cxNetSocket *>(calloc(1, sizeof(cxNetSocket)));
    if (!s) return nullptr;
    s->fd = -1;
    s->io = {s, SocketSend, SocketReceive, OsGetSocketErrorText};
    s->recv.io = &s->io;
    s->recv.timeout = &s->timeout;
    s->timeout = {-1.0, -1.0, 0.0};
    s->family = family;
    return s;
}

void FreeNetSocket(cxNetSocket *s) {
    if (!s) return;
    OsCloseSocket(s->fd);
    free(s);
}

cxConnection *NewSocketConnection(cxNetSocket *s) {
    auto *c = static_cast<cxConnection *>(calloc(1, sizeof(cxConnection)));
    if (!c) return nullptr;
    s->timeout.step = s->timeout.overall = 0.0;
    c->handle = s;
    return c;
}

cxNetSocket *GetConnectionSocket(cxConnection *c) {
    return c && IsInbuilt(c) ? static_cast<cxNetSocket *>(c->handle) : nullptr;
}

uint32_t BufferedBytes(cxConnection *c) {
    cxRecvBuffer *b = BufferOf(c);
    return b && b->endIndex > b->readIndex ? b->endIndex - b->readIndex : 0;
}

namespace {
struct PumpUser {
    lua_State *L;
};
int ConnectTurn(void *user) { return TurnNetPump(static_cast<PumpUser *>(user)->L); }
} // namespace

int ConnectSocket(lua_State *L, const char *host, int port, int type, int32_t *fd, int32_t *family) {
    char service[16];
    snprintf(service, sizeof service, "%d", port);
    addrinfo hints{};
    hints.ai_family = *family;
    hints.ai_socktype = type;
    addrinfo *res = nullptr;
    int rc = getaddrinfo(host, service, &hints, &res);
    if (rc != 0) {
        if (GetUserAbortFlag()) return ERR_USERABORT;
        SetErrorDetail(OsGetAddrInfoErrorText(rc));
        return ERR_SOCKET;
    }
    uint64_t deadline = g_timeoutMs ? OsMonotonicMs() + static_cast<uint64_t>(g_timeoutMs) : 0;
    int last = ECONNREFUSED;
    PumpUser user{L};
    for (addrinfo *a = res; a; a = a->ai_next) {
        if (*fd < 0 || *family != a->ai_family) {
            OsCloseSocket(*fd);
            *fd = OsCreateSocket(a->ai_family, type);
            if (*fd < 0) {
                last = errno;
                continue;
            }
            *family = a->ai_family;
            OsSetSocketNonBlocking(*fd);
        }
        int r = OsConnectSocketUntil(*fd, a->ai_addr, a->ai_addrlen, deadline, ConnectTurn, &user);
        if (r == 0) {
            freeaddrinfo(res);
            return 0;
        }
        if (r >= 1000) {
            freeaddrinfo(res);
            return r;
        }
        last = r == -1 ? ETIMEDOUT : r;
        // a failed connect leaves the socket unusable: start afresh
        OsCloseSocket(*fd);
        *fd = -1;
        if (deadline && OsMonotonicMs() >= deadline) break;
    }
    freeaddrinfo(res);
    if (GetUserAbortFlag()) return ERR_USERABORT;
    SetErrorDetail(OsGetSocketErrorText(last));
    return ERR_SOCKET;
}

int OpenTcpConnection(lua_State *L, const char *host, int port, int protocol, const char *adapters, int secure,
                      cxConnection **out) {
    *out = nullptr;
    auto *c = static_cast<cxConnection *>(calloc(1, sizeof(cxConnection)));
    if (!c) return ERR_MEM;
    if (int err = AddNamedAdapterList(adapters, CX_CAP_NETWORKADAPTER)) {
        free(c);
        return err;
    }
    for (cxPluginNode *n = GetCapabilityList(CX_CAP_NETWORKADAPTER); n; n = n->next) {
        cxPlugin *p = n->plugin;
        if (!p || p->disabled) continue;
        if ((p->networkFlags & 1) && !p->required) continue;
        if (!MatchLoaderList(adapters, p->moduleName ? p->moduleName : "", 1)) continue;
        if (p->onlyWhenNamed && !IsLoaderNamed(adapters, p->moduleName ? p->moduleName : "")) continue;
        cxTagItem tags[3] = {{1, secure ? 1 : 0}, {2, g_timeoutMs}, {0, 0}};
        void *h = CallPluginEntry(p, p->OpenConnection, host, port, static_cast<const cxTagItem *>(tags));
        if (!h) continue;
        c->adapter = p;
        c->handle = h;
        c->adapterBuffer = static_cast<cxRecvBuffer *>(calloc(1, sizeof(cxRecvBuffer)));
        if (!c->adapterBuffer) {
            FreeConnection(c);
            return ERR_MEM;
        }
        *out = c;
        return 0;
    }
    if (!MatchLoaderList(adapters, "inbuilt", 0)) {
        free(c);
        SetErrorDetail("connection refused");
        return ERR_SOCKET;
    }
    int family = ProtocolToFamily(protocol);
    cxNetSocket *s = NewNetSocket(family);
    if (!s) {
        free(c);
        return ERR_MEM;
    }
    s->timeout.step = s->timeout.overall = 0.0;
    c->handle = s;

    if (int err = ConnectSocket(L, host, port, SOCK_STREAM, &s->fd, &s->family)) {
        FreeConnection(c);
        return err;
    }
    *out = c;
    return 0;
}

void FreeConnection(cxConnection *c) {
    if (!c) return;
    if (c->busy > 0) {
        // a receive or send below us still uses it: it frees it on return
        c->doomed = 1;
        return;
    }
    if (c->adapter) {
        if (c->handle) CallPluginEntry(c->adapter, c->adapter->CloseConnection, c->handle);
        free(c->adapterBuffer);
    } else {
        FreeNetSocket(static_cast<cxNetSocket *>(c->handle));
    }
    free(c);
}

int CallNetCallback(cxNetCallback *cb) {
    lua_State *L = cb->L;
    lua_pushvalue(L, cb->function);
    lua_insert(L, -2);
    SetKernelTags(L, CX_KTAG_CALLBACKNESTING, 1, 0);
    int err = lua_pcall(L, 1, 1, 0);
    SetKernelTags(L, CX_KTAG_CALLBACKNESTING, 0, 0);
    if (err) return err;
    int e = 0;
    lua_Number r = luaL_tocallbacknumber(L, -1, &e);
    lua_pop(L, 1);
    if (e) return e;
    if (r == 1 || GetUserAbortFlag()) return ERR_USERABORT;
    return 0;
}

int ReportNetProgress(cxConnection *c, size_t piece, cxNetCallback *progress) {
    if (!c->progress.enabled) return 0;
    c->progress.count += static_cast<int32_t>(piece);
    if (!progress || !progress->function) return 0;
    lua_State *L = progress->L;
    lua_newtable(L);
    SetTableNumber(L, "action", c->progress.action);
    SetTableNumber(L, "count", c->progress.count);
    SetTableNumber(L, "total", c->progress.total);
    if (c->progress.hasUserdata && progress->userdata) {
        lua_pushstring(L, "userdata");
        lua_pushvalue(L, progress->userdata);
        lua_settable(L, -3);
    }
    return CallNetCallback(progress);
}

int ReceiveNetworkData(lua_State *L, cxConnection *c, int mode, size_t count, int wait, cxRecvTarget *target,
                       size_t *delivered, cxNetCallback *progress) {
    BusyGuard guard(c);
    cxRecvBuffer *b = BufferOf(c);
    if (IsInbuilt(c)) static_cast<cxNetSocket *>(c->handle)->timeout.start = NowSeconds();
    uint64_t idleStart = OsMonotonicMs();
    const bool toStack = !target->fixed && !target->growable && !target->stream;
    std::string builder;
    size_t total = 0;
    int status = 0;
    int code = 0;
    bool finished = false;
    for (;;) {
        if ((code = TurnNetPump(L)) != 0) break;
        if (c->doomed) {
            status = -2; // closed by a handler while we waited
            break;
        }
        if (target->deadlineMs && OsMonotonicMs() >= target->deadlineMs) {
            status = -1;
            break;
        }
        uint32_t avail = b->endIndex - b->readIndex;
        if (avail == 0) {
            b->readIndex = b->endIndex = 0;
            status = Refill(c, b, &code);
            if (code) break;
            avail = b->endIndex - b->readIndex;
        }
        if (avail > 0) {
            status = 0;
            const unsigned char *p = b->data + b->readIndex;
            if (mode == CX_RECEIVELINE) {
                // byte by byte: a callback sees every byte, a carriage
                // return is dropped, the line feed ends the line
                uint32_t used = 0;
                size_t runStart = 0, runLen = 0;
                auto flush = [&]() -> int {
                    if (!runLen) return 0;
                    int e = 0;
                    if (target->callback.function) {
                        for (size_t i = 0; i < runLen && !e; i++) {
                            e = Deliver(target, builder, p + runStart + i, 1, total + 1, 1, total);
                            if (e && e != ERR_USERABORT) break;
                            total++;
                            if (!e) e = ReportNetProgress(c, 1, progress);
                        }
                    } else {
                        e = Deliver(target, builder, p + runStart, runLen, total + runLen, 1, total);
                        if (!e) {
                            total += runLen; // a refused piece was not delivered
                            e = ReportNetProgress(c, runLen, progress);
                        }
                    }
                    runLen = 0;
                    return e;
                };
                while (used < avail && !finished && !code) {
                    unsigned char ch = p[used];
                    if (ch == '\n' || ch == '\r') {
                        code = flush();
                        if (ch == '\n') finished = true;
                        used++;
                        runStart = used;
                        continue;
                    }
                    if (runLen == 0) runStart = used;
                    runLen++;
                    used++;
                }
                if (!code) code = flush();
                b->readIndex += used;
            } else {
                size_t take = avail;
                if (mode == CX_RECEIVEBYTES && take > count - total) take = count - total;
                code = Deliver(target, builder, p, take, total + take, 0, total);
                if (!code || code == ERR_USERABORT) total += take;
                b->readIndex += static_cast<uint32_t>(take);
                if (!code) code = ReportNetProgress(c, take, progress);
                if (mode == CX_RECEIVEBYTES && total >= count) finished = true;
            }
            if (b->readIndex >= b->endIndex) b->readIndex = b->endIndex = 0;
            idleStart = OsMonotonicMs();
            if (code || finished) break;
            continue;
        }
        if (status == -1) {
            if (!wait || TimedOut(idleStart)) break;
            IdleWait(c);
            continue;
        }
        break; // -2 or a socket error
    }
    if (mode == CX_RECEIVEALL && status == -2 && total > 0) status = 0;
    if (finished) status = 0;
    if (target->fixed && mode == CX_RECEIVELINE && total < target->fixedSize) target->fixed[total] = 0;
    *delivered = total;
    // a callback that asked to stop ends the receive quietly with what came
    bool stopped = code == ERR_USERABORT && !GetUserAbortFlag();
    if (code && !stopped) return code;
    if (toStack && target->pushResults) {
        int done = 1;
        if (mode == CX_RECEIVEALL && !stopped && status != 0) done = 0;
        if (target->callback.function)
            lua_pushstring(L, "");
        else
            lua_pushlstring(L, builder.data(), builder.size());
        lua_pushnumber(L, static_cast<lua_Number>(total));
        lua_pushnumber(L, done);
        return 3;
    }
    if (stopped) return ERR_USERABORT;
    if (status != 0) return SocketStatusError(status, IsInbuilt(c) ? OsGetSocketErrorText : nullptr);
    return 0;
}

int SendNetworkData(lua_State *L, cxConnection *c, const void *data, size_t length, size_t *sent,
                    int *callbackError, cxNetCallback *progress) {
    BusyGuard guard(c);
    *sent = 0;
    *callbackError = 0;
    const auto *bytes = static_cast<const unsigned char *>(data);
    uint64_t idleStart = OsMonotonicMs();
    int status = 0;
    while (*sent < length) {
        bool passSent = false;
        status = 0;
        while (*sent < length) {
            if (int code = TurnNetPump(L)) {
                *callbackError = code;
                return 0;
            }
            if (c->doomed) return -2;
            size_t piece = length - *sent;
            if (piece > CX_NET_BUFFER_SIZE) piece = CX_NET_BUFFER_SIZE;
            size_t n = 0;
            if (IsInbuilt(c)) {
                auto *s = static_cast<cxNetSocket *>(c->handle);
                status = s->io.send(s->io.context, bytes + *sent, piece, &n);
            } else {
                int got = 0;
                int rc = CallPluginEntry(c->adapter, c->adapter->SendData, c->handle,
                                         static_cast<const void *>(bytes + *sent), static_cast<int>(piece), &got,
                                         static_cast<const cxTagItem *>(nullptr));
                if (rc == ERR_SENDTIMEOUT) {
                    status = -1;
                } else if (rc != 0) {
                    *callbackError = rc;
                    return 0;
                } else {
                    n = got > 0 ? static_cast<size_t>(got) : 0;
                    if (n > piece) n = piece;
                    status = n ? 0 : -1;
                }
            }
            if (status != 0 || n == 0) break;
            *sent += n;
            passSent = true;
            if (int e = ReportNetProgress(c, n, progress)) {
                *callbackError = e;
                return 0;
            }
        }
        if (*sent >= length) return 0;
        if (passSent) idleStart = OsMonotonicMs();
        if (status != -1 && status != 0) return status;
        if (!passSent && TimedOut(idleStart)) return -1;
        if (!passSent) {
            if (IsInbuilt(c)) {
                pollfd p{static_cast<cxNetSocket *>(c->handle)->fd, POLLOUT, 0};
                poll(&p, 1, 1);
            } else {
                OsDelayMs(1);
            }
        }
    }
    return 0;
}
