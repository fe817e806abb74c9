// Sockets for the network library: creation, connecting with a deadline,
// binding, accepting, sending and receiving without blocking, name and
// address lookups and the texts of their errors. IPv4 and IPv6.
//
// Send, receive and peek answer 0 (done), -1 (nothing ready before the
// wait ran out), -2 (the peer closed or refused) or an errno value.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <sys/socket.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Once per run before any other call; 0 or an errno value. Ignores SIGPIPE
   for the process, so that a send to a closed peer answers -2 instead of
   ending the player. */
int OsInitSockets(void);
void OsShutdownSockets(void);
int OsSocketsInitialised(void);

/* A socket of the family (AF_INET, AF_INET6) and type (SOCK_STREAM,
   SOCK_DGRAM), close-on-exec. The descriptor, or -1 with errno set. An IPv6
   socket is made IPv6-only. */
int OsCreateSocket(int family, int type);
void OsCloseSocket(int fd);
/* 0 or an errno value. */
int OsSetSocketNonBlocking(int fd);
int OsSetSocketReuseAddress(int fd);

/* Called between polls of a connect wait; a non-zero answer ends the wait
   and becomes its result (an error code of the caller's, e.g. 1003). */
typedef int (*cxOsWaitTurn)(void *user);

/* Connects a non-blocking socket, waiting until the monotonic deadline in
   milliseconds (OsMonotonicMs; 0 waits without limit) and calling turn
   between polls of at most 10 ms. 0 connected, -1 the deadline passed, an
   errno value, or the turn's own code (>= 1000). */
int OsConnectSocketUntil(int fd, const struct sockaddr *address, socklen_t length, uint64_t deadlineMs,
                         cxOsWaitTurn turn, void *user);
/* 0 or an errno value. */
int OsBindSocket(int fd, const struct sockaddr *address, socklen_t length);
int OsListenSocket(int fd, int backlog);
/* Accepts one client, waiting at most waitMs (0 polls once). The client's
   descriptor (close-on-exec, non-blocking), or -1 when none came, or
   -errno. */
int OsAcceptSocket(int fd, struct sockaddr *address, socklen_t *length, int waitMs);

/* Sends or receives at most length bytes, waiting at most waitMs for the
   socket to be ready (0 polls once, -1 waits without limit). *done
   receives the byte count. */
int OsSendSocket(int fd, const void *buffer, size_t length, size_t *done, int waitMs);
int OsRecvSocket(int fd, void *buffer, size_t length, size_t *done, int waitMs);
/* Without waiting: 0 a byte is pending, -1 nothing, -2 the peer closed (or
   refused), else an errno value. */
int OsPeekSocket(int fd);
/* Datagrams. OsSendToSocket with a null address sends on a connected
   socket. OsRecvFromSocket never waits; peek leaves the datagram queued. */
int OsSendToSocket(int fd, const void *buffer, size_t length, const struct sockaddr *address, socklen_t addressLength,
                   size_t *done);
int OsRecvFromSocket(int fd, void *buffer, size_t length, size_t *done, struct sockaddr *address,
                     socklen_t *addressLength, int peek);

/* Numeric text of an address (at most 45 characters) and its port. 0, or
   the resolver's error code (OsGetAddrInfoErrorText). */
int OsFormatAddress(const struct sockaddr *address, socklen_t length, char *host, size_t hostSize, int *port);

/* Host lookups by name and by IPv4 address: the official name and the
   first IPv4 address as numeric text. 0 or a resolver code for
   OsGetHostErrorText. */
int OsGetHostByName(const char *name, char *official, size_t officialSize, char *address, size_t addressSize);
int OsGetHostByAddr(const char *dotted, char *official, size_t officialSize, char *address, size_t addressSize);

/* The hardware address of the first interface that is not the loopback, as
   "XX:XX:XX:XX:XX:XX"; 0 when none was found. */
int OsGetMacAddress(char out[18]);

const char *OsGetSocketErrorText(int error);
const char *OsGetAddrInfoErrorText(int error);
const char *OsGetHostErrorText(int error);

/* The monotonic clock in milliseconds. */
uint64_t OsMonotonicMs(void);

#ifdef __cplusplus
}
#endif
