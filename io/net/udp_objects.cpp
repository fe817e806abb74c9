// UDP objects: datagram sockets bound to a port (server), connected to one
// peer (client), or without a socket until the first send.
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "errors/errors.h"
#include "engine/runtime/runtime.h"
#include "io/net/net_commands.h"
#include "io/net/net_objects.h"
#include "platform/os_socket.h"

namespace {

int SocketError(int e) {
    SetErrorDetail(OsGetSocketErrorText(e));
    return ERR_SOCKET;
}

int ResolverError(int rc) {
    SetErrorDetail(OsGetAddrInfoErrorText(rc));
    return ERR_SOCKET;
}

int BindUdpServer(cxUdpSocket *s, const char *host, int port) {
    char service[16];
    snprintf(service, sizeof service, "%d", port);
    addrinfo hints{};
    hints.ai_family = s->family;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo *res = nullptr;
    int rc = getaddrinfo(std::string(host) == "*" ? nullptr : host, service, &hints, &res);
    if (rc != 0) return ResolverError(rc);
    int last = EADDRNOTAVAIL;
    bool bound = false;
    for (addrinfo *a = res; a && !bound; a = a->ai_next) {
        if (s->fd < 0 || s->family != a->ai_family) {
            OsCloseSocket(s->fd);
            s->fd = OsCreateSocket(a->ai_family, SOCK_DGRAM);
            if (s->fd < 0) {
                last = errno;
                continue;
            }
            s->family = a->ai_family;
        }
        if ((last = OsBindSocket(s->fd, a->ai_addr, a->ai_addrlen)) == 0) bound = true;
    }
    freeaddrinfo(res);
    if (!bound) return SocketError(last);
    OsSetSocketNonBlocking(s->fd);
    return 0;
}

} // namespace

int CreateUDPObjectCmd(lua_State *L) {
    CheckArgCount(L, 1, 5, 0, 0);
    cxOptionalNumber id;
    GetOptionalNumberArg(&id, L, 1);
    lua_Number portNumber = luaL_optnumber(L, 2, 0);
    std::string host = lua_isnoneornil(L, 3) ? "*" : luaL_checklstring(L, 3, nullptr);
    int mode = luaL_optint(L, 4, CX_UDPSERVER);
    int protocol = luaL_optint(L, 5, GetNetworkProtocol());
    if (!(portNumber >= 0 && portNumber < 65536)) return ERR_WRONGUSAGE;
    int port = static_cast<int>(portNumber);
    if (mode != CX_UDPSERVER && mode != CX_UDPCLIENT && mode != CX_UDPNONE) return ERR_WRONGUSAGE;
    if (mode == CX_UDPCLIENT && host == "*") return ERR_WRONGUSAGE;
    if (int err = InitNetwork()) return err;
    if (!id.wasNil) {
        if (cxObjectHeader *old = LookupObject(GetUdpList(), cxObjectID{id.value, nullptr}))
            FreeUdpNode(L, reinterpret_cast<cxUdpNode *>(old));
    }
    auto *s = static_cast<cxUdpSocket *>(calloc(1, sizeof(cxUdpSocket)));
    if (!s) return ERR_MEM;
    s->fd = -1;
    s->timeout = {0.0, 0.0, 0.0};
    s->family = ProtocolToFamily(protocol);
    auto fail = [&](int err) {
        OsCloseSocket(s->fd);
        free(s);
        return err;
    };
    if (s->family) {
        s->fd = OsCreateSocket(s->family, SOCK_DGRAM);
        if (s->fd < 0) return fail(SocketError(errno));
        OsSetSocketNonBlocking(s->fd);
    }
    if (mode == CX_UDPCLIENT) {
        if (int err = ConnectSocket(L, host.c_str(), port, SOCK_DGRAM, &s->fd, &s->family)) return fail(err);
    } else if (mode == CX_UDPSERVER) {
        if (int err = BindUdpServer(s, host.c_str(), port)) return fail(err);
    }
    auto *n = static_cast<cxUdpNode *>(calloc(1, sizeof(cxUdpNode)));
    if (!n) return fail(ERR_MEM);
    InitObjectHeader(&n->header, CX_OBJ_UDPOBJECT, id.value, id.wasNil);
    n->socket = s;
    n->mode = mode;
    AddObject(GetUdpList(), &n->header);
    return id.wasNil ? PushObjectID(L, GetObjectID(&n->header)) : 0;
}

int CloseUDPObjectCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    cxUdpNode *n;
    if (int err = FindUdpObject(id, &n)) return err;
    FreeUdpNode(L, n);
    return 0;
}

int SendUDPDataCmd(lua_State *L) {
    CheckArgCount(L, 2, 4, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    size_t length = 0;
    const char *data = luaL_checklstring(L, 2, &length);
    cxUdpNode *n;
    if (int err = FindUdpObject(id, &n)) return err;
    if (length == 0) return ERR_WRONGUSAGE;
    cxUdpSocket *s = n->socket;
    size_t sent = 0;
    int st;
    if (n->mode == CX_UDPCLIENT) {
        s->timeout.start = static_cast<double>(OsMonotonicMs()) / 1000.0;
        st = OsSendToSocket(s->fd, data, length, nullptr, 0, &sent);
    } else {
        if (lua_isnoneornil(L, 3) || lua_isnoneornil(L, 4)) return ERR_WRONGUSAGE;
        const char *host = luaL_checklstring(L, 3, nullptr);
        lua_Number port = luaL_checknumber(L, 4);
        if (!(port >= 1 && port <= 65535)) return ERR_WRONGUSAGE;
        char service[16];
        snprintf(service, sizeof service, "%d", static_cast<int>(port));
        addrinfo hints{};
        hints.ai_family = s->family;
        hints.ai_socktype = SOCK_DGRAM;
        hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
        addrinfo *res = nullptr;
        int rc = getaddrinfo(host, service, &hints, &res);
        if (rc != 0) return ResolverError(rc);
        if (s->fd < 0) {
            for (addrinfo *a = res; a; a = a->ai_next) {
                s->fd = OsCreateSocket(a->ai_family, SOCK_DGRAM);
                if (s->fd >= 0) {
                    s->family = a->ai_family;
                    OsSetSocketNonBlocking(s->fd);
                    break;
                }
            }
            if (s->fd < 0) {
                int e = errno;
                freeaddrinfo(res);
                return SocketError(e);
            }
        }
        s->timeout.start = static_cast<double>(OsMonotonicMs()) / 1000.0;
        st = OsSendToSocket(s->fd, data, length, res->ai_addr, res->ai_addrlen, &sent);
        freeaddrinfo(res);
    }
    if (st == -2) {
        SetErrorDetail("connection refused");
        return ERR_SOCKET;
    }
    if (st == -1) return SocketError(EAGAIN);
    if (st != 0) return SocketError(st);
    lua_pushnumber(L, static_cast<lua_Number>(sent));
    return 1;
}

int ReceiveUDPDataCmd(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    lua_Number wanted = luaL_optnumber(L, 2, CX_NET_BUFFER_SIZE);
    cxUdpNode *n;
    if (int err = FindUdpObject(id, &n)) return err;
    // below 1 is not a length a datagram can be read into
    if (!(wanted >= 1)) return ERR_WRONGUSAGE;
    size_t length = wanted > CX_NET_BUFFER_SIZE ? CX_NET_BUFFER_SIZE : static_cast<size_t>(wanted);
    cxUdpSocket *s = n->socket;
    n->dataReported = 0;
    if (s->fd < 0) {
        lua_pushstring(L, "");
        lua_pushstring(L, "");
        lua_pushnumber(L, 0);
        return 3;
    }
    sockaddr_storage from;
    socklen_t fromLength = 128;
    size_t got = 0;
    int st = OsRecvFromSocket(s->fd, s->buffer, length, &got, reinterpret_cast<sockaddr *>(&from), &fromLength, 0);
    if (st == -1) {
        lua_pushstring(L, "");
        lua_pushstring(L, "");
        lua_pushnumber(L, 0);
        return 3;
    }
    if (st == -2) {
        SetErrorDetail("connection refused");
        return ERR_SOCKET;
    }
    if (st != 0) return SocketError(st);
    char host[64];
    int port = 0;
    if (int rc = OsFormatAddress(reinterpret_cast<sockaddr *>(&from), fromLength, host, sizeof host, &port))
        return ResolverError(rc);
    lua_pushlstring(L, reinterpret_cast<const char *>(s->buffer), got);
    lua_pushstring(L, host);
    lua_pushnumber(L, port);
    return 3;
}
