// A server played from a fuzz input: a network-adapter plug-in whose
// connections hear the parts of the input, the first connection the first
// part, the second the second, and so on; whatever the client sends is
// taken and dropped. The HTTP and FTP client runs over it unchanged,
// without a socket or the event pump.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/plugins/plugin_registry.h"
#include "errors/errors.h"
#include "io/net/net_connection.h"
#include "io/net/net_objects.h"
#include "tests/fuzz/fuzz_support.h"

namespace netfuzz {

struct Connection {
    std::string data;
    size_t at = 0;
};

inline std::vector<std::string> g_parts;
inline size_t g_next = 0;

inline void *Open(const char *, int, const cxTagItem *) {
    auto *c = new Connection;
    if (g_next < g_parts.size()) c->data = g_parts[g_next];
    g_next++;
    return c;
}
inline void Close(void *c) { delete static_cast<Connection *>(c); }
inline int Receive(void *h, void *buffer, int length, int *received, const cxTagItem *) {
    auto *c = static_cast<Connection *>(h);
    *received = 0;
    if (c->at >= c->data.size()) return ERR_RECVCLOSED;
    // Pieces of varying size, so that lines and chunks straddle refills.
    const size_t piece = 1 + (c->at * 7919 + 13) % 1500;
    const size_t n = std::min({static_cast<size_t>(length), c->data.size() - c->at, piece});
    memcpy(buffer, c->data.data() + c->at, n);
    c->at += n;
    *received = static_cast<int>(n);
    return 0;
}
inline int Send(void *, const void *, int length, int *sent, const cxTagItem *) {
    *sent = length;
    return 0;
}
inline int Info(void *, cxTagItem *) { return 0; }

// The state with the network library and the peer in place, once.
inline lua_State *Setup() {
    static lua_State *L = [] {
        lua_State *s = cxfuzz::State();
        if (OpenNetworkLibrary(s) != 0) abort();
        static cxPlugin peer{};
        peer.moduleName = "fuzzpeer";
        peer.OpenConnection = Open;
        peer.CloseConnection = Close;
        peer.ReceiveData = Receive;
        peer.SendData = Send;
        peer.GetConnectionInfo = Info;
        if (AddCapabilityEntry(&peer, CX_CAP_NETWORKADAPTER) != 0) abort();
        SetNetPumpTurn([](lua_State *) { return 0; });
        SetNetworkTimeoutMs(1000);
        return s;
    }();
    return L;
}

// DownloadFile or UploadFile of url through the peer with the input's
// parts; options: string pairs (a value starting with '#' is a number).
inline int Transfer(lua_State *L, const char *command, const std::string &url,
                    const std::vector<std::pair<const char *, std::string>> &options,
                    std::vector<std::string> parts) {
    g_parts = std::move(parts);
    g_next = 0;
    lua_settop(L, 0);
    lua_pushstring(L, command);
    lua_gettable(L, LUA_GLOBALSINDEX);
    lua_pushstring(L, url.c_str());
    lua_newtable(L);
    lua_pushstring(L, "adapter");
    lua_pushstring(L, "fuzzpeer");
    lua_settable(L, -3);
    for (const auto &[key, value] : options) {
        lua_pushstring(L, key);
        if (!value.empty() && value[0] == '#')
            lua_pushnumber(L, atof(value.c_str() + 1));
        else
            lua_pushlstring(L, value.data(), value.size());
        lua_settable(L, -3);
    }
    const int err = lua_pcall(L, 2, LUA_MULTRET, 0);
    lua_settop(L, 0);
    FreeNetworkObjects(L);
    return err;
}

}  // namespace netfuzz
