// Commands of the "network" library defined outside net_library.cpp, and
// the test settings of the library.
#pragma once

#include "engine/vm/lua.h"

int DownloadFileCmd(lua_State *L);
int UploadFileCmd(lua_State *L);
int CreateUDPObjectCmd(lua_State *L);
int CloseUDPObjectCmd(lua_State *L);
int SendUDPDataCmd(lua_State *L);
int ReceiveUDPDataCmd(lua_State *L);

extern "C" {
/* Where IsOnline probes (default example.com port 80); tests point it at a
   loopback listener. */
void SetOnlineProbe(const char *host, int port);
}
