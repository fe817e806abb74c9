// The "network" library: TCP connections and servers, address queries and
// name lookups, the receive and send commands. DownloadFile and UploadFile
// live in url_transfer.cpp, the UDP commands in udp_objects.cpp.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "errors/errors.h"
#include "engine/plugins/plugin_registry.h"
#include "engine/runtime/runtime.h"
#include "io/net/net_commands.h"
#include "io/net/net_objects.h"
#include "platform/os_socket.h"
#include "platform/os_wake.h"

namespace {

enum { kTypeConnection = 99, kTypeServer = 115, kTypeUdp = 117 };

std::string g_probeHost = "example.com";
int g_probePort = 80;

int ArgPort(lua_State *L, int index, int def) {
    if (lua_isnoneornil(L, index)) return def;
    lua_Number n = luaL_checknumber(L, index);
    if (n != n || n < -1e9 || n > 1e9) return -1;
    return static_cast<int>(n);
}

// The options table of OpenConnection.
struct ConnectOptions {
    int protocol = GetNetworkProtocol();
    int ssl = 0;
    char adapter[256] = "";
};

void ReadConnectOptions(lua_State *L, int index, ConnectOptions *o) {
    if (lua_isnoneornil(L, index)) return;
    luaL_checktable(L, index);
    GetTableInt(L, index, "protocol", &o->protocol, nullptr);
    GetTableTruth(L, index, "ssl", &o->ssl, nullptr);
    GetTableString(L, index, "adapter", o->adapter, sizeof o->adapter, nullptr);
}

int OpenConnectionCmd(lua_State *L) {
    CheckArgCount(L, 3, 4, 0, 0);
    cxOptionalNumber id;
    GetOptionalNumberArg(&id, L, 1);
    const char *host = luaL_checklstring(L, 2, nullptr);
    int port = ArgPort(L, 3, 0);
    ConnectOptions o;
    ReadConnectOptions(L, 4, &o);
    if (port < 1 || port > 65535) return ERR_WRONGUSAGE;
    if (int err = InitNetwork()) return err;
    if (!id.wasNil) {
        if (cxObjectHeader *old = LookupObject(GetConnectionList(), cxObjectID{id.value, nullptr}))
            FreeConnectionNode(L, reinterpret_cast<cxConnectionNode *>(old));
    }
    cxConnection *c = nullptr;
    if (int err = OpenTcpConnection(L, host, port, o.protocol, o.adapter, o.ssl, &c)) return err;
    if (o.ssl && !c->adapter) {
        // our own sockets cannot encrypt: never hand out a plain connection
        // to a script that asked for a secure one
        FreeConnection(c);
        SetErrorDetail("connection refused");
        return ERR_SOCKET;
    }
    cxConnectionNode *n = nullptr;
    if (int err = AddConnectionNode(c, id.value, id.wasNil, &n)) return err;
    return id.wasNil ? PushObjectID(L, GetObjectID(&n->header)) : 0;
}

int CloseConnectionCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    cxConnectionNode *n;
    if (int err = FindConnection(id, &n)) return err;
    FreeConnectionNode(L, n);
    return 0;
}

// Binds a server socket of the family to the first result that binds.
int BindServer(cxNetSocket *s, const char *iface, int port, int family, int backlog) {
    char service[16];
    snprintf(service, sizeof service, "%d", port);
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo *res = nullptr;
    int rc = getaddrinfo(iface, service, &hints, &res);
    if (rc != 0) {
        SetErrorDetail(OsGetAddrInfoErrorText(rc));
        return ERR_SOCKET;
    }
    int last = EADDRNOTAVAIL;
    bool bound = false;
    for (addrinfo *a = res; a && !bound; a = a->ai_next) {
        if (s->fd < 0 || s->family != a->ai_family) {
            OsCloseSocket(s->fd);
            s->fd = OsCreateSocket(a->ai_family, SOCK_STREAM);
            if (s->fd < 0) {
                last = errno;
                break;
            }
            s->family = a->ai_family;
            OsSetSocketReuseAddress(s->fd);
        }
        if ((last = OsBindSocket(s->fd, a->ai_addr, a->ai_addrlen)) != 0) continue;
        if ((last = OsSetSocketNonBlocking(s->fd)) != 0) continue;
        if ((last = OsListenSocket(s->fd, backlog)) != 0) continue;
        bound = true;
    }
    freeaddrinfo(res);
    if (!bound) {
        SetErrorDetail(OsGetSocketErrorText(last));
        return ERR_SOCKET;
    }
    return 0;
}

