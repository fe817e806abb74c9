// The serial library's object list: one node per open port, its lookup,
// and the clean-up at the end of a run.
#pragma once

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "platform/os_serial.h"

typedef struct cxSerialNode {
    cxObjectHeader header;
    cxOsSerialPort *port;
} cxSerialNode;

cxObjectList *GetSerialList(void);
/* 0 and *out, or ERR_FINDSERIAL (1619, number ID) or ERR_FINDARRAY. */
int FindSerialPort(cxObjectID id, cxSerialNode **out);
/* Appends an open port under the ID; 0, or ERR_MEM (the port is then
   closed and freed). */
int AddSerialNode(cxOsSerialPort *port, int32_t number, int automatic, cxSerialNode **out);
/* Unlinks the node, closes the port (restoring its line settings) and frees
   both. */
void FreeSerialNode(lua_State *L, cxSerialNode *n);

extern "C" {
/* Closes every port (the shell's clean-up at the end of a run). */
void FreeSerialPorts(lua_State *L);
/* Registers the "serial" library. */
int OpenSerialLibrary(lua_State *L);
}
