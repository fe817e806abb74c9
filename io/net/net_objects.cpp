// Object lists of the network library and the event checks over them.
#include "io/net/net_objects.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>

#include "errors/errors.h"
#include "platform/os_socket.h"

namespace {

cxObjectList g_connections = {CX_OBJ_CLIENT, ERR_FINDCLIENT, nullptr, nullptr};
cxObjectList g_servers = {CX_OBJ_SERVER, ERR_FINDSERVER, nullptr, nullptr};
cxObjectList g_udp = {CX_OBJ_UDPOBJECT, ERR_FINDUDPOBJECT, nullptr, nullptr};

template <class Node> int Find(cxObjectList *list, cxObjectID id, Node **out) {
    cxObjectHeader *h = nullptr;
    int err = FindObject(list, id, &h);
    *out = reinterpret_cast<Node *>(h);
    return err;
}

} // namespace

cxObjectList *GetConnectionList(void) { return &g_connections; }
cxObjectList *GetServerList(void) { return &g_servers; }
cxObjectList *GetUdpList(void) { return &g_udp; }

int FindConnection(cxObjectID id, cxConnectionNode **out) { return Find(&g_connections, id, out); }
int FindServer(cxObjectID id, cxServerNode **out) { return Find(&g_servers, id, out); }
int FindUdpObject(cxObjectID id, cxUdpNode **out) { return Find(&g_udp, id, out); }

int AddConnectionNode(cxConnection *c, int32_t number, int automatic, cxConnectionNode **out) {
    auto *n = static_cast<cxConnectionNode *>(calloc(1, sizeof(cxConnectionNode)));
    if (!n) {
        FreeConnection(c);
        return ERR_MEM;
    }
    InitObjectHeader(&n->header, CX_OBJ_CLIENT, number, automatic);
    n->connection = c;
    AddObject(&g_connections, &n->header);
    if (out) *out = n;
    return 0;
}

void FreeConnectionNode(lua_State *L, cxConnectionNode *n) {
    RemoveObject(&g_connections, &n->header);
    FreeConnection(n->connection);
    FreeObjectDataList(L, n->header.data);
    free(n);
}

void FreeServerNode(lua_State *L, cxServerNode *n) {
    RemoveObject(&g_servers, &n->header);
    FreeNetSocket(n->socket);
    FreeObjectDataList(L, n->header.data);
    free(n);
}

void FreeUdpNode(lua_State *L, cxUdpNode *n) {
    RemoveObject(&g_udp, &n->header);
    if (n->socket) {
        OsCloseSocket(n->socket->fd);
        free(n->socket);
    }
    FreeObjectDataList(L, n->header.data);
    free(n);
}

int CheckUdpData(cxObjectID *object) {
    for (cxObjectHeader *h = g_udp.first; h; h = h->next) {
        auto *n = reinterpret_cast<cxUdpNode *>(h);
        if (n->dataReported || !n->socket || n->socket->fd < 0) continue;
        char byte;
        size_t got = 0;
        sockaddr_storage from;
        socklen_t len = sizeof from;
        if (OsRecvFromSocket(n->socket->fd, &byte, 1, &got, reinterpret_cast<sockaddr *>(&from), &len, 1) == 0) {
            n->dataReported = 1;
            *object = GetObjectID(h);
            return 1;
        }
    }
    return 0;
}

int CheckServerConnect(cxObjectID *server, cxObjectID *client) {
    for (cxObjectHeader *h = g_servers.first; h; h = h->next) {
        auto *n = reinterpret_cast<cxServerNode *>(h);
        sockaddr_storage addr;
        socklen_t len = n->socket->family == AF_INET ? 16 : n->socket->family == AF_INET6 ? 28 : 128;
        int fd = OsAcceptSocket(n->socket->fd, reinterpret_cast<sockaddr *>(&addr), &len, 0);
        if (fd < 0) continue;
        cxNetSocket *s = NewNetSocket(n->socket->family);
        cxConnection *c = s ? NewSocketConnection(s) : nullptr;
        if (!c) {
            // out of memory: the client is turned away unreported
            if (s) FreeNetSocket(s);
            OsCloseSocket(fd);
            continue;
        }
        s->fd = fd;
        cxConnectionNode *node = nullptr;
        if (AddConnectionNode(c, 0, 1, &node) != 0) continue;
        *server = GetObjectID(h);
        *client = GetObjectID(&node->header);
        return 1;
    }
    return 0;
}

int CheckConnectionData(cxObjectID *object) {
    for (cxObjectHeader *h = g_connections.first; h; h = h->next) {
        auto *n = reinterpret_cast<cxConnectionNode *>(h);
        cxNetSocket *s = GetConnectionSocket(n->connection);
        if (!s || n->dataReported || n->closeReported) continue;
        if (BufferedBytes(n->connection) > 0 || OsPeekSocket(s->fd) == 0) {
            n->dataReported = 1;
            *object = GetObjectID(h);
            return 1;
        }
    }
    return 0;
}

int CheckConnectionClose(cxObjectID *object) {
    for (cxObjectHeader *h = g_connections.first; h; h = h->next) {
        auto *n = reinterpret_cast<cxConnectionNode *>(h);
        cxNetSocket *s = GetConnectionSocket(n->connection);
        if (!s || n->closeReported) continue;
        if (OsPeekSocket(s->fd) == -2) {
            n->closeReported = 1;
            *object = GetObjectID(h);
            return 1;
        }
    }
    return 0;
}

extern "C" void FreeNetworkObjects(lua_State *L) {
    while (g_connections.first) FreeConnectionNode(L, reinterpret_cast<cxConnectionNode *>(g_connections.first));
    while (g_servers.first) FreeServerNode(L, reinterpret_cast<cxServerNode *>(g_servers.first));
    while (g_udp.first) FreeUdpNode(L, reinterpret_cast<cxUdpNode *>(g_udp.first));
    if (OsSocketsInitialised()) OsShutdownSockets();
}