int CreateServerCmd(lua_State *L) {
    CheckArgCount(L, 1, 5, 0, 0);
    cxOptionalNumber id;
    GetOptionalNumberArg(&id, L, 1);
    int port = ArgPort(L, 2, 0);
    std::string iface = lua_isnoneornil(L, 3) ? "*" : luaL_checklstring(L, 3, nullptr);
    int backlog = luaL_optint(L, 4, 32);
    int protocol = luaL_optint(L, 5, GetNetworkProtocol());
    if (port < 0 || port > 65535) return ERR_WRONGUSAGE;
    if (int err = InitNetwork()) return err;
    if (!id.wasNil) {
        if (cxObjectHeader *old = LookupObject(GetServerList(), cxObjectID{id.value, nullptr}))
            FreeServerNode(L, reinterpret_cast<cxServerNode *>(old));
    }
    if (iface == "*") iface = protocol == CX_IPV6 ? "::" : "0.0.0.0";
    cxNetSocket *s = NewNetSocket(ProtocolToFamily(protocol));
    if (!s) return ERR_MEM;
    s->timeout.step = s->timeout.overall = 0.0;
    if (int err = BindServer(s, iface.c_str(), port, ProtocolToFamily(protocol), backlog)) {
        FreeNetSocket(s);
        return err;
    }
    auto *n = static_cast<cxServerNode *>(calloc(1, sizeof(cxServerNode)));
    if (!n) {
        FreeNetSocket(s);
        return ERR_MEM;
    }
    InitObjectHeader(&n->header, CX_OBJ_SERVER, id.value, id.wasNil);
    n->socket = s;
    AddObject(GetServerList(), &n->header);
    return id.wasNil ? PushObjectID(L, GetObjectID(&n->header)) : 0;
}

int CloseServerCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    cxServerNode *n;
    if (int err = FindServer(id, &n)) return err;
    FreeServerNode(L, n);
    return 0;
}

int SendDataCmd(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    size_t length = 0;
    const char *data = luaL_checklstring(L, 2, &length);
    cxConnectionNode *n;
    if (int err = FindConnection(id, &n)) return err;
    size_t sent = 0;
    int code = 0;
    if (length) SendNetworkData(L, n->connection, data, length, &sent, &code, nullptr);
    if (code) return code;
    lua_pushnumber(L, static_cast<lua_Number>(sent));
    return 1;
}

