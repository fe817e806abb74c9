// A network connection and its receive and send engine: the records every
// network operation is handed, opening a TCP connection (through a
// network-adapter plug-in or the player's own sockets), and the receive
// modes and send loop that ReceiveData, SendData, the HTTP and FTP client
// and the event checks share.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "engine/vm/lua.h"
#include "include/calyxtone/cxplugin.h"

struct cxStream;

#define CX_NET_BUFFER_SIZE 8192

/* Receive modes (script constants). */
enum { CX_RECEIVEALL = 0, CX_RECEIVEBYTES = 1, CX_RECEIVELINE = 2 };
/* Protocol numbers (script constants). */
enum { CX_IPAUTO = 0, CX_IPV4 = 1, CX_IPV6 = 2, CX_IPUNKNOWN = 3 };

/* Time-outs in seconds; below 0 is unset. Every registered socket has both
   at 0.0: each socket call polls once, the loops of this file wait. */
typedef struct cxNetTimeout {
    double step;
    double overall;
    double start;
} cxNetTimeout;

typedef struct cxNetIO cxNetIO;

typedef struct cxRecvBuffer {
    cxNetIO *io;
    cxNetTimeout *timeout;
    uint32_t readIndex;
    uint32_t endIndex;
    unsigned char data[CX_NET_BUFFER_SIZE];
} cxRecvBuffer;

/* The socket's send, receive and error-text slots. */
struct cxNetIO {
    void *context;
    int (*send)(void *context, const void *buffer, size_t length, size_t *sent);
    int (*receive)(void *context, void *buffer, size_t length, size_t *received);
    const char *(*errorText)(int error);
};

/* The player's own socket. */
typedef struct cxNetSocket {
    int32_t fd; /* -1 when closed */
    cxNetIO io;
    cxRecvBuffer recv;
    cxNetTimeout timeout;
    int32_t family; /* AF_INET, AF_INET6, 0 not chosen yet */
} cxNetSocket;

/* Progress reporting of transfers. */
typedef struct cxNetProgress {
    int32_t enabled;
    int32_t count;
    int32_t total;
    int32_t hasUserdata;
    int32_t action;
} cxNetProgress;

typedef struct cxConnection {
    cxPlugin *adapter;           /* null: the player's own socket */
    void *handle;                /* the adapter's handle, or the cxNetSocket */
    cxRecvBuffer *adapterBuffer; /* adapter connections only */
    cxNetProgress progress;
    int32_t busy;   /* receives and sends running on it */
    int32_t doomed; /* closed while busy: freed when the last one returns */
} cxConnection;

/* A script function called during a transfer: the function and its
   userdata at these stack indices (0: none). */
struct cxNetCallback {
    lua_State *L = nullptr;
    int function = 0;
    int userdata = 0;
};

/* A body that grows as it arrives and becomes the script's string without
   a copy: a string buffer of the virtual machine (lua_newstringbuffer),
   freed unless it was pushed. */
struct cxNetBody {
    lua_State *L = nullptr;
    char *data = nullptr;
    size_t size = 0;
    size_t capacity = 0;
    explicit cxNetBody(lua_State *state) : L(state) {}
    ~cxNetBody() {
        if (data) lua_freestringbuffer(L, data);
    }
    cxNetBody(const cxNetBody &) = delete;
    cxNetBody &operator=(const cxNetBody &) = delete;
    /* Room for n bytes in all; false when memory runs out. */
    bool Reserve(size_t n);
    /* Adds bytes, growing by doubling; false when memory runs out. */
    bool Append(const void *bytes, size_t n);
    void Clear() { size = 0; }
    /* Pushes the bytes as a string and hands the buffer over. */
    void Push();
};

/* Where received bytes go. Exactly one target is used: a fixed buffer, a
   growable buffer, a stream, a script callback, or (none of these) a string
   pushed with the count and the done flag as three results. */
struct cxRecvTarget {
    char *fixed = nullptr;
    size_t fixedSize = 0;
    cxNetBody *growable = nullptr;
    struct cxStream *stream = nullptr;
    cxNetCallback callback;
    bool pushResults = false; /* push data, count and done as results */
    /* A monotonic time (OsMonotonicMs) at which the receive ends as timed
       out, however the bytes trickle in; 0 for none. */
    uint64_t deadlineMs = 0;
    /* Set when the fixed buffer could not take what came (the receive then
       ends with 1000): the caller may name it better. */
    bool overflowed = false;
};

/* Process-wide settings. */
int GetNetworkProtocol(void);
void SetNetworkProtocolSetting(int protocol);
int GetNetworkTimeoutMs(void);
void SetNetworkTimeoutMs(int ms);

/* Initialises the platform's sockets once per run: 0 or ERR_OPENSOCKET. */
int InitNetwork(void);
/* Protocol number of an address family, and the family of a protocol. */
int FamilyToProtocol(int family);
int ProtocolToFamily(int protocol);

/* The socket record, zero-filled, descriptor -1, both time-outs -1. */
cxNetSocket *NewNetSocket(int family);
void FreeNetSocket(cxNetSocket *s);
/* A connection record for an accepted client's socket (time-outs 0.0). */
cxConnection *NewSocketConnection(cxNetSocket *s);

/* Opens a TCP connection. 0 with *out, or an error code (detail set). */
int OpenTcpConnection(lua_State *L, const char *host, int port, int protocol, const char *adapters, int secure,
                      cxConnection **out);
void FreeConnection(cxConnection *c);
/* Resolves host and port for sockets of the type and *family (0: any) and
   connects *fd to the first result that takes, recreating the socket when a
   result's family differs; waits at most the network time-out, turning the
   event pump. 0, the pump's code, 1003 when a quit is pending, or 1410 with
   the resolver's or the socket's text. */
int ConnectSocket(lua_State *L, const char *host, int port, int type, int32_t *fd, int32_t *family);

/* The engine under ReceiveData. Returns 0, an error code, or 3 when the
   three results were pushed (no target). *delivered receives the count. */
int ReceiveNetworkData(lua_State *L, cxConnection *c, int mode, size_t count, int wait, cxRecvTarget *target,
                       size_t *delivered, cxNetCallback *progress);
/* Sends all bytes. 0, -1 time-out, -2 closed, or a socket error; a code
   from the pump or a callback goes to *callbackError and ends the send. */
int SendNetworkData(lua_State *L, cxConnection *c, const void *data, size_t length, size_t *sent,
                    int *callbackError, cxNetCallback *progress);

/* Reports progress through the command's callback: adds the piece to the
   count and calls it with {action, count, total[, userdata]}. 0 or a
   code that ends the transfer. */
int ReportNetProgress(cxConnection *c, size_t piece, cxNetCallback *progress);
/* Calls a script callback with the table on top of the stack (popped),
   raising and lowering the callback nesting. 0 to go on, 1003 when it
   answered 1 or a quit is pending, or its error. */
int CallNetCallback(cxNetCallback *cb);

/* The connection's socket for inbuilt connections, else null. */
cxNetSocket *GetConnectionSocket(cxConnection *c);
/* Unread bytes in the connection's receive buffer. */
uint32_t BufferedBytes(cxConnection *c);

/* Tests: where a waiting loop turns the event pump (null: the display
   layer's pump). Answers 0 to go on, else the code that ends the wait. */
typedef int (*cxNetPumpTurn)(lua_State *L);
void SetNetPumpTurn(cxNetPumpTurn turn);
int TurnNetPump(lua_State *L);
