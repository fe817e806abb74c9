// The network library's object lists (connections, servers, UDP objects),
// their lookups, the event checks the event dispatcher calls, and the
// clean-up at the end of a run.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "io/net/net_connection.h"

typedef struct cxConnectionNode {
    cxObjectHeader header;
    cxConnection *connection;
    int32_t dataReported;  /* set by the data check, cleared by ReceiveData */
    int32_t closeReported; /* set by the close check */
    int32_t hungUp;        /* the data check found the peer closed */
    uint32_t registered;   /* events the wait's epoll set watches it for */
    int32_t checkData;     /* found ready with a hang-up: look before reporting */
} cxConnectionNode;

typedef struct cxServerNode {
    cxObjectHeader header;
    cxNetSocket *socket;
    uint64_t acceptFailedMs; /* when an accept last failed for a reason
                                other than no client (out of descriptors) */
    uint32_t registered;     /* events the wait's epoll set watches it for */
} cxServerNode;

/* UDP modes (script constants). */
enum { CX_UDPSERVER = 0, CX_UDPCLIENT = 1, CX_UDPNONE = 2 };

typedef struct cxUdpSocket {
    int32_t fd; /* -1 until a socket exists */
    cxNetTimeout timeout;
    unsigned char buffer[CX_NET_BUFFER_SIZE];
    int32_t family;
} cxUdpSocket;

typedef struct cxUdpNode {
    cxObjectHeader header;
    cxUdpSocket *socket;
    int32_t dataReported;
    int32_t mode;
} cxUdpNode;

cxObjectList *GetConnectionList(void);
cxObjectList *GetServerList(void);
cxObjectList *GetUdpList(void);

/* Lookups: 0 with *out, or 1409/1412/1429 (number ID) or 1041. */
int FindConnection(cxObjectID id, cxConnectionNode **out);
int FindServer(cxObjectID id, cxServerNode **out);
int FindUdpObject(cxObjectID id, cxUdpNode **out);

/* Appends a connection under id (automatic when automatic is set). 0 or
   1000 (the connection is then freed). */
int AddConnectionNode(cxConnection *c, int32_t number, int automatic, cxConnectionNode **out);
void FreeConnectionNode(lua_State *L, cxConnectionNode *n);
void FreeServerNode(lua_State *L, cxServerNode *n);
void FreeUdpNode(lua_State *L, cxUdpNode *n);

/* Event checks, in the dispatcher's order: each scans its list from the
   head and answers 1 for the first object with something to report, with
   its ID (and, for a server, the new client's automatic ID). */
int CheckUdpData(cxObjectID *object);
int CheckServerConnect(cxObjectID *server, cxObjectID *client);
int CheckConnectionData(cxObjectID *object);
int CheckConnectionClose(cxObjectID *object);

/* The source of the platform's event wait (OsSetWaitSource): the sockets
   whose readiness would make one of the checks above answer yes, for the
   kinds the script has a handler for; -1 when one would answer yes now. */
int NetWaitItems(struct cxOsWaitItem *items, int max);

extern "C" {
/* Frees every connection, server and UDP object and shuts the socket layer
   down (the shell's clean-up at the end of a run). */
void FreeNetworkObjects(lua_State *L);
/* Registers the "network" library. */
int OpenNetworkLibrary(lua_State *L);
}
