// Object lists of the network library and the event checks over them.
#include "io/net/net_objects.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "errors/errors.h"
#include "display/events/dispatcher.h"
#include "platform/os_socket.h"
#include "platform/os_time.h"
#include "platform/os_wake.h"

namespace {

cxObjectList g_connections = {CX_OBJ_CLIENT, ERR_FINDCLIENT, nullptr, nullptr};
cxObjectList g_servers = {CX_OBJ_SERVER, ERR_FINDSERVER, nullptr, nullptr};
cxObjectList g_udp = {CX_OBJ_UDPOBJECT, ERR_FINDUDPOBJECT, nullptr, nullptr};

// What one poll() over the servers and connections found ready: each
// ready object is served in list order, each in its own dispatcher turn as
// before, and none twice before the others of the same poll. One system
// call finds every ready socket, and a client that answers at once cannot
// keep the others waiting behind it at the head of its list. Each object
// is looked at again when its turn comes; a new poll is made once every
// kind the script listens for has been served.
struct Ready {
    std::vector<void *> nodes;
    size_t next = 0;
    bool Served() const { return next >= nodes.size(); }
};
Ready g_readyServers, g_readyData, g_readyClose;

void Forget(Ready &list, const void *n) {
    for (void *&p : list.nodes)
        if (p == n) p = nullptr;
}

bool HandlerInstalled(int slot) { return GetGlobalHandler(slot)->function != -1; }

// The servers and connections the script listens for, registered in one
// epoll set with the events that matter to their checks: the wait watches
// the set's descriptor, and a poll of the set costs what is ready, not
// what is open. Registrations follow the nodes' flags lazily (Sync).
int g_epoll = -1;

// The events a connection is watched for: data while the script listens
// for it and has been told of none it has not read; the peer's hang-up
// while the script listens for closes. A connection whose news is waiting
// to be read (or that hung up with nobody listening) is not watched: it
// would be ready again and again.
uint32_t ConnectionEvents(const cxConnectionNode *n, bool onData, bool onClose) {
    if (n->closeReported || n->dataReported) return 0;
    uint32_t events = 0;
    // (a hang-up is asked for with the data: a close alone reads as data)
    if (onData && !n->hungUp) events |= EPOLLIN | EPOLLRDHUP;
    if (onClose) events |= EPOLLRDHUP;
    return events;
}

void Register(cxObjectHeader *h, int fd, uint32_t *registered, uint32_t want) {
    if (*registered == want) return;
    epoll_event ev{};
    ev.events = want;
    ev.data.ptr = h;
    const int op = !*registered ? EPOLL_CTL_ADD : want ? EPOLL_CTL_MOD : EPOLL_CTL_DEL;
    if (epoll_ctl(g_epoll, op, fd, &ev) == 0 || op == EPOLL_CTL_DEL) *registered = want;
}

void Unregister(cxObjectHeader *h, int fd, uint32_t *registered) {
    if (*registered && fd >= 0) Register(h, fd, registered, 0);
    *registered = 0;
}

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
    Forget(g_readyData, n);
    Forget(g_readyClose, n);
    if (cxNetSocket *s = GetConnectionSocket(n->connection)) Unregister(&n->header, s->fd, &n->registered);
    RemoveObject(&g_connections, &n->header);
    FreeConnection(n->connection);
    FreeObjectDataList(L, n->header.data);
    free(n);
}