int ReceiveDataCmd(lua_State *L) {
    CheckArgCount(L, 2, 5, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    int mode = luaL_checkint(L, 2);
    int wait = 1;
    size_t count = 0;
    int cbIndex = 0;
    if (mode == CX_RECEIVEALL) {
        wait = luaL_optint(L, 3, 1);
        cbIndex = 4;
    } else if (mode == CX_RECEIVEBYTES) {
        lua_Number n = luaL_checknumber(L, 3);
        if (!(n >= 1)) return ERR_WRONGUSAGE;
        count = n > 2147483647.0 ? 2147483647u : static_cast<size_t>(n);
        cbIndex = 4;
    } else if (mode == CX_RECEIVELINE) {
        cbIndex = 3;
    } else {
        return ERR_WRONGUSAGE;
    }
    cxRecvTarget target;
    target.pushResults = true;
    if (!lua_isnone(L, cbIndex)) {
        luaL_checkfunction(L, cbIndex);
        target.callback.L = L;
        target.callback.function = cbIndex;
        if (!lua_isnone(L, cbIndex + 1)) target.callback.userdata = cbIndex + 1;
    }
    cxConnectionNode *n;
    if (int err = FindConnection(id, &n)) return err;
    size_t delivered = 0;
    int r = ReceiveNetworkData(L, n->connection, mode, count, wait, &target, &delivered, nullptr);
    // the node may be gone if a handler closed it meanwhile
    if (LookupObject(GetConnectionList(), id) == &n->header) n->dataReported = 0;
    return r;
}

// Address queries. what: 0 address, 1 port, 2 protocol.
int PushSocketAddress(lua_State *L, int fd, int family, bool local, int what) {
    if (what == 2) {
        lua_pushnumber(L, FamilyToProtocol(family));
        return 1;
    }
    sockaddr_storage addr;
    socklen_t len = sizeof addr;
    int rc = local ? getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len)
                   : getpeername(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    if (rc != 0) {
        SetErrorDetail(OsGetSocketErrorText(errno));
        return ERR_SOCKET;
    }
    char host[64];
    int port = 0;
    if (int e = OsFormatAddress(reinterpret_cast<sockaddr *>(&addr), len, host, sizeof host, &port)) {
        SetErrorDetail(OsGetAddrInfoErrorText(e));
        return ERR_SOCKET;
    }
    if (what == 0)
        lua_pushstring(L, host);
    else
        lua_pushnumber(L, port);
    return 1;
}

int PushAdapterInfo(lua_State *L, cxConnection *c, bool local, int what) {
    if (what == 2) {
        lua_pushnumber(L, 0);
        return 1;
    }
    int item = (local ? 1 : 3) + what;
    char text[256] = "";
    int32_t number = 0;
    void *place = what == 0 ? static_cast<void *>(text) : static_cast<void *>(&number);
    cxTagItem tags[2] = {{static_cast<uintptr_t>(item), reinterpret_cast<intptr_t>(place)}, {0, 0}};
    int rc = CallPluginEntry(c->adapter, c->adapter->GetConnectionInfo, c->handle, tags);
    if (rc) return rc;
    text[sizeof text - 1] = 0;
    if (what == 0)
        lua_pushstring(L, text);
    else
        lua_pushnumber(L, number);
    return 1;
}

int AddressQuery(lua_State *L, bool local, int what) {
    CheckArgCount(L, 1, 2, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    int type = luaL_optint(L, 2, kTypeConnection);
    if (type == kTypeConnection) {
        cxConnectionNode *n;
        if (int err = FindConnection(id, &n)) return err;
        cxConnection *c = n->connection;
        if (c->adapter) return PushAdapterInfo(L, c, local, what);
        auto *s = static_cast<cxNetSocket *>(c->handle);
        return PushSocketAddress(L, s->fd, s->family, local, what);
    }
    if (type == kTypeServer && local) {
        cxServerNode *n;
        if (int err = FindServer(id, &n)) return err;
        return PushSocketAddress(L, n->socket->fd, n->socket->family, true, what);
    }
    if (type == kTypeUdp) {
        cxUdpNode *n;
        if (int err = FindUdpObject(id, &n)) return err;
        if (!local && n->mode != CX_UDPCLIENT) return ERR_WRONGUSAGE;
        if (n->socket->fd < 0) {
            if (what == 2) {
                lua_pushnumber(L, FamilyToProtocol(n->socket->family));
                return 1;
            }
            SetErrorDetail(OsGetSocketErrorText(ENOTCONN));
            return ERR_SOCKET;
        }
        return PushSocketAddress(L, n->socket->fd, n->socket->family, local, what);
    }
    return ERR_WRONGUSAGE;
}

int GetConnectionIPCmd(lua_State *L) { return AddressQuery(L, false, 0); }
int GetConnectionPortCmd(lua_State *L) { return AddressQuery(L, false, 1); }
int GetConnectionProtocolCmd(lua_State *L) { return AddressQuery(L, false, 2); }
int GetLocalIPCmd(lua_State *L) { return AddressQuery(L, true, 0); }
int GetLocalPortCmd(lua_State *L) { return AddressQuery(L, true, 1); }
int GetLocalProtocolCmd(lua_State *L) { return AddressQuery(L, true, 2); }

int GetHostNameCmd(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    if (int err = InitNetwork()) return err;
    char name[256];
    if (gethostname(name, sizeof name) != 0) return ERR_HOSTNAME;
    name[sizeof name - 1] = 0;
    lua_pushstring(L, name);
    return 1;
}

// The IPv4 lookup of ToIP and ToHostName: by address for a dotted
// address, else by name.
int LookupV4(const char *host, char *official, size_t officialSize, char *address, size_t addressSize) {
    in_addr a;
    int rc = inet_aton(host, &a) ? OsGetHostByAddr(host, official, officialSize, address, addressSize)
                                 : OsGetHostByName(host, official, officialSize, address, addressSize);
    if (rc != 0) {
        SetErrorDetail(OsGetHostErrorText(rc));
        return ERR_SOCKET;
    }
    return 0;
}

int ToIPCmd(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    const char *host = luaL_checklstring(L, 1, nullptr);
    int protocol = luaL_optint(L, 2, GetNetworkProtocol());
    if (protocol != CX_IPV4 && protocol != CX_IPV6) return ERR_WRONGUSAGE;
    if (int err = InitNetwork()) return err;
    if (protocol == CX_IPV4) {
        in_addr a;
        if (inet_aton(host, &a)) {
            // already an address: its own numeric text, whether or not a
            // reverse lookup knows a name for it
            lua_pushstring(L, inet_ntoa(a));
            return 1;
        }
        char official[256], address[64];
        if (int err = LookupV4(host, official, sizeof official, address, sizeof address)) return err;
        lua_pushstring(L, address);
        return 1;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET6;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *res = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &res) != 0 || !res) {
        SetErrorDetail("cannot resolve hostname");
        return ERR_SOCKET;
    }
    char text[64];
    int port = 0;
    int rc = OsFormatAddress(res->ai_addr, res->ai_addrlen, text, sizeof text, &port);
    freeaddrinfo(res);
    if (rc) {
        SetErrorDetail(OsGetAddrInfoErrorText(rc));
        return ERR_SOCKET;
    }
    lua_pushstring(L, text);
    return 1;
}

int ToHostNameCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const char *host = luaL_checklstring(L, 1, nullptr);
    if (int err = InitNetwork()) return err;
    char official[256], address[64];
    if (int err = LookupV4(host, official, sizeof official, address, sizeof address)) return err;
    lua_pushstring(L, official);
    return 1;
}

int ResolveHostNameCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const char *host = luaL_checklstring(L, 1, nullptr);
    if (int err = InitNetwork()) return err;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *res = nullptr;
    lua_newtable(L);
    if (getaddrinfo(host, nullptr, &hints, &res) != 0) return 1;
    int row = 0;
    for (addrinfo *a = res; a; a = a->ai_next) {
        char text[64];
        int port = 0;
        if (OsFormatAddress(a->ai_addr, a->ai_addrlen, text, sizeof text, &port) != 0) continue;
        lua_newtable(L);
        SetTableNumber(L, "protocol", FamilyToProtocol(a->ai_family));
        SetTableString(L, "address", text);
        lua_rawseti(L, -2, row++);
    }
    freeaddrinfo(res);
    return 1;
}

int IsOnlineCmd(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    int online = 0;
    if (InitNetwork() == 0) {
        cxConnection *c = nullptr;
        int err = OpenTcpConnection(L, g_probeHost.c_str(), g_probePort, GetNetworkProtocol(), "", 0, &c);
        if (err == ERR_USERABORT) return err;
        if (err == 0) {
            online = 1;
            FreeConnection(c);
        }
    }
    lua_pushnumber(L, online);
    return 1;
}

int GetMACAddressCmd(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    char mac[18];
    lua_pushstring(L, OsGetMacAddress(mac) ? mac : "Unknown");
    return 1;
}

int SetNetworkTimeoutCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    int ms = luaL_checkint(L, 1);
    if (ms < 0) return ERR_WRONGUSAGE;
    SetNetworkTimeoutMs(ms);
    return 0;
}

int SetNetworkProtocolCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    SetNetworkProtocolSetting(luaL_checkint(L, 1));
    return 0;
}

const luaL_reg kCommands[] = {
    {"OpenConnection", OpenConnectionCmd},
    {"CloseConnection", CloseConnectionCmd},
    {"CreateServer", CreateServerCmd},
    {"CloseServer", CloseServerCmd},
    {"SendData", SendDataCmd},
    {"ReceiveData", ReceiveDataCmd},
    {"GetConnectionIP", GetConnectionIPCmd},
    {"GetConnectionPort", GetConnectionPortCmd},
    {"GetHostName", GetHostNameCmd},
    {"ToIP", ToIPCmd},
    {"ToHostName", ToHostNameCmd},
    {"DownloadFile", DownloadFileCmd},
    {"UploadFile", UploadFileCmd},
    {"SetNetworkTimeout", SetNetworkTimeoutCmd},
    {"GetLocalIP", GetLocalIPCmd},
    {"GetLocalPort", GetLocalPortCmd},
    {"CreateUDPObject", CreateUDPObjectCmd},
    {"CloseUDPObject", CloseUDPObjectCmd},
    {"SendUDPData", SendUDPDataCmd},
    {"ReceiveUDPData", ReceiveUDPDataCmd},
    {"IsOnline", IsOnlineCmd},
    {"GetMACAddress", GetMACAddressCmd},
    {"GetConnectionProtocol", GetConnectionProtocolCmd},
    {"GetLocalProtocol", GetLocalProtocolCmd},
    {"SetNetworkProtocol", SetNetworkProtocolCmd},
    {"ResolveHostName", ResolveHostNameCmd},
    {nullptr, nullptr},
};

const luaL_Const kConstants[] = {
    {"IPAUTO", nullptr, CX_IPAUTO},
    {"IPV4", nullptr, CX_IPV4},
    {"IPV6", nullptr, CX_IPV6},
    {"IPUNKNOWN", nullptr, CX_IPUNKNOWN},
    {"RECEIVEALL", nullptr, CX_RECEIVEALL},
    {"RECEIVEBYTES", nullptr, CX_RECEIVEBYTES},
    {"RECEIVELINE", nullptr, CX_RECEIVELINE},
    {"FTPASCII", nullptr, 97},
    {"FTPBINARY", nullptr, 105},
    {"DOWNLOADFILE_STATUS", nullptr, 0},
    {"UPLOADFILE_STATUS", nullptr, 0},
    {"UPLOADFILE_RESPONSE", nullptr, 1},
    {"NETWORKCONNECTION", nullptr, kTypeConnection},
    {"NETWORKSERVER", nullptr, kTypeServer},
    {"NETWORKUDP", nullptr, kTypeUdp},
    {"RECEIVEDATA_PACKET", nullptr, 0},
    {"UDPSERVER", nullptr, CX_UDPSERVER},
    {"UDPCLIENT", nullptr, CX_UDPCLIENT},
    {"UDPNONE", nullptr, CX_UDPNONE},
    {nullptr, nullptr, 0},
};

} // namespace

extern "C" void SetOnlineProbe(const char *host, int port) {
    g_probeHost = host ? host : "example.com";
    g_probePort = port > 0 ? port : 80;
}

extern "C" int OpenNetworkLibrary(lua_State *L) {
    luaL_openlib(L, nullptr, kCommands, 0);
    if (int err = AddCommandLibrary(kCommands, "network")) return err;
    luaL_openconstants(L, kConstants, 0);
    RegisterObjectList(GetConnectionList());
    RegisterObjectList(GetServerList());
    RegisterObjectList(GetUdpList());
    // WaitEvent wakes when a socket the script listens for is ready.
    OsSetWaitSource(NetWaitItems);
    return 0;
}
