// Shared pieces of the fuzz targets: a scratch file per process, splitting
// an input into parts, and calling a script command through the virtual
// machine's C API.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/runtime/libraries.h"
#include "engine/vm/lua.h"

namespace cxfuzz {

// A file name of this process under the temporary folder.
inline std::string ScratchPath(const char *what) {
    const char *tmp = getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/cxfuzz-" + what + "-" + std::to_string(getpid());
}

inline void WriteFile(const std::string &path, const uint8_t *data, size_t size) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) abort();
    if (size) fwrite(data, 1, size, f);
    fclose(f);
}

// The input cut at its first (parts - 1) NUL bytes.
inline std::vector<std::string> Split(const uint8_t *data, size_t size, size_t parts) {
    std::vector<std::string> out(1);
    for (size_t i = 0; i < size; i++) {
        if (data[i] == 0 && out.size() < parts) out.emplace_back();
        else out.back() += static_cast<char>(data[i]);
    }
    out.resize(parts);
    return out;
}

// One state with the script libraries for the whole run.
inline lua_State *State() {
    static lua_State *L = [] {
        lua_State *s = lua_open();
        if (!s || OpenScriptLibraries(s) != 0) abort();
        return s;
    }();
    return L;
}

// Calls the global command with string arguments; errors are results.
inline int CallCommand(lua_State *L, const char *name, const std::vector<std::string> &args) {
    lua_settop(L, 0);
    lua_pushstring(L, name);
    lua_gettable(L, LUA_GLOBALSINDEX);
    for (const std::string &a : args) lua_pushlstring(L, a.data(), a.size());
    const int err = lua_pcall(L, static_cast<int>(args.size()), 1, 0);
    lua_settop(L, 0);
    return err;
}

}  // namespace cxfuzz