void FreeServerNode(lua_State *L, cxServerNode *n) {
    Forget(g_readyServers, n);
    Unregister(&n->header, n->socket ? n->socket->fd : -1, &n->registered);
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

namespace {

struct Interest {
    bool onConnect, onData, onClose;
};

Interest Listening() {
    return {HandlerInstalled(CX_GSLOT_ONCONNECT), HandlerInstalled(CX_GSLOT_ONRECEIVEDATA),
            HandlerInstalled(CX_GSLOT_ONDISCONNECT)};
}

// Brings the registrations up to the nodes' flags and the handlers; calls
// ready() for each connection with unread bytes in its own buffer (which no
// poll shows). false when the set cannot be made.
template <class F> bool Sync(const Interest &in, F ready) {
    if (g_epoll < 0) g_epoll = epoll_create1(EPOLL_CLOEXEC);
    if (g_epoll < 0) return false;
    const uint64_t now = OsMonotonicMs();
    for (cxObjectHeader *h = g_servers.first; h; h = h->next) {
        auto *n = reinterpret_cast<cxServerNode *>(h);
        // After a failed accept (out of descriptors) the tick retries, not
        // a spinning wait.
        const bool failing = n->acceptFailedMs && now - n->acceptFailedMs < 100;
        Register(h, n->socket->fd, &n->registered, in.onConnect && !failing ? EPOLLIN : 0);
    }
    for (cxObjectHeader *h = g_connections.first; h; h = h->next) {
        auto *n = reinterpret_cast<cxConnectionNode *>(h);
        cxNetSocket *s = GetConnectionSocket(n->connection);
        if (!s || s->fd < 0) continue;
        if (in.onData && !n->dataReported && !n->closeReported && BufferedBytes(n->connection) > 0) ready(n);
        Register(h, s->fd, &n->registered, ConnectionEvents(n, in.onData, in.onClose));
    }
    return true;
}

// A new look at the set, once every kind the script listens for was served
// (the kind of the check that asks counts as listened for).
void Poll(bool Interest::*asking) {
    Interest in = Listening();
    in.*asking = true;
    if ((in.onConnect && !g_readyServers.Served()) || (in.onData && !g_readyData.Served()) ||
        (in.onClose && !g_readyClose.Served()))
        return;
    for (Ready *r : {&g_readyServers, &g_readyData, &g_readyClose}) {
        r->nodes.clear();
        r->next = 0;
    }
    if (!Sync(in, [](cxConnectionNode *n) {
            n->checkData = 0;
            g_readyData.nodes.push_back(n);
        }))
        return;
    epoll_event events[256];
    const int count = epoll_wait(g_epoll, events, 256, 0);
    for (int i = 0; i < count; i++) {
        auto *h = static_cast<cxObjectHeader *>(events[i].data.ptr);
        const uint32_t r = events[i].events;
        if (h->kind == CX_OBJ_SERVER) {
            g_readyServers.nodes.push_back(h);
            continue;
        }
        if (r & EPOLLIN) {
            // Data alone needs no second look; with a hang-up the readiness
            // may be the close itself.
            auto *n = reinterpret_cast<cxConnectionNode *>(h);
            n->checkData = (r & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0;
            g_readyData.nodes.push_back(h);
        }
        if (r & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) g_readyClose.nodes.push_back(h);
    }
}

void *Take(Ready &list) {
    while (!list.Served()) {
        if (void *n = list.nodes[list.next++]) return n;  // (null: freed meanwhile)
    }
    return nullptr;
}

} // namespace

int CheckServerConnect(cxObjectID *server, cxObjectID *client) {
    if (g_readyServers.Served()) Poll(&Interest::onConnect);
    while (auto *n = static_cast<cxServerNode *>(Take(g_readyServers))) {
        sockaddr_storage addr;
        socklen_t len = n->socket->family == AF_INET ? 16 : n->socket->family == AF_INET6 ? 28 : 128;
        int fd = OsAcceptSocket(n->socket->fd, reinterpret_cast<sockaddr *>(&addr), &len, 0);
        if (fd < -1) n->acceptFailedMs = OsMonotonicMs();
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
        *server = GetObjectID(&n->header);
        *client = GetObjectID(&node->header);
        return 1;
    }
    return 0;
}

int CheckConnectionData(cxObjectID *object) {
    if (g_readyData.Served()) Poll(&Interest::onData);
    while (auto *n = static_cast<cxConnectionNode *>(Take(g_readyData))) {
        cxNetSocket *s = GetConnectionSocket(n->connection);
        if (!s || n->dataReported || n->closeReported) continue;
        if (BufferedBytes(n->connection) == 0 && n->checkData) {
            const int peek = OsPeekSocket(s->fd);
            if (peek == -2) n->hungUp = 1;  // no data will come after the close
            if (peek != 0) continue;
        }
        n->dataReported = 1;
        *object = GetObjectID(&n->header);
        return 1;
    }
    return 0;
}

int CheckConnectionClose(cxObjectID *object) {
    if (g_readyClose.Served()) Poll(&Interest::onClose);
    while (auto *n = static_cast<cxConnectionNode *>(Take(g_readyClose))) {
        cxNetSocket *s = GetConnectionSocket(n->connection);
        if (!s || n->closeReported || OsPeekSocket(s->fd) != -2) continue;
        n->closeReported = 1;
        *object = GetObjectID(&n->header);
        return 1;
    }
    return 0;
}

int NetWaitItems(cxOsWaitItem *items, int max) {
    int n = 0;
    auto add = [&](int fd, short events) {
        if (n < max) items[n] = {fd, events};
        n++;
    };
    if (HandlerInstalled(CX_GSLOT_ONRECEIVEUDPDATA)) {
        for (cxObjectHeader *h = g_udp.first; h; h = h->next) {
            auto *u = reinterpret_cast<cxUdpNode *>(h);
            if (!u->dataReported && u->socket && u->socket->fd >= 0) add(u->socket->fd, POLLIN);
        }
    }
    const Interest in = Listening();
    if (!in.onConnect && !in.onData && !in.onClose) return n;
    bool readyNow = false;
    if (!Sync(in, [&](cxConnectionNode *) { readyNow = true; })) return n;
    if (readyNow) return -1;
    add(g_epoll, POLLIN);  // readable while any registered socket is ready
    return n;
}

extern "C" void FreeNetworkObjects(lua_State *L) {
    while (g_connections.first) FreeConnectionNode(L, reinterpret_cast<cxConnectionNode *>(g_connections.first));
    while (g_servers.first) FreeServerNode(L, reinterpret_cast<cxServerNode *>(g_servers.first));
    while (g_udp.first) FreeUdpNode(L, reinterpret_cast<cxUdpNode *>(g_udp.first));
    OsSetWaitSource(nullptr);
    if (g_epoll >= 0) close(g_epoll);
    g_epoll = -1;
    if (OsSocketsInitialised()) OsShutdownSockets();
}
